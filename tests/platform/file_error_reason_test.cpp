// The system's reason travels with the FileErrors the POSIX file layer
// throws (through the engine's replacing writer too: tests/cli).

#include <errno.h>

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "platform/env.h"
#include "support/testutil.h"

namespace tarvel {
namespace {

int ReasonOf(const std::function<void()>& f) {
  try {
    f();
  } catch (const FileError& e) {
    return e.OsError();
  }
  return -1;  // nothing thrown
}

TEST(FileErrorReason, EachFailureSaysWhy) {
  Env& env = Env::Default();
  testing::TempDir dir;
  testing::WriteText(dir / "there", "x");
  std::filesystem::create_directory(dir / "folder");
  const std::uint8_t byte = 1;

  const std::vector<std::tuple<const char*, std::function<void()>, int>> cases = {
      {"open a missing file", [&] { env.OpenRead(dir / "nothere"); }, ENOENT},
      {"open a folder", [&] { env.OpenRead(dir / "folder"); }, EISDIR},
      {"create in a missing folder", [&] { env.Create(dir / "no/file"); }, ENOENT},
      {"create a new file that exists", [&] { env.CreateNew(dir / "there"); }, EEXIST},
      {"write to a full device", [&] { env.Create("/dev/full")->WriteAt(0, &byte, 1); }, ENOSPC},
      {"a negative offset", [&] { env.OpenRead(dir / "there")->WriteAt(-1, &byte, 1); }, EINVAL},
      {"no failure", [&] { env.OpenRead(dir / "there"); }, -1},
  };
  for (const auto& [what, action, reason] : cases) {
    EXPECT_EQ(ReasonOf(action), reason) << what;
  }
}

}  // namespace
}  // namespace tarvel
