// Every engine test runs with the thread count named by TARVEL_TEST_THREADS
// (three when it is not set, more than most machines have cores, so that
// workers share out jobs).  The test list runs once more with one thread:
// results, prompts, messages and progress must not depend on the count.
#include <gtest/gtest.h>

#include <cstdlib>

#include "engine/engine.h"

namespace tarvel {
namespace {

class ThreadsEnvironment : public ::testing::Environment {
 public:
  void SetUp() override {
    const char* text = std::getenv("TARVEL_TEST_THREADS");
    Engine::SetDefaultThreads(text != nullptr ? std::atoi(text) : 3);
  }
};

[[maybe_unused]] const auto* const kEnvironment =
    ::testing::AddGlobalTestEnvironment(new ThreadsEnvironment);

}  // namespace
}  // namespace tarvel
