// SPDX-License-Identifier: GPL-3.0-or-later
// Finding a set's files in the set folder: by name, and by content under
// another name (offered through the File search prompt), then verifying
// their digests, each file's reading judged as damage, as not checked, or
// as a volume of the set standing at the file's name.  Every name is a bare
// name of the set folder.
#include "engine/set/file_search.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>
#include <functional>
#include <map>
#include <optional>
#include <set>
#include <vector>

#include "engine/engine.h"
#include "engine/format/format.h"
#include "engine/format/volume_names.h"
#include "engine/format/volume_reader.h"
#include "engine/io/file_digests.h"
#include "engine/io/file_hash_pass.h"
#include "engine/io/replacing_writer.h"
#include "engine/set/action.h"
#include "engine/set/run_in_order.h"
#include "engine/set/set_report.h"
#include "platform/language.h"

namespace tarvel {
namespace {

// Bytes of a file that can be recognised as a volume: its header up to and
// including the volume number.
constexpr std::size_t kRecognisedBytes = kOffVolumeNumber + 1;
constexpr std::size_t kCopyBlock = 1 << 20;

// What the content search learns about the files of the folder, each fact
// at most once per search: whether a file can be a candidate at all (a
// regular file, not a symbolic link), its size, and its two digests, taken
// only as far as the comparison with a missing file needs them.  A folder
// of many files with many missing ones so reads each file's first 16 KiB
// once, not once per missing file.
class CandidateFacts {
 public:
  // `waiting` runs while the digests are taken (a stop point, the events).
  CandidateFacts(Env& env, WorkerPool& pool, std::function<std::string(const std::string&)> pathOf,
                 std::function<void()> waiting)
      : env_(env), pool_(pool), pathOf_(std::move(pathOf)), waiting_(std::move(waiting)) {}

  // True when the file `name` has the size and both digests of `e`.  A
  // file that the file layer could not read is no match (it may be a file
  // of anyone's, on a failing medium); any other failure of the reading
  // passes on here.
  bool HasContentOf(const std::string& name, const fileentry& e) {
    Facts& f = Learn(name);
    if (f.size < 0 || f.size != e.filesize) return false;
    if (!f.head) Prefetch({name}, e);
    if (f.headError) std::rethrow_exception(f.headError);
    if (!md5equal(*f.head, e.md5head)) return false;
    if (!f.whole) Prefetch({name}, e);
    if (f.wholeError) std::rethrow_exception(f.wholeError);
    return md5equal(*f.whole, e.md5whole);
  }

  // Takes at once the digests that HasContentOf(name, e) would take for
  // each of `names`: the heads of the files of e's size, then the whole
  // digests of those whose heads match.  Failed reads are kept for
  // HasContentOf to pass on when it comes to that file.
  void Prefetch(const std::vector<std::string>& names, const fileentry& e) {
    for (const bool whole : {false, true}) {
      std::vector<Facts*> wanted;
      std::vector<FileHashJob> jobs;
      for (const std::string& name : names) {
        Facts& f = Learn(name);
        if (f.size < 0 || f.size != e.filesize || f.headError) continue;
        if (!whole && f.head) continue;
        if (whole && (f.whole || f.wholeError || !f.head || !md5equal(*f.head, e.md5head))) {
          continue;
        }
        wanted.push_back(&f);
        jobs.push_back({pathOf_(name), 0, whole ? -1 : static_cast<std::int64_t>(kMd5HeadBytes)});
      }
      if (jobs.empty()) continue;
      FileHashPass pass(env_, std::move(jobs), pool_);
      pass.Run(waiting_);
      for (std::size_t k = 0; k < wanted.size(); ++k) {
        const FileHashResult& r = pass.Result(k);
        if (r.fileFailed) {
          wanted[k]->size = -1;  // never a match
          continue;
        }
        if (whole) {
          wanted[k]->whole = r.whole;
          wanted[k]->wholeError = r.error;
        } else {
          wanted[k]->head = r.whole;
          wanted[k]->headError = r.error;
        }
      }
    }
  }

  // The file `name` was renamed, replaced or created: learn it afresh.
  void Forget(const std::string& name) { facts_.erase(name); }

 private:
  struct Facts {
    bool known = false;
    std::int64_t size = -1;  // -1: not a candidate
    std::optional<md5digest> head;
    std::exception_ptr headError;
    std::optional<md5digest> whole;
    std::exception_ptr wholeError;
  };

  // The file's facts, its kind and size learnt on first sight.
  Facts& Learn(const std::string& name) {
    Facts& f = facts_[name];
    if (!f.known) {
      f.known = true;
      const std::string path = pathOf_(name);
      if (!env_.IsSymbolicLink(path)) {
        try {
          f.size = env_.OpenRead(path)->Size();
        } catch (const FileError&) {
          f.size = -1;  // unreadable: never a match
        }
      }
    }
    return f;
  }

  Env& env_;
  WorkerPool& pool_;
  std::function<std::string(const std::string&)> pathOf_;
  std::function<void()> waiting_;
  std::map<std::string, Facts> facts_;
};

std::string CopyMismatchText(const std::string& found, const std::string& missing) {
  return TrFill(
      "Copying %s to %s failed: the copy does not have the size and digests listed for "
      "%s. %s was left as it was.",
      {found, missing, missing, missing});
}

// Putting a file found by content in place of the missing one: the File
// search prompt, or the answer that stands, carried out by a rename or a
// copy within the set folder.
class FoundFiles {
 public:
  explicit FoundFiles(Action& action) : action_(action), m_(action.model) {}

  enum class Outcome { kPlaced, kLeft, kFailed };

  // Offers `found` for `missing` and carries out the answer; kPlaced when
  // the missing file is now in place, on disk.
  Outcome Offer(const std::string& found, const std::string& missing) {
    const auto done = [](bool placed) { return placed ? Outcome::kPlaced : Outcome::kFailed; };
    switch (m_.RenameAnswer) {
      case StandingRename::kRename:
        return done(Rename(found, missing));
      case StandingRename::kCopy:
        return done(Copy(found, missing));  // a failure ends the whole action
      case StandingRename::kLeave:
        return Outcome::kLeft;
      case StandingRename::kAsk:
        break;
    }
    // The prompt stays up until a button has done its work: a copy that
    // fails shows the error and asks again.
    for (bool again = false;; again = true) {
      const RenameReply reply = action_.ui.AskRename({found, missing, again});
      switch (reply.button) {
        case RenameButton::kRename:
          if (reply.dontAskAgain) m_.RenameAnswer = StandingRename::kRename;
          return done(Rename(found, missing));
        case RenameButton::kCopy: {
          bool placed = false;
          try {
            placed = Copy(found, missing);
          } catch (const FileError& error) {
            action_.ui.Message(ErrorBoxText(WithReason(error.what(), error.OsError())));
            // An answer that cannot change would only fail again.
            if (reply.standing) throw ReportedFailure(error.what());
            continue;
          }
          if (reply.dontAskAgain) m_.RenameAnswer = StandingRename::kCopy;
          return done(placed);
        }
        case RenameButton::kCancel:
          if (reply.dontAskAgain) m_.RenameAnswer = StandingRename::kLeave;
          return Outcome::kLeft;
        case RenameButton::kClosed:
          return Outcome::kLeft;
      }
    }
  }

 private:
  // The FileTable entry listed under `name`, or null.
  const fileentry* ListedFile(const std::string& name) const {
    for (int i = 0; i < m_.FileCount; ++i) {
      if (m_.FileTable[i].name == name) return &m_.FileTable[i];
    }
    return nullptr;
  }

  // True when a volume of any set in the set folder lists `name`, learnt
  // once per search, when first asked: every volume of the folder,
  // recognised by its content, headers and lists only, so this costs a few
  // small reads per file.
  bool ListedBySomeSet(const std::string& name) {
    if (!namesOfSets_) {
      namesOfSets_.emplace();
      for (const std::string& file : action_.env.ListPlainFiles(m_.Folder)) {
        for (std::string& listed : ListedNames(action_.env, action_.InSetFolder(file))) {
          namesOfSets_->insert(std::move(listed));
        }
      }
    }
    return namesOfSets_->count(name) != 0;
  }

  // A found file that this set or any other set in the folder lists is
  // copied, never renamed, so that no set loses a file in turn.  A refused
  // rename shows "Rename failed!" with the system's reason.
  bool Rename(const std::string& found, const std::string& missing) {
    // Renaming a file that this set or another set in the folder lists would
    // only move the gap to its name.
    if (ListedFile(found) != nullptr || ListedBySomeSet(found)) return Copy(found, missing);
    const OsStatus renamed = action_.env.Rename(action_.InSetFolder(found),
                                                action_.InSetFolder(missing), /*replace=*/false);
    if (!renamed) {
      m_.Actions.push_back({FileActionKind::kRenameFailed, missing, found});
      action_.ui.Message(WithReason(TR("Rename failed!"), renamed.Reason()));
      return false;
    }
    m_.Actions.push_back({FileActionKind::kRenamed, missing, found});
    // On disk before anyone is told it is in place.
    action_.env.SyncFolder(m_.Folder);
    return true;
  }

  // A copy goes through a temporary file, is put in place only when it has
  // the listed size and digests of the missing file (otherwise a message,
  // and nothing changes) and throws FileError when it fails.
  bool Copy(const std::string& found, const std::string& missing) {
    try {
      std::unique_ptr<File> source = action_.env.OpenRead(action_.InSetFolder(found));
      ReplacingWriter target(action_.env, action_.InSetFolder(missing));
      std::vector<std::uint8_t> buffer(kCopyBlock);
      std::int64_t offset = 0;
      for (;;) {
        action_.StopPoint();
        const std::size_t got = source->ReadAt(offset, buffer.data(), buffer.size());
        if (got == 0) break;
        target.WriteAt(offset, std::span(buffer.data(), got));
        offset += static_cast<std::int64_t>(got);
      }
      // The found file was compared before; what was copied is proven
      // again, as the file may have changed since.
      const fileentry* listed = ListedFile(missing);
      if (listed != nullptr && !target.Holds(listed->filesize, listed->md5whole, listed->md5head)) {
        m_.Actions.push_back({FileActionKind::kCopyFailed, missing, found});
        action_.ui.Message(CopyMismatchText(found, missing));
        return false;  // the writer removes its temporary file
      }
      // As old as what it was copied from, as a renamed file would be.
      target.SetModifiedTime(source->Stamp().modifiedNs);
      target.Commit();
    } catch (const FileError&) {
      m_.Actions.push_back({FileActionKind::kCopyFailed, missing, found});
      throw;
    }
    m_.Actions.push_back({FileActionKind::kCopied, missing, found});
    return true;
  }

  Action& action_;
  SetModel& m_;
  std::optional<std::set<std::string>> namesOfSets_;  // see ListedBySomeSet
};

// Sets `present` of every file: a plain file of its name is in the folder.
void LookByName(Action& action) {
  SetModel& m = action.model;
  for (int i = 0; i < m.FileCount; ++i) {
    fileentry& e = m.FileTable[i];
    e.present = action.env.IsPlainFile(m.Folder, e.name) ? 1 : 0;
  }
}

// A missing file may be in the folder under another name: each is looked
// for by content among the visible regular files, and the first match is
// offered; another name with the same content only when putting the first
// in place failed.
void LookByContent(Action& action) {
  SetModel& m = action.model;
  CandidateFacts candidates(
      action.env, action.Pool(static_cast<std::size_t>(m.FileCount)),
      [&action](const std::string& name) { return action.InSetFolder(name); },
      [&action] { action.KeepResponsive(); });
  FoundFiles offers(action);
  // Files already put in place under one name are not offered for another:
  // a file renamed away is gone, and one copied has given what it holds.
  std::set<std::string> placedFrom;
  for (int i = 0; i < m.FileCount; ++i) {
    ProgressRecord searching;
    searching.step = ProgressStep::kSearching;
    searching.item = i;
    searching.items = m.FileCount;
    searching.name = m.FileTable[i].name;
    searching.percent = i * 100 / m.FileCount;
    action.ShowProgress(searching);
    if (m.FileTable[i].present) continue;
    // The listing runs to its end: every further match gets its own offer.
    std::vector<std::string> listing = action.env.ListPlainFiles(m.Folder);
    std::erase_if(listing, [&](const std::string& candidate) {
      return candidate == m.FileTable[i].name || placedFrom.count(candidate) != 0;
    });
    candidates.Prefetch(listing, m.FileTable[i]);
    for (const std::string& candidate : listing) {
      const fileentry& e = m.FileTable[i];
      if (!candidates.HasContentOf(candidate, e)) continue;
      action.found.foundElsewhere[static_cast<std::size_t>(i)] = 1;
      m.Actions.push_back({FileActionKind::kFound, e.name, candidate});
      const FoundFiles::Outcome outcome = offers.Offer(candidate, e.name);
      candidates.Forget(candidate);
      candidates.Forget(e.name);
      if (outcome == FoundFiles::Outcome::kPlaced) {
        placedFrom.insert(candidate);
        ++action.found.placed;
      }
      if (outcome != FoundFiles::Outcome::kFailed) break;
    }
  }
}

// What the verification's reading of file `e` says of it: intact or
// damaged by its digests (a file of another size than listed is damaged,
// whatever its digest says: a list may have been made from a file that grew
// as it was read), damaged by a read that failed as a failing medium fails,
// not checked for any other failure, missing when it went between the look
// and the reading; and a damaged file standing as a volume of this set.
void Judge(Action& action, fileentry& e, const FileHashResult& r) {
  if (r.opened) e.modifiedNs = r.opening.modifiedNs;
  if (r.fileFailed) {
    if (!r.opened && r.failureReason == ENOENT) {
      e.present = 0;
      return;
    }
    e.trouble = IsDamageError(r.failureReason) ? ReadTrouble::kDamaged : ReadTrouble::kNotChecked;
    e.troubleReason = r.failureReason;
    e.troubleAt = r.failedAt;
  } else {
    e.crcok = r.hashed == e.filesize && md5equal(r.whole, e.md5whole) ? 1 : 0;
    if (e.crcok) return;
  }
  // A link that stands at the name is replaced by a repair, and what it
  // leads to stays as it is: it lends the file neither its time (a newer
  // file it leads to, read well or not, is no edit of this one) nor its
  // volume.
  const std::string path = action.InSetFolder(e.name);
  if (action.env.IsSymbolicLink(path)) {
    e.modifiedNs = 0;
    return;
  }
  if (r.fileFailed) return;
  // A damaged file may be a volume of this set under a name the list gives
  // (renamed so, or named so by a list): it is used as a volume, and no
  // repair may put a rebuilt file in its place.
  if (const std::optional<int> number = VolumeOfThisSet(action, path)) {
    e.trouble = ReadTrouble::kIsVolume;
    e.troubleAt = *number;
  }
}

// The files the volume search that comes next will hash for their control
// digests, guessed by their names: every plain file of the set folder named
// like a volume of the volume read whose head is that of a volume of this
// set (a large file of another kind under such a name is never read for
// nothing).  Read in the same pass as the files, so that a set of a few
// large files keeps every core busy; the volume search takes their digests
// from the hand-over and reads only what this guess missed.
std::vector<FileHashJob> VolumesAhead(Action& action) {
  const SetModel& m = action.model;
  std::vector<FileHashJob> jobs;
  std::string base;
  if (!VolumeNumberOfName(m.VolumeRead, &base)) return jobs;
  std::vector<std::string> names;
  try {
    names = action.env.ListPlainFiles(m.Folder);
  } catch (const FileError&) {
    return jobs;  // the volume search says why when it lists the folder
  }
  for (const std::string& name : names) {
    std::string nameBase;
    const std::optional<int> number = VolumeNumberOfName(name, &nameBase);
    if (!number || *number > kLastReportedVolume || nameBase != base) continue;
    if (!VolumeOfThisSet(action, action.InSetFolder(name))) continue;
    FileHashJob job{action.InSetFolder(name), kControlDigestStart};
    job.ahead = true;
    jobs.push_back(std::move(job));
  }
  return jobs;
}

// Verification.  A file that is not there cannot be intact, whatever a
// hidden file of its name holds, so only present files are read, all in one
// pass; the files are shown in set order as their reading ends.  A file this
// action has read already and that is unchanged since is not read again
// (the check after a repair's rebuild).  A file the file layer cannot read
// is judged; only other failures end the check.
void VerifyFiles(Action& action, bool volumesNext) {
  SetModel& m = action.model;
  const std::vector<FileHashJob> ahead =
      volumesNext ? VolumesAhead(action) : std::vector<FileHashJob>();
  std::vector<int> present;
  std::vector<std::string> names;
  std::vector<std::int64_t> sizes;
  for (int i = 0; i < m.FileCount; ++i) {
    const fileentry& e = m.FileTable[i];
    names.push_back(e.name);
    sizes.push_back(e.present ? SizeOrZero(action.env, action.InSetFolder(e.name)) : 0);
    if (e.present) present.push_back(i);
  }
  // The volumes spread evenly among the files (the first before them), so
  // that the files shown go on steadily while the volumes are read.
  std::vector<FileHashJob> jobs;
  std::vector<int> jobOf(static_cast<std::size_t>(std::max(m.FileCount, 0)), -1);
  std::size_t a = 0;
  for (std::size_t f = 0; f < present.size(); ++f) {
    for (; a < ahead.size() && a * present.size() <= f * ahead.size(); ++a)
      jobs.push_back(ahead[a]);
    jobOf[static_cast<std::size_t>(present[f])] = static_cast<int>(jobs.size());
    jobs.push_back({action.InSetFolder(m.FileTable[present[f]].name)});
  }
  jobs.insert(jobs.end(), ahead.begin() + static_cast<std::ptrdiff_t>(a), ahead.end());
  const ItemProgress progress(ProgressStep::kCheckingFiles, names, sizes,
                              [&](int i) { return i * 100 / m.FileCount; });
  WorkerPool& pool = action.Pool(jobs.size());
  FileHashPass pass(action.env, std::move(jobs), pool, action.Memo(), &action.HandOver());
  ItemsInOrder items;
  items.count = jobOf.size();
  items.jobOf = [&](std::size_t i) { return jobOf[i]; };
  items.done = [&](std::size_t i) {
    if (jobOf[i] >= 0 && !pass.Result(jobOf[i]).fileFailed) pass.ThrowError(jobOf[i]);
  };
  RunInOrder(action, pass, progress, items);
  for (int i = 0; i < m.FileCount; ++i) {
    fileentry& e = m.FileTable[i];
    e.crcok = 0;
    e.trouble = ReadTrouble::kNone;
    e.troubleReason = 0;
    e.troubleAt = -1;
    e.modifiedNs = 0;
    if (jobOf[i] >= 0) Judge(action, e, pass.Result(jobOf[i]));
  }
}

}  // namespace

void SearchFiles(Action& action, bool volumesNext) {
  SetModel& m = action.model;
  LookByName(action);
  m.RenameAnswer = StandingRename::kAsk;
  action.found = {};
  action.found.foundElsewhere.assign(static_cast<std::size_t>(std::max(m.FileCount, 0)), 0);
  LookByContent(action);
  LookByName(action);
  VerifyFiles(action, volumesNext);
  action.ui.HideProgress();
}

std::optional<int> VolumeOfThisSet(Action& action, const std::string& path) {
  const std::optional<VolumeHead> head = ReadHead(action.env, path);
  if (!head || head->present < kRecognisedBytes || head->kind != VolumeKind::kVolume ||
      std::memcmp(head->raw.data() + kOffSetHash, action.model.SetHash.data(),
                  action.model.SetHash.size()) != 0) {
    return std::nullopt;
  }
  return head->raw[kOffVolumeNumber];
}

}  // namespace tarvel
