// The scope of one engine action, or of one of its steps called on its own:
// the outermost scope owns the worker pool of the action, made when a pass
// first needs it and ended with the scope, the digests the action has taken
// (DigestMemo, made by the actions that read files twice) and the folders it
// holds (Engine::HoldFolder), which end with it too.
#pragma once

#include <memory>

#include "engine/io/digest_memo.h"
#include "engine/engine.h"
#include "engine/io/worker_pool.h"

namespace tarvel {

class Engine::ActionScope {
 public:
  explicit ActionScope(Engine& engine) : engine_(engine) { ++engine_.actionDepth_; }
  ~ActionScope() {
    if (--engine_.actionDepth_ == 0) {
      engine_.pool_.reset();
      engine_.memo_.reset();
      engine_.holds_.clear();
    }
  }
  ActionScope(const ActionScope&) = delete;
  ActionScope& operator=(const ActionScope&) = delete;

 private:
  Engine& engine_;
};

}  // namespace tarvel
