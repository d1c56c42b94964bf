#include "engine/io/run_in_order.h"

#include <algorithm>

namespace tarvel {

StepsInOrder::StepsInOrder(std::size_t count, std::function<void(std::size_t)> show,
                           std::function<bool(std::size_t)> ready,
                           std::function<void(std::size_t)> done, std::function<void()> waiting)
    : count_(count),
      show_(std::move(show)),
      ready_(std::move(ready)),
      done_(std::move(done)),
      waiting_(std::move(waiting)) {}

void StepsInOrder::Advance() {
  for (;;) {
    if (shown_ == finished_ && shown_ < count_) {
      show_(shown_++);
      continue;
    }
    if (finished_ < shown_ && ready_(finished_)) {
      done_(finished_++);
      continue;
    }
    break;
  }
  if (waiting_) waiting_();
}

std::optional<std::size_t> StepsInOrder::Current() const {
  if (finished_ < shown_) return finished_;
  return std::nullopt;
}

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

}  // namespace tarvel
