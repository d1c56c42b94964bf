// SPDX-License-Identifier: GPL-3.0-or-later
// Finding a set's volumes in its folder, by content whatever their names.
#include "engine/set/volume_search.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>
#include <memory>
#include <optional>
#include <set>
#include <vector>

#include "engine/format/format.h"
#include "engine/format/volume_names.h"
#include "engine/format/volume_reader.h"
#include "engine/io/file_digests.h"
#include "engine/io/file_hash_pass.h"
#include "engine/set/action.h"
#include "engine/set/run_in_order.h"
#include "engine/set/set_report.h"

namespace tarvel {
namespace {

// Bytes of a file that can be recognised as a volume: its header up to and
// including the volume number.
constexpr std::size_t kRecognisedBytes = kOffVolumeNumber + 1;

// Finding a set's volumes: every file of the set folder that carries the
// set digest, by volume number, then each number's files verified in turn
// (in one pass over all of them), then the table filled.  A file that
// cannot be read is no volume that anyone can use; when its name is that of
// a volume of this set it is named in the report all the same, with why.
class VolumeSearch {
 public:
  explicit VolumeSearch(Action& action) : action_(action), m_(action.model) {}

  // Every file carrying the set digest, by volume number.  Volumes of an
  // older list of the same files (left behind when a set was made again
  // with fewer digest-only files) carry the same parity at another offset,
  // so each volume's data offset comes from its own header.
  void Recognise() {
    std::vector<Unreadable> unreadable;
    // The base names this set's volumes go by: that of the volume read, and
    // those of the volumes recognised.
    std::set<std::string> bases;
    std::string base;
    if (VolumeNumberOfName(m_.VolumeRead, &base)) bases.insert(base);
    for (const std::string& name : action_.env.ListPlainFiles(m_.Folder)) {
      std::optional<Candidate> c;
      try {
        c = Recognised(name);
      } catch (const FileError& error) {
        // Gone since the listing: not there, as for any other file.
        if (error.OsError() != ENOENT || HeadReadStarted()) {
          unreadable.push_back({name, error.OsError(), HeadReadStarted() ? 0 : -1});
        }
        continue;
      }
      if (!c) continue;
      if (VolumeNumberOfName(name, &base)) bases.insert(base);
      candidates_[c->number].push_back(std::move(*c));
    }
    // The choice among files of one number must not depend on the order of
    // the listing: regular files before links, then byte order of the name.
    for (std::vector<Candidate>& found : candidates_) {
      std::sort(found.begin(), found.end(), [](const Candidate& a, const Candidate& b) {
        return a.link != b.link ? b.link : a.name < b.name;
      });
    }
    std::sort(unreadable.begin(), unreadable.end(),
              [](const Unreadable& a, const Unreadable& b) { return a.name < b.name; });
    for (Unreadable& u : unreadable) {
      const std::optional<int> number = VolumeNumberOfName(u.name, &base);
      if (!number || bases.count(base) == 0) continue;
      u.number = *number;
      unreadable_.push_back(std::move(u));
    }
  }

  // The control digests are taken in one pass over every file that may be
  // verified.  Which files are shown, and in what order, is as when they
  // were read one by one: for each number its files in turn, until a usable
  // one; a file whose digest decides whether the next is shown waits for the
  // end of the pass.  A volume that the file layer cannot read is not
  // usable, and the next file of its number is tried.
  void Verify() {
    // A parity volume carries the parity of the largest file in parity
    // behind its list.  One that ends sooner is not usable, whatever its
    // digest says: restoring from it would rebuild files from bytes that
    // are not there.
    std::int64_t parityBytes = 0;
    for (int i = 0; i < m_.FileCount; ++i) {
      if (m_.FileTable[i].InParity()) parityBytes = std::max(parityBytes, m_.FileTable[i].filesize);
    }
    std::vector<FileHashJob> jobs;
    std::vector<std::string> names;
    std::vector<std::int64_t> sizes;
    for (int v = 0; v <= kLastReportedVolume;
         ++v) {  // higher ones are neither verified nor reported
      for (const Candidate& c : candidates_[v]) {
        const bool holdsParity =
            v == 0 || (c.dataOffset >= 0 && c.size - c.dataOffset >= parityBytes);
        order_.push_back({v, &c, holdsParity ? static_cast<int>(jobs.size()) : -1});
        names.push_back(c.name);
        sizes.push_back(holdsParity ? c.size : 0);
        if (holdsParity) jobs.push_back({action_.InSetFolder(c.name), kControlDigestStart});
      }
    }
    const ItemProgress progress(ProgressStep::kCheckingVolumes, names, sizes,
                                [](int) { return -1; });
    pass_ =
        std::make_unique<FileHashPass>(action_.env, std::move(jobs), action_.Pool(order_.size()),
                                       action_.Memo(), &action_.HandOver());
    FileHashPass& pass = *pass_;
    ItemsInOrder items;
    items.count = order_.size();
    items.jobOf = [&](std::size_t k) { return order_[k].job; };
    // A file after a usable one of its number is neither shown nor judged.
    items.shown = [&](std::size_t k) {
      for (std::size_t before = k; before-- > 0 && order_[before].volume == order_[k].volume;) {
        if (Usable(order_[before])) return false;
      }
      return true;
    };
    // Whether the next file of a number is shown waits for the digest of
    // the one before it.
    items.needsDigests = [&](std::size_t k) {
      return k + 1 < order_.size() && order_[k + 1].volume == order_[k].volume;
    };
    items.done = [&](std::size_t k) {
      const Step& s = order_[k];
      if (s.job >= 0 && !pass.Result(s.job).fileFailed) pass.ThrowError(s.job);
    };
    RunInOrder(action_, pass, progress, items);
    passOver_ = true;
  }

  // For each number the first usable file, or the first one when none is;
  // a number with no file that reads, but a file of its name that does
  // not, gets that one.  The set is stamped by its main volume.
  void Fill() {
    for (int v = 0; v < kTableSlots; ++v) {
      const std::vector<Candidate>& found = candidates_[v];
      fileentry& slot = m_.VolumeTable[v];
      if (found.empty()) {
        const auto u = std::find_if(unreadable_.begin(), unreadable_.end(),
                                    [v](const Unreadable& x) { return x.number == v; });
        if (u == unreadable_.end()) continue;
        slot.name = u->name;
        slot.present = 1;
        slot.crcok = 0;
        slot.trouble = IsDamageError(u->reason) ? ReadTrouble::kDamaged : ReadTrouble::kNotChecked;
        slot.troubleReason = u->reason;
        slot.troubleAt = u->at;
        continue;
      }
      const Step* chosen = nullptr;
      bool ok = false;
      for (const Step& s : order_) {
        if (s.volume != v) continue;
        if (chosen == nullptr) chosen = &s;
        if (Usable(s)) {
          chosen = &s;
          ok = true;
          break;
        }
      }
      const Candidate& c = chosen != nullptr ? *chosen->candidate : found.front();
      slot.name = c.name;
      slot.md5whole = c.control;
      slot.dataoffset = c.dataOffset;
      slot.modifiedNs = c.modifiedNs;
      slot.present = 1;
      slot.crcok = ok ? 1 : 0;
      if (!ok && chosen != nullptr && chosen->job >= 0) {
        const FileHashResult& r = pass_->Result(chosen->job);
        if (r.fileFailed) {
          slot.trouble =
              IsDamageError(r.failureReason) ? ReadTrouble::kDamaged : ReadTrouble::kNotChecked;
          slot.troubleReason = r.failureReason;
          slot.troubleAt = r.failedAt;
        }
      }
    }
    if (m_.VolumeTable[0].present && m_.VolumeTable[0].modifiedNs > 0) {
      m_.SetStampNs = m_.VolumeTable[0].modifiedNs;
    }
  }

 private:
  struct Candidate {
    std::string name;
    int number = 0;
    bool link = false;
    md5digest control{};
    std::int64_t size = 0;
    std::int64_t dataOffset = -1;  // -1: the header is cut short
    std::int64_t modifiedNs = 0;
  };
  struct Step {
    int volume;
    const Candidate* candidate;
    int job;  // -1: not hashed (no volume 0 and too short to hold the parity)
  };
  // A file of the folder that could not be opened or its head read.
  struct Unreadable {
    std::string name;
    int reason = 0;
    std::int64_t at = -1;  // 0: the head could not be read; -1: nor the file opened
    int number = -1;       // the volume its name stands for
  };

  // The file `name` when it is a volume of this set.  Throws the FileError
  // of a file that cannot be opened or whose head cannot be read.
  std::optional<Candidate> Recognised(const std::string& name) {
    headRead_ = false;
    std::unique_ptr<File> file = action_.env.OpenRead(action_.InSetFolder(name));
    headRead_ = true;
    const VolumeHead head = ReadHead(*file);
    Candidate c;
    c.name = name;
    const FileStamp stamp = file->Stamp();
    c.size = stamp.size;
    c.modifiedNs = stamp.modifiedNs;
    file.reset();
    if (head.present < kRecognisedBytes || head.kind == VolumeKind::kNotVolume ||
        std::memcmp(head.raw.data() + kOffSetHash, m_.SetHash.data(), m_.SetHash.size()) != 0) {
      return std::nullopt;
    }
    const VolumeHeader h = head.Header();
    if (head.Whole() && h.dataOffset >= kHeaderSize &&
        h.dataOffset <= static_cast<std::uint64_t>(c.size)) {
      c.dataOffset = static_cast<std::int64_t>(h.dataOffset);
    }
    c.number = head.raw[kOffVolumeNumber];
    c.control = h.control;
    c.link = action_.env.IsSymbolicLink(action_.InSetFolder(name));
    return c;
  }
  // Whether the last Recognised got as far as reading the file's head.
  bool HeadReadStarted() const { return headRead_; }

  // Its digests are known only once the pass is over.
  bool Usable(const Step& s) const {
    return passOver_ && s.job >= 0 && !pass_->Result(s.job).fileFailed &&
           md5equal(pass_->Result(s.job).whole, s.candidate->control);
  }

  Action& action_;
  SetModel& m_;
  std::array<std::vector<Candidate>, kTableSlots> candidates_;
  std::vector<Unreadable> unreadable_;  // named like this set's volumes, in byte order
  std::vector<Step> order_;
  std::unique_ptr<FileHashPass> pass_;
  bool passOver_ = false;
  bool headRead_ = false;
};

}  // namespace

void FindVolumes(Action& action) {
  for (fileentry& slot : action.model.VolumeTable) slot = fileentry{};
  VolumeSearch search(action);
  search.Recognise();
  search.Verify();
  search.Fill();
  action.HandOver().Clear();
  action.ui.HideProgress();
}

}  // namespace tarvel
