// SPDX-License-Identifier: GPL-3.0-or-later
// Drives the built tarvel-cli binary as a user would: create a set in a
// temporary folder, damage it, verify and repair it, and check the exit
// statuses, the report on standard output and the messages on standard error.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "checksum/md5.h"
#include "cli/cli_runner.h"
#include "cli/command.h"
#include "engine/format/format.h"
#include "support/env_wrapper.h"
#include "support/testutil.h"

namespace tarvel {
namespace {

using testing::ReadBytes;
using testing::TempDir;
using testing::WriteBytes;
using testing::WriteText;

using Result = testing::CliResult;
using testing::RunCli;

std::string Slurp(const std::string& path) { return testing::SlurpText(path); }

// Starts tarvel-cli with `args` in `cwd`, output discarded; returns its pid.
pid_t StartCli(const std::string& cwd, const std::vector<std::string>& args) {
  pid_t pid = fork();
  if (pid == 0) {
    int null = open("/dev/null", O_RDWR);
    dup2(null, 0);
    dup2(null, 1);
    dup2(null, 2);
    if (!testing::EnterFolder(cwd)) _exit(126);
    testing::ExecCli(args);
  }
  return pid;
}

// The exit status of the tarvel-cli started as `pid`, once it has ended.
int ExitStatusOf(pid_t pid) {
  int wstatus = 0;
  waitpid(pid, &wstatus, 0);
  return WIFEXITED(wstatus) ? WEXITSTATUS(wstatus) : -1;
}

// The file layer of a tarvel-cli that sends `signal` to its own process
// right after the first write to a temporary file: the moment a user's
// Ctrl-C or a kill would hurt most.
class SignalAtTemporaryWrite : public testing::EnvWrapper {
 public:
  explicit SignalAtTemporaryWrite(int signal) : signal_(signal) {}

 protected:
  std::unique_ptr<File> WrapFile(std::unique_ptr<File> file) override {
    if (!BareName(file->Name()).starts_with(".tarvel-")) return file;
    return std::make_unique<Signalling>(*this, std::move(file));
  }

 private:
  class Signalling : public testing::FileWrapper {
   public:
    Signalling(SignalAtTemporaryWrite& env, std::unique_ptr<File> file)
        : FileWrapper(std::move(file)), env_(env) {}
    void WriteAt(std::int64_t offset, const void* buffer, std::size_t n) override {
      target().WriteAt(offset, buffer, n);
      if (!env_.sent_) {
        env_.sent_ = true;
        kill(getpid(), env_.signal_);
      }
    }

   private:
    SignalAtTemporaryWrite& env_;
  };

  int signal_;
  bool sent_ = false;
};

// Runs tarvel-cli with `args` in `cwd` in a child process, output discarded,
// its files reached through SignalAtTemporaryWrite; returns its pid.
pid_t StartCliSignalledAtTemporaryWrite(const std::string& cwd,
                                        const std::vector<std::string>& args, int signal) {
  const pid_t pid = fork();
  if (pid == 0) {
    const int null = open("/dev/null", O_RDWR);
    dup2(null, 0);
    dup2(null, 1);
    dup2(null, 2);
    if (!testing::EnterFolder(cwd)) _exit(126);
    std::vector<std::string> words = {"tarvel-cli"};
    words.insert(words.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (std::string& w : words) argv.push_back(w.data());
    argv.push_back(nullptr);
    SignalAtTemporaryWrite env(signal);
    _exit(cli::Run(static_cast<int>(words.size()), argv.data(), env));
  }
  return pid;
}

// The hidden temporary files of `folder`.
std::vector<std::string> TemporaryFiles(const std::string& folder) {
  std::vector<std::string> names;
  for (const auto& e : std::filesystem::directory_iterator(folder)) {
    const std::string name = e.path().filename().string();
    if (name.starts_with(".tarvel-")) names.push_back(name);
  }
  return names;
}

std::string Lines(const std::vector<std::string>& lines) {
  std::string s;
  for (const auto& l : lines) s += l + "\n";
  return s;
}

// A folder holding three files of different sizes, protected by `count`
// parity volumes named data.PAR, data.P01, ...
class CliSet : public ::testing::Test {
 protected:
  void SetUp() override {
    WriteBytes(dir / "data.bin", testing::RandomBytes(120000, 1));
    WriteBytes(dir / "extra.dat", testing::RandomBytes(50000, 2));
    WriteBytes(dir / "more.raw", testing::RandomBytes(777, 3));
  }
  Result CreateSet(int count) {
    return RunCli(dir.path(), {"create", "-q", "-n", std::to_string(count), "data.bin", "extra.dat",
                               "more.raw"});
  }
  TempDir dir;
};

TEST_F(CliSet, CreateWritesTheVolumesAndVerifyReportsAllOk) {
  Result c = CreateSet(2);
  EXPECT_EQ(c.status, 0) << c.err;
  EXPECT_EQ(c.out, "Files successfully created.\n");
  EXPECT_EQ(c.err, "");
  for (const char* v : {"data.PAR", "data.P01", "data.P02"})
    EXPECT_TRUE(testing::Exists(dir / v)) << v;
  EXPECT_FALSE(testing::Exists(dir / "data.P03"));

  Result v = RunCli(dir.path(), {"verify", "data.P02"});
  EXPECT_EQ(v.status, 0) << v.err;
  EXPECT_EQ(v.out, Lines({"data.bin OK", "extra.dat OK", "more.raw OK", " ", "All files OK.", " ",
                          "Found parity volumes:", "data.P01 OK", "data.P02 OK", " ",
                          "2 usable parity volumes found."}));
  // Not a terminal: no progress line.
  EXPECT_EQ(v.err, "");
}

// The thread count changes nothing that can be seen: the same volumes, the
// same report and status with one thread and with several.
TEST_F(CliSet, ThreadCountChangesNothingButTheSpeed) {
  std::map<std::string, std::string> volumes;
  std::string report;
  for (const char* threads : {"1", "4"}) {
    SCOPED_TRACE(threads);
    Result c = RunCli(dir.path(), {"create", "-q", "-f", "-t", threads, "-n", "2", "data.bin",
                                   "extra.dat", "more.raw"});
    ASSERT_EQ(c.status, 0) << c.err;
    for (const char* v : {"data.PAR", "data.P01", "data.P02"}) {
      const auto bytes = testing::ReadBytes(dir / v);
      const std::string text(bytes.begin(), bytes.end());
      if (volumes.count(v)) {
        EXPECT_EQ(volumes[v], text) << v;
      }
      volumes[v] = text;
    }
    std::filesystem::remove(dir / "extra.dat");
    Result r = RunCli(dir.path(), {"repair", "--threads", threads, "data.PAR"});
    EXPECT_EQ(r.status, 0) << r.err;
    if (!report.empty()) {
      EXPECT_EQ(r.out, report);
    }
    report = r.out;
  }
}

TEST_F(CliSet, CreateOptionsAndDefaults) {
  // Default count: 3 files / 10 + 1 = 1; -o names the base.
  Result c = RunCli(dir.path(), {"create", "-o", "backup", "more.raw", "data.bin", "extra.dat"});
  EXPECT_EQ(c.status, 0) << c.err;
  EXPECT_TRUE(testing::Exists(dir / "backup.PAR"));
  EXPECT_TRUE(testing::Exists(dir / "backup.P01"));
  EXPECT_FALSE(testing::Exists(dir / "backup.P02"));
  // The set lists the files sorted by path, whatever order they were named in.
  Result v = RunCli(dir.path(), {"verify", "backup.PAR"});
  EXPECT_EQ(v.status, 0) << v.err;
  EXPECT_EQ(v.out.substr(0, 9), "data.bin ");

  // A base in another folder is resolved like any other path.
  std::filesystem::create_directory(dir / "out");
  Result o =
      RunCli(dir.path() + "/out", {"create", "-o", "../out/b", "../data.bin", "../more.raw"});
  EXPECT_EQ(o.status, 0) << o.err;
  EXPECT_TRUE(testing::Exists(dir / "out/b.PAR"));
  EXPECT_TRUE(testing::Exists(dir / "out/b.P01"));
}

TEST_F(CliSet, CreateSmallFilesGoIntoCrcListUnlessAsked) {
  WriteText(dir / "notes.txt", "read me\n");
  ASSERT_EQ(RunCli(dir.path(), {"create", "data.bin", "notes.txt"}).status, 0);
  Result v = RunCli(dir.path(), {"verify", "data.PAR"});
  EXPECT_NE(v.out.find("notes.txt (CRC only) OK\n"), std::string::npos) << v.out;

  ASSERT_EQ(
      RunCli(dir.path(), {"create", "-f", "--small", "parity", "data.bin", "notes.txt"}).status, 0);
  v = RunCli(dir.path(), {"verify", "data.PAR"});
  EXPECT_NE(v.out.find("notes.txt OK\n"), std::string::npos) << v.out;
}

TEST_F(CliSet, CreateRefusals) {
  Result one = RunCli(dir.path(), {"create", "data.bin"});
  EXPECT_EQ(one.status, 3);
  EXPECT_EQ(one.err, "tarvel-cli: Only 2 - 250 files are supported.\n");

  std::filesystem::create_directory(dir / "sub");
  WriteText(dir / "sub/other.bin", "x");
  EXPECT_EQ(RunCli(dir.path(), {"create", "data.bin", "sub/other.bin"}).status, 3);

  // A hidden file would never be found by a check.
  WriteText(dir / ".hidden", "x");
  Result hidden = RunCli(dir.path(), {"create", "data.bin", ".hidden"});
  EXPECT_EQ(hidden.status, 3);
  EXPECT_NE(hidden.err.find("tarvel-cli: A hidden file cannot be protected"), std::string::npos)
      << hidden.err;

  // Nor would it find volumes with hidden names.
  for (const char* base : {".set", "sub/"}) {
    Result r = RunCli(dir.path(), {"create", "-o", base, "data.bin", "extra.dat"});
    EXPECT_EQ(r.status, 3) << base;
    EXPECT_FALSE(testing::Exists(dir / ".set.PAR"));
    EXPECT_FALSE(testing::Exists(dir / "sub/.PAR"));
  }

  // A volume must not replace one of the files it is to protect.
  WriteText(dir / "more.PAR", "an older volume");
  Result clash = RunCli(dir.path(), {"create", "more.raw", "more.PAR"});
  EXPECT_EQ(clash.status, 3);
  EXPECT_NE(clash.err.find("would replace a file of the set"), std::string::npos) << clash.err;
  EXPECT_EQ(Slurp(dir / "more.PAR"), "an older volume");
  std::filesystem::remove(dir / "more.PAR");

  // 3 files allow 1..3 volumes.
  EXPECT_EQ(RunCli(dir.path(), {"create", "-n", "4", "data.bin", "extra.dat", "more.raw"}).status,
            3);
  EXPECT_EQ(RunCli(dir.path(), {"create", "-n", "0", "data.bin", "extra.dat", "more.raw"}).status,
            3);
  EXPECT_EQ(RunCli(dir.path(), {"create", "-n", "x", "data.bin", "extra.dat"}).status, 3);
  EXPECT_EQ(RunCli(dir.path(), {"create", "--small", "maybe", "data.bin", "extra.dat"}).status, 3);

  WriteText(dir / "empty.bin", "");
  Result empty = RunCli(dir.path(), {"create", "data.bin", "empty.bin"});
  EXPECT_EQ(empty.status, 3);
  EXPECT_NE(empty.err.find("tarvel-cli: Error reading " + (dir / "empty.bin") +
                           ", or filesize is zero.\n"),
            std::string::npos)
      << empty.err;
  EXPECT_NE(empty.err.find("tarvel-cli: Operation aborted!\n"), std::string::npos);

  Result missing = RunCli(dir.path(), {"create", "data.bin", "nothere.bin"});
  EXPECT_EQ(missing.status, 4);
  EXPECT_EQ(missing.err, "tarvel-cli: Datei " + (dir / "nothere.bin") +
                             " kann nicht geöffnet werden (No such file or directory)\n");
  EXPECT_FALSE(testing::Exists(dir / "data.PAR"));
}

TEST_F(CliSet, VerifyExitStatusFollowsTheDamage) {
  ASSERT_EQ(CreateSet(1).status, 0);
  auto original = ReadBytes(dir / "extra.dat");
  auto damaged = original;
  damaged[100] ^= 0xFF;
  testing::Corrupt(dir / "extra.dat", damaged);

  Result v = RunCli(dir.path(), {"verify", "data.PAR"});
  EXPECT_EQ(v.status, 1);
  EXPECT_NE(v.out.find(" \nextra.dat CRC Mismatch...\n \n"), std::string::npos) << v.out;
  EXPECT_NE(v.out.find("1 bad/missing files.\n"), std::string::npos);
  EXPECT_EQ(ReadBytes(dir / "extra.dat"), damaged);  // verify changes nothing

  std::filesystem::remove(dir / "more.raw");
  Result two = RunCli(dir.path(), {"verify", "data.PAR"});
  EXPECT_EQ(two.status, 2);
  EXPECT_NE(two.out.find("more.raw Missing..."), std::string::npos);

  // Repair refuses and changes nothing.
  Result r = RunCli(dir.path(), {"repair", "data.PAR"});
  EXPECT_EQ(r.status, 2);
  EXPECT_NE(r.err.find("tarvel-cli: You do not have enough parity volumes. 2 parity volumes are "
                       "needed.\n"),
            std::string::npos)
      << r.err;
  EXPECT_EQ(ReadBytes(dir / "extra.dat"), damaged);
  EXPECT_FALSE(testing::Exists(dir / "more.raw"));
}

TEST_F(CliSet, RepairRebuildsDeletedAndDamagedFiles) {
  ASSERT_EQ(CreateSet(2).status, 0);
  auto data = ReadBytes(dir / "data.bin");
  auto more = ReadBytes(dir / "more.raw");
  std::filesystem::remove(dir / "data.bin");
  auto damaged = more;
  damaged[0] ^= 1;
  testing::Corrupt(dir / "more.raw", damaged);

  Result r = RunCli(dir.path(), {"repair", "-q", "data.PAR"});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(ReadBytes(dir / "data.bin"), data);
  EXPECT_EQ(ReadBytes(dir / "more.raw"), more);
  // The report before and the report after.
  EXPECT_NE(r.out.find("data.bin Missing..."), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("2 bad/missing files."), std::string::npos);
  EXPECT_EQ(r.out.substr(r.out.rfind("data.bin")),
            "data.bin OK\nextra.dat OK\nmore.raw OK\n \nAll files OK.\n \nFound parity volumes:\n"
            "data.P01 OK\ndata.P02 OK\n \n2 usable parity volumes found.\n");
  // No temporary file is left behind.
  for (const auto& e : std::filesystem::directory_iterator(dir.path()))
    EXPECT_NE(e.path().filename().string()[0], '.') << e.path();

  // Nothing bad: the report and success.
  Result again = RunCli(dir.path(), {"repair", "data.PAR"});
  EXPECT_EQ(again.status, 0);
  EXPECT_NE(again.out.find("All files OK."), std::string::npos);
}

TEST_F(CliSet, FoundFilesAreLeftRenamedOrCopied) {
  ASSERT_EQ(CreateSet(1).status, 0);
  std::filesystem::rename(dir / "extra.dat", dir / "renamed.dat");

  Result leave = RunCli(dir.path(), {"verify", "data.PAR"});
  EXPECT_EQ(leave.status, 1);
  EXPECT_FALSE(testing::Exists(dir / "extra.dat"));

  Result copy = RunCli(dir.path(), {"verify", "--found", "copy", "data.PAR"});
  EXPECT_EQ(copy.status, 0) << copy.out;
  EXPECT_TRUE(testing::Exists(dir / "extra.dat"));
  EXPECT_TRUE(testing::Exists(dir / "renamed.dat"));

  std::filesystem::remove(dir / "extra.dat");
  Result rename = RunCli(dir.path(), {"verify", "--found", "rename", "data.PAR"});
  EXPECT_EQ(rename.status, 0);
  EXPECT_TRUE(testing::Exists(dir / "extra.dat"));
  EXPECT_FALSE(testing::Exists(dir / "renamed.dat"));

  // A copy that cannot be made (a folder holds the name) ends the check
  // with its error once, instead of being tried again and again.
  std::filesystem::rename(dir / "extra.dat", dir / "renamed.dat");
  std::filesystem::create_directory(dir / "extra.dat");
  Result failed = RunCli(dir.path(), {"verify", "--found", "copy", "data.PAR"});
  EXPECT_EQ(failed.status, 4);
  EXPECT_EQ(failed.err, "tarvel-cli: Datei " + (dir / "extra.dat") +
                            " kann nicht erstellt werden (Is a directory).\n");
  EXPECT_EQ(failed.out, "");
  EXPECT_TRUE(std::filesystem::is_directory(dir / "extra.dat"));
}

TEST_F(CliSet, UnreadableVolumes) {
  ASSERT_EQ(CreateSet(1).status, 0);
  auto vol = ReadBytes(dir / "data.P01");
  vol[200] ^= 0x55;
  WriteBytes(dir / "data.P01", vol);
  Result bad = RunCli(dir.path(), {"verify", "data.P01"});
  EXPECT_EQ(bad.status, 3);
  EXPECT_EQ(bad.err,
            "tarvel-cli: Checksum error. File is corrupt.\n"
            "tarvel-cli: Error Reading lists. Operation aborted.\n");
  EXPECT_EQ(bad.out, "");

  Result notPar = RunCli(dir.path(), {"verify", "data.bin"});
  EXPECT_EQ(notPar.status, 3);
  EXPECT_EQ(
      notPar.err,
      "tarvel-cli: Not a PAR/Pxx file.\ntarvel-cli: Error Reading lists. Operation aborted.\n");

  Result missing = RunCli(dir.path(), {"verify", "gone.PAR"});
  EXPECT_EQ(missing.status, 4);
  EXPECT_NE(missing.err.find("kann nicht geöffnet werden"), std::string::npos);
}

// Writes the control digest of a volume changed on purpose, so that it
// reads as intact.
void Reseal(std::vector<std::uint8_t>& volume) {
  const md5digest d = md5buffer(volume.data() + 32, volume.size() - 32);
  std::copy(d.begin(), d.end(), volume.begin() + 16);
}

bool Has(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

// A parity volume with wrong parity under a right digest: the rebuilt file
// does not have its listed digests, so it is not put in place; the damaged
// file stays as it was, a message says so, and the repair ends with 5.
TEST_F(CliSet, RebuiltFileWithWrongContentIsNotPutInPlace) {
  ASSERT_EQ(CreateSet(1).status, 0);
  auto volume = ReadBytes(dir / "data.P01");
  volume[volume.size() - 5] ^= 0x01;
  Reseal(volume);
  WriteBytes(dir / "data.P01", volume);
  auto damaged = ReadBytes(dir / "data.bin");
  damaged[damaged.size() - 5] ^= 0x80;
  testing::Corrupt(dir / "data.bin", damaged);

  Result r = RunCli(dir.path(), {"repair", "-q", "data.PAR"});
  EXPECT_EQ(r.status, 5) << r.out;
  EXPECT_TRUE(Has(r.err, "tarvel-cli: data.bin could not be rebuilt")) << r.err;
  EXPECT_EQ(ReadBytes(dir / "data.bin"), damaged);
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), {}), 5);
}

// A symbolic link where a file of the set belongs is replaced by the rebuilt
// file, never written through.  Here it was the only way to volume 2 (kept
// in another folder): the final report checks the volumes again and no
// longer counts it, and the volume itself is unchanged.
TEST_F(CliSet, RepairReplacesLinksAndChecksTheVolumesAgain) {
  ASSERT_EQ(CreateSet(2).status, 0);
  const auto more = ReadBytes(dir / "more.raw");
  const auto p02 = ReadBytes(dir / "data.P02");
  std::filesystem::create_directory(dir / "vols");
  std::filesystem::rename(dir / "data.P02", dir / "vols/data.P02");
  std::filesystem::remove(dir / "more.raw");
  std::filesystem::create_symlink("vols/data.P02", dir / "more.raw");

  Result r = RunCli(dir.path(), {"repair", "-q", "data.PAR"});
  EXPECT_EQ(r.status, 0) << r.out << r.err;
  EXPECT_TRUE(Has(r.out, "Found parity volumes:\ndata.P01 OK\nmore.raw OK\n")) << r.out;
  EXPECT_EQ(r.out.substr(r.out.rfind("data.bin OK")),
            "data.bin OK\nextra.dat OK\nmore.raw OK\n \nAll files OK.\n \nFound parity volumes:\n"
            "data.P01 OK\n \n1 usable parity volumes found.\n");
  EXPECT_FALSE(std::filesystem::is_symlink(dir / "more.raw"));
  EXPECT_EQ(ReadBytes(dir / "more.raw"), more);
  EXPECT_EQ(ReadBytes(dir / "vols/data.P02"), p02);
}

// Digest-only files that are bad or missing are damage too: never "All
// files OK.", verify exits 2 (parity cannot mend them), and so does a
// repair that changes nothing.  Found under another name they are mendable.
TEST_F(CliSet, DigestOnlyDamageIsReportedAndSetsTheStatus) {
  WriteText(dir / "x.txt", "same words\n");
  WriteText(dir / "y.txt", "same words\n");
  WriteText(dir / "notes.txt", "notes\n");
  ASSERT_EQ(
      RunCli(dir.path(), {"create", "-q", "-n", "1", "data.bin", "notes.txt", "x.txt", "y.txt"})
          .status,
      0);
  std::filesystem::remove(dir / "notes.txt");
  Result v = RunCli(dir.path(), {"verify", "data.PAR"});
  EXPECT_EQ(v.status, 2);
  EXPECT_TRUE(Has(v.out, "notes.txt (CRC only) Missing...\n"));
  EXPECT_TRUE(Has(v.out, " \n1 bad/missing files (CRC only).\n \n")) << v.out;
  EXPECT_FALSE(Has(v.out, "All files OK."));
  Result r = RunCli(dir.path(), {"repair", "data.PAR"});
  EXPECT_EQ(r.status, 2);
  EXPECT_FALSE(testing::Exists(dir / "notes.txt"));

  // x.txt and y.txt have one content; with y.txt gone the search finds it
  // as x.txt, which is copied, not renamed away.
  WriteText(dir / "notes.txt", "notes\n");
  std::filesystem::remove(dir / "y.txt");
  EXPECT_EQ(RunCli(dir.path(), {"verify", "data.PAR"}).status, 1);
  Result twin = RunCli(dir.path(), {"repair", "--found", "rename", "data.PAR"});
  EXPECT_EQ(twin.status, 0) << twin.out;
  EXPECT_EQ(Slurp(dir / "x.txt"), "same words\n");
  EXPECT_EQ(Slurp(dir / "y.txt"), "same words\n");

  // A repair that mends something but leaves a digest-only file bad ends 5.
  std::filesystem::rename(dir / "data.bin", dir / "moved.dat");
  WriteText(dir / "notes.txt", "changed\n");
  EXPECT_EQ(RunCli(dir.path(), {"repair", "data.PAR"}).status, 5);
  EXPECT_TRUE(testing::Exists(dir / "data.bin"));
}

// A missing file that the search finds under another name counts as
// mendable: with one volume and two bad files, verify still says a repair
// can mend them (the rename, then the rebuild), and the repair does.
TEST_F(CliSet, VerifyCountsFilesFoundUnderOtherNamesAsMendable) {
  ASSERT_EQ(CreateSet(1).status, 0);
  const auto more = ReadBytes(dir / "more.raw");
  std::filesystem::rename(dir / "extra.dat", dir / "renamed.dat");
  std::filesystem::remove(dir / "more.raw");
  Result v = RunCli(dir.path(), {"verify", "data.PAR"});
  EXPECT_EQ(v.status, 1) << v.out;
  EXPECT_TRUE(testing::Exists(dir / "renamed.dat"));
  Result r = RunCli(dir.path(), {"repair", "-q", "data.PAR"});
  EXPECT_EQ(r.status, 0) << r.out << r.err;
  EXPECT_EQ(ReadBytes(dir / "more.raw"), more);
  EXPECT_FALSE(testing::Exists(dir / "renamed.dat"));
}

// What create refuses, warns of and notes, what a repair must not take
// from another set, the system's reasons and printable names in what
// tarvel-cli says, and folders as disks really have them (deep, linked,
// shared with another create).  Each row starts from the set data.PAR,
// data.P01, data.P02 of CliSet; "DIR" in an expected text stands for the
// folder.
struct SafetyRow {
  const char* name;
  std::function<void(const TempDir&)> setup;
  std::vector<std::string> args;
  int status;
  std::vector<std::string> errHas;  // each a part of standard error; "" : it is empty
  std::vector<std::string> outHas;
  std::function<void(const TempDir&, const Result&)> after = {};
  testing::CliRunOptions options = {};
  std::string cwd = "";  // the folder below DIR the command runs in
};

// 25 folders of 200-character names, about 5000 bytes: deeper than PATH_MAX.
const std::string kDeepName(200, 'd');
std::string DeepFolder() {
  std::string path = kDeepName;
  for (int i = 1; i < 25; ++i) path += "/" + kDeepName;
  return path;
}

class CliSafety : public CliSet, public ::testing::WithParamInterface<SafetyRow> {};

std::string InFolder(std::string text, const std::string& folder) {
  for (std::size_t at = text.find("DIR"); at != std::string::npos; at = text.find("DIR", at)) {
    text.replace(at, 3, folder);
    at += folder.size();
  }
  return text;
}

// The bytes of every volume of the folder, to see that a refusal wrote nothing.
std::map<std::string, std::vector<std::uint8_t>> Volumes(const std::string& folder) {
  std::map<std::string, std::vector<std::uint8_t>> volumes;
  for (const auto& e : std::filesystem::directory_iterator(folder)) {
    const std::string name = e.path().filename().string();
    if (name.starts_with("data.")) volumes[name] = ReadBytes(e.path().string());
  }
  return volumes;
}

TEST_P(CliSafety, SaysWhatItDidAndWhy) {
  const SafetyRow& row = GetParam();
  ASSERT_EQ(CreateSet(2).status, 0);
  if (row.setup) row.setup(dir);
  const auto before = Volumes(dir.path());
  const Result r = RunCli(row.cwd.empty() ? dir.path() : dir / row.cwd, row.args, row.options);
  EXPECT_EQ(r.status, row.status) << r.out << r.err;
  for (const std::string& part : row.errHas) {
    if (part.empty()) {
      EXPECT_EQ(r.err, "");
    } else {
      EXPECT_NE(r.err.find(InFolder(part, dir.path())), std::string::npos) << r.err;
    }
  }
  for (const std::string& part : row.outHas) {
    EXPECT_NE(r.out.find(InFolder(part, dir.path())), std::string::npos) << r.out;
  }
  EXPECT_EQ(r.err.find('\x1b'), std::string::npos);
  EXPECT_EQ(r.out.find('\x1b'), std::string::npos);
  if (r.status == 3) {
    EXPECT_EQ(Volumes(dir.path()), before) << "a refusal wrote something";
  }
  if (row.after) row.after(dir, r);
}

// Gives every volume of the folder other bytes 4 to 7, which no digest covers
// and no reader looks at.
void ChangeMagicTail(const TempDir& dir) {
  for (const char* v : {"data.PAR", "data.P01", "data.P02"}) {
    auto bytes = ReadBytes(dir / v);
    for (int i = 4; i < 8; ++i) bytes[i] = 'X';
    WriteBytes(dir / v, bytes);
  }
}

// Twenty rounds of two creates of race.PAR started together: in each, one
// exits 0 and the other 3, whatever their order, and the set is whole.
void CreateTogetherRounds(const TempDir& d, const Result&) {
  const std::vector<std::string> args = {"create",   "-q",        "-o",      "race",
                                         "data.bin", "extra.dat", "more.raw"};
  for (int round = 0; round < 20; ++round) {
    std::filesystem::remove(d / "race.PAR");
    std::filesystem::remove(d / "race.P01");
    const pid_t first = StartCli(d.path(), args);
    const pid_t second = StartCli(d.path(), args);
    std::vector<int> statuses = {ExitStatusOf(first), ExitStatusOf(second)};
    std::sort(statuses.begin(), statuses.end());
    EXPECT_EQ(statuses, (std::vector<int>{0, 3})) << "round " << round;
    EXPECT_TRUE(TemporaryFiles(d.path()).empty());
    const Result v = RunCli(d.path(), {"verify", "race.PAR"});
    EXPECT_NE(v.out.find("All files OK."), std::string::npos) << v.out;
  }
}

INSTANTIATE_TEST_SUITE_P(
    Rows, CliSafety,
    ::testing::Values(
        SafetyRow{"ExistingVolumesAreRefusedWithoutForce",
                  nullptr,
                  {"create", "-q", "data.bin", "extra.dat", "more.raw"},
                  3,
                  {"tarvel-cli: DIR/data.PAR and 2 other volumes exist. Nothing was written; -f "
                   "replaces the volumes of a set.\n"},
                  {}},
        SafetyRow{
            "ForceReplacesTheSetAndSaysWhichOfItsVolumesWent",
            nullptr,
            {"create", "-q", "--force", "-n", "1", "data.bin", "extra.dat", "more.raw"},
            0,
            {"tarvel-cli: data.P02, beyond the new set's last volume, was removed with the "
             "set it replaced.\n"},
            {"Files successfully created.\n"},
            [](const TempDir& d, const Result&) { EXPECT_FALSE(testing::Exists(d / "data.P02")); }},
        SafetyRow{
            "ForceNamesAFileLeftOverThatIsNoVolumeOfTheSet",
            [](const TempDir& d) {
              WriteBytes(d / "data.P02", {'n', 'o', 't', 'e'});
            },
            {"create", "-q", "--force", "-n", "1", "data.bin", "extra.dat", "more.raw"},
            0,
            {"tarvel-cli: data.P02, beyond the new set's last volume, was left as it was.\n"},
            {"Files successfully created.\n"},
            [](const TempDir& d, const Result&) {
              EXPECT_EQ(ReadBytes(d / "data.P02"), (std::vector<std::uint8_t>{'n', 'o', 't', 'e'}));
            }},
        SafetyRow{
            "VolumesAwayFromTheFilesAreWrittenWithAWarning",
            [](const TempDir& d) { std::filesystem::create_directory(d / "out"); },
            {"create", "-q", "-o", "out/b", "data.bin", "extra.dat", "more.raw"},
            0,
            {"tarvel-cli: The volumes are written to DIR/out, away from the files in DIR. "
             "A check looks for the files beside the volumes: put the volumes beside the "
             "files before checking the set.\n"},
            {"Files successfully created.\n"},
            [](const TempDir& d, const Result&) { EXPECT_TRUE(testing::Exists(d / "out/b.PAR")); }},
        SafetyRow{
            "TheSameFolderSpelledOtherwiseIsNoOtherFolder",
            [](const TempDir& d) { std::filesystem::create_directory_symlink(".", d / "here"); },
            {"create", "-q", "-f", "-n", "2", "-o", "here/data", "data.bin", "extra.dat",
             "more.raw"},
            0,
            {""},
            {"Files successfully created.\n"}},
        SafetyRow{"BaseNameWithoutANameIsRefusedForWhatItLacks",
                  nullptr,
                  {"create", "-o", "sub/", "data.bin", "extra.dat"},
                  3,
                  {"tarvel-cli: -o needs a name for the volumes after the folder, not 'sub/'\n"},
                  {}},
        SafetyRow{"AFolderThatDoesNotExistIsNamed",
                  nullptr,
                  {"create", "-o", "nosuch/x", "data.bin", "extra.dat"},
                  3,
                  {"tarvel-cli: The folder DIR/nosuch does not exist.\n"},
                  {}},
        SafetyRow{"AFailedCommitGivesTheSystemsReason",
                  nullptr,
                  {"create", "-q", "-o", std::string(300, 'n'), "data.bin", "extra.dat"},
                  4,
                  {"kann nicht erstellt werden (File name too long)\n"},
                  {}},
        SafetyRow{
            "AnotherSetsFileIsCopiedNotRenamed",
            [](const TempDir& d) {
              std::filesystem::copy_file(d / "more.raw", d / "twin.raw");
              ASSERT_EQ(
                  RunCli(d.path(), {"create", "-q", "-o", "o", "twin.raw", "extra.dat"}).status, 0);
              std::filesystem::remove(d / "more.raw");
            },
            {"repair", "-q", "-r", "."},
            0,
            {""},
            {"== ./data.PAR", "== ./o.PAR", "more.raw OK"},
            [](const TempDir& d, const Result&) {
              EXPECT_TRUE(testing::Exists(d / "twin.raw"));
              EXPECT_EQ(RunCli(d.path(), {"verify", "o.PAR"}).status, 0);
            }},
        SafetyRow{"HeadingsShowControlCharactersAsQuestionMarks",
                  [](const TempDir& d) {
                    const std::string evil = d / "x\n\x1b[2J";
                    std::filesystem::create_directory(evil);
                    WriteText(evil + "/f1", "one");
                    WriteText(evil + "/f2", "two");
                    ASSERT_EQ(RunCli(evil, {"create", "-q", "-o", "s", "f1", "f2"}).status, 0);
                  },
                  {"verify", "-r", "."},
                  0,
                  {""},
                  {"== ./data.PAR\n", "== ./x??[2J/s.PAR\n"}},
        SafetyRow{"VolumesAreRecognisedByTheirFirstFourBytesEverywhere",
                  ChangeMagicTail,
                  {"verify", "-r", "."},
                  0,
                  {""},
                  {"All files OK."}},
        SafetyRow{"AFileThatCannotBeOpenedIsNotCheckedAndNeverReplaced",
                  [](const TempDir& d) { chmod((d / "extra.dat").c_str(), 0); },
                  {"repair", "-q", "data.PAR"},
                  4,
                  {"tarvel-cli: extra.dat was not checked: opening it failed (Permission "
                   "denied)\n"},
                  {" \nextra.dat Not checked...\n \n", " \n1 files not checked.\n \n"},
                  [](const TempDir& d, const Result&) {
                    struct stat st {};
                    EXPECT_EQ(stat((d / "extra.dat").c_str(), &st), 0);
                    EXPECT_EQ(st.st_mode & 07777, 0u);
                    chmod((d / "extra.dat").c_str(), 0600);
                    EXPECT_EQ(ReadBytes(d / "extra.dat"), testing::RandomBytes(50000, 2));
                  },
                  {.permissionsHold = true}},
        SafetyRow{"AVolumeThatCannotBeOpenedIsNamedWithItsReason",
                  [](const TempDir& d) { chmod((d / "data.P01").c_str(), 0); },
                  {"verify", "data.PAR"},
                  4,
                  {"tarvel-cli: data.P01 was not checked: opening it failed (Permission "
                   "denied)\n"},
                  {"All files OK.\n \nFound parity volumes:\ndata.P01 Not checked...\ndata.P02 "
                   "OK\n \n1 usable parity volumes found.\n"},
                  {},
                  {.permissionsHold = true}},
        SafetyRow{
            "AFileEditedAfterTheSetIsLeftAsItIs",
            [](const TempDir& d) { testing::Edit(d / "more.raw", testing::RandomBytes(777, 9)); },
            {"repair", "-q", "data.PAR"},
            1,
            {"tarvel-cli: more.raw changed after the set was made\n",
             "tarvel-cli: more.raw changed after the set was made, so it was left as it "
             "is; --revert-changed puts back the content the set lists.\n"},
            {" \nmore.raw CRC Mismatch...\n \n"},
            [](const TempDir& d, const Result&) {
              EXPECT_EQ(ReadBytes(d / "more.raw"), testing::RandomBytes(777, 9));
            }},
        SafetyRow{
            "RevertChangedPutsBackTheContentOfTheSet",
            [](const TempDir& d) { testing::Edit(d / "more.raw", testing::RandomBytes(777, 9)); },
            {"repair", "-q", "--revert-changed", "data.PAR"},
            0,
            {"tarvel-cli: more.raw changed after the set was made\n"},
            {"more.raw OK\n \nAll files OK."},
            [](const TempDir& d, const Result&) {
              EXPECT_EQ(ReadBytes(d / "more.raw"), testing::RandomBytes(777, 3));
            }},
        SafetyRow{"AVolumeUnderALostFilesNameIsUsedAsAVolumeAndKept",
                  [](const TempDir& d) {
                    std::filesystem::remove(d / "more.raw");
                    std::filesystem::rename(d / "data.P02", d / "more.raw");
                  },
                  {"repair", "-q", "data.PAR"},
                  2,
                  {"tarvel-cli: more.raw holds volume 2 of this set, not the file the set "
                   "lists: it is used as a volume and left as it is\n"},
                  {" \nmore.raw CRC Mismatch...\n \n",
                   "Found parity volumes:\ndata.P01 OK\nmore.raw OK\n \n2 usable parity volumes "
                   "found.\n"},
                  [](const TempDir& d, const Result&) {
                    EXPECT_EQ(ReadBytes(d / "more.raw").size(), ReadBytes(d / "data.P01").size());
                    EXPECT_EQ(RunCli(d.path(), {"verify", "more.raw"}).status, 2);
                  }},
        SafetyRow{"AReportThatCannotBeWrittenEndsWithItsReason",
                  nullptr,
                  {"verify", "data.PAR"},
                  4,
                  {"tarvel-cli: Standard output cannot be written (No space left on device)\n"},
                  {},
                  {},
                  {.stdoutTo = "/dev/full"}},
        SafetyRow{"AJsonDocumentThatCannotBeWrittenEndsWithItsReason",
                  nullptr,
                  {"repair", "--json", "-r", "."},
                  4,
                  {"tarvel-cli: Standard output cannot be written (No space left on device)\n"},
                  {},
                  {},
                  {.stdoutTo = "/dev/full"}},
        SafetyRow{"ASuccessThatCannotBeToldIsNoSuccess",
                  nullptr,
                  {"create", "-q", "-f", "-n", "1", "data.bin", "extra.dat", "more.raw"},
                  4,
                  {"tarvel-cli: Standard output cannot be written (No space left on device)\n"},
                  {},
                  {},
                  {.stdoutTo = "/dev/full"}},
        SafetyRow{"AReaderThatHasGoneEndsTheCommandQuietly",
                  nullptr,
                  {"verify", "data.PAR"},
                  128 + SIGPIPE,
                  {""},
                  {},
                  {},
                  {.stdoutTo = "|"}},
        SafetyRow{"AFolderDeeperThanPathMaxIsLikeAnyOther",
                  [](const TempDir& d) {
                    const std::string deep = testing::MakeDeepFolder(d.path(), 25, kDeepName);
                    WriteBytes(deep + "/f1.bin", testing::RandomBytes(100000, 5));
                    WriteBytes(deep + "/f2.bin", testing::RandomBytes(3000, 6));
                  },
                  {"create", "-q", "-n", "1", "f1.bin", "f2.bin"},
                  0,
                  {""},
                  {"Files successfully created.\n"},
                  [](const TempDir& d, const Result&) {
                    const std::string deep = d / DeepFolder();
                    const auto original = ReadBytes(deep + "/f1.bin");
                    auto damaged = original;
                    damaged[1000] ^= 1;
                    testing::Corrupt(deep + "/f1.bin", damaged);
                    EXPECT_EQ(RunCli(deep, {"verify", "-q", "f1.PAR"}).status, 1);
                    const Result r = RunCli(deep, {"repair", "-q", "f1.PAR"});
                    EXPECT_EQ(r.status, 0) << r.err;
                    EXPECT_EQ(ReadBytes(deep + "/f1.bin"), original);
                  },
                  {},
                  DeepFolder()},
        // In set order by name (f1, then f2), whatever the spelling sorts to.
        SafetyRow{"OneFolderSpelledThroughALinkIsOneFolder",
                  [](const TempDir& d) {
                    std::filesystem::create_directory(d / "real");
                    WriteBytes(d / "real/f1.bin", testing::RandomBytes(5000, 7));
                    WriteBytes(d / "real/f2.bin", testing::RandomBytes(700, 8));
                    std::filesystem::create_directory_symlink("real", d / "lnk");
                  },
                  {"create", "-q", "../real/f1.bin", "../lnk/f2.bin"},
                  0,
                  {""},
                  {"Files successfully created.\n"},
                  [](const TempDir& d, const Result&) {
                    const Result v = RunCli(d / "real", {"verify", "f1.PAR"});
                    EXPECT_EQ(v.status, 0);
                    EXPECT_EQ(v.out.rfind("f1.bin OK\nf2.bin OK\n \nAll files OK.\n", 0), 0u)
                        << v.out;
                  },
                  {},
                  "real"},
        // However two creates of one name interleave, one writes the set and
        // the other finds the names taken: when it plans (they exist) or
        // when it puts its volumes in place (created meanwhile).
        SafetyRow{"OfTwoCreatesOfOneNameStartedTogetherOneSucceeds",
                  nullptr,
                  {"create", "-q", "-o", "race", "data.bin", "extra.dat", "more.raw"},
                  0,
                  {""},
                  {"Files successfully created.\n"},
                  CreateTogetherRounds}),
    [](const ::testing::TestParamInfo<SafetyRow>& info) { return info.param.name; });

// A volume that anyone could hand the user, naming a file outside its folder.
TEST(CliHostile, VolumeNamingAPathOutsideItsFolderIsRejected) {
  TempDir top;
  std::filesystem::create_directory(top / "set");
  WriteText(top / "victim.txt", "keep me");
  SetModel m;
  m.FileCount = 2;
  const char* names[] = {"../victim.txt", "ok.bin"};
  for (int i = 0; i < 2; ++i) {
    m.FileTable[i].name = names[i];
    m.FileTable[i].status = 1;
    m.FileTable[i].filesize = 7;
    m.FileTable[i].entrysize = EntrySizeFor(names[i]);
  }
  std::vector<std::uint8_t> list = EncodeFileList(m);
  VolumeHeader h;
  h.fileCount = 2;
  h.fileListSize = list.size();
  h.dataOffset = kHeaderSize + list.size();
  auto header = EncodeHeader(h);
  std::vector<std::uint8_t> vol(header.begin(), header.end());
  vol.insert(vol.end(), list.begin(), list.end());
  md5digest control = md5buffer(vol.data() + 32, vol.size() - 32);
  std::copy(control.begin(), control.end(), vol.begin() + 16);
  WriteBytes(top / "set/evil.PAR", vol);

  for (const char* cmd : {"verify", "repair"}) {
    Result r = RunCli(top.path(), {cmd, "--found", "copy", "set/evil.PAR"});
    EXPECT_EQ(r.status, 3) << cmd << r.err;
  }
  EXPECT_EQ(ReadBytes(top / "victim.txt"),
            std::vector<std::uint8_t>({'k', 'e', 'e', 'p', ' ', 'm', 'e'}));
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(top / "set"), {}), 1);
}

TEST(CliUsage, HelpVersionAndBadUsage) {
  TempDir dir;
  Result help = RunCli(dir.path(), {"--help"});
  EXPECT_EQ(help.status, 0);
  EXPECT_NE(help.out.find(
                "tarvel-cli create [-n COUNT] [-o BASE] [-f] [--small crc|parity] [-t N] [-q]\n"),
            std::string::npos);
  Result version = RunCli(dir.path(), {"--version"});
  EXPECT_EQ(version.status, 0);
  EXPECT_EQ(version.out, "tarvel-cli 0.2.5\n");

  for (std::vector<std::string> bad :
       std::vector<std::vector<std::string>>{{},
                                             {"frobnicate"},
                                             {"verify"},
                                             {"verify", "--json"},
                                             {"repair", "-r"},
                                             {"create", "--json", "a", "b"},
                                             {"verify", "-n", "2", "a.PAR"},
                                             {"repair", "--found", "delete", "a.PAR"},
                                             {"create"},
                                             {"create", "-o"},
                                             {"verify", "-t", "0", "a.PAR"},
                                             {"verify", "--threads", "x", "a.PAR"},
                                             {"create", "a", "b", "-t"}}) {
    Result r = RunCli(dir.path(), bad);
    EXPECT_EQ(r.status, 3) << ::testing::PrintToString(bad);
    EXPECT_EQ(r.err.rfind("tarvel-cli: ", 0), 0u) << r.err;
    EXPECT_EQ(r.out, "");
  }
}

// A name that is not UTF-8 next to its UTF-8 reading: two files, two
// entries that read back as themselves, and a repair of one never touches
// the other.  A name with a control character is refused with a message
// that does not carry it raw.
TEST(CliNames, Latin1AndUtf8NamesStayApartAndControlCharactersAreRefused) {
  TempDir dir;
  const std::string latin1 = "caf\xE9.bin", utf8 = "caf\xC3\xA9.bin";
  const auto a = testing::RandomBytes(3000, 1), b = testing::RandomBytes(2000, 2);
  WriteBytes(dir / latin1, a);
  WriteBytes(dir / utf8, b);
  WriteBytes(dir / "other.bin", testing::RandomBytes(100, 3));
  ASSERT_EQ(RunCli(dir.path(), {"create", "-n", "1", "-o", "s", latin1, utf8, "other.bin"}).status,
            0);
  Result v = RunCli(dir.path(), {"verify", "s.PAR"});
  EXPECT_EQ(v.status, 0) << v.out;
  EXPECT_NE(v.out.find(latin1 + " OK\n"), std::string::npos);
  EXPECT_NE(v.out.find(utf8 + " OK\n"), std::string::npos);

  std::filesystem::remove(dir / latin1);
  Result r = RunCli(dir.path(), {"repair", "s.PAR"});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(ReadBytes(dir / latin1), a);
  EXPECT_EQ(ReadBytes(dir / utf8), b);

  WriteBytes(dir / "bad\x1b[2Jname.bin", a);
  Result c = RunCli(dir.path(), {"create", "-o", "t", "bad\x1b[2Jname.bin", "other.bin"});
  EXPECT_EQ(c.status, 3);
  EXPECT_NE(c.err.find("bad?[2Jname.bin cannot be protected"), std::string::npos) << c.err;
  EXPECT_EQ(c.err.find('\x1b'), std::string::npos);
  EXPECT_FALSE(testing::Exists(dir / "t.PAR"));

  // A volume whose own name holds a control character is recognised by
  // content and reported without it.
  std::filesystem::rename(dir / "s.P01", dir / "s\x1b[31m.P01");
  Result shown = RunCli(dir.path(), {"verify", "s.PAR"});
  EXPECT_NE(shown.out.find("s?[31m.P01 OK"), std::string::npos) << shown.out;
  EXPECT_EQ(shown.out.find('\x1b'), std::string::npos);
}

// Ctrl-C, a hang-up or a kill while a temporary file is written: the program
// removes it and exits with 130, 129 or 143, the files are as they were, and
// the next verify works.  A process killed outright leaves its temporary file, which
// the next action in the folder removes.
TEST(CliInterrupt, SignalsRemoveTheTemporaryFileAndLeaveTheSet) {
  struct Case {
    const char* action;
    int signal;
    int status;  // -1: killed without a chance to clean up
  };
  for (const Case& c :
       {Case{"repair", SIGTERM, 143}, Case{"repair", SIGINT, 130}, Case{"create", SIGINT, 130},
        Case{"create", SIGHUP, 129}, Case{"repair", SIGKILL, -1}}) {
    SCOPED_TRACE(std::string(c.action) + " " + std::to_string(c.signal));
    TempDir dir;
    auto big = testing::RandomBytes(1 << 20, 7);
    WriteBytes(dir / "big.bin", big);
    WriteBytes(dir / "small.bin", testing::RandomBytes(1000, 8));
    ASSERT_EQ(
        RunCli(dir.path(), {"create", "-q", "-n", "1", "-o", "s", "big.bin", "small.bin"}).status,
        0);
    big[1000] ^= 1;
    testing::Corrupt(dir / "big.bin", big);
    const auto before = ReadBytes(dir / "s.P01");

    const std::vector<std::string> args =
        std::string(c.action) == "create"
            ? std::vector<std::string>{"create", "-q", "-f",      "-n",       "1",
                                       "-o",     "s",  "big.bin", "small.bin"}
            : std::vector<std::string>{"repair", "-q", "s.PAR"};
    const pid_t pid = StartCliSignalledAtTemporaryWrite(dir.path(), args, c.signal);
    int wstatus = 0;
    waitpid(pid, &wstatus, 0);
    EXPECT_EQ(WIFEXITED(wstatus) ? WEXITSTATUS(wstatus) : -1, c.status);
    EXPECT_EQ(ReadBytes(dir / "big.bin"), big);
    EXPECT_EQ(ReadBytes(dir / "s.P01"), before);
    if (c.status != -1) {
      EXPECT_TRUE(TemporaryFiles(dir.path()).empty());
    }

    Result v = RunCli(dir.path(), {"verify", "s.PAR"});
    EXPECT_EQ(v.status, 1) << v.out;
    EXPECT_TRUE(TemporaryFiles(dir.path()).empty()) << "left for the next action to remove";
  }
}

}  // namespace
}  // namespace tarvel
