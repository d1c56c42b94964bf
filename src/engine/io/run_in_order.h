// Showing a pass's steps in their order while the pass runs on other
// threads, and the progress of such a pass over items of known sizes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "engine/progress.h"

namespace tarvel {

// Shows a pass's steps in their order while the pass runs.  Step i is shown
// (`show`) once the steps before it are done, and done (`done`) once
// `ready(i)` says its outcome is known; `done` may throw, which ends the
// pass with that error right after the step that caused it was shown.
// `waiting` runs after every Advance, while the steps wait for the pass.
class StepsInOrder {
 public:
  StepsInOrder(std::size_t count, std::function<void(std::size_t)> show,
               std::function<bool(std::size_t)> ready, std::function<void(std::size_t)> done,
               std::function<void()> waiting);

  // Shows and finishes as many steps as are ready; for the progress callback.
  void Advance();
  // Shows and finishes the rest, after the pass.
  void Complete() { Advance(); }

  // The step shown and not yet done, if any.
  [[nodiscard]] std::optional<std::size_t> Current() const;

 private:
  std::size_t count_;
  std::function<void(std::size_t)> show_;
  std::function<bool(std::size_t)> ready_;
  std::function<void(std::size_t)> done_;
  std::function<void()> waiting_;
  std::size_t shown_ = 0;
  std::size_t finished_ = 0;
};

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

}  // namespace tarvel
