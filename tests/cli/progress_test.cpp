// SPDX-License-Identifier: GPL-3.0-or-later
// The progress line: its figures from the engine's percentage or from the
// bytes of a pass, when they appear, and that it is drawn only on a
// terminal and never with -q.  The file errors' reason from the system.

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "cli/cli_runner.h"
#include "cli/progress_line.h"
#include "support/testutil.h"

namespace tarvel::cli {
namespace {

using tarvel::testing::RunCli;
using tarvel::testing::TempDir;

// A record of `step` for `name`: the engine's percentage alone, or with the
// bytes of the step (`total` > 0).
ProgressRecord Record(ProgressStep step, const char* name, int percent, std::int64_t total = 0,
                      std::int64_t done = 0) {
  ProgressRecord r;
  r.step = step;
  r.name = name;
  r.items = 1;
  r.percent = percent;
  r.stepTotal = total;
  r.stepDone = done;
  return r;
}
constexpr auto kSearch = ProgressStep::kSearching;
constexpr auto kFiles = ProgressStep::kCheckingFiles;
constexpr auto kVolumes = ProgressStep::kCheckingVolumes;
constexpr auto kRestore = ProgressStep::kRestoring;

struct Update {
  ProgressRecord record;
  double now;
  std::string line;
};

struct LineCase {
  const char* name;
  std::vector<Update> updates;
  int width = 0;
};

class ProgressLines : public ::testing::TestWithParam<LineCase> {};

TEST_P(ProgressLines, ShowWhatIsKnown) {
  ProgressLine line;
  for (const Update& u : GetParam().updates) {
    EXPECT_EQ(line.Format(u.record, u.now, GetParam().width), u.line)
        << u.record.name << " at " << u.now;
  }
}

INSTANTIATE_TEST_SUITE_P(
    Sequences, ProgressLines,
    ::testing::Values(
        LineCase{"PercentOnlyGivesTimeLeftButNoThroughput",
                 {{Record(kSearch, "", 0), 100, "Searching files... 0%"},
                  {Record(kSearch, "", 50), 102, "Searching files... 50%  0:02 left"},
                  {Record(kSearch, "", 75), 103, "Searching files... 75%  0:01 left"}}},
        LineCase{"BytesOfThePassGiveThroughputAndTimeLeft",
                 {{Record(kFiles, "a.bin", 0, 300000000, 0), 0, "Checking a.bin 0%"},
                  {Record(kFiles, "b.bin", 33, 300000000, 100000000), 1,
                   "Checking b.bin 33%  100.0 MB/s  0:02 left"},
                  {Record(kFiles, "c.bin", 66, 300000000, 250000000), 2,
                   "Checking c.bin 83%  125.0 MB/s  0:00 left"}}},
        LineCase{"NothingIsEstimatedInTheFirstMoment",
                 {{Record(kFiles, "a.bin", 0, 1000, 0), 0, "Checking a.bin 0%"},
                  {Record(kFiles, "b.bin", 50, 1000, 500), 0.5, "Checking b.bin 50%"}}},
        LineCase{"ANewStepStartsANewPass",
                 {{Record(kFiles, "a.bin", 0, 1000, 0), 0, "Checking a.bin 0%"},
                  {Record(kFiles, "b.bin", 50, 1000, 500), 10,
                   "Checking b.bin 50%  0.0 MB/s  0:10 left"},
                  {Record(kRestore, "x.bin", 10, 100000000, 10000000), 10, "Restoring x.bin 10%"},
                  {Record(kRestore, "x.bin", 20, 100000000, 20000000), 12,
                   "Restoring x.bin 20%  5.0 MB/s  0:16 left"}}},
        LineCase{"AFallingShareStartsANewPass",
                 {{Record(kSearch, "", 90), 0, "Searching files... 90%"},
                  {Record(kSearch, "", 10), 5, "Searching files... 10%"},
                  {Record(kSearch, "", 20), 7, "Searching files... 20%  0:16 left"}}},
        LineCase{"NoShareNoFigures",
                 {{Record(kVolumes, "s.P01", -1), 0, "Checking s.P01"},
                  {Record(kVolumes, "s.P02", -1), 9, "Checking s.P02"}}},
        LineCase{"ALongTextIsCutToTheTerminal",
                 {{Record(kFiles, "a-very-long-file-name.bin", 40), 0, "Checking a-ve 40%"},
                  {Record(kFiles, "caf\xc3\xa9-name.bin", 40), 0, "Checking caf 40%"}},
                 18}),
    [](const ::testing::TestParamInfo<LineCase>& info) { return info.param.name; });

// A protect's line: the text of the step, the figures of the whole tree,
// whose pace goes on across the steps of its sets and the line hidden and
// shown again between them.
TEST(ProgressLinesOfAProtect, FiguresOfTheWholeTreeAcrossSets) {
  ProgressLine line;
  const auto whole = [](std::int64_t done) {
    return Record(ProgressStep::kWritingParity, "", -1, 400000000, done);
  };
  ProgressRecord overall = whole(0);
  EXPECT_EQ(line.Format(Record(ProgressStep::kWritingParity, "", 0), 0, 0, &overall),
            "Writing parity data... 0%");
  overall = whole(100000000);
  EXPECT_EQ(line.Format(Record(ProgressStep::kWritingChecksums, "a.PAR", 50), 1, 0, &overall),
            "Creating checksum for a.PAR 25%  100.0 MB/s  0:03 left");
  line.Reset();  // the next set shows the line again
  overall = whole(200000000);
  EXPECT_EQ(line.Format(Record(ProgressStep::kAnalysing, "b.bin", 0), 2, 0, &overall),
            "Analyzing b.bin 50%  100.0 MB/s  0:02 left");
}

TEST(ProgressDuration, MinutesAndHours) {
  const std::vector<std::pair<double, std::string>> cases = {
      {-3, "0:00"}, {0, "0:00"},         {59.4, "0:59"},
      {61, "1:01"}, {3599.6, "1:00:00"}, {3723, "1:02:03"}};
  for (const auto& [seconds, text] : cases) EXPECT_EQ(FormatDuration(seconds), text) << seconds;
}

class ProgressOnTerminal : public ::testing::Test {
 protected:
  void SetUp() override {
    tarvel::testing::WriteBytes(dir / "f1.bin", tarvel::testing::RandomBytes(30000, 1));
    tarvel::testing::WriteBytes(dir / "f2.bin", tarvel::testing::RandomBytes(90000, 2));
    tarvel::testing::WriteBytes(dir / "f3.bin", tarvel::testing::RandomBytes(120000, 3));
    ASSERT_EQ(RunCli(dir.path(), {"create", "-q", "-o", "s", "f1.bin", "f2.bin", "f3.bin"}).status,
              0);
  }
  TempDir dir;
};

TEST_F(ProgressOnTerminal, ShowsTheFileAndTheShareOfTheBytesChecked) {
  const auto r = RunCli(dir.path(), {"verify", "s.PAR"}, {.stderrTerminal = true});
  EXPECT_EQ(r.status, 0);
  // 30000 of 240000 bytes are checked before f2.bin, 120000 before f3.bin.
  EXPECT_NE(r.err.find("\rChecking f2.bin 12%\033[K"), std::string::npos) << r.err;
  EXPECT_NE(r.err.find("\rChecking f3.bin 50%\033[K"), std::string::npos) << r.err;
  EXPECT_NE(r.err.find("\rChecking s.P01"), std::string::npos) << r.err;
  EXPECT_TRUE(r.err.ends_with("\r\033[K")) << r.err;  // the line is gone at the end
  EXPECT_EQ(r.out.find('\r'), std::string::npos);
}

TEST_F(ProgressOnTerminal, QuietMeansNothingAtAll) {
  for (const char* command : {"verify", "repair"}) {
    const auto r = RunCli(dir.path(), {command, "-q", "s.PAR"}, {.stderrTerminal = true});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.err, "") << command;
  }
}

// The system's reason follows its file-error text on the same line.
struct ReasonCase {
  const char* name;
  std::vector<std::string> args;
  long fileSizeLimit;
  int status;
  std::string prefix;  // relative to the folder
  std::string suffix;
};

class FileErrorReasons : public ProgressOnTerminal,
                         public ::testing::WithParamInterface<ReasonCase> {
 protected:
  void SetUp() override {
    ProgressOnTerminal::SetUp();
    std::filesystem::create_directory(dir / "sub");
  }
};

TEST_P(FileErrorReasons, FollowTheText) {
  const ReasonCase& c = GetParam();
  const auto r = RunCli(dir.path(), c.args, {.fileSizeLimit = c.fileSizeLimit});
  EXPECT_EQ(r.status, c.status) << r.err;
  const std::string prefix = "tarvel-cli: Datei " + dir.path() + "/" + c.prefix;
  EXPECT_TRUE(r.err.starts_with(prefix)) << r.err;
  EXPECT_TRUE(r.err.ends_with(c.suffix + "\n")) << r.err;
  EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
}

INSTANTIATE_TEST_SUITE_P(
    System, FileErrorReasons,
    ::testing::Values(ReasonCase{"VolumeLargerThanTheSystemAllows",
                                 {"create", "-q", "-o", "big", "f1.bin", "f2.bin", "f3.bin"},
                                 100000,
                                 4,
                                 "big.",
                                 " kann nicht geschrieben werden (File too large)"},
                      ReasonCase{"VolumeThatIsNotThere",
                                 {"verify", "gone.PAR"},
                                 -1,
                                 4,
                                 "gone.PAR",
                                 " kann nicht geöffnet werden (No such file or directory)"},
                      ReasonCase{"VolumeThatIsAFolder",
                                 {"verify", "sub"},
                                 -1,
                                 4,
                                 "sub",
                                 " kann nicht geöffnet werden (Is a directory)"}),
    [](const ::testing::TestParamInfo<ReasonCase>& info) { return info.param.name; });

}  // namespace
}  // namespace tarvel::cli
