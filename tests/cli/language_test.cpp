// SPDX-License-Identifier: GPL-3.0-or-later
// tarvel-cli in the language chosen (LANGUAGE in C.UTF-8, see
// tests/ui/language_test.cpp): its catalogues found from the build tree,
// the file layer naming the full path, the engine's messages and the report
// translated; an empty LANGUAGE gives the system's texts.
#include <gtest/gtest.h>

#include <string>

#include "cli/cli_runner.h"
#include "support/testutil.h"

namespace tarvel {
namespace {

using testing::CliRunOptions;
using testing::RunCli;
using testing::TempDir;

struct LanguageRow {
  const char* language;
  const char* cannotOpen;  // %s: the volume's full path
  const char* fileCount;
  const char* allOk;
};

class CliLanguage : public ::testing::TestWithParam<LanguageRow> {};

std::string WithPath(const char* format, const std::string& path) {
  std::string text = format;
  text.replace(text.find("%s"), 2, path);
  return text;
}

TEST_P(CliLanguage, MessagesAndReport) {
  const LanguageRow& row = GetParam();
  TempDir dir;
  testing::WriteBytes(dir / "a.dat", testing::RandomBytes(5000, 1));
  testing::WriteBytes(dir / "b.dat", testing::RandomBytes(7000, 2));
  CliRunOptions options;
  options.language = row.language;

  const auto gone = RunCli(dir.path(), {"verify", "gone.PAR"}, options);
  EXPECT_EQ(gone.err.substr(0, gone.err.find(" (")),
            "tarvel-cli: " + WithPath(row.cannotOpen, dir / "gone.PAR"));

  const auto one = RunCli(dir.path(), {"create", "-q", "a.dat"}, options);
  EXPECT_NE(one.err.find(row.fileCount), std::string::npos) << one.err;

  ASSERT_EQ(RunCli(dir.path(), {"create", "-q", "a.dat", "b.dat"}, options).status, 0);
  const auto verified = RunCli(dir.path(), {"verify", "a.PAR"}, options);
  EXPECT_NE(verified.out.find(row.allOk), std::string::npos) << verified.out;
}

INSTANTIATE_TEST_SUITE_P(
    Rows, CliLanguage,
    ::testing::Values(LanguageRow{"", "Datei %s kann nicht geöffnet werden",
                                  "Only 2 - 250 files are supported.", "All files OK."},
                      LanguageRow{"en", "Cannot open the file %s",
                                  "Only 2 - 250 files are supported.", "All files OK."},
                      LanguageRow{"de", "Die Datei %s kann nicht geöffnet werden",
                                  "Nur 2 bis 250 Dateien werden unterstützt.",
                                  "Alle Dateien in Ordnung."},
                      LanguageRow{"xx:de", "Die Datei %s kann nicht geöffnet werden",
                                  "Nur 2 bis 250 Dateien werden unterstützt.",
                                  "Alle Dateien in Ordnung."}),
    [](const ::testing::TestParamInfo<LanguageRow>& info) {
      return std::string(info.index == 0   ? "System"
                         : info.index == 1 ? "English"
                                           : "German")
          .append(info.index == 3 ? "AfterAnUnknownLanguage" : "");
    });

}  // namespace
}  // namespace tarvel
