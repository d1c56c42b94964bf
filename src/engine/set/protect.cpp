// SPDX-License-Identifier: GPL-3.0-or-later
// Protecting one folder: its files, its old sets, and the new ones.
//
// A folder's sets are those of its main volumes named after the folder
// (NAME.PAR, or NAME-1.PAR, NAME-2.PAR, ... for several, NAME being the
// folder's name or, where a file of the folder bears such a name, the next
// of NAME-parity, NAME-parity2, ...).  They are up to date when together
// they list exactly the folder's files, each with its size and none
// modified after the set's main volume: then only those main volumes are
// read, which hold nothing but the header and the list.  Otherwise the
// files are sized, and each new set is written in one pass that takes the
// files' digests; a file that the old sets list and whose stamp did not
// move must have its listed digests, or it is damage and nothing of the
// folder is put in place.  The new volumes of every set, and the removal
// of the old sets' volumes that they do not replace, are one commit.
#include "engine/set/protect.h"

#include <algorithm>
#include <map>
#include <memory>
#include <optional>
#include <set>

#include "engine/choices.h"
#include "engine/format/format.h"
#include "engine/format/volume_names.h"
#include "engine/format/volume_reader.h"
#include "engine/io/replacing_writer.h"
#include "engine/set/action.h"
#include "engine/set/analysis.h"
#include "engine/set/create_rules.h"
#include "engine/set/set_writer.h"

namespace tarvel {

std::vector<int> SetSizes(int files) {
  std::vector<int> sizes;
  if (files <= 0) return sizes;
  const int sets = (files + kMostSetFiles - 1) / kMostSetFiles;
  for (int i = 0; i < sets; ++i) sizes.push_back(files / sets + (i < files % sets ? 1 : 0));
  return sizes;
}

int ProtectParityCount(int files, int percent) {
  if (percent <= 0) return DefaultParityCount(files);
  const ParityCountBounds bounds = ParityCountBoundsFor(files);
  const auto share = static_cast<int>(static_cast<std::int64_t>(files) * percent / 100);
  return std::clamp(share, std::max(1, bounds.min), bounds.max);
}

namespace {

// A file a set may take.
struct Candidate {
  std::string name;
  FileStamp stamp;
};

// A volume of the folder, known by its content.
struct FoundVolume {
  std::string name;
  std::optional<VolumeHeader> header;  // a whole header of a known version
  bool link = false;
};

// What an old set lists of one file.
struct Listed {
  std::int64_t size = 0;
  md5digest whole{}, head{};
  std::int64_t setStampNs = 0;
};

constexpr int kNamePrefixes = 4;

// The prefixes a folder's sets may be named by, the first the folder's name.
std::vector<std::string> NamePrefixes(const std::string& folder) {
  std::string name = BareName(folder);
  if (name.empty() || name == "." || name == "..") name = "set";
  std::vector<std::string> prefixes = {name, name + "-parity"};
  for (int i = 2; i < kNamePrefixes; ++i) {
    prefixes.push_back(std::string(name).append("-parity").append(std::to_string(i)));
  }
  return prefixes;
}

// True when the base name `base` is `prefix` or `prefix`-N.
bool OfPrefix(const std::string& base, const std::string& prefix) {
  if (base == prefix) return true;
  if (!base.starts_with(prefix + "-") || base.size() == prefix.size() + 1) return false;
  return std::all_of(base.begin() + static_cast<std::ptrdiff_t>(prefix.size()) + 1, base.end(),
                     [](char c) { return c >= '0' && c <= '9'; });
}

// The base names of `count` sets under `prefix`.
std::vector<std::string> BaseNames(const std::string& prefix, std::size_t count) {
  if (count == 1) return {prefix};
  std::vector<std::string> names;
  for (std::size_t i = 1; i <= count; ++i) {
    names.push_back(std::string(prefix).append("-").append(std::to_string(i)));
  }
  return names;
}

class FolderProtect {
 public:
  FolderProtect(Action& action, const std::string& folder, const ProtectOptions& options)
      : action_(action), env_(action.env), folder_(folder), options_(options) {
    result_.folder = folder;
  }

  FolderResult Run(const std::vector<FolderEntry>& entries) {
    Survey(entries);
    if (!ReadOldSets()) return result_;
    Compare();
    if (UpToDate()) {
      result_.state = FolderState::kUpToDate;
      result_.sets = static_cast<int>(oldMains_.size());
      CountFiles(candidates_);
      return result_;
    }
    if (!result_.damaged.empty()) return Ended(FolderState::kDamaged);
    if (!result_.missing.empty() && !options_.dropMissing) return Ended(FolderState::kMissing);
    if (candidates_.size() < static_cast<std::size_t>(kFewestSetFiles)) {
      result_.note = oldMains_.empty() ? "fewer than 2 files to protect"
                                       : "fewer than 2 files left, the sets left as they were";
      return Ended(FolderState::kSkipped);
    }
    result_.dropped = result_.missing;
    result_.missing.clear();
    return Write();
  }

 private:
  std::string Path(const std::string& name) const { return JoinPath(folder_, name); }

  FolderResult Ended(FolderState state) {
    result_.state = state;
    result_.added.clear();
    result_.edited.clear();
    result_.dropped.clear();
    if (state != FolderState::kMissing) result_.missing.clear();
    return result_;
  }

  // The folder's plain files in byte order of their names: volumes apart,
  // temporary, empty and (unless asked) hidden files left out.  A file's
  // head is read to tell a volume, its stamp to tell a change.
  void Survey(const std::vector<FolderEntry>& entries) {
    std::vector<const FolderEntry*> sorted;
    for (const FolderEntry& e : entries) sorted.push_back(&e);
    std::sort(sorted.begin(), sorted.end(),
              [](const FolderEntry* a, const FolderEntry* b) { return a->name < b->name; });
    for (const FolderEntry* e : sorted) {
      const bool link = e->kind == FileKind::kLink;
      if (e->kind != FileKind::kRegular && !(link && e->linkToRegular)) continue;
      if (IsTemporaryName(e->name)) continue;
      if (e->name.starts_with('.') && !options_.hidden) continue;
      action_.StopPoint();
      const std::unique_ptr<File> file = env_.OpenRead(Path(e->name));
      const VolumeHead head = ReadHead(*file);
      if (head.kind != VolumeKind::kNotVolume) {
        FoundVolume v{e->name, std::nullopt, link};
        if (head.Whole() && head.kind == VolumeKind::kVolume) v.header = head.Header();
        volumes_.push_back(std::move(v));
        continue;
      }
      // A link is no plain file of this folder: what it leads to may lie
      // anywhere.
      if (link) continue;
      const FileStamp stamp = file->Stamp();
      if (stamp.size == 0) continue;
      candidates_.push_back({e->name, stamp});
    }
  }

  // The main volumes named after the folder, each read for its list.  One
  // that does not read is damage: its files cannot be told from edits.
  bool ReadOldSets() {
    const std::vector<std::string> prefixes = NamePrefixes(folder_);
    for (const FoundVolume& v : volumes_) {
      std::string base;
      const std::optional<int> number = VolumeNumberOfName(v.name, &base);
      if (!number || *number != 0 || v.link) continue;
      if (std::none_of(prefixes.begin(), prefixes.end(),
                       [&base](const std::string& p) { return OfPrefix(base, p); })) {
        continue;
      }
      SetModel& m = action_.model;
      m.ResetTables();
      if (ReadVolume(m, env_, Path(v.name)).problem != VolumeProblem::kNone) {
        result_.damaged = {v.name};
        Ended(FolderState::kDamaged);
        return false;
      }
      oldMains_.push_back(v.name);
      oldHashes_.push_back(m.SetHash);
      for (int i = 0; i < m.FileCount; ++i) {
        const fileentry& e = m.FileTable[i];
        const Listed l{e.filesize, e.md5whole, e.md5head, m.SetStampNs};
        if (!listed_.emplace(e.name, l).second) listedTwice_ = true;
      }
    }
    return true;
  }

  // What changed since the old sets: files added, edited (modified after
  // the set), gone, or of another size with their stamp unmoved (damage,
  // told without reading them).
  void Compare() {
    std::set<std::string> present;
    for (const Candidate& c : candidates_) {
      present.insert(c.name);
      const auto it = listed_.find(c.name);
      if (it == listed_.end()) {
        result_.added.push_back(c.name);
      } else if (c.stamp.modifiedNs > it->second.setStampNs) {
        result_.edited.push_back(c.name);
      } else if (c.stamp.size != it->second.size) {
        result_.damaged.push_back(c.name);
      }
    }
    for (const auto& [name, l] : listed_) {
      if (!present.count(name)) result_.missing.push_back(name);
    }
  }

  bool UpToDate() {
    if (oldMains_.empty() || listedTwice_ || !result_.added.empty() || !result_.edited.empty() ||
        !result_.damaged.empty() || !result_.missing.empty()) {
      return false;
    }
    // Named as a protect would name them now.
    std::vector<std::string> mains;
    for (const std::string& base :
         BaseNames(ChoosePrefix(), SetSizes(static_cast<int>(candidates_.size())).size())) {
      mains.push_back(VolumeFileName(base, 0));
    }
    std::vector<std::string> old = oldMains_;
    std::sort(mains.begin(), mains.end());
    std::sort(old.begin(), old.end());
    return mains == old;
  }

  void CountFiles(const std::vector<Candidate>& files) {
    result_.files = static_cast<int>(files.size());
    result_.bytes = 0;
    for (const Candidate& c : files) result_.bytes += c.stamp.size;
  }

  bool OfOldSet(const FoundVolume& v) const {
    return v.header && std::any_of(oldHashes_.begin(), oldHashes_.end(), [&v](const md5digest& d) {
             return md5equal(d, v.header->setHash);
           });
  }

  // The first prefix whose volume names no file of the folder bears but
  // the old sets' own volumes.
  std::string ChoosePrefix() const {
    const std::vector<std::string> prefixes = NamePrefixes(folder_);
    for (const std::string& prefix : prefixes) {
      const auto clashes = [&](const std::string& name) {
        std::string base;
        return VolumeNumberOfName(name, &base) && OfPrefix(base, prefix);
      };
      bool taken = std::any_of(candidates_.begin(), candidates_.end(),
                               [&](const Candidate& c) { return clashes(c.name); });
      for (const FoundVolume& v : volumes_) taken = taken || (clashes(v.name) && !OfOldSet(v));
      if (!taken) return prefix;
    }
    return prefixes.back() + "-" + std::to_string(candidates_.size());
  }

  // Every new set written in one pass, its volumes held back; the digests
  // that pass took proven against the old lists; then all of them put in
  // place, and the old sets' other volumes removed, in one commit.
  FolderResult Write() {
    const std::vector<int> sizes = SetSizes(static_cast<int>(candidates_.size()));
    const std::vector<std::string> bases = BaseNames(ChoosePrefix(), sizes.size());
    std::vector<std::unique_ptr<ReplacingWriter>> held;
    std::set<std::string> newNames;
    std::size_t first = 0;
    for (std::size_t s = 0; s < sizes.size(); ++s) {
      std::vector<std::string> paths;
      for (int k = 0; k < sizes[s]; ++k) paths.push_back(Path(candidates_[first + k].name));
      first += static_cast<std::size_t>(sizes[s]);
      const std::optional<Analysis> analysis = AnalyseFiles(action_, paths, /*onePass=*/true);
      if (!analysis) {
        result_.note = "its files cannot be protected";
        return Ended(FolderState::kSkipped);
      }
      const int count = ProtectParityCount(sizes[s], options_.percent);
      const std::string base = Path(bases[s]);
      const VolumePlan plan = PlanVolumes(env_, folder_, base, count, paths);
      if (!WriteVolumeSet(action_, *analysis, base, count, plan.existing, {}, &held)) {
        result_.note = "its files cannot be protected";
        return Ended(FolderState::kSkipped);
      }
      for (int n = 0; n <= count; ++n) newNames.insert(BareName(VolumeFileName(base, n)));
      FindDamage();
      if (!result_.damaged.empty()) return Ended(FolderState::kDamaged);
    }
    std::vector<RemovedWithCommit> removals;
    for (const FoundVolume& v : volumes_) {
      if (v.link || !OfOldSet(v) || newNames.count(v.name)) continue;
      if (const auto id = env_.Identity(Path(v.name), /*followLink=*/false)) {
        removals.push_back({Path(v.name), *id});
      }
    }
    std::vector<ReplacingWriter*> writers;
    for (const auto& w : held) writers.push_back(w.get());
    action_.StopPoint();
    CommitTogether(env_, writers, removals);
    result_.state = oldMains_.empty() ? FolderState::kProtected : FolderState::kRenewed;
    // A folder protected for the first time added nothing to a set.
    if (oldMains_.empty()) result_.added.clear();
    result_.sets = static_cast<int>(sizes.size());
    CountFiles(candidates_);
    return result_;
  }

  // The set just written took its files' digests: a file the old sets list
  // whose stamp did not move must have the digests listed.
  void FindDamage() {
    const SetModel& m = action_.model;
    for (int i = 0; i < m.FileCount; ++i) {
      const fileentry& e = m.FileTable[i];
      const auto it = listed_.find(e.name);
      if (it == listed_.end()) continue;
      if (std::find(result_.edited.begin(), result_.edited.end(), e.name) != result_.edited.end()) {
        continue;
      }
      if (!md5equal(e.md5whole, it->second.whole) || !md5equal(e.md5head, it->second.head)) {
        result_.damaged.push_back(e.name);
      }
    }
  }

  Action& action_;
  Env& env_;
  std::string folder_;
  const ProtectOptions& options_;
  FolderResult result_;
  std::vector<Candidate> candidates_;
  std::vector<FoundVolume> volumes_;
  std::vector<std::string> oldMains_;
  std::vector<md5digest> oldHashes_;
  std::map<std::string, Listed> listed_;
  bool listedTwice_ = false;
};

}  // namespace

FolderResult ProtectFolder(Action& action, const std::string& folder,
                           const std::vector<FolderEntry>& entries, const ProtectOptions& options) {
  FolderProtect protect(action, folder, options);
  return protect.Run(entries);
}

}  // namespace tarvel
