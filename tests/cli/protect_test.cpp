// SPDX-License-Identifier: GPL-3.0-or-later
// tarvel-cli protect over generated trees, one row per situation: the lines
// and the exit status, the sets each folder has afterwards (by their main
// volumes and the files they list), and two invariants over every row: a
// folder whose files were damaged or lost keeps its volumes byte for byte,
// and every set in the tree afterwards verifies.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <chrono>
#include <filesystem>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "cli/cli_runner.h"
#include "engine/format/model.h"
#include "engine/format/volume_reader.h"
#include "platform/env.h"
#include "support/testutil.h"

namespace tarvel {
namespace {

using testing::RandomBytes;
using testing::ReadBytes;
using testing::RunCli;
using testing::TempDir;
using testing::WriteBytes;
using Volumes = std::map<std::string, std::vector<std::uint8_t>>;

// A folder of `files` files f000.bin, f001.bin, ... of a few hundred bytes.
void Folder(const TempDir& d, const std::string& folder, int files, std::uint32_t seed = 1) {
  std::filesystem::create_directories(d / folder);
  for (int i = 0; i < files; ++i) {
    char name[16];
    std::snprintf(name, sizeof name, "/f%03d.bin", i);
    WriteBytes(d / folder + name, RandomBytes(200 + static_cast<std::size_t>(i % 7) * 50,
                                              seed + static_cast<std::uint32_t>(i)));
    // Made an hour ago, as the files of an archive are.
    std::filesystem::last_write_time(
        d / folder + name, std::filesystem::file_time_type::clock::now() - std::chrono::hours(1));
  }
}

void Protect(const TempDir& d) { ASSERT_EQ(RunCli(d.path(), {"protect", "-q", "t"}).status, 0); }

// Every volume below the tree, by path from the tree's folder.
Volumes VolumesOf(const TempDir& d) {
  Volumes found;
  if (!std::filesystem::is_directory(d / "t")) return found;
  for (const auto& e : std::filesystem::recursive_directory_iterator(
           d / "t", std::filesystem::directory_options::skip_permission_denied)) {
    EXPECT_FALSE(e.path().filename().string().starts_with(".tarvel-"))
        << "temporary file left: " << e.path();
    if (!e.is_regular_file() || e.is_symlink()) continue;
    if (ReadVolumeHeader(Env::Default(), e.path().string())) {
      found[std::filesystem::relative(e.path(), d.path()).string()] = ReadBytes(e.path().string());
    }
  }
  return found;
}

// The files the set of main volume `path` lists, in order.
std::vector<std::string> Listed(const std::string& path) {
  SetModel m;
  if (ReadVolume(m, Env::Default(), path).problem != VolumeProblem::kNone) return {"unreadable"};
  std::vector<std::string> names;
  for (int i = 0; i < m.FileCount; ++i) names.push_back(m.FileTable[i].name);
  return names;
}

// Rewrites a file with other bytes of the same length, its modification time kept.
void Decay(const std::string& path) {
  const auto time = std::filesystem::last_write_time(path);
  auto bytes = ReadBytes(path);
  bytes[bytes.size() / 2] ^= 0x10;
  WriteBytes(path, bytes);
  std::filesystem::last_write_time(path, time);
}

// Rewrites a file as a person edits it a while after its set `main` was
// made: the set's main volume is dated a minute back, the file gets other
// content and the time of now.
void Edit(const std::string& path, const std::string& main) {
  std::filesystem::last_write_time(
      main, std::filesystem::last_write_time(main) - std::chrono::seconds(60));
  WriteBytes(path, RandomBytes(321, 99));
}

struct ProtectRow {
  const char* name;
  std::function<void(const TempDir&)> arrange;
  std::vector<std::string> args;  // after "protect -q"
  int status;
  std::vector<std::string> lines;  // each a whole line of standard output
  std::vector<std::string> err;    // each found in standard error
  // Main volume → the files its set lists, for every set below t afterwards.
  std::map<std::string, std::vector<std::size_t>> sets;
  bool volumesKept = false;  // every volume byte for byte as before
  testing::CliRunOptions run = {};
};

class ProtectTree : public ::testing::TestWithParam<ProtectRow> {};

TEST_P(ProtectTree, SetsAndStatus) {
  const ProtectRow& row = GetParam();
  TempDir d;
  std::filesystem::create_directory(d / "t");
  row.arrange(d);
  const Volumes before = VolumesOf(d);
  std::vector<std::string> args = {"protect", "-q"};
  args.insert(args.end(), row.args.begin(), row.args.end());
  args.push_back("t");
  const testing::CliResult r = RunCli(d.path(), args, row.run);
  chmod((d / "t/locked").c_str(), 0700);
  EXPECT_EQ(r.status, row.status) << r.out << r.err;
  for (const std::string& line : row.lines) {
    EXPECT_NE(("\n" + r.out).find("\n" + line + "\n"), std::string::npos) << line << "\n" << r.out;
  }
  for (const std::string& part : row.err) {
    EXPECT_NE(r.err.find(part), std::string::npos) << part << "\n" << r.err;
  }
  const Volumes after = VolumesOf(d);
  if (row.volumesKept) {
    EXPECT_EQ(after, before);
  }
  std::map<std::string, std::vector<std::size_t>> sets;
  for (const auto& [path, bytes] : after) {
    if (!path.ends_with(".PAR")) continue;
    const std::vector<std::string> names = Listed(d / path);
    sets[path].push_back(names.size());
  }
  EXPECT_EQ(sets, row.sets);
  // Every set in the tree verifies, unless a file was damaged or lost.
  if (row.status == 0 && !after.empty()) {
    const testing::CliResult v = RunCli(d.path(), {"verify", "-q", "-r", "t"});
    EXPECT_EQ(v.status, 0) << v.out << v.err;
  }
  // A second protect finds nothing to do.
  if (row.status == 0) {
    const testing::CliResult again = RunCli(d.path(), args);
    EXPECT_EQ(again.out.find(": renewed"), std::string::npos) << again.out;
    EXPECT_EQ(again.out.find(": protected"), std::string::npos) << again.out;
    EXPECT_EQ(VolumesOf(d), after);
  }
}

std::string RowName(const ::testing::TestParamInfo<ProtectRow>& info) { return info.param.name; }

INSTANTIATE_TEST_SUITE_P(
    Rows, ProtectTree,
    ::testing::Values(
        ProtectRow{"NewTree",
                   [](const TempDir& d) {
                     Folder(d, "t/a", 3);
                     Folder(d, "t/b/c", 2, 10);
                     Folder(d, "t/one", 1, 20);
                   },
                   {},
                   0,
                   {"t: skipped, fewer than 2 files to protect",
                    "t/a: protected, 1 set of 3 files (750 bytes)",
                    "t/b/c: protected, 1 set of 2 files (450 bytes)",
                    "t/one: skipped, fewer than 2 files to protect",
                    "5 folders: 2 protected, 0 up to date, 0 renewed, 0 damaged, 0 missing, 3 "
                    "skipped."},
                   {},
                   {{"t/a/a.PAR", {3}}, {"t/b/c/c.PAR", {2}}}},
        ProtectRow{"NothingChanged",
                   [](const TempDir& d) {
                     Folder(d, "t/a", 3);
                     Protect(d);
                   },
                   {},
                   0,
                   {"t/a: up to date, 1 set of 3 files (750 bytes)"},
                   {},
                   {{"t/a/a.PAR", {3}}},
                   true},
        ProtectRow{"FileAdded",
                   [](const TempDir& d) {
                     Folder(d, "t/a", 3);
                     Protect(d);
                     WriteBytes(d / "t/a/new.bin", RandomBytes(100, 5));
                   },
                   {},
                   0,
                   {"t/a: renewed, 1 set of 4 files (850 bytes): 1 added"},
                   {},
                   {{"t/a/a.PAR", {4}}}},
        ProtectRow{"FileEdited",
                   [](const TempDir& d) {
                     Folder(d, "t/a", 3);
                     Protect(d);
                     Edit(d / "t/a/f001.bin", d / "t/a/a.PAR");
                   },
                   {},
                   0,
                   {"t/a: renewed, 1 set of 3 files (821 bytes): 1 edited"},
                   {},
                   {{"t/a/a.PAR", {3}}}},
        ProtectRow{"FileDamagedWithItsStampKept",
                   [](const TempDir& d) {
                     Folder(d, "t/a", 3);
                     Folder(d, "t/b", 2, 10);
                     Protect(d);
                     Decay(d / "t/a/f001.bin");
                     WriteBytes(d / "t/a/new.bin", RandomBytes(100, 5));
                     WriteBytes(d / "t/b/new.bin", RandomBytes(100, 6));
                   },
                   {},
                   1,
                   {"t/a: damaged, the sets left as they were",
                    "t/b: renewed, 1 set of 3 files (550 bytes): 1 added"},
                   {"tarvel-cli: t/a/f001.bin is damaged: repair restores it\n"},
                   {{"t/a/a.PAR", {3}}, {"t/b/b.PAR", {3}}}},
        // A repaired file keeps the time of the file it replaced, so the
        // next protect finds the folder as the set lists it.
        ProtectRow{"ARepairedFileIsUpToDate",
                   [](const TempDir& d) {
                     Folder(d, "t/a", 3);
                     Protect(d);
                     Decay(d / "t/a/f001.bin");
                     ASSERT_EQ(RunCli(d.path(), {"repair", "-q", "-r", "t/a"}).status, 0);
                   },
                   {},
                   0,
                   {"t/a: up to date, 1 set of 3 files (750 bytes)"},
                   {},
                   {{"t/a/a.PAR", {3}}},
                   true},
        ProtectRow{"FileMissing",
                   [](const TempDir& d) {
                     Folder(d, "t/a", 3);
                     Protect(d);
                     std::filesystem::remove(d / "t/a/f000.bin");
                   },
                   {},
                   1,
                   {"t/a: missing, the sets left as they were"},
                   {"tarvel-cli: t/a/f000.bin is missing: repair restores it; --drop-missing "
                    "leaves it out of the sets\n"},
                   {{"t/a/a.PAR", {3}}},
                   true},
        ProtectRow{"FileMissingDropped",
                   [](const TempDir& d) {
                     Folder(d, "t/a", 3);
                     Protect(d);
                     std::filesystem::remove(d / "t/a/f000.bin");
                   },
                   {"--drop-missing"},
                   0,
                   {"t/a: renewed, 1 set of 2 files (550 bytes): 1 dropped"},
                   {},
                   {{"t/a/a.PAR", {2}}}},
        // 251 files make two sets of 126 and 125; the one set of 250 before
        // goes with its volumes.
        ProtectRow{"TwoHundredFiftyOneFilesInOneFolder",
                   [](const TempDir& d) {
                     Folder(d, "t/big", 250);
                     Protect(d);
                     WriteBytes(d / "t/big/z.bin", RandomBytes(100, 5));
                   },
                   {},
                   0,
                   {"t/big: renewed, 2 sets of 251 files (87350 bytes): 1 added"},
                   {},
                   {{"t/big/big-1.PAR", {126}}, {"t/big/big-2.PAR", {125}}}},
        ProtectRow{
            "SixHundredFilesInOneFolder",
            [](const TempDir& d) { Folder(d, "t/big", 600); },
            {"-p", "1"},
            0,
            {"t/big: protected, 3 sets of 600 files (209750 bytes)"},
            {},
            {{"t/big/big-1.PAR", {200}}, {"t/big/big-2.PAR", {200}}, {"t/big/big-3.PAR", {200}}}},
        ProtectRow{"HiddenAndEmptyFilesAreLeftOut",
                   [](const TempDir& d) {
                     Folder(d, "t/h", 2);
                     WriteBytes(d / "t/h/.hidden", RandomBytes(100, 5));
                     WriteBytes(d / "t/h/empty.bin", {});
                   },
                   {},
                   0,
                   {"t/h: protected, 1 set of 2 files (450 bytes)"},
                   {},
                   {{"t/h/h.PAR", {2}}}},
        ProtectRow{"HiddenFilesWithHidden",
                   [](const TempDir& d) {
                     Folder(d, "t/h", 2);
                     WriteBytes(d / "t/h/.hidden", RandomBytes(100, 5));
                   },
                   {"--hidden"},
                   0,
                   {"t/h: protected, 1 set of 3 files (550 bytes)"},
                   {},
                   {{"t/h/h.PAR", {3}}}},
        ProtectRow{"AFolderBehindALinkIsNotEntered",
                   [](const TempDir& d) {
                     Folder(d, "outside", 2);
                     Folder(d, "t/a", 2, 5);
                     std::filesystem::create_directory_symlink(d / "outside", d / "t/link");
                     std::filesystem::create_symlink(d / "outside/f000.bin", d / "t/a/l.bin");
                   },
                   {},
                   0,
                   {"t/a: protected, 1 set of 2 files (450 bytes)",
                    "2 folders: 1 protected, 0 up to date, 0 renewed, 0 damaged, 0 missing, 1 "
                    "skipped."},
                   {},
                   {{"t/a/a.PAR", {2}}}},
        ProtectRow{"NamesThatAreNotUtf8",
                   [](const TempDir& d) {
                     Folder(d, "t/a", 1);
                     WriteBytes(d / "t/a/\xff\xfe.bin", RandomBytes(300, 5));
                   },
                   {},
                   0,
                   {"t/a: protected, 1 set of 2 files (500 bytes)"},
                   {},
                   {{"t/a/a.PAR", {2}}}},
        // A file of the folder bears the volume name: the sets take the next one.
        ProtectRow{"AFileNamedLikeTheVolumes",
                   [](const TempDir& d) {
                     Folder(d, "t/a", 2);
                     WriteBytes(d / "t/a/a.PAR", RandomBytes(300, 5));
                   },
                   {},
                   0,
                   {"t/a: protected, 1 set of 3 files (750 bytes)"},
                   {},
                   {{"t/a/a-parity.PAR", {3}}}},
        ProtectRow{"TheJsonDocumentHasALineAFolder",
                   [](const TempDir& d) { Folder(d, "t/a", 2); },
                   {"--json"},
                   0,
                   {"{\"command\": \"protect\", \"folders\": [",
                    "  {\"folder\":\"t\",\"state\":\"skipped\",\"sets\":0,\"files\":0,\"bytes\":0,"
                    "\"added\":[],\"edited\":[],\"dropped\":[],\"damaged\":[],\"missing\":[],"
                    "\"note\":\"fewer than 2 files to protect\"},",
                    "  {\"folder\":\"t/a\",\"state\":\"protected\",\"sets\":1,\"files\":2,"
                    "\"bytes\":450,\"added\":[],\"edited\":[],\"dropped\":[],\"damaged\":[],"
                    "\"missing\":[],\"note\":\"\"}",
                    "], \"summary\": {\"folders\":2,\"protected\":1,\"up_to_date\":0,"
                    "\"renewed\":0,\"damaged\":0,\"missing\":0,\"skipped\":1}, \"status\": 0}"},
                   {},
                   {{"t/a/a.PAR", {2}}}},
        ProtectRow{"ADirThatIsNoFolderIsRefused",
                   [](const TempDir& d) {
                     std::filesystem::remove(d / "t");
                     WriteBytes(d / "t", RandomBytes(100, 5));
                   },
                   {},
                   3,
                   {},
                   {"tarvel-cli: t is no folder. Nothing was written.\n"},
                   {}},
        ProtectRow{"AFolderThatCannotBeRead",
                   [](const TempDir& d) {
                     Folder(d, "t/a", 2);
                     Folder(d, "t/locked", 2, 5);
                     chmod((d / "t/locked").c_str(), 0);
                   },
                   {},
                   4,
                   {"t/a: protected, 1 set of 2 files (450 bytes)",
                    "t/locked: skipped, Ordner t/locked kann nicht gelesen werden (Permission "
                    "denied)"},
                   {},
                   {{"t/a/a.PAR", {2}}},
                   false,
                   {.permissionsHold = true}}),
    RowName);

}  // namespace
}  // namespace tarvel
