// SPDX-License-Identifier: GPL-3.0-or-later
// The POSIX file layer: error texts, positioned reads and writes, listing
// filters, renaming, free space and the path helpers.
#include "platform/env.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <limits.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <filesystem>
#include <functional>
#include <thread>

#include "support/testutil.h"

namespace tarvel {
namespace {

using testing::TempDir;

// The text of the FileError thrown by `f`, or "" when nothing was thrown.
template <typename F>
std::string ErrorOf(F f) {
  try {
    f();
  } catch (const FileError& e) {
    return e.what();
  }
  return "";
}

TEST(Env, OpenAndCreateFailuresCarryTheNameAsGiven) {
  Env& env = Env::Default();
  TempDir dir;
  testing::WriteText(dir / "there", "x");

  EXPECT_EQ(CannotOpenText("a.bin"), "Datei a.bin kann nicht geöffnet werden");
  EXPECT_EQ(CannotCreateText("a.bin"), "Datei a.bin kann nicht erstellt werden");
  EXPECT_EQ(CannotWriteText("a.bin"), "Datei a.bin kann nicht geschrieben werden");
  EXPECT_EQ(CannotReadText("a.bin"), "Datei a.bin kann nicht gelesen werden");

  EXPECT_EQ(ErrorOf([&] { env.OpenRead("no-such-file.bin"); }),
            "Datei no-such-file.bin kann nicht geöffnet werden");
  EXPECT_EQ(ErrorOf([&] { env.CreateNew(dir / "no/folder"); }),
            "Datei " + (dir / "no/folder") + " kann nicht erstellt werden");
  EXPECT_EQ(ErrorOf([&] { env.CreateNew(dir / "there"); }),
            "Datei " + (dir / "there") + " kann nicht erstellt werden");
  // A folder is not a file, and a pipe must neither open nor hang.
  EXPECT_EQ(ErrorOf([&] { env.OpenRead(dir.path()); }),
            "Datei " + dir.path() + " kann nicht geöffnet werden");
  ASSERT_EQ(mkfifo((dir / "pipe").c_str(), 0600), 0);
  EXPECT_EQ(ErrorOf([&] { env.OpenRead(dir / "pipe"); }),
            "Datei " + (dir / "pipe") + " kann nicht geöffnet werden");
  EXPECT_EQ(ErrorOf([&] { env.CreateNew(dir / "pipe"); }),
            "Datei " + (dir / "pipe") + " kann nicht erstellt werden");
  // CreateNew left the existing file alone.
  EXPECT_EQ(testing::ReadBytes(dir / "there").size(), 1u);
}

TEST(Env, PositionedReadsAndWrites) {
  Env& env = Env::Default();
  TempDir dir;
  const std::string path = dir / "data";
  {
    auto file = env.CreateNew(path);
    EXPECT_EQ(file->Name(), path);
    EXPECT_EQ(file->Size(), 0);
    file->WriteAt(0, "abc", 3);
    file->WriteAt(6, "xyz", 3);  // leaves a hole of zeros
    file->Sync();
    EXPECT_EQ(file->Size(), 9);
    EXPECT_EQ(testing::ReadBytes(path),
              (std::vector<std::uint8_t>{'a', 'b', 'c', 0, 0, 0, 'x', 'y', 'z'}));
    file->WriteAt(3, "DEF", 3);
    char buf[16] = {};
    EXPECT_EQ(file->ReadAt(0, buf, 16), 9u);  // short only at the end
    EXPECT_EQ(std::string(buf, 9), "abcDEFxyz");
    EXPECT_EQ(file->ReadAt(9, buf, 4), 0u);
    EXPECT_EQ(file->ReadAt(100, buf, 4), 0u);
  }
  {
    auto file = env.OpenRead(path);
    char buf[4] = {};
    EXPECT_EQ(file->ReadAt(4, buf, 4), 4u);
    EXPECT_EQ(std::string(buf, 4), "EFxy");
    EXPECT_EQ(ErrorOf([&] { file->WriteAt(0, "q", 1); }),
              "Datei " + path + " kann nicht geschrieben werden");
  }
}

// A write that the system refuses part-way (here past the size the process
// may write, as a full disk refuses one) fails with the write text, however
// much of it was taken.
TEST(Env, FailedWriteThrowsTheWriteText) {
  TempDir dir;
  const std::string path = dir / "data";
  auto file = Env::Default().CreateNew(path);
  const std::vector<char> block(100000, 'x');
  testing::WithFileSizeLimit(4096, [&] {
    EXPECT_EQ(ErrorOf([&] { file->WriteAt(0, block.data(), block.size()); }),
              "Datei " + path + " kann nicht geschrieben werden");
    EXPECT_EQ(ErrorOf([&] { file->WriteAt(4096, block.data(), 1); }),
              "Datei " + path + " kann nicht geschrieben werden");
  });
  file->WriteAt(4096, block.data(), 1);  // the limit is gone again
}

TEST(Env, PlainFilesAreRegularFilesAndLinksToThem) {
  Env& env = Env::Default();
  TempDir dir;
  testing::WriteText(dir / "a.bin", "a");
  testing::WriteText(dir / "b.PAR", "b");
  testing::WriteText(dir / ".hidden", "h");
  std::filesystem::create_directory(dir / "folder");
  ASSERT_EQ(mkfifo((dir / "pipe").c_str(), 0600), 0);
  std::filesystem::create_symlink(dir / "a.bin", dir / "link-to-file");
  std::filesystem::create_symlink(dir / "folder", dir / "link-to-folder");
  std::filesystem::create_symlink(dir / "gone", dir / "dangling");
  std::filesystem::create_symlink(dir / "a.bin", dir / ".hidden-link");

  // A socket, where the path fits into sockaddr_un.
  bool haveSocket = false;
  const std::string socketPath = dir / "sock";
  sockaddr_un addr{};
  addr.sun_family = AF_UNIX;
  const int fd = socket(AF_UNIX, SOCK_STREAM, 0);
  if (fd >= 0 && socketPath.size() < sizeof addr.sun_path) {
    std::copy(socketPath.begin(), socketPath.end(), addr.sun_path);
    haveSocket = bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0;
  }
  if (fd >= 0) close(fd);

  auto names = env.ListPlainFiles(dir.path());
  std::sort(names.begin(), names.end());
  EXPECT_EQ(names, (std::vector<std::string>{"a.bin", "b.PAR", "link-to-file"}));

  // A hidden name is not listed, but asked for by its name it is found.
  for (const char* name : {"a.bin", "b.PAR", "link-to-file", ".hidden", ".hidden-link"}) {
    EXPECT_TRUE(env.IsPlainFile(dir.path(), name)) << name;
  }
  for (const char* name : {"folder", "pipe", "link-to-folder", "dangling", "missing", "", ".", "..",
                           "folder/../a.bin"}) {
    EXPECT_FALSE(env.IsPlainFile(dir.path(), name)) << name;
  }
  for (const char* name : {"link-to-file", "link-to-folder", "dangling", ".hidden-link"}) {
    EXPECT_TRUE(env.IsSymbolicLink(dir / name)) << name;
  }
  for (const char* name : {"a.bin", ".hidden", "folder", "pipe", "missing"}) {
    EXPECT_FALSE(env.IsSymbolicLink(dir / name)) << name;
  }
  if (haveSocket) {
    EXPECT_FALSE(env.IsPlainFile(dir.path(), "sock"));
  }
}

TEST(Env, RenameWithAndWithoutReplace) {
  Env& env = Env::Default();
  TempDir dir;
  testing::WriteText(dir / "a", "A");
  testing::WriteText(dir / "b", "B");

  EXPECT_FALSE(env.Rename(dir / "a", dir / "b", false));  // refuses an existing target
  EXPECT_EQ(testing::ReadBytes(dir / "a"), std::vector<std::uint8_t>{'A'});
  EXPECT_EQ(testing::ReadBytes(dir / "b"), std::vector<std::uint8_t>{'B'});

  EXPECT_TRUE(env.Rename(dir / "a", dir / "c", false));
  EXPECT_FALSE(testing::Exists(dir / "a"));
  EXPECT_EQ(testing::ReadBytes(dir / "c"), std::vector<std::uint8_t>{'A'});

  EXPECT_TRUE(env.Rename(dir / "c", dir / "b", true));
  EXPECT_FALSE(testing::Exists(dir / "c"));
  EXPECT_EQ(testing::ReadBytes(dir / "b"), std::vector<std::uint8_t>{'A'});

  EXPECT_FALSE(env.Rename(dir / "missing", dir / "d", false));
  EXPECT_FALSE(env.Rename(dir / "missing", dir / "d", true));
  EXPECT_FALSE(testing::Exists(dir / "d"));

  EXPECT_TRUE(env.Remove(dir / "b"));
  EXPECT_FALSE(env.Remove(dir / "b"));
}

TEST(Env, CurrentFolderAndFreeSpace) {
  Env& env = Env::Default();
  TempDir dir;
  EXPECT_EQ(env.CurrentFolder(), std::filesystem::current_path().string());

  const std::int64_t free = env.FreeSpace(dir / "new.PAR");
  const auto space = std::filesystem::space(dir.path());
  EXPECT_GT(free, 0);
  EXPECT_LE(static_cast<std::uintmax_t>(free), space.capacity);
  EXPECT_GE(env.FreeSpace("relative.PAR"), 0);  // the current folder is asked
  EXPECT_EQ(env.FreeSpace(dir / "no/such/folder/x.PAR"), -1);
}

TEST(Paths, JoinFolderAndBareName) {
  EXPECT_EQ(JoinPath("", "a.bin"), "a.bin");
  EXPECT_EQ(JoinPath("dir", "a.bin"), "dir/a.bin");
  EXPECT_EQ(JoinPath("dir/", "a.bin"), "dir/a.bin");
  EXPECT_EQ(JoinPath("/", "a.bin"), "/a.bin");

  EXPECT_EQ(FolderOf("a.bin"), "");
  EXPECT_EQ(FolderOf("/a.bin"), "/");
  EXPECT_EQ(FolderOf("//a.bin"), "/");
  EXPECT_EQ(FolderOf("dir/a.bin"), "dir");
  EXPECT_EQ(FolderOf("/x/dir//a.bin"), "/x/dir");

  EXPECT_EQ(BareName("a.bin"), "a.bin");
  EXPECT_EQ(BareName("/x/dir/a.bin"), "a.bin");
  EXPECT_EQ(BareName("dir/"), "");
}

}  // namespace
}  // namespace tarvel

namespace tarvel {
namespace {

// A temporary file is locked while it is open: RemoveUnlocked leaves it
// alone then and removes it once closed; it never removes a link or a
// folder.  Identity tells one file from another whatever the path.
TEST(Env, TemporaryFileLocksAndIdentities) {
  Env& env = Env::Default();
  testing::TempDir dir;
  {
    auto held = env.CreateNew(dir / ".held");
    EXPECT_FALSE(env.RemoveUnlocked(dir / ".held"));
    EXPECT_TRUE(testing::Exists(dir / ".held"));
  }
  EXPECT_TRUE(env.RemoveUnlocked(dir / ".held"));
  EXPECT_FALSE(testing::Exists(dir / ".held"));

  testing::WriteText(dir / "target", "x");
  std::filesystem::create_symlink("target", dir / ".link");
  std::filesystem::create_directory(dir / ".folder");
  EXPECT_FALSE(env.RemoveUnlocked(dir / ".link"));
  EXPECT_FALSE(env.RemoveUnlocked(dir / ".folder"));
  EXPECT_TRUE(std::filesystem::is_symlink(dir / ".link"));
  testing::WriteText(dir / ".plain", "y");
  std::vector<std::string> hidden = env.ListHiddenFiles(dir.path());
  EXPECT_EQ(hidden, std::vector<std::string>{".plain"});

  // A name kept for a file being replaced is held the same way, and the
  // file keeps its own name too.
  testing::WriteText(dir / "volume", "v");
  {
    auto hold = env.KeepUnderName(dir / "volume", dir / ".kept");
    EXPECT_FALSE(env.RemoveUnlocked(dir / ".kept"));
    EXPECT_EQ(env.Identity(dir / ".kept", false), env.Identity(dir / "volume", false));
  }
  EXPECT_TRUE(env.RemoveUnlocked(dir / ".kept"));
  EXPECT_EQ(testing::ReadBytes(dir / "volume"), std::vector<std::uint8_t>{'v'});

  const auto target = env.Identity(dir / "target", false);
  ASSERT_TRUE(target);
  EXPECT_EQ(env.Identity(dir / ".link", true), target);
  EXPECT_NE(env.Identity(dir / ".link", false), target);
  EXPECT_EQ(env.Identity(dir / ".folder/../target", false), target);
  EXPECT_FALSE(env.Identity(dir / "missing", true));
}

// The clean-up of abandoned temporary files running beside actions that
// make them: however the two interleave, a file being made is never taken
// for an abandoned one (it would vanish under its writer).
TEST(Env, CleanUpBesideNewTemporaryFilesRemovesNoneInUse) {
  Env& env = Env::Default();
  testing::TempDir dir;
  std::atomic<bool> done{false};
  std::thread sweeper([&] {
    while (!done.load()) {
      for (const std::string& name : env.ListHiddenFiles(dir.path())) {
        (void)env.RemoveUnlocked(dir / name);
      }
    }
  });
  int lost = 0;
  for (int i = 0; i < 8000; ++i) {
    const std::string path = dir / (".new-" + std::to_string(i));
    auto file = env.CreateNew(path);
    file->WriteAt(0, "x", 1);
    lost += !env.Identity(path, false);
  }
  done = true;
  sweeper.join();
  EXPECT_EQ(lost, 0);
}

}  // namespace
}  // namespace tarvel

namespace tarvel {
namespace {

using Names = std::vector<std::string>;

Names Sorted(Names names) {
  std::sort(names.begin(), names.end());
  return names;
}

mode_t ModeAt(const std::string& path) {
  const int fd = testing::OpenByParts(path, O_RDONLY);
  struct stat st {};
  const bool known = fd >= 0 && fstat(fd, &st) == 0;
  if (fd >= 0) close(fd);
  return known ? st.st_mode & 07777 : 0;
}

// A folder 25 levels of 200-character names down, about 5000 bytes: every
// call takes such a path as it takes a short one (the rows run in turn, each
// on what the ones before left), and a failure names the path as given with
// the system's own reason, not "File name too long".
TEST(Env, EveryCallReachesPathsLongerThanPathMax) {
  Env& env = Env::Default();
  TempDir dir;
  const std::string deep = testing::MakeDeepFolder(dir.path(), 25, std::string(200, 'd'));
  ASSERT_GE(deep.size(), std::size_t{PATH_MAX});
  const auto in = [&deep](const std::string& name) { return deep + "/" + name; };
  testing::MakeDeepFolder(deep, 1, "sub");
  const int folder = testing::OpenByParts(deep, O_PATH | O_DIRECTORY);
  ASSERT_EQ(symlinkat("b", folder, "l"), 0);
  close(folder);
  char byte = 0;
  const std::vector<std::pair<const char*, std::function<bool()>>> rows = {
      {"CreateNew, OpenRead",
       [&] {
         env.CreateNew(in("a"))->WriteAt(0, "Ab", 2);
         return env.OpenRead(in("a"))->ReadAt(0, &byte, 1) == 1 && byte == 'A';
       }},
      {"CreateNew, RemoveUnlocked",
       [&] {
         auto file = env.CreateNew(in(".t"));
         const bool held = !env.RemoveUnlocked(in(".t"));
         file.reset();
         return held && env.RemoveUnlocked(in(".t"));
       }},
      {"Rename",
       [&] {
         return env.Rename(in("a"), in("b"), false) && env.CreateNew(in("a")) &&
                !env.Rename(in("a"), in("b"), false) && env.Rename(in("a"), in("c"), true);
       }},
      {"IsPlainFile, IsSymbolicLink, ListPlainFiles, ListFolders",
       [&] {
         return env.IsPlainFile(deep, "l") && env.IsSymbolicLink(in("l")) &&
                Sorted(env.ListPlainFiles(deep)) == Names{"b", "c", "l"} &&
                env.ListFolders(deep) == Names{"sub"};
       }},
      {"KeepUnderName, ListHiddenFiles, Identity, Remove",
       [&] {
         auto kept = env.KeepUnderName(in("b"), in(".k"));
         const bool same = env.ListHiddenFiles(deep) == Names{".k"} &&
                           env.Identity(in(".k"), false) == env.Identity(in("l"), true);
         kept.reset();
         return same && env.Remove(in(".k")) && !testing::Exists(in(".k"));
       }},
      {"SizeOf, AdoptAttributes",
       [&] {
         const int b = testing::OpenByParts(in("b"), O_RDONLY);
         const bool madePrivate = fchmod(b, 0640) == 0;
         close(b);
         env.AdoptAttributes(in("c"), in("b"));
         return madePrivate && env.SizeOf(in("b")) == 2 && ModeAt(in("c")) == 0640;
       }},
      {"SyncFolder, FreeSpace",
       [&] {
         env.SyncFolder(deep);
         return env.FreeSpace(in("new")) > 0;
       }},
      {"CurrentFolder",
       [&] {
         const int back = open(".", O_PATH | O_DIRECTORY);
         std::string current;
         try {
           if (testing::EnterFolder(deep)) current = env.CurrentFolder();
         } catch (const FileError&) {
         }
         EXPECT_EQ(fchdir(back), 0);
         close(back);
         return env.Identity(current, true) == env.Identity(deep, true);
       }},
  };
  for (const auto& [what, row] : rows) {
    bool done = false;
    try {
      done = row();
    } catch (const FileError& e) {
      ADD_FAILURE() << what << ": " << std::strerror(e.OsError());
    }
    EXPECT_TRUE(done) << what;
  }
  try {
    env.OpenRead(in("missing"));
    ADD_FAILURE() << "a missing file opened";
  } catch (const FileError& e) {
    EXPECT_EQ(std::string(e.what()), "Datei " + in("missing") + " kann nicht geöffnet werden");
    EXPECT_EQ(e.OsError(), ENOENT);
  }
}

// While a folder is held, its paths reach the folder opened then: renamed
// and replaced by another folder meanwhile, it is still the action's, new
// files land in it, and a second hold of it shares the first.  Once no hold
// is left, the paths reach what bears the name.
TEST(Env, AHeldFolderStaysTheFolderItWasWhenHeld) {
  Env& env = Env::Default();
  TempDir dir;
  std::filesystem::create_directory(dir / "set");
  testing::WriteText(dir / "set/a", "a");
  {
    const auto hold = env.HoldFolder(dir / "set/");
    std::filesystem::rename(dir / "set", dir / "moved");
    std::filesystem::create_directory(dir / "set");
    EXPECT_EQ(env.SizeOf(dir / "set/a"), 1);
    env.CreateNew(dir / "set/b")->WriteAt(0, "b", 1);
    EXPECT_TRUE(env.Rename(dir / "set/b", dir / "set/c", false));
    {
      const auto again = env.HoldFolder(dir / "set");
      std::filesystem::rename(dir / "moved", dir / "moved again");
      EXPECT_TRUE(env.IsPlainFile(dir / "set", "c"));
    }
    auto names = env.ListPlainFiles(dir / "set");
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (Names{"a", "c"}));
    EXPECT_EQ(env.Identity(dir / "set", true), env.Identity(dir / "moved again", true));
  }
  EXPECT_TRUE(testing::Exists(dir / "moved again/c"));
  EXPECT_FALSE(env.IsPlainFile(dir / "set", "a"));
  EXPECT_TRUE(env.ListPlainFiles(dir / "set").empty());
}

}  // namespace
}  // namespace tarvel
