// The set model's reset and compaction, and the names of volume files.
#include "engine/format/model.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <utility>

#include "engine/format/volume_names.h"

namespace tarvel {
namespace {

// prefix + text, built by appending (GCC 12 warns falsely on `"f" + to_string(i)`).
std::string Join(const char* prefix, const std::string& text) {
  std::string s(prefix);
  s.append(text);
  return s;
}

fileentry Entry(const std::string& name, std::uint64_t status, std::int64_t size) {
  fileentry e;
  e.name = name;
  e.path = Join("/set/", name);
  e.status = status;
  e.filesize = size;
  e.entrysize = 56 + 2 * static_cast<std::int64_t>(name.size());
  e.md5whole.fill(static_cast<std::uint8_t>(size));
  e.md5head.fill(static_cast<std::uint8_t>(size + 1));
  e.crcok = 1;
  e.present = 1;
  return e;
}

void ExpectEmpty(const fileentry& e) {
  EXPECT_EQ(e.filesize, 0);
  EXPECT_EQ(e.status, 0u);
  EXPECT_EQ(e.md5whole, md5digest{});
  EXPECT_EQ(e.md5head, md5digest{});
  EXPECT_TRUE(e.name.empty());
  EXPECT_TRUE(e.path.empty());
  EXPECT_EQ(e.entrysize, 56);
  EXPECT_EQ(e.crcok, 0);
  EXPECT_EQ(e.present, 0);
}

TEST(SetModel, ResetTablesEmptiesEverySlotAndKeepsSetValues) {
  auto model = std::make_unique<SetModel>();
  for (int i = 0; i < kTableSlots; ++i) {
    model->FileTable[i] = Entry(Join("f", std::to_string(i)), 1, i + 1);
    model->ParityFileTable[i] = Entry(Join("p", std::to_string(i)), 3, i + 2);
    model->VolumeTable[i] = Entry(Join("v", std::to_string(i)), 0, i + 3);
  }
  model->FileCount = 7;
  model->ParityFileCount = 5;
  model->BiggestFileSize = 3'000'000'000;
  model->TotalSize = 1;
  model->SetHash.fill(0xAB);
  model->DataOffset = 230;
  model->RenameAnswer = StandingRename::kCopy;
  model->RestoreAnswer = StandingRestore::kYesToAll;

  model->ResetTables();

  for (int i = 0; i < kTableSlots; ++i) {
    SCOPED_TRACE(i);
    ExpectEmpty(model->FileTable[i]);
    ExpectEmpty(model->ParityFileTable[i]);
    ExpectEmpty(model->VolumeTable[i]);
  }
  EXPECT_EQ(model->FileCount, 7);
  EXPECT_EQ(model->ParityFileCount, 5);
  EXPECT_EQ(model->BiggestFileSize, 3'000'000'000);
  EXPECT_EQ(model->TotalSize, 1);
  EXPECT_EQ(model->SetHash[15], 0xAB);
  EXPECT_EQ(model->DataOffset, 230);
  EXPECT_EQ(model->RenameAnswer, StandingRename::kCopy);
  EXPECT_EQ(model->RestoreAnswer, StandingRestore::kYesToAll);
}

TEST(SetModel, CompactParityFilesTakesInParityEntriesInOrder) {
  auto model = std::make_unique<SetModel>();
  model->ResetTables();
  for (int i = 0; i < 4; ++i) model->FileTable[i] = Entry(Join("f", std::to_string(i)), 0, 10 + i);
  model->FileCount = 4;
  model->ParityFileCount = 99;
  model->CompactParityFiles();
  EXPECT_EQ(model->ParityFileCount, 0) << "no file in parity";

  // Bit 0 set only for the second and fourth file; status 2 is not in parity,
  // status 3 is and is kept whole.
  model->FileTable[0].status = 2;
  model->FileTable[1].status = 1;
  model->FileTable[3].status = 3;
  model->ParityFileTable[2] = Entry("stale", 1, 77);
  model->CompactParityFiles();
  ASSERT_EQ(model->ParityFileCount, 2);
  const fileentry& a = model->ParityFileTable[0];
  const fileentry& b = model->ParityFileTable[1];
  EXPECT_EQ(a.name, "f1");
  EXPECT_EQ(a.path, "/set/f1");
  EXPECT_EQ(a.filesize, 11);
  EXPECT_EQ(a.md5whole, model->FileTable[1].md5whole);
  EXPECT_EQ(a.md5head, model->FileTable[1].md5head);
  EXPECT_EQ(a.entrysize, 60);
  EXPECT_EQ(a.crcok, 1);
  EXPECT_EQ(a.present, 1);
  EXPECT_EQ(b.name, "f3");
  EXPECT_EQ(b.status, 3u);
  EXPECT_EQ(model->ParityFileTable[2].name, "stale") << "slots above the count are kept";

  // The copies are independent of FileTable until compacted again.
  model->FileTable[1].crcok = 0;
  EXPECT_EQ(model->ParityFileTable[0].crcok, 1);
  model->CompactParityFiles();
  EXPECT_EQ(model->ParityFileTable[0].crcok, 0);

  // All 256 slots are scanned, not only the first FileCount.
  model->FileTable[255] = Entry("last", 1, 5);
  model->CompactParityFiles();
  ASSERT_EQ(model->ParityFileCount, 3);
  EXPECT_EQ(model->ParityFileTable[2].name, "last");

  // A table in which every slot is in parity fills all 256 slots.
  for (auto& e : model->FileTable) e.status = 1;
  model->CompactParityFiles();
  EXPECT_EQ(model->ParityFileCount, kTableSlots);
}

TEST(VolumeFileName, MainParityAndQVolumes) {
  const std::pair<int, const char*> cases[] = {
      {0, "set.PAR"},   {1, "set.P01"},    {7, "set.P07"},   {10, "set.P10"},
      {99, "set.P99"},  {100, "set.Q00"},  {115, "set.Q15"}, {127, "set.Q27"},
      {199, "set.Q99"}, {200, "set.Q100"}, {255, "set.Q155"}};
  for (const auto& [n, name] : cases) EXPECT_EQ(VolumeFileName("set", n), name) << n;
  EXPECT_EQ(VolumeFileName("/data/my set", 3), "/data/my set.P03");
  EXPECT_EQ(VolumeFileName("", 0), ".PAR");
}

}  // namespace
}  // namespace tarvel
