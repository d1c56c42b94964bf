// SPDX-License-Identifier: GPL-3.0-or-later
// The --json document, parsed and compared member by member: every state a
// file and a volume can be in, names that are not valid UTF-8, a set that
// cannot be read, what a repair did, and a repair that fails half-way.

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <map>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "cli/cli_runner.h"
#include "support/testutil.h"

namespace tarvel {
namespace {

using nlohmann::json;
using testing::RunCli;
using testing::TempDir;

const std::string kMovedAway = "m\xe9ved.bin";  // Latin-1, not UTF-8
const std::string kOddVolume =
    "p\xff"
    "3";

// One set in folder "set" with a file in every state:
//   ok.bin (intact), bad.bin (damaged), gone.bin (missing), moved.bin
//   (found under kMovedAway), readme.txt (digests only, intact); and its
//   volumes in every state: s.PAR, s.P01, s.P04 intact, s.P02 damaged,
//   s.P03 intact but renamed kOddVolume.
class JsonReport : public ::testing::Test {
 protected:
  void SetUp() override {
    std::filesystem::create_directory(dir / "set");
    const std::vector<std::pair<std::string, std::size_t>> files = {
        {"ok.bin", 40000}, {"bad.bin", 30000}, {"gone.bin", 20000}, {"moved.bin", 10000}};
    std::uint32_t seed = 10;
    for (const auto& [name, size] : files) {
      testing::WriteBytes(dir / "set/" + name, testing::RandomBytes(size, seed++));
    }
    testing::WriteText(dir / "set/readme.txt", "read me\n");
    ASSERT_EQ(RunCli(dir / "set", {"create", "-q", "-n", "4", "-o", "s", "bad.bin", "gone.bin",
                                   "moved.bin", "ok.bin", "readme.txt"})
                  .status,
              0);
    badOriginal = testing::ReadBytes(dir / "set/bad.bin");
    goneOriginal = testing::ReadBytes(dir / "set/gone.bin");
    Flip(dir / "set/bad.bin", 100);
    std::filesystem::remove(dir / "set/gone.bin");
    std::filesystem::rename(dir / "set/moved.bin", dir / "set" + "/" + kMovedAway);
    Flip(dir / "set/s.P02", 5000);
    std::filesystem::rename(dir / "set/s.P03", dir / "set" + "/" + kOddVolume);
  }

  static void Flip(const std::string& path, std::size_t at) {
    auto bytes = testing::ReadBytes(path);
    bytes.at(at) ^= 0x5A;
    testing::Corrupt(path, bytes);
  }

  // Runs tarvel-cli and parses its standard output, which must be exactly
  // one valid JSON document (the parser refuses text that is not UTF-8).
  json RunJson(const std::vector<std::string>& args, int& status,
               const testing::CliRunOptions& options = {}) {
    const testing::CliResult r = RunCli(dir.path(), args, options);
    status = r.status;
    json document;
    EXPECT_NO_THROW(document = json::parse(r.out)) << r.out;
    return document;
  }

  TempDir dir;
  std::vector<std::uint8_t> badOriginal, goneOriginal;
};

std::string Replaced(const std::string& text) {
  // What the document shows for a name that is not UTF-8: U+FFFD per byte.
  std::string out;
  for (unsigned char c : text)
    out += c < 0x80 ? std::string(1, static_cast<char>(c)) : "\xef\xbf\xbd";
  return out;
}

struct FileRow {
  const char* name;
  bool inParity;
  std::int64_t size;
  const char* state;
};

void ExpectFiles(const json& files, const std::vector<FileRow>& rows) {
  ASSERT_EQ(files.size(), rows.size()) << files.dump();
  for (std::size_t i = 0; i < rows.size(); ++i) {
    SCOPED_TRACE(rows[i].name);
    EXPECT_EQ(files[i]["name"], rows[i].name);
    EXPECT_EQ(files[i]["in_parity"], rows[i].inParity);
    EXPECT_EQ(files[i]["size"], rows[i].size);
    EXPECT_EQ(files[i]["state"], rows[i].state);
    EXPECT_FALSE(files[i].contains("name_hex"));
  }
}

TEST_F(JsonReport, VerifyDescribesEveryStateOfFilesAndVolumes) {
  // A second set whose only damage lies in a file recorded by digests, and
  // a volume that cannot be read, in the same call.
  std::filesystem::create_directory(dir / "crc");
  testing::WriteBytes(dir / "crc/a.bin", testing::RandomBytes(5000, 1));
  testing::WriteBytes(dir / "crc/b.bin", testing::RandomBytes(6000, 2));
  testing::WriteText(dir / "crc/info.nfo", "release info\n");
  ASSERT_EQ(RunCli(dir / "crc", {"create", "-q", "-o", "c", "a.bin", "b.bin", "info.nfo"}).status,
            0);
  Flip(dir / "crc/info.nfo", 0);
  std::filesystem::create_directory(dir / "broken");
  std::filesystem::copy_file(dir / "crc/c.PAR", dir / "broken/c.PAR");
  Flip(dir / "broken/c.PAR", 120);

  int status = -1;
  const json doc = RunJson({"verify", "--json", "set/s.PAR", "crc/c.PAR", "broken/c.PAR"}, status);
  ASSERT_TRUE(doc.is_object());
  EXPECT_EQ(doc["command"], "verify");
  EXPECT_EQ(doc["status"], status);
  EXPECT_EQ(doc["messages"], json::array());
  ASSERT_EQ(doc["sets"].size(), 3u);

  const json& set = doc["sets"][0];
  EXPECT_EQ(set["volume"], "set/s.PAR");
  EXPECT_EQ(set["status"], 1);  // three bad files, three usable volumes
  EXPECT_EQ(set["checked"], true);
  ExpectFiles(set["files"], {{"bad.bin", true, 30000, "damaged"},
                             {"gone.bin", true, 20000, "missing"},
                             {"moved.bin", true, 10000, "found_elsewhere"},
                             {"ok.bin", true, 40000, "ok"},
                             {"readme.txt", false, 8, "ok"}});
  const json& moved = set["files"][2];
  EXPECT_EQ(moved["found_as"], Replaced(kMovedAway));
  EXPECT_EQ(moved["found_as_hex"], "6de97665642e62696e");
  for (const json& file : set["files"]) {
    EXPECT_EQ(file.contains("found_as"), file["state"] == "found_elsewhere") << file;
  }

  const json& volumes = set["volumes"];
  ASSERT_EQ(volumes.size(), 5u) << volumes.dump();
  const std::vector<std::tuple<std::string, int, std::string>> expected = {
      {"s.PAR", 0, "ok"},
      {"s.P01", 1, "ok"},
      {"s.P02", 2, "damaged"},
      {Replaced(kOddVolume), 3, "ok"},
      {"s.P04", 4, "ok"}};
  for (std::size_t i = 0; i < expected.size(); ++i) {
    EXPECT_EQ(volumes[i]["name"], std::get<0>(expected[i]));
    EXPECT_EQ(volumes[i]["number"], std::get<1>(expected[i]));
    EXPECT_EQ(volumes[i]["state"], std::get<2>(expected[i]));
  }
  EXPECT_EQ(volumes[3]["name_hex"], "70ff33");
  EXPECT_FALSE(volumes[0].contains("name_hex"));

  EXPECT_EQ(set["counts"], json::parse(R"({"files": 5, "in_parity": 4, "bad": 3,
      "bad_crc_only": 0, "parity_volumes": 4, "usable_parity_volumes": 3})"));
  EXPECT_EQ(set["actions"], json::array());
  EXPECT_EQ(set["messages"], json::array());

  // Damage only where digests are all there is: counted apart from the bad
  // files in parity; its status is the command's own rule for such a set.
  const json& crc = doc["sets"][1];
  EXPECT_EQ(crc["checked"], true);
  EXPECT_EQ(crc["files"][2]["state"], "damaged");
  EXPECT_EQ(crc["files"][2]["in_parity"], false);
  EXPECT_EQ(crc["counts"]["bad"], 0);
  EXPECT_EQ(crc["counts"]["bad_crc_only"], 1);

  const json& broken = doc["sets"][2];
  EXPECT_EQ(broken["volume"], "broken/c.PAR");
  EXPECT_EQ(broken["status"], 3);
  EXPECT_EQ(broken["checked"], false);
  EXPECT_EQ(broken["files"], json::array());
  EXPECT_TRUE(broken["counts"].is_null());
  EXPECT_EQ(broken["messages"], json::parse(R"(["Checksum error. File is corrupt.",
      "Error Reading lists. Operation aborted."])"));

  int largest = 0;
  for (const json& s : doc["sets"]) largest = std::max(largest, s["status"].get<int>());
  EXPECT_EQ(status, largest);
}

TEST_F(JsonReport, RepairTellsWhatItDid) {
  int status = -1;
  const json doc = RunJson({"repair", "--json", "-q", "set/s.P04"}, status);
  EXPECT_EQ(status, 0);
  EXPECT_EQ(doc["command"], "repair");
  const json& set = doc["sets"].at(0);
  EXPECT_EQ(set["status"], 0);
  ExpectFiles(set["files"], {{"bad.bin", true, 30000, "ok"},
                             {"gone.bin", true, 20000, "ok"},
                             {"moved.bin", true, 10000, "ok"},
                             {"ok.bin", true, 40000, "ok"},
                             {"readme.txt", false, 8, "ok"}});
  EXPECT_EQ(set["actions"], json::parse(R"([
      {"action": "renamed", "file": "moved.bin", "from": ")" +
                                        Replaced(kMovedAway) +
                                        R"(", "from_hex": "6de97665642e62696e"},
      {"action": "rebuilt", "file": "bad.bin"},
      {"action": "rebuilt", "file": "gone.bin"}])"));
  EXPECT_EQ(set["counts"]["bad"], 0);
  EXPECT_EQ(testing::ReadBytes(dir / "set/bad.bin"), badOriginal);
  EXPECT_EQ(testing::ReadBytes(dir / "set/gone.bin"), goneOriginal);
}

// What kept the check from vouching for a file by its digest: an edit after
// the set was made, a file and a volume that cannot be opened.
TEST_F(JsonReport, FilesAndVolumesTellWhyTheyAreAsTheyAre) {
  testing::Edit(dir / "set/ok.bin", testing::RandomBytes(40000, 99));
  chmod((dir / "set/readme.txt").c_str(), 0);
  chmod((dir / "set/s.P01").c_str(), 0);
  int status = -1;
  const json doc = RunJson({"verify", "--json", "set/s.PAR"}, status, {.permissionsHold = true});
  EXPECT_EQ(status, 4);
  const json& set = doc["sets"].at(0);
  const json& files = set["files"];
  ASSERT_EQ(files.size(), 5u) << files.dump();
  EXPECT_EQ(files[0], json::parse(R"({"name": "bad.bin", "in_parity": true, "size": 30000,
      "state": "damaged"})"));
  EXPECT_EQ(files[3], json::parse(R"({"name": "ok.bin", "in_parity": true, "size": 40000,
      "state": "damaged", "changed_after_set": true})"));
  EXPECT_EQ(files[4], json::parse(R"j({"name": "readme.txt", "in_parity": false, "size": 8,
      "state": "not_checked", "read_error": "opening it failed (Permission denied)"})j"));
  EXPECT_EQ(set["volumes"].at(1), json::parse(R"j({"name": "s.P01", "number": 1,
      "state": "not_checked", "read_error": "opening it failed (Permission denied)"})j"));
  EXPECT_EQ(set["counts"]["bad_crc_only"], 0);
  for (const char* name : {"set/readme.txt", "set/s.P01"}) chmod((dir / name).c_str(), 0600);
}

TEST_F(JsonReport, RepairThatCannotWriteNamesTheFileAndTheReason) {
  // The system refuses to let any file grow beyond 25000 bytes: gone.bin
  // (20000) can be rebuilt, bad.bin (30000) cannot.
  int status = -1;
  const json doc = RunJson({"repair", "--json", "--found", "leave", "set/s.PAR"}, status,
                           {.fileSizeLimit = 25000});
  EXPECT_EQ(status, 4);
  const json& set = doc["sets"].at(0);
  EXPECT_EQ(set["status"], 4);
  EXPECT_EQ(set["checked"], true);
  bool badFailed = false;
  for (const json& action : set["actions"]) {
    if (action["file"] == "bad.bin") {
      EXPECT_EQ(action["action"], "failed");
      EXPECT_EQ(action["operation"], "rebuild");
      badFailed = true;
    }
  }
  EXPECT_TRUE(badFailed) << set["actions"].dump();
  ASSERT_FALSE(set["messages"].empty());
  const std::string message = set["messages"].back();
  EXPECT_TRUE(message.starts_with("Datei " + (dir / "set/bad.bin"))) << message;
  EXPECT_TRUE(message.ends_with(" kann nicht geschrieben werden (File too large)")) << message;
  // The damaged file is as it was, and nothing temporary is left.
  auto damaged = badOriginal;
  damaged[100] ^= 0x5A;
  EXPECT_EQ(testing::ReadBytes(dir / "set/bad.bin"), damaged);
  for (const auto& e : std::filesystem::directory_iterator(dir / "set")) {
    EXPECT_NE(e.path().filename().string()[0], '.') << e.path();
  }
}

}  // namespace
}  // namespace tarvel
