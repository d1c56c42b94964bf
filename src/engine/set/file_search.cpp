// Checking a volume set: finding its files in the set folder (by name, and
// by content under another name), verifying their digests, recognising the
// set's volumes by content, and the report.  Every name is a bare name of
// the set folder.

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>
#include <functional>
#include <map>
#include <optional>
#include <set>
#include <vector>

#include "engine/set/action.h"
#include "engine/engine.h"
#include "engine/io/file_digests.h"
#include "engine/io/file_hash_pass.h"
#include "engine/format/format.h"
#include "engine/format/volume_reader.h"
#include "engine/io/replacing_writer.h"
#include "engine/io/run_in_order.h"

namespace tarvel {
namespace {

// Bytes of a file that can be recognised as a volume: its header up to and
// including the volume number.
constexpr std::size_t kRecognisedBytes = kOffVolumeNumber + 1;
constexpr std::size_t kCopyBlock = 1 << 20;
const std::string kBlankLine = " ";

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
        jobs.push_back({pathOf_(name), 0, whole ? -1 : kHeadBytes});
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
  static constexpr auto kHeadBytes = static_cast<std::int64_t>(kMd5HeadBytes);

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
  const std::string why = " failed: the copy does not have the size and digests listed for ";
  return "Copying " + found + " to " + missing + why + missing + ". " + missing +
         " was left as it was.";
}

}  // namespace

void Engine::SearchFiles() {
  const ActionScope scope(*this);
  SetModel& m = model_;
  const auto presencePass = [&] {
    for (int i = 0; i < m.FileCount; ++i) {
      fileentry& e = m.FileTable[i];
      e.present = env_.IsPlainFile(setFolder_, e.name) ? 1 : 0;
    }
  };

  presencePass();
  ui_.ShowProgress();
  m.RenameAnswer = 0;
  ui_.ResetRenamePrompt();
  foundElsewhere_.assign(static_cast<std::size_t>(std::max(m.FileCount, 0)), 0);
  placedBySearch_ = 0;
  namesOfSets_.reset();

  // Content pass: a missing file may be in the folder under another name.
  CandidateFacts candidates(
      env_, Pool(static_cast<std::size_t>(m.FileCount)),
      [this](const std::string& name) { return InSetFolder(name); }, [this] { KeepResponsive(); });
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
    Report(searching);
    if (m.FileTable[i].present) continue;
    // The listing runs to its end: every further match gets its own offer.
    std::vector<std::string> listing = env_.ListPlainFiles(setFolder_);
    std::erase_if(listing, [&](const std::string& candidate) {
      return candidate == m.FileTable[i].name || placedFrom.count(candidate) != 0;
    });
    candidates.Prefetch(listing, m.FileTable[i]);
    // The first match is offered; another name with the same content only
    // when putting the first in place failed.
    for (const std::string& candidate : listing) {
      const fileentry& e = m.FileTable[i];
      if (!candidates.HasContentOf(candidate, e)) continue;
      foundElsewhere_[i] = 1;
      actions_.push_back({FileActionKind::kFound, e.name, candidate});
      const OfferOutcome outcome = OfferFoundFile(candidate, e.name);
      candidates.Forget(candidate);
      candidates.Forget(e.name);
      if (outcome == OfferOutcome::kPlaced) {
        placedFrom.insert(candidate);
        ++placedBySearch_;
      }
      if (outcome != OfferOutcome::kFailed) break;
    }
  }

  presencePass();

  // Verification.  A file that is not there cannot be intact, whatever a
  // hidden file of its name holds, so only present files are read, all in
  // one pass; the files are shown in set order as their reading ends.
  std::vector<FileHashJob> jobs;
  std::vector<int> jobOf(static_cast<std::size_t>(std::max(m.FileCount, 0)), -1);
  std::vector<std::string> names;
  std::vector<std::int64_t> sizes;
  for (int i = 0; i < m.FileCount; ++i) {
    const fileentry& e = m.FileTable[i];
    names.push_back(e.name);
    sizes.push_back(e.present ? SizeOrZero(env_, InSetFolder(e.name)) : 0);
    if (!e.present) continue;
    jobOf[i] = static_cast<int>(jobs.size());
    jobs.push_back({InSetFolder(e.name)});
  }
  const ItemProgress progress(ProgressStep::kCheckingFiles, names, sizes,
                              [&](int i) { return i * 100 / m.FileCount; });
  // A file this action has read already and that is unchanged since is
  // not read again (the check after a repair's rebuild).  A file the file
  // layer cannot read is judged below; only other failures end the check.
  FileHashPass pass(env_, std::move(jobs), Pool(jobOf.size()), Memo());
  StepsInOrder steps(
      jobOf.size(), [&](std::size_t i) { Report(progress.At(i, 0)); },
      [&](std::size_t i) { return jobOf[i] < 0 || pass.Over(jobOf[i]); },
      [&](std::size_t i) {
        if (jobOf[i] >= 0 && !pass.Result(jobOf[i]).fileFailed) pass.ThrowError(jobOf[i]);
      },
      [&] {
        const auto i = steps.Current();
        if (i && jobOf[*i] >= 0) {
          Report(progress.At(*i, pass.BytesRead(jobOf[*i])));
        } else {
          KeepResponsive();
        }
      });
  pass.Run([&] { steps.Advance(); });
  steps.Complete();
  if (m.FileCount > 0) Report(progress.Done());
  for (int i = 0; i < m.FileCount; ++i) {
    fileentry& e = m.FileTable[i];
    e.crcok = 0;
    e.trouble = ReadTrouble::kNone;
    e.troubleReason = 0;
    e.troubleAt = -1;
    e.modifiedNs = 0;
    if (jobOf[i] < 0) continue;
    const FileHashResult& r = pass.Result(jobOf[i]);
    if (r.opened) e.modifiedNs = r.opening.modifiedNs;
    if (r.fileFailed) {
      // Gone between the look and the reading: missing, as it now is.
      if (!r.opened && r.failureReason == ENOENT) {
        e.present = 0;
        continue;
      }
      e.trouble = IsDamageError(r.failureReason) ? ReadTrouble::kDamaged : ReadTrouble::kNotChecked;
      e.troubleReason = r.failureReason;
      e.troubleAt = r.failedAt;
      continue;
    }
    // A file of another size than listed is damaged, whatever its digest
    // says (a list may have been made from a file that grew as it was read).
    e.crcok = r.hashed == e.filesize && md5equal(r.whole, e.md5whole) ? 1 : 0;
    if (e.crcok) continue;
    // A link that stands at the name is replaced by a repair, and what it
    // leads to stays as it is: it lends the file neither its time nor its
    // volume.
    if (env_.IsSymbolicLink(InSetFolder(e.name))) {
      e.modifiedNs = 0;
      continue;
    }
    // A damaged file may be a volume of this set under a name the list
    // gives (renamed so, or named so by a list): it is used as a volume,
    // and no repair may put a rebuilt file in its place.
    if (const std::optional<int> number = VolumeOfThisSet(InSetFolder(e.name))) {
      e.trouble = ReadTrouble::kIsVolume;
      e.troubleAt = *number;
    }
  }
  ui_.HideProgress();
}

std::optional<int> Engine::VolumeOfThisSet(const std::string& path) {
  std::array<std::uint8_t, kHeaderSize> head{};
  std::size_t got = 0;
  try {
    got = env_.OpenRead(path)->ReadAt(0, head.data(), head.size());
  } catch (const FileError&) {
    return std::nullopt;  // whatever it is, it cannot serve as a volume
  }
  if (got < kRecognisedBytes ||
      RecogniseVolume(std::span(head.data(), got)) != VolumeKind::kVolume ||
      std::memcmp(head.data() + kOffSetHash, model_.SetHash.data(), model_.SetHash.size()) != 0) {
    return std::nullopt;
  }
  return head[kOffVolumeNumber];
}

bool Engine::FoundUnderOtherName(int i) const {
  return i >= 0 && static_cast<std::size_t>(i) < foundElsewhere_.size() &&
         foundElsewhere_[static_cast<std::size_t>(i)] != 0;
}

const fileentry* Engine::ListedFile(const std::string& name) const {
  for (int i = 0; i < model_.FileCount; ++i) {
    if (model_.FileTable[i].name == name) return &model_.FileTable[i];
  }
  return nullptr;
}

Engine::OfferOutcome Engine::OfferFoundFile(const std::string& found, const std::string& missing) {
  SetModel& m = model_;
  const auto done = [](bool placed) {
    return placed ? OfferOutcome::kPlaced : OfferOutcome::kFailed;
  };
  switch (m.RenameAnswer) {
    case 1:
      return done(rnfile(found, missing));
    case 2:
      return done(cpfile(found, missing));  // a failure ends the whole action
    case 3:
      return OfferOutcome::kLeft;
    default:
      break;
  }
  // The prompt stays up until a button has done its work: a copy that fails
  // shows the error and asks again.
  for (;;) {
    const RenameReply reply = ui_.AskRename(found, missing);
    switch (reply.button) {
      case RenameButton::kRename:
        if (reply.dontAskAgain) m.RenameAnswer = 1;
        return done(rnfile(found, missing));
      case RenameButton::kCopy: {
        bool placed = false;
        try {
          placed = cpfile(found, missing);
        } catch (const FileError& error) {
          ui_.Message(ErrorBoxText(WithReason(error.what(), error.OsError())));
          // An answer that cannot change would only fail again.
          if (reply.standing) throw ReportedFailure(error.what());
          continue;
        }
        if (reply.dontAskAgain) m.RenameAnswer = 2;
        return done(placed);
      }
      case RenameButton::kCancel:
        if (reply.dontAskAgain) m.RenameAnswer = 3;
        return OfferOutcome::kLeft;
      case RenameButton::kClosed:
        return OfferOutcome::kLeft;
    }
  }
}

bool Engine::ListedBySomeSet(const std::string& name) {
  if (!namesOfSets_) {
    // Every volume of the folder, recognised by its content: headers and
    // lists only, so this costs a few small reads per file.
    namesOfSets_.emplace();
    for (const std::string& file : env_.ListPlainFiles(setFolder_)) {
      for (std::string& listed : ListedNames(env_, InSetFolder(file))) {
        namesOfSets_->insert(std::move(listed));
      }
    }
  }
  return namesOfSets_->count(name) != 0;
}

bool Engine::rnfile(const std::string& found, const std::string& missing) {
  // Renaming a file that this set or another set in the folder lists would
  // only move the gap to its name.
  if (ListedFile(found) != nullptr || ListedBySomeSet(found)) return cpfile(found, missing);
  const OsStatus renamed = env_.Rename(InSetFolder(found), InSetFolder(missing), /*replace=*/false);
  if (!renamed) {
    actions_.push_back({FileActionKind::kRenameFailed, missing, found});
    ui_.Message(WithReason("Rename failed!", renamed.Reason()));
    return false;
  }
  actions_.push_back({FileActionKind::kRenamed, missing, found});
  // On disk before anyone is told it is in place.
  env_.SyncFolder(setFolder_);
  return true;
}

bool Engine::cpfile(const std::string& found, const std::string& missing) {
  try {
    std::unique_ptr<File> source = env_.OpenRead(InSetFolder(found));
    ReplacingWriter target(env_, InSetFolder(missing));
    std::vector<std::uint8_t> buffer(kCopyBlock);
    std::int64_t offset = 0;
    for (;;) {
      StopPoint();
      const std::size_t got = source->ReadAt(offset, buffer.data(), buffer.size());
      if (got == 0) break;
      target.WriteAt(offset, std::span(buffer.data(), got));
      offset += static_cast<std::int64_t>(got);
    }
    // The found file was compared before; what was copied is proven again,
    // as the file may have changed since.
    const fileentry* listed = ListedFile(missing);
    if (listed != nullptr && !target.Holds(listed->filesize, listed->md5whole, listed->md5head)) {
      actions_.push_back({FileActionKind::kCopyFailed, missing, found});
      ui_.Message(CopyMismatchText(found, missing));
      return false;  // the writer removes its temporary file
    }
    // As old as what it was copied from, as a renamed file would be.
    target.SetModifiedTime(source->Stamp().modifiedNs);
    target.Commit();
  } catch (const FileError&) {
    actions_.push_back({FileActionKind::kCopyFailed, missing, found});
    throw;
  }
  actions_.push_back({FileActionKind::kCopied, missing, found});
  return true;
}

// Finding a set's volumes: every file of the set folder that carries the
// set digest, by volume number, then each number's files verified in turn
// (in one pass over all of them), then the table filled.  A file that
// cannot be read is no volume that anyone can use; when its name is that of
// a volume of this set it is named in the report all the same, with why.
class Engine::VolumeSearch {
 public:
  explicit VolumeSearch(Engine& engine) : e_(engine), m_(engine.model_) {}

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
    if (VolumeNumberOfName(e_.volumeRead_, &base)) bases.insert(base);
    for (const std::string& name : e_.env_.ListPlainFiles(e_.setFolder_)) {
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
        if (holdsParity) jobs.push_back({e_.InSetFolder(c.name), kControlDigestStart});
      }
    }
    const ItemProgress progress(ProgressStep::kCheckingVolumes, names, sizes,
                                [](int) { return -1; });
    pass_ =
        std::make_unique<FileHashPass>(e_.env_, std::move(jobs), e_.Pool(order_.size()), e_.Memo());
    FileHashPass& pass = *pass_;
    StepsInOrder steps(
        order_.size(),
        [&](std::size_t k) {
          if (!order_[k].skipped) e_.Report(progress.At(k, 0));
        },
        [&](std::size_t k) {
          const Step& s = order_[k];
          const bool lastOfNumber = k + 1 == order_.size() || order_[k + 1].volume != s.volume;
          return s.skipped || s.job < 0 || passOver_ ||
                 (pass.Over(s.job) && (lastOfNumber || pass.Result(s.job).error));
        },
        [&](std::size_t k) {
          const Step& s = order_[k];
          if (s.skipped || s.job < 0) return;
          if (!pass.Result(s.job).fileFailed) pass.ThrowError(s.job);
          if (!passOver_ || !Usable(s)) return;
          for (std::size_t later = k + 1; later < order_.size() && order_[later].volume == s.volume;
               ++later) {
            order_[later].skipped = true;
          }
        },
        [&] {
          const auto k = steps.Current();
          if (k && order_[*k].job >= 0 && !order_[*k].skipped) {
            e_.Report(progress.At(*k, pass.BytesRead(order_[*k].job)));
          } else {
            e_.KeepResponsive();
          }
        });
    e_.ui_.ShowProgress();
    pass.Run([&] { steps.Advance(); });
    passOver_ = true;
    steps.Complete();
    if (!order_.empty()) e_.Report(progress.Done());
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
        if (s.volume != v || s.skipped) continue;
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
    int job;               // -1: not hashed (no volume 0 and too short to hold the parity)
    bool skipped = false;  // a usable file of its number came before it
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
    std::unique_ptr<File> file = e_.env_.OpenRead(e_.InSetFolder(name));
    headRead_ = true;
    std::array<std::uint8_t, kHeaderSize> head{};
    const std::size_t got = file->ReadAt(0, head.data(), head.size());
    Candidate c;
    c.name = name;
    const FileStamp stamp = file->Stamp();
    c.size = stamp.size;
    c.modifiedNs = stamp.modifiedNs;
    file.reset();
    if (got < kRecognisedBytes ||
        RecogniseVolume(std::span(head.data(), got)) == VolumeKind::kNotVolume ||
        std::memcmp(head.data() + kOffSetHash, m_.SetHash.data(), m_.SetHash.size()) != 0) {
      return std::nullopt;
    }
    const VolumeHeader h = DecodeHeader(head);
    if (got == head.size() && h.dataOffset >= kHeaderSize &&
        h.dataOffset <= static_cast<std::uint64_t>(c.size)) {
      c.dataOffset = static_cast<std::int64_t>(h.dataOffset);
    }
    c.number = head[kOffVolumeNumber];
    c.control = h.control;
    c.link = e_.env_.IsSymbolicLink(e_.InSetFolder(name));
    return c;
  }
  // Whether the last Recognised got as far as reading the file's head.
  bool HeadReadStarted() const { return headRead_; }

  bool Usable(const Step& s) const {
    return s.job >= 0 && !pass_->Result(s.job).fileFailed &&
           md5equal(pass_->Result(s.job).whole, s.candidate->control);
  }

  Engine& e_;
  SetModel& m_;
  std::array<std::vector<Candidate>, kTableSlots> candidates_;
  std::vector<Unreadable> unreadable_;  // named like this set's volumes, in byte order
  std::vector<Step> order_;
  std::unique_ptr<FileHashPass> pass_;
  bool passOver_ = false;
  bool headRead_ = false;
};

void Engine::FindVolumes() {
  const ActionScope scope(*this);
  for (fileentry& slot : model_.VolumeTable) slot = fileentry{};
  VolumeSearch search(*this);
  search.Recognise();
  search.Verify();
  search.Fill();
  ui_.HideProgress();
}

void Engine::BuildReport(std::vector<std::string>& lines) {
  SetModel& m = model_;
  m.BadFileCount = 0;
  m.CrcOnlyBadCount = 0;
  m.UsableVolumeCount = 0;
  lines.clear();

  int notChecked = 0;
  for (int i = 0; i < m.FileCount; ++i) {
    const fileentry& e = m.FileTable[i];
    // A file that could not be read for a reason that is not damage is
    // neither intact nor known to be bad.
    const bool unchecked = e.present && e.trouble == ReadTrouble::kNotChecked;
    const char* state = !e.present  ? " Missing..."
                        : unchecked ? " Not checked..."
                        : e.crcok   ? " OK"
                                    : " CRC Mismatch...";
    notChecked += unchecked;
    if (e.InParity()) {
      if (e.Intact()) {
        lines.push_back(e.name + " OK");
        continue;
      }
      lines.push_back(kBlankLine);
      lines.push_back(e.name + state);
      lines.push_back(kBlankLine);
      if (!unchecked) ++m.BadFileCount;
    } else {
      lines.push_back(e.name + " (CRC only)" + state);
      if (!e.Intact() && !unchecked) ++m.CrcOnlyBadCount;
    }
  }
  // Damage to digest-only files cannot be repaired, but it is damage: the
  // summary never calls such a set all OK, nor one with a file unchecked.
  lines.push_back(kBlankLine);
  if (m.BadFileCount > 0) {
    lines.push_back(std::to_string(m.BadFileCount) + " bad/missing files.");
  } else if (m.CrcOnlyBadCount > 0) {
    lines.push_back(std::to_string(m.CrcOnlyBadCount) + " bad/missing files (CRC only).");
  } else if (notChecked == 0) {
    lines.push_back("All files OK.");
  }
  if (notChecked > 0) lines.push_back(std::to_string(notChecked) + " files not checked.");
  lines.push_back(kBlankLine);
  lines.push_back("Found parity volumes:");
  for (int v = 1; v <= kLastReportedVolume; ++v) {
    const fileentry& slot = m.VolumeTable[v];
    if (!slot.present) continue;
    // A volume is recognised by content, whatever its name holds.
    if (slot.crcok) {
      lines.push_back(PrintableText(slot.name) + " OK");
      ++m.UsableVolumeCount;
    } else if (slot.trouble == ReadTrouble::kNotChecked) {
      lines.push_back(PrintableText(slot.name) + " Not checked...");
    } else {
      lines.push_back(PrintableText(slot.name) + " CRC Mismatch...");
    }
  }
  lines.push_back(kBlankLine);
  lines.push_back(m.UsableVolumeCount == 0
                      ? "No usable parity volumes found"
                      : std::to_string(m.UsableVolumeCount) + " usable parity volumes found.");
}

namespace {

// Why a file or volume that was not read to its end is reported as it is.
std::string TroubleNote(const fileentry& e, const std::string& name) {
  switch (e.trouble) {
    case ReadTrouble::kDamaged:
      return name + ": " + ReadFailureText(e);
    case ReadTrouble::kNotChecked:
      return name + " was not checked: " + ReadFailureText(e);
    case ReadTrouble::kIsVolume:
      return name + " holds " +
             (e.troubleAt == 0 ? std::string("the main volume")
                               : "volume " + std::to_string(e.troubleAt)) +
             " of this set, not the file the set lists: it is used as a volume and left as it is";
    case ReadTrouble::kNone:
      break;
  }
  return {};
}

}  // namespace

std::vector<std::string> Engine::ReportNotes() const {
  const SetModel& m = model_;
  std::vector<std::string> notes;
  for (int i = 0; i < m.FileCount; ++i) {
    const fileentry& e = m.FileTable[i];
    if (!e.present) continue;
    if (e.trouble != ReadTrouble::kNone) notes.push_back(TroubleNote(e, e.name));
    if (ChangedAfterSet(e, m)) notes.push_back(e.name + " changed after the set was made");
  }
  for (int v = 0; v <= kLastReportedVolume; ++v) {
    const fileentry& slot = m.VolumeTable[v];
    if (slot.present && slot.trouble != ReadTrouble::kNone) {
      notes.push_back(TroubleNote(slot, PrintableText(slot.name)));
    }
  }
  return notes;
}

}  // namespace tarvel
