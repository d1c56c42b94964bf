// SPDX-License-Identifier: GPL-3.0-or-later
// The system's reason travels with the FileErrors the POSIX file layer
// throws (through the engine's replacing writer too: tests/cli).

#include <errno.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

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

// Calls that report failure without throwing, for the same table.
void Check(OsStatus status) {
  if (!status) throw FileError("", status.Reason());
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
      {"create in a missing folder", [&] { env.CreateNew(dir / "no/file"); }, ENOENT},
      {"create a new file that exists", [&] { env.CreateNew(dir / "there"); }, EEXIST},
      {"write past what the file may hold",
       [&] {
         auto file = env.CreateNew(dir / "big");
         testing::WithFileSizeLimit(1, [&] { file->WriteAt(1, &byte, 1); });
       },
       EFBIG},
      {"a negative offset", [&] { env.OpenRead(dir / "there")->WriteAt(-1, &byte, 1); }, EINVAL},
      {"rename onto a name that exists",
       [&] { Check(env.Rename(dir / "there", dir / "folder", false)); }, EEXIST},
      {"rename a missing file", [&] { Check(env.Rename(dir / "nothere", dir / "x", true)); },
       ENOENT},
      {"remove a missing file", [&] { Check(env.Remove(dir / "nothere")); }, ENOENT},
      {"list a missing folder", [&] { env.ListPlainFiles(dir / "nothere"); }, ENOENT},
      {"list a file as a folder", [&] { env.ListHiddenFiles(dir / "there"); }, ENOTDIR},
      {"flush a missing folder", [&] { env.SyncFolder(dir / "nothere"); }, ENOENT},
      {"keep a folder under a second name", [&] { env.KeepUnderName(dir / "folder", dir / "f2"); },
       EISDIR},
      {"keep under a name that exists", [&] { env.KeepUnderName(dir / "there", dir / "folder"); },
       EEXIST},
      {"the current folder, removed",
       [&] {
         const int back = open(".", O_RDONLY | O_DIRECTORY);
         std::filesystem::create_directory(dir / "gone");
         EXPECT_EQ(chdir((dir / "gone").c_str()), 0);
         std::filesystem::remove(dir / "gone");
         const auto restore = [back] {
           EXPECT_EQ(fchdir(back), 0);
           close(back);
         };
         try {
           env.CurrentFolder();
         } catch (...) {
           restore();
           throw;
         }
         restore();
       },
       ENOENT},
      {"no failure", [&] { env.OpenRead(dir / "there"); }, -1},
  };
  for (const auto& [what, action, reason] : cases) {
    EXPECT_EQ(ReasonOf(action), reason) << what;
  }
}

}  // namespace
}  // namespace tarvel
