// SPDX-License-Identifier: GPL-3.0-or-later
// ReadVolume against real volume files: the checks in their order, the
// loading of the list, and hostile, malformed and randomly damaged volumes.
// Volumes are built with the format encoders and sealed with a correct
// control digest, so the checks behind the digest are reached.
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "checksum/md5.h"
#include "engine/format/format.h"
#include "engine/format/volume_reader.h"
#include "support/env_wrapper.h"
#include "support/testutil.h"

namespace tarvel {
namespace {

using Bytes = std::vector<std::uint8_t>;
using testing::TempDir;

// Forwards to the real Env and counts the files that are open, so every
// path can be shown to close its file.  Reads fail on demand.
class CountingEnv : public testing::EnvWrapper {
 public:
  int open = 0;
  bool failReads = false;
  std::vector<std::int64_t> readOffsets;

 protected:
  std::unique_ptr<File> WrapFile(std::unique_ptr<File> f) override {
    return std::make_unique<CountedFile>(*this, std::move(f));
  }

 private:
  class CountedFile : public testing::FileWrapper {
   public:
    CountedFile(CountingEnv& env, std::unique_ptr<File> f) : FileWrapper(std::move(f)), env_(env) {
      ++env_.open;
    }
    ~CountedFile() override { --env_.open; }
    std::size_t ReadAt(std::int64_t offset, void* buffer, std::size_t n) override {
      if (env_.failReads) throw FileError(CannotReadText(Name()));
      env_.readOffsets.push_back(offset);
      return target().ReadAt(offset, buffer, n);
    }

   private:
    CountingEnv& env_;
  };
};

fileentry Entry(const std::string& name, std::uint64_t status, std::int64_t size, int seed) {
  fileentry e;
  e.name = name;
  e.status = status;
  e.filesize = size;
  e.entrysize = EntrySizeFor(name);
  e.md5whole.fill(static_cast<std::uint8_t>(seed));
  e.md5head.fill(static_cast<std::uint8_t>(seed + 100));
  return e;
}

// prefix + i, built by appending (GCC 12 warns falsely on `"f" + to_string(i)`).
std::string Numbered(const char* prefix, int i) {
  std::string s(prefix);
  s.append(std::to_string(i));
  return s;
}

// Writes the control digest of a volume image into bytes 16-31.
void Seal(Bytes& v) {
  const md5digest d = v.size() > 32 ? md5buffer(v.data() + 32, v.size() - 32) : md5buffer("", 0);
  std::copy(d.begin(), d.end(), v.begin() + kOffControl);
}

// A sealed volume of the given entries: the main volume (number 0) or a
// parity volume carrying `dataSize` bytes of parity data.
// With writeData false only the header's data size field is set.
Bytes MakeVolume(const std::vector<fileentry>& entries, std::uint64_t number,
                 std::uint64_t dataSize, bool writeData = true) {
  Bytes list;
  for (const auto& e : entries) AppendEntry(list, e);
  VolumeHeader h;
  h.setHash.fill(0x5E);
  h.volumeNumber = number;
  h.fileCount = entries.size();
  h.fileListSize = list.size();
  h.dataOffset = kHeaderSize + list.size();
  h.dataSize = dataSize;
  const auto header = EncodeHeader(h);
  Bytes v(kHeaderSize + list.size());
  std::copy(header.begin(), header.end(), v.begin());
  std::copy(list.begin(), list.end(), v.begin() + kHeaderSize);
  if (writeData) {
    const Bytes parity = testing::RandomBytes(dataSize, 7);
    v.insert(v.end(), parity.begin(), parity.end());
  }
  Seal(v);
  return v;
}

std::vector<fileentry> TwoFiles() {
  return {Entry("a.bin", 1, 1000, 1), Entry("bb.bin", 1, 10, 2)};
}

void ExpectSameEntry(const fileentry& a, const fileentry& b) {
  EXPECT_EQ(a.filesize, b.filesize);
  EXPECT_EQ(a.status, b.status);
  EXPECT_EQ(a.md5whole, b.md5whole);
  EXPECT_EQ(a.md5head, b.md5head);
  EXPECT_EQ(a.name, b.name);
  EXPECT_EQ(a.path, b.path);
  EXPECT_EQ(a.entrysize, b.entrysize);
  EXPECT_EQ(a.crcok, b.crcok);
  EXPECT_EQ(a.present, b.present);
}

bool SameModel(const SetModel& a, const SetModel& b) {
  auto same = [](const fileentry& x, const fileentry& y) {
    return x.filesize == y.filesize && x.status == y.status && x.md5whole == y.md5whole &&
           x.md5head == y.md5head && x.name == y.name && x.path == y.path &&
           x.entrysize == y.entrysize && x.crcok == y.crcok && x.present == y.present;
  };
  for (int i = 0; i < kTableSlots; ++i) {
    if (!same(a.FileTable[i], b.FileTable[i]) ||
        !same(a.ParityFileTable[i], b.ParityFileTable[i]) ||
        !same(a.VolumeTable[i], b.VolumeTable[i])) {
      return false;
    }
  }
  return a.FileCount == b.FileCount && a.ParityFileCount == b.ParityFileCount &&
         a.BiggestFileSize == b.BiggestFileSize && a.TotalSize == b.TotalSize &&
         a.SetHash == b.SetHash && a.FileListOffset == b.FileListOffset &&
         a.FileListSize == b.FileListSize && a.DataOffset == b.DataOffset &&
         a.DataSize == b.DataSize;
}

class ReadVolumeTest : public ::testing::Test {
 protected:
  void SetUp() override {
    // A model holding an earlier set, so that a rejection that touched it shows.
    model_->ResetTables();
    model_->FileTable[0] = Entry("earlier.dat", 1, 42, 9);
    model_->FileTable[5] = Entry("slot5", 0, 1, 3);
    model_->FileCount = 1;
    model_->BiggestFileSize = 42;
    model_->SetHash.fill(0x77);
    model_->FileListOffset = 96;
    model_->FileListSize = 78;
    model_->DataOffset = 174;
    model_->DataSize = 42;
    *before_ = *model_;
  }

  // Writes `bytes` as a volume, reads it, and returns the messages shown.
  std::vector<std::string> Read(const Bytes& bytes, bool expected) {
    testing::WriteBytes(path_, bytes);
    const VolumeReading reading = ReadVolume(*model_, env_, path_);
    const bool ok = reading.problem == VolumeProblem::kNone;
    EXPECT_EQ(ok, expected);
    EXPECT_EQ(env_.open, 0) << "the volume file was left open";
    if (!ok) {
      EXPECT_TRUE(SameModel(*model_, *before_)) << "a rejected volume changed the model";
    }
    return Texts(reading);
  }
  // The texts a check shows for a reading, in order.
  static std::vector<std::string> Texts(const VolumeReading& reading) {
    std::vector<std::string> texts;
    if (reading.newerWriter) texts.push_back(kHigherVersionText);
    if (reading.problem != VolumeProblem::kNone) texts.push_back(ProblemText(reading.problem));
    return texts;
  }
  using Messages = std::vector<std::string>;

  TempDir dir_;
  std::string path_ = dir_ / "set.PAR";
  CountingEnv env_;
  std::unique_ptr<SetModel> model_ = std::make_unique<SetModel>();
  std::unique_ptr<SetModel> before_ = std::make_unique<SetModel>();
};

TEST_F(ReadVolumeTest, LoadsMainAndParityVolumes) {
  const Bytes main = MakeVolume(TwoFiles(), 0, 0);
  ASSERT_EQ(main.size(), 230u);
  EXPECT_EQ(GetU64(&main[kOffDataOffset]), 230u);
  EXPECT_EQ(GetU64(&main[kOffDataSize]), 0u);
  EXPECT_EQ(Read(main, true), Messages{});
  EXPECT_EQ(model_->FileCount, 2);
  md5digest setHash;
  setHash.fill(0x5E);
  EXPECT_EQ(model_->SetHash, setHash);
  EXPECT_EQ(model_->FileListOffset, 96);
  EXPECT_EQ(model_->FileListSize, 134);
  EXPECT_EQ(model_->DataOffset, 230);
  EXPECT_EQ(model_->DataSize, 0);
  EXPECT_EQ(model_->BiggestFileSize, 1000);
  ExpectSameEntry(model_->FileTable[0], TwoFiles()[0]);
  ExpectSameEntry(model_->FileTable[1], TwoFiles()[1]);
  ExpectSameEntry(model_->FileTable[5], fileentry{});  // stale slots above the set are emptied
  EXPECT_EQ(model_->TotalSize, before_->TotalSize) << "values the volume does not carry stay";

  const Bytes parity = MakeVolume(TwoFiles(), 1, 1000);
  ASSERT_EQ(parity.size(), 1230u);
  EXPECT_EQ(GetU64(&parity[kOffVolumeNumber]), 1u);
  EXPECT_EQ(Read(parity, true), Messages{});
  EXPECT_EQ(model_->DataSize, 1000);
  EXPECT_EQ(model_->DataOffset, 230);

  // A CRC-only file bigger than every file in parity raises BiggestFileSize,
  // and a status of 3 is in parity and kept whole.
  auto files = TwoFiles();
  files[0].status = 3;
  files.push_back(Entry("sum.md5", 0, 5000, 3));
  EXPECT_EQ(Read(MakeVolume(files, 2, 1000), true), Messages{});
  EXPECT_EQ(model_->BiggestFileSize, 5000);
  EXPECT_EQ(model_->FileTable[0].status, 3u);
  EXPECT_TRUE(model_->FileTable[0].InParity());
  EXPECT_FALSE(model_->FileTable[2].InParity());

  // A set of no files at all is a well-formed volume.
  EXPECT_EQ(Read(MakeVolume({}, 0, 0), true), Messages{});
  EXPECT_EQ(model_->FileCount, 0);
  EXPECT_EQ(model_->BiggestFileSize, 0);
}

TEST_F(ReadVolumeTest, NamesAndLargeSizesRoundTrip) {
  const std::vector<fileentry> files = {
      Entry("plain.txt", 1, 17, 1),
      Entry("caf\xC3\xA9.txt", 1, 3ll << 30, 2),  // 3 GiB, Latin-1 name
      Entry("\xE2\x82\xAC"
            "uro.bin",
            0, 5, 3),                                          // outside Latin-1
      Entry("\xF0\x9F\x98\x80 smile", 1, (1ll << 40) + 7, 4),  // outside the BMP
      Entry(std::string(255, 'n'), 1, 0, 5),
  };
  EXPECT_EQ(Read(MakeVolume(files, 3, 3ull << 30, /*writeData=*/false), true), Messages{});
  ASSERT_EQ(model_->FileCount, 5);
  for (int i = 0; i < 5; ++i) {
    SCOPED_TRACE(i);
    ExpectSameEntry(model_->FileTable[i], files[i]);
  }
  EXPECT_EQ(model_->FileTable[1].filesize, 3ll << 30);
  EXPECT_EQ(model_->BiggestFileSize, (1ll << 40) + 7);
  EXPECT_EQ(model_->DataSize, 3ll << 30);
  EXPECT_EQ(model_->FileTable[2].entrysize, 56 + 2 * 8);
  EXPECT_EQ(model_->FileTable[3].entrysize, 56 + 2 * 8);
}

TEST_F(ReadVolumeTest, ChecksRunInOrderAndRejectionsLeaveTheModel) {
  const Bytes good = MakeVolume(TwoFiles(), 0, 0);

  // A truncated volume fails the check its missing bytes belong to: an empty
  // file is not a volume, one cut inside its header fails the digest, and one
  // whose digest is right all the same has no room for a list.
  EXPECT_EQ(Read({}, false), Messages{kNotAVolumeText});
  EXPECT_EQ(Read(Bytes(good.begin(), good.begin() + 3), false), Messages{kNotAVolumeText});
  EXPECT_EQ(Read(Bytes(good.begin(), good.begin() + 10), false), Messages{kWrongVersionText});
  EXPECT_EQ(Read(Bytes(good.begin(), good.begin() + 40), false), Messages{kChecksumErrorText});
  EXPECT_EQ(Read(Bytes(good.begin(), good.begin() + 95), false), Messages{kChecksumErrorText});
  Bytes sealed(good.begin(), good.begin() + 60);
  const md5digest control = md5buffer(sealed.data() + 32, sealed.size() - 32);
  std::copy(control.begin(), control.end(), sealed.begin() + kOffControl);
  EXPECT_EQ(Read(sealed, false), Messages{kDamagedListText});

  // Magic first: a wrong version and a wrong digest are not reported then.
  Bytes v = good;
  v[3] = '1';
  v[kOffVersion] = 0x42;
  EXPECT_EQ(Read(v, false), Messages{kNotAVolumeText});
  v = good;
  v[0] = 'p';
  EXPECT_EQ(Read(v, false), Messages{kNotAVolumeText});

  // Bytes 4-7 of the magic are not examined and not covered by the digest.
  v = good;
  v[4] = v[5] = v[6] = v[7] = 0xFF;
  EXPECT_EQ(Read(v, true), Messages{});
  SetUp();

  // Version before the digest; 0.9 reads like 1.0.
  v = good;
  PutU32(&v[kOffVersion], 0x00010001);
  v[200] ^= 1;
  EXPECT_EQ(Read(v, false), Messages{kWrongVersionText});
  PutU32(&v[kOffVersion], 0);
  EXPECT_EQ(Read(v, false), Messages{kWrongVersionText});
  v = good;
  PutU32(&v[kOffVersion], kFormatVersion09);
  EXPECT_EQ(Read(v, true), Messages{});
  SetUp();

  // A newer writer 1 warns and reading goes on, to acceptance or to the
  // checksum error; other writers never warn.
  v = good;
  PutU32(&v[kOffGenerator], 0x01000206);
  EXPECT_EQ(Read(v, true), Messages{kHigherVersionText});
  SetUp();
  v[150] ^= 0x80;
  EXPECT_EQ(Read(v, false), (Messages{kHigherVersionText, kChecksumErrorText}));
  for (std::uint32_t gen : {0x02030000u, 0x01000205u, 0x01000204u, 0x00FFFFFFu}) {
    v = good;
    PutU32(&v[kOffGenerator], gen);
    EXPECT_EQ(Read(v, true), Messages{}) << std::hex << gen;
    SetUp();
  }

  // Any change from byte 32 to the end is a checksum error, as is a change of
  // the stored digest itself or an appended byte.
  for (std::size_t pos : {16ul, 31ul, 32ul, 47ul, 48ul, 56ul, 95ul, 96ul, 152ul, 229ul}) {
    v = good;
    v[pos] ^= 0x01;
    EXPECT_EQ(Read(v, false), Messages{kChecksumErrorText}) << pos;
  }
  v = good;
  v.push_back(0);
  EXPECT_EQ(Read(v, false), Messages{kChecksumErrorText});

  // A file that cannot be opened: the file layer's error passes through.
  EXPECT_THROW((void)ReadVolume(*model_, env_, dir_ / "missing.PAR"), FileError);
  EXPECT_TRUE(SameModel(*model_, *before_));

  // A read that fails passes through too, and the file is still closed.
  testing::WriteBytes(path_, good);
  env_.failReads = true;
  EXPECT_THROW((void)ReadVolume(*model_, env_, path_), FileError);
  EXPECT_EQ(env_.open, 0);
  EXPECT_TRUE(SameModel(*model_, *before_));
}

TEST_F(ReadVolumeTest, RefusesUnsafeNames) {
  const std::string bad[] = {"",    ".",           "..",   "../secret",
                             "a/b", "/etc/passwd", "dir/", std::string("a\0b", 3)};
  for (const std::string& name : bad) {
    SCOPED_TRACE(name);
    // The bad name behind a good one: nothing of the good one is kept either.
    EXPECT_EQ(Read(MakeVolume({Entry("ok.bin", 1, 5, 1), Entry(name, 1, 5, 2)}, 0, 0), false),
              Messages{kUnsafeNameText});
  }
  // A NUL or '/' written as a UTF-16 unit of its own, and a "/" hidden in an
  // overlong UTF-8 form (written as two Latin-1 units, so harmless).
  Bytes v = MakeVolume({Entry("abcd", 1, 5, 1)}, 0, 0);
  v[kHeaderSize + 56 + 2] = 0;
  Seal(v);
  EXPECT_EQ(Read(v, false), Messages{kUnsafeNameText});
  v[kHeaderSize + 56 + 2] = '/';
  Seal(v);
  EXPECT_EQ(Read(v, false), Messages{kUnsafeNameText});
  EXPECT_EQ(Read(MakeVolume({Entry("\xC0\xAF", 1, 5, 1)}, 0, 0), true), Messages{});
  EXPECT_EQ(model_->FileTable[0].name, "\xC0\xAF");
}

// Names no file of a set can have where volumes are made, and lists in which
// two entries read back as one name (the second would overwrite the first
// at every repair), are refused whole.
TEST_F(ReadVolumeTest, RefusesUnusableAndDuplicateNames) {
  struct Case {
    std::vector<std::string> names;
    const char* message;
  };
  const Case cases[] = {
      {{"ok.bin", "a\\b.bin"}, kUnusableNameText},
      {{"ok.bin", "tab\there"}, kUnusableNameText},
      {{"esc\x1b[31m.bin"}, kUnusableNameText},
      {{"del\x7f.bin"}, kUnusableNameText},
      {{"line\nbreak"}, kUnusableNameText},
      {{"same.bin", "other.bin", "same.bin"}, kDuplicateNameText},
      // A Latin-1 byte and its UTF-8 reading are two names, as on disk.
      {{"caf\xe9.bin", "caf\xc3\xa9.bin"}, nullptr},
      {{"caf\xe9.bin", "caf\xe9.bin"}, kDuplicateNameText},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.names.back());
    std::vector<fileentry> entries;
    for (std::size_t i = 0; i < c.names.size(); ++i) {
      entries.push_back(Entry(c.names[i], 1, 5, static_cast<int>(i)));
    }
    const Messages expected = c.message ? Messages{c.message} : Messages{};
    EXPECT_EQ(Read(MakeVolume(entries, 0, 0), c.message == nullptr), expected);
    if (c.message == nullptr) {
      EXPECT_EQ(model_->FileTable[0].name, c.names[0]);
      *before_ = *model_;
    }
  }
  // Two lone surrogates that are not bytes of a name both read back as
  // U+FFFD: one name twice.
  Bytes v = MakeVolume({Entry("xa", 1, 5, 1), Entry("xb", 1, 5, 2)}, 0, 0);
  for (std::size_t at : {kHeaderSize + 56 + 2, kHeaderSize + 60 + 56 + 2}) {
    v[at] = 0x00;
    v[at + 1] = at == kHeaderSize + 58 ? 0xD8 : 0xDC;
  }
  Seal(v);
  EXPECT_EQ(Read(v, false), Messages{kDuplicateNameText});
}

TEST_F(ReadVolumeTest, RefusesMalformedLists) {
  const Bytes good = MakeVolume(TwoFiles(), 1, 1000);
  const std::size_t first = kHeaderSize, second = kHeaderSize + 66;
  struct Change {
    const char* what;
    std::size_t offset;
    std::uint64_t value;
  };
  const Change changes[] = {
      {"257 files", kOffFileCount, 257},
      {"file count above 2^32", kOffFileCount, 1ull << 32 | 2},
      {"file count beyond int64", kOffFileCount, ~0ull},
      {"more files than entries", kOffFileCount, 3},
      {"fewer files than the list holds", kOffFileCount, 1},
      {"list offset inside the header", kOffFileListOffset, 95},
      {"list offset beyond int64", kOffFileListOffset, 1ull << 63},
      {"list offset past the end", kOffFileListOffset, 1231},
      {"list running past the end", kOffFileListSize, 1230 - 96 + 1},
      {"list size beyond int64", kOffFileListSize, ~0ull},
      {"list size not the entries' sum", kOffFileListSize, 135},
      {"list size shorter than the entries", kOffFileListSize, 133},
      {"data offset beyond int64", kOffDataOffset, 1ull << 63},
      {"data size beyond int64", kOffDataSize, ~0ull},
      {"data running past int64", kOffDataSize, (1ull << 63) - 100},
      {"entry size 0", first, 0},
      {"entry size 55", first, 55},
      {"entry size odd", first, 67},
      {"entry size past the list", second, 70},
      {"entry size huge", second, 1ull << 62},
      {"entry size beyond int64", second, ~0ull},
      {"file size beyond int64", first + kEntryOffFileSize, 1ull << 63},
  };
  for (const Change& c : changes) {
    SCOPED_TRACE(c.what);
    Bytes v = good;
    PutU64(&v[c.offset], c.value);
    Seal(v);
    EXPECT_EQ(Read(v, false), Messages{kDamagedListText});
  }

  // An empty list may not start inside the header either.
  Bytes empty = MakeVolume({}, 0, 0);
  PutU64(&empty[kOffFileListOffset], 50);
  Seal(empty);
  EXPECT_EQ(Read(empty, false), Messages{kDamagedListText});

  // A list size larger than its entries can be is refused before it is
  // read, even when the file is long enough to hold it.
  Bytes big = MakeVolume({Entry("one", 1, 200000, 1)}, 1, 200000);
  PutU64(&big[kOffFileListSize], kMaxEntrySize + 2);
  Seal(big);
  env_.readOffsets.clear();
  EXPECT_EQ(Read(big, false), Messages{kDamagedListText});
  EXPECT_EQ(std::count(env_.readOffsets.begin(), env_.readOffsets.end(),
                       static_cast<std::int64_t>(kHeaderSize)),
            0);

  // A volume with 256 files is accepted, and the list may lie behind a gap.
  std::vector<fileentry> many;
  for (int i = 0; i < kTableSlots; ++i) many.push_back(Entry(Numbered("f", i), 1, i, i));
  EXPECT_EQ(Read(MakeVolume(many, 0, 0), true), Messages{});
  EXPECT_EQ(model_->FileCount, 256);
  EXPECT_EQ(model_->FileTable[255].name, "f255");
  SetUp();
  Bytes gap = good;
  gap.insert(gap.begin() + kHeaderSize, 4, 0xEE);
  PutU64(&gap[kOffFileListOffset], 100);
  PutU64(&gap[kOffDataOffset], 234);
  Seal(gap);
  EXPECT_EQ(Read(gap, true), Messages{});
  EXPECT_EQ(model_->FileListOffset, 100);
  EXPECT_EQ(model_->DataOffset, 234);
  EXPECT_EQ(model_->FileTable[1].name, "bb.bin");
}

// Flips random bytes (and sometimes truncates or reseals) many times: the
// reader never crashes, never reads out of bounds (under ASan), closes the
// file, and on every rejection leaves the model as it was.
TEST_F(ReadVolumeTest, SurvivesRandomDamage) {
  std::vector<fileentry> files = TwoFiles();
  files.push_back(Entry("caf\xC3\xA9", 0, 3000, 3));
  const Bytes good = MakeVolume(files, 1, 1000);
  const std::size_t listEnd = kHeaderSize + GetU64(&good[kOffFileListSize]);
  std::mt19937 rng(2026);
  int accepted = 0, damaged = 0;
  for (int round = 0; round < 1500; ++round) {
    Bytes v = good;
    const int flips = 1 + static_cast<int>(rng() % 6);
    for (int i = 0; i < flips; ++i) {
      // Mostly into the header fields and the list, where the decoding is.
      const std::size_t pos = rng() % 4 ? 48 + rng() % (listEnd - 48) : rng() % v.size();
      v[pos] =
          rng() % 3 ? static_cast<std::uint8_t>(rng()) : static_cast<std::uint8_t>(v[pos] ^ 0x80);
    }
    if (rng() % 8 == 0) v.resize(rng() % v.size());
    if (rng() % 4 != 0 && v.size() >= kHeaderSize) Seal(v);

    testing::WriteBytes(path_, v);
    const VolumeReading reading = ReadVolume(*model_, env_, path_);
    const bool ok = reading.problem == VolumeProblem::kNone;
    ASSERT_EQ(env_.open, 0);
    if (ok) {
      ++accepted;
      ASSERT_LE(model_->FileCount, kTableSlots);
      for (int i = 0; i < model_->FileCount; ++i)
        ASSERT_TRUE(IsPlainName(model_->FileTable[i].name));
      SetUp();
    } else {
      if (reading.problem == VolumeProblem::kDamagedList ||
          reading.problem == VolumeProblem::kUnsafeName)
        ++damaged;
      ASSERT_TRUE(SameModel(*model_, *before_)) << "round " << round;
    }
  }
  // The loop must reach the list decoding, not stop at the digest.
  EXPECT_GT(accepted, 0);
  EXPECT_GT(damaged, 100);
}

}  // namespace
}  // namespace tarvel
