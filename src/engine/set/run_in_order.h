// SPDX-License-Identifier: GPL-3.0-or-later
// Showing a pass's items in their order while the pass runs on other
// threads, and the progress of such a pass over items of known sizes.  The
// analysis of a create, the check of a set's files and that of its volumes
// each read all their files in one FileHashPass, and show and judge them
// one by one, exactly as if they were read one after another.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "engine/io/file_hash_pass.h"
#include "engine/progress.h"

namespace tarvel {

class Action;

// The progress records of a pass over items read one after another in the
// records (the files of a set, its volumes), each of a known size.
class ItemProgress {
 public:
  // `percent(i)`: the percentage the windows show at item i (-1: none).
  ItemProgress(ProgressStep step, std::vector<std::string> names,
               const std::vector<std::int64_t>& sizes, std::function<int(int)> percent);

  // Item i with `itemDone` of its bytes read; the step has then done every
  // byte of the items before it and those.
  [[nodiscard]] ProgressRecord At(std::size_t i, std::int64_t itemDone) const;
  // The last item with all its bytes read: the step is done.
  // REQUIRES: at least one item.
  [[nodiscard]] ProgressRecord Done() const { return At(names_.size() - 1, before_.back()); }

 private:
  ProgressStep step_;
  std::vector<std::string> names_;
  std::vector<std::int64_t> before_;  // before_[i]: bytes of the items before i; back(): all
  std::function<int(int)> percent_;
};

// The items of a pass and what is done with each.
struct ItemsInOrder {
  std::size_t count = 0;
  // The pass's job of item i, or -1 when the item is not read.
  std::function<int(std::size_t)> jobOf;
  // Called when item i is reached, before it is shown.  May be empty.
  std::function<void(std::size_t)> reached;
  // Whether item i is shown and judged at all, asked when it is reached.
  // Empty: every item is.
  std::function<bool(std::size_t)> shown;
  // Whether the judgement of item i needs its digests, which are known only
  // once the pass is over (a volume whose usability decides whether the next
  // file of its number is shown).  Empty: none does.  A job that failed is
  // judged at once.
  std::function<bool(std::size_t)> needsDigests;
  // Judges item i once its reading is over; may throw, which ends the pass
  // with that error right after the item was shown.
  std::function<void(std::size_t)> done;
};

// Runs `pass` on the action's workers and, on the calling thread, reaches
// the items in order: item i is shown (progress.At(i, 0)) once the items
// before it are judged, and judged once its reading is over; while it waits,
// its bytes read are shown, or the front end's events run.  Ends with
// progress.Done() when there is any item.
void RunInOrder(Action& action, FileHashPass& pass, const ItemProgress& progress,
                const ItemsInOrder& items);

}  // namespace tarvel
