// SPDX-License-Identifier: GPL-3.0-or-later
#include "engine/set/run_in_order.h"

#include <algorithm>
#include <optional>

#include "engine/set/action.h"

namespace tarvel {
namespace {

// The items of one RunInOrder: which is reached, shown and judged.
class InOrder {
 public:
  InOrder(Action& action, FileHashPass& pass, const ItemProgress& progress,
          const ItemsInOrder& items)
      : action_(action), pass_(pass), progress_(progress), items_(items) {}

  // Reaches, shows and judges as many items as the pass allows; then shows
  // the bytes of the item it waits for, or lets the events run.
  void Advance(bool passOver) {
    for (;;) {
      if (current_ == reached_ && reached_ < items_.count) {
        Reach(reached_++);
        continue;
      }
      if (current_ < reached_ && Ready(current_, passOver)) {
        if (shown_) items_.done(current_);
        ++current_;
        continue;
      }
      break;
    }
    const int job = current_ < reached_ && shown_ ? items_.jobOf(current_) : -1;
    if (job >= 0) {
      action_.ShowProgress(progress_.At(current_, pass_.BytesRead(static_cast<std::size_t>(job))));
    } else {
      action_.KeepResponsive();
    }
  }

 private:
  void Reach(std::size_t i) {
    if (items_.reached) items_.reached(i);
    shown_ = !items_.shown || items_.shown(i);
    if (shown_) action_.ShowProgress(progress_.At(i, 0));
  }

  bool Ready(std::size_t i, bool passOver) const {
    const int job = items_.jobOf(i);
    if (!shown_ || job < 0 || passOver) return true;
    const auto j = static_cast<std::size_t>(job);
    if (!pass_.Finished(j)) return false;
    const FileHashResult& r = pass_.Result(j);
    return !items_.needsDigests || !items_.needsDigests(i) || r.error || r.fileFailed;
  }

  Action& action_;
  FileHashPass& pass_;
  const ItemProgress& progress_;
  const ItemsInOrder& items_;
  std::size_t reached_ = 0;  // items reached
  std::size_t current_ = 0;  // the item reached and not yet judged, when < reached_
  bool shown_ = false;       // whether the current item is shown
};

}  // namespace

ItemProgress::ItemProgress(ProgressStep step, std::vector<std::string> names,
                           const std::vector<std::int64_t>& sizes, std::function<int(int)> percent)
    : step_(step), names_(std::move(names)), before_(1, 0), percent_(std::move(percent)) {
  for (std::int64_t size : sizes)
    before_.push_back(before_.back() + std::max<std::int64_t>(size, 0));
}

ProgressRecord ItemProgress::At(std::size_t i, std::int64_t itemDone) const {
  ProgressRecord r;
  r.step = step_;
  r.item = static_cast<int>(i);
  r.items = static_cast<int>(names_.size());
  r.name = names_[i];
  r.percent = percent_(static_cast<int>(i));
  r.itemTotal = before_[i + 1] - before_[i];
  r.itemDone = std::clamp<std::int64_t>(itemDone, 0, r.itemTotal);
  r.stepTotal = before_.back();
  r.stepDone = before_[i] + r.itemDone;
  return r;
}

void RunInOrder(Action& action, FileHashPass& pass, const ItemProgress& progress,
                const ItemsInOrder& items) {
  InOrder order(action, pass, progress, items);
  pass.Run([&] { order.Advance(/*passOver=*/false); });
  order.Advance(/*passOver=*/true);
  if (items.count > 0) action.ShowProgress(progress.Done());
}

}  // namespace tarvel
