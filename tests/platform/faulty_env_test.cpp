// SPDX-License-Identifier: GPL-3.0-or-later
// The fault-injecting Env fails exactly the calls it was told to.
#include "support/faulty_env.h"

#include <gtest/gtest.h>

#include <functional>

#include "support/testutil.h"

namespace tarvel {
namespace {

using testing::FaultyEnv;

bool Throws(const std::function<void()>& f, const std::string& text) {
  try {
    f();
  } catch (const FileError& e) {
    return e.what() == text;
  }
  return false;
}

TEST(FaultyEnv, FailsTheChosenCallsOnly) {
  testing::TempDir dir;
  FaultyEnv env(Env::Default());
  const std::string p01 = dir / "set.P01", p02 = dir / "set.P02";

  env.Fail(FaultyEnv::kWrite, 2, ".P02");
  env.ShortWrite(1, ".P01");
  {
    auto one = env.CreateNew(p01);
    auto two = env.CreateNew(p02);
    EXPECT_TRUE(Throws([&] { one->WriteAt(0, "abcd", 4); }, CannotWriteText(p01)));
    two->WriteAt(0, "ab", 2);
    EXPECT_TRUE(Throws([&] { two->WriteAt(2, "cd", 2); }, CannotWriteText(p02)));
    two->WriteAt(2, "ef", 2);  // only the 2nd write failed
    one->WriteAt(2, "xy", 2);
  }
  EXPECT_EQ(testing::ReadBytes(p01), (std::vector<std::uint8_t>{'a', 'b', 'x', 'y'}));
  EXPECT_EQ(testing::ReadBytes(p02), (std::vector<std::uint8_t>{'a', 'b', 'e', 'f'}));
  EXPECT_EQ(env.Calls(FaultyEnv::kWrite), 5);
  EXPECT_EQ(env.Calls(FaultyEnv::kCreate), 2);

  env.Clear();
  env.Fail(FaultyEnv::kCreate, 2, "", /*sticky=*/true);
  env.Fail(FaultyEnv::kOpen, 1, ".P01");
  env.Fail(FaultyEnv::kRead, 1);
  env.Fail(FaultyEnv::kRename, 1);
  EXPECT_NO_THROW(env.CreateNew(dir / "first"));
  EXPECT_TRUE(Throws([&] { env.CreateNew(dir / "second"); }, CannotCreateText(dir / "second")));
  EXPECT_TRUE(Throws([&] { env.CreateNew(dir / "third"); }, CannotCreateText(dir / "third")));
  EXPECT_FALSE(testing::Exists(dir / "second"));
  EXPECT_TRUE(Throws([&] { env.OpenRead(p01); }, CannotOpenText(p01)));
  auto file = env.OpenRead(p02);
  char buf[4];
  EXPECT_TRUE(Throws([&] { file->ReadAt(0, buf, 4); }, CannotReadText(p02)));
  EXPECT_EQ(file->ReadAt(0, buf, 4), 4u);
  EXPECT_FALSE(env.Rename(p02, dir / "renamed", false));
  EXPECT_TRUE(testing::Exists(p02));
  EXPECT_TRUE(env.Rename(p02, dir / "renamed", false));
}

}  // namespace
}  // namespace tarvel
