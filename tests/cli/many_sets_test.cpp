// SPDX-License-Identifier: GPL-3.0-or-later
// Several sets in one call: named volumes in the order given, every set
// found below a folder with -r (each once, the main volume preferred), the
// heading before each report, and the exit status as the largest of the
// sets' statuses.

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "cli/cli_runner.h"
#include "support/testutil.h"

namespace tarvel {
namespace {

using testing::RunCli;
using testing::TempDir;

// Four sets below one folder:
//   a-good/            intact; a copy of its parity volume as backup.bin too
//   b-repairable/      f2.bin lost, one parity volume; its main volume gone
//   c-lost/            f1.bin and f2.bin lost, one parity volume
//   c-lost/deeper/     intact
//   .snapshot/         a hidden copy of a-good, never looked at
class ManySets : public ::testing::Test {
 protected:
  void SetUp() override {
    int seed = 1;
    for (const char* folder : {"a-good", "b-repairable", "c-lost", "c-lost/deeper"}) {
      const std::string d = root / folder;
      std::filesystem::create_directories(d);
      testing::WriteBytes(d + "/f1.bin", testing::RandomBytes(60000, seed++));
      testing::WriteBytes(d + "/f2.bin", testing::RandomBytes(30000, seed++));
      testing::WriteText(d + "/notes.txt", "about these files\n");
      EXPECT_EQ(
          RunCli(d, {"create", "-q", "-n", "1", "-o", "s", "f1.bin", "f2.bin", "notes.txt"}).status,
          0);
    }
    std::filesystem::copy_file(root / "a-good/s.P01", root / "a-good/backup.bin");
    std::filesystem::copy(root / "a-good", root / ".snapshot");
    std::filesystem::remove(root / "b-repairable/f2.bin");
    std::filesystem::remove(root / "b-repairable/s.PAR");
    std::filesystem::remove(root / "c-lost/f1.bin");
    std::filesystem::remove(root / "c-lost/f2.bin");
  }

  TempDir root;
};

// Each heading with the summary line of the report that follows it (the
// last one, for a repair that prints two reports).
std::vector<std::string> HeadingsAndSummaries(const std::string& out) {
  std::vector<std::string> seen;
  std::size_t pos = 0;
  while (pos < out.size()) {
    std::size_t end = out.find('\n', pos);
    if (end == std::string::npos) end = out.size();
    const std::string line = out.substr(pos, end - pos);
    pos = end + 1;
    if (line.starts_with("== ")) {
      seen.push_back(line);
    } else if (line == "All files OK." || line.ends_with(" bad/missing files.")) {
      if (!seen.empty() && !seen.back().starts_with("== ")) seen.pop_back();
      seen.push_back(line);
    }
  }
  return seen;
}

struct ManySetsCase {
  const char* name;
  std::vector<std::string> args;
  int status;
  std::vector<std::string> headingsAndSummaries;
};

class ManySetsCases : public ManySets, public ::testing::WithParamInterface<ManySetsCase> {};

TEST_P(ManySetsCases, StatusHeadingsAndOrder) {
  const ManySetsCase& c = GetParam();
  const testing::CliResult r = RunCli(root.path(), c.args);
  EXPECT_EQ(r.status, c.status) << r.out << r.err;
  EXPECT_EQ(HeadingsAndSummaries(r.out), c.headingsAndSummaries) << r.out;
}

INSTANTIATE_TEST_SUITE_P(
    Verify, ManySetsCases,
    ::testing::Values(
        ManySetsCase{"NamedInTheOrderGiven",
                     {"verify", "c-lost/s.P01", "a-good/s.PAR", "b-repairable/s.P01"},
                     2,
                     {"== c-lost/s.P01", "2 bad/missing files.", "== a-good/s.PAR", "All files OK.",
                      "== b-repairable/s.P01", "1 bad/missing files."}},
        ManySetsCase{"RecursiveFindsEachSetOnce",
                     {"verify", "-r", "."},
                     2,
                     {"== ./a-good/s.PAR", "All files OK.", "== ./b-repairable/s.P01",
                      "1 bad/missing files.", "== ./c-lost/s.PAR", "2 bad/missing files.",
                      "== ./c-lost/deeper/s.PAR", "All files OK."}},
        ManySetsCase{
            "RepairableAndGood",
            {"verify", "a-good/s.P01", "-r", "b-repairable"},
            1,
            {"== a-good/s.P01", "All files OK.", "== b-repairable/s.P01", "1 bad/missing files."}},
        ManySetsCase{
            "OneSetHasNoHeading", {"verify", "--recursive", "c-lost/deeper"}, 0, {"All files OK."}},
        ManySetsCase{"NamedAndFoundIsCheckedOnce",
                     {"verify", "a-good/s.P01", "a-good/backup.bin", "-r", "a-good"},
                     0,
                     {"All files OK."}},
        ManySetsCase{
            "FoldersGivenTwiceGiveEachSetOnce",
            {"verify", "-r", "c-lost/deeper", "-r", "c-lost", "-r", "./c-lost/deeper/"},
            2,
            {"== c-lost/deeper/s.PAR", "All files OK.", "== c-lost/s.PAR", "2 bad/missing files."}},
        ManySetsCase{"UnreadableVolumeCountsAsThreeAndTheRestIsChecked",
                     {"verify", "a-good/f1.bin", "b-repairable/s.P01"},
                     3,
                     {"== a-good/f1.bin", "== b-repairable/s.P01", "1 bad/missing files."}}),
    [](const ::testing::TestParamInfo<ManySetsCase>& info) { return info.param.name; });

TEST_F(ManySets, RepairRecursiveMendsWhatItCanAndReportsTheRest) {
  const auto lost = testing::RandomBytes(30000, 4);  // b-repairable/f2.bin, seed 4
  const testing::CliResult r = RunCli(root.path(), {"repair", "-q", "-r", "."});
  EXPECT_EQ(r.status, 2) << r.err;
  EXPECT_EQ(
      HeadingsAndSummaries(r.out),
      (std::vector<std::string>{"== ./a-good/s.PAR", "All files OK.", "== ./b-repairable/s.P01",
                                "All files OK.", "== ./c-lost/s.PAR", "2 bad/missing files.",
                                "== ./c-lost/deeper/s.PAR", "All files OK."}));
  EXPECT_EQ(testing::ReadBytes(root / "b-repairable/f2.bin"), lost);
  EXPECT_FALSE(testing::Exists(root / "c-lost/f1.bin"));
  EXPECT_NE(r.err.find("tarvel-cli: You do not have enough parity volumes."), std::string::npos)
      << r.err;
}

TEST_F(ManySets, MainVolumeThatDoesNotReadGivesWayToAParityVolume) {
  auto bytes = testing::ReadBytes(root / "a-good/s.PAR");
  bytes.back() ^= 0xFF;
  testing::WriteBytes(root / "a-good/s.PAR", bytes);
  std::filesystem::remove(root / "a-good/backup.bin");
  const testing::CliResult r = RunCli(root.path(), {"verify", "-r", "a-good"});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(HeadingsAndSummaries(r.out), std::vector<std::string>{"All files OK."});
  EXPECT_EQ(r.err,
            "tarvel-cli: Checksum error. File is corrupt.\n"
            "tarvel-cli: Error Reading lists. Operation aborted.\n");
}

TEST(ManySetsEmpty, AFolderWithoutSetsIsAnError) {
  TempDir root;
  testing::WriteText(root / "plain.txt", "no volume here");
  for (const std::string& folder : {root.path(), root / "nothere"}) {
    const testing::CliResult r = RunCli(root.path(), {"verify", "-r", folder});
    EXPECT_GE(r.status, 3) << folder;
    EXPECT_EQ(r.out, "") << folder;
    EXPECT_EQ(r.err.rfind("tarvel-cli: ", 0), 0u) << r.err;
  }
}

}  // namespace
}  // namespace tarvel
