// SPDX-License-Identifier: GPL-3.0-or-later
// Exact bytes of the volume header and file-list entries, the names of the
// volume files, the name conversion, and the decoder's refusal of malformed
// entries.
#include "engine/format/format.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "engine/format/volume_names.h"
#include "engine/report.h"

namespace tarvel {
namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes Slice(const std::uint8_t* p, std::size_t n) { return Bytes(p, p + n); }

fileentry NamedEntry(const std::string& name, std::uint64_t status, std::int64_t size) {
  fileentry e;
  e.name = name;
  e.status = status;
  e.filesize = size;
  e.entrysize = EntrySizeFor(name);
  for (int i = 0; i < 16; ++i) {
    e.md5whole[i] = static_cast<std::uint8_t>(i);
    e.md5head[i] = static_cast<std::uint8_t>(0xF0 + i);
  }
  return e;
}

TEST(Format, LittleEndianHelpers) {
  std::uint8_t b[8];
  PutU32(b, 0x01000205);
  EXPECT_EQ(Slice(b, 4), (Bytes{0x05, 0x02, 0x00, 0x01}));
  EXPECT_EQ(GetU32(b), 0x01000205u);
  PutU64(b, 0x0123456789ABCDEFull);
  EXPECT_EQ(Slice(b, 8), (Bytes{0xEF, 0xCD, 0xAB, 0x89, 0x67, 0x45, 0x23, 0x01}));
  EXPECT_EQ(GetU64(b), 0x0123456789ABCDEFull);
  PutU64(b, 230);
  EXPECT_EQ(Slice(b, 8), (Bytes{0xE6, 0, 0, 0, 0, 0, 0, 0})) << "small values: high half zero";
  PutU64(b, ~0ull);
  EXPECT_EQ(GetU64(b), ~0ull);
}

TEST(Format, HeaderBytesAndRoundTrip) {
  VolumeHeader h;
  const auto bytes = EncodeHeader(h);
  EXPECT_EQ(Slice(bytes.data(), 16), (Bytes{0x50, 0x41, 0x52, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,
                                            0x00, 0x01, 0x00, 0x05, 0x02, 0x00, 0x01}));
  EXPECT_EQ(Slice(&bytes[kOffFileListOffset], 8), (Bytes{96, 0, 0, 0, 0, 0, 0, 0}));

  h.control.fill(0x11);
  h.setHash.fill(0x22);
  h.volumeNumber = 200;
  h.fileCount = 256;
  h.fileListSize = 0x1'0000'0001ull;
  h.dataOffset = 3ull << 30;  // 3 GiB: above every signed 32-bit value
  h.dataSize = 0x7FFF'FFFF'FFFF'FFFFull;
  const auto b = EncodeHeader(h);
  EXPECT_EQ(Slice(&b[kOffControl], 16), Bytes(16, 0x11));
  EXPECT_EQ(Slice(&b[kOffSetHash], 16), Bytes(16, 0x22));
  EXPECT_EQ(Slice(&b[kOffVolumeNumber], 8), (Bytes{200, 0, 0, 0, 0, 0, 0, 0}));
  EXPECT_EQ(Slice(&b[kOffFileCount], 8), (Bytes{0, 1, 0, 0, 0, 0, 0, 0}));
  EXPECT_EQ(Slice(&b[kOffFileListSize], 8), (Bytes{1, 0, 0, 0, 1, 0, 0, 0}));
  EXPECT_EQ(Slice(&b[kOffDataOffset], 8), (Bytes{0, 0, 0, 0xC0, 0, 0, 0, 0}));

  const VolumeHeader d = DecodeHeader(b);
  EXPECT_EQ(d.magic, h.magic);
  EXPECT_EQ(d.version, kFormatVersion10);
  EXPECT_EQ(d.generator, kGenerator);
  EXPECT_EQ(d.control, h.control);
  EXPECT_EQ(d.setHash, h.setHash);
  EXPECT_EQ(d.volumeNumber, 200u);
  EXPECT_EQ(d.fileCount, 256u);
  EXPECT_EQ(d.fileListOffset, 96u);
  EXPECT_EQ(d.fileListSize, h.fileListSize);
  EXPECT_EQ(d.dataOffset, h.dataOffset);
  EXPECT_EQ(d.dataSize, h.dataSize);
}

TEST(Format, EntryBytesOfABin) {
  Bytes out;
  AppendEntry(out, NamedEntry("a.bin", 1, 1000));
  ASSERT_EQ(out.size(), 66u);
  EXPECT_EQ(Slice(&out[0], 8), (Bytes{0x42, 0, 0, 0, 0, 0, 0, 0}));
  EXPECT_EQ(Slice(&out[8], 8), (Bytes{0x01, 0, 0, 0, 0, 0, 0, 0}));
  EXPECT_EQ(Slice(&out[16], 8), (Bytes{0xE8, 0x03, 0, 0, 0, 0, 0, 0}));
  EXPECT_EQ(out[24], 0x00);
  EXPECT_EQ(out[39], 0x0F);
  EXPECT_EQ(out[40], 0xF0);
  EXPECT_EQ(out[55], 0xFF);
  EXPECT_EQ(Slice(&out[56], 10), (Bytes{0x61, 0, 0x2E, 0, 0x62, 0, 0x69, 0, 0x6E, 0}));

  // A 3 GiB file size uses the high half; the size field follows the name
  // actually written, whatever the record's entrysize says.
  fileentry big = NamedEntry("bb.bin", 0, 3ll << 30);
  big.entrysize = 999;
  AppendEntry(out, big);
  ASSERT_EQ(out.size(), 66u + 68u);
  EXPECT_EQ(Slice(&out[66], 8), (Bytes{68, 0, 0, 0, 0, 0, 0, 0}));
  EXPECT_EQ(Slice(&out[66 + 16], 8), (Bytes{0, 0, 0, 0xC0, 0, 0, 0, 0}));

  const auto a = DecodeEntry(out);
  ASSERT_TRUE(a);
  EXPECT_EQ(a->name, "a.bin");
  EXPECT_EQ(a->entrysize, 66);
  EXPECT_EQ(a->status, 1u);
  EXPECT_EQ(a->filesize, 1000);
  EXPECT_EQ(a->md5whole, NamedEntry("", 0, 0).md5whole);
  EXPECT_EQ(a->md5head, NamedEntry("", 0, 0).md5head);
  EXPECT_TRUE(a->path.empty());
  EXPECT_EQ(a->crcok, 0);
  const auto b = DecodeEntry(std::span(out).subspan(66));
  ASSERT_TRUE(b);
  EXPECT_EQ(b->name, "bb.bin");
  EXPECT_EQ(b->filesize, 3ll << 30);
}

TEST(Format, FileListOfTheTwoFileSet) {
  auto model = std::make_unique<SetModel>();
  model->ResetTables();
  model->FileTable[0] = NamedEntry("a.bin", 1, 1000);
  model->FileTable[1] = NamedEntry("bb.bin", 1, 10);
  model->FileTable[2] = NamedEntry("not-in-set", 1, 10);
  model->FileCount = 2;
  const Bytes list = EncodeFileList(*model);
  EXPECT_EQ(list.size(), 66u + 68u);
  EXPECT_EQ(kHeaderSize + list.size(), 230u);

  // Out-of-range counts never read outside the table.
  model->FileCount = -1;
  EXPECT_TRUE(EncodeFileList(*model).empty());
  model->FileCount = 1000;
  EXPECT_EQ(EncodeFileList(*model).size(), 66u + 68u + 76u + 253u * 56u);
}

TEST(Format, NameConversion) {
  struct Case {
    std::string name;
    std::u16string units;
  };
  const Case cases[] = {
      {"a.bin", u"a.bin"},
      {"caf\xC3\xA9.txt", u"caf\u00E9.txt"},  // Latin-1 range
      {"\xE2\x82\xAC"
       "uro.bin",
       u"\u20ACuro.bin"},                                              // euro sign
      {"\xF0\x9F\x98\x80.png", {0xD83D, 0xDE00, '.', 'p', 'n', 'g'}},  // outside the BMP
      {"", u""},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(NameToUtf16(c.name), c.units) << c.name;
    EXPECT_EQ(NameFromUtf16(c.units), c.name) << c.name;
    EXPECT_EQ(EntrySizeFor(c.name), 56 + 2 * static_cast<std::int64_t>(c.units.size()));
  }
  EXPECT_EQ(EntrySizeFor("abcdefghij"), 76);

  // Each byte that is not part of valid UTF-8 is written as the lone
  // surrogate U+DC00 + byte and reads back as that byte: a lone Latin-1
  // byte, a stray continuation byte, an overlong "/", an encoded surrogate,
  // a truncated sequence, a value above U+10FFFF.
  const std::string notUtf8[] = {"caf\xE9",      "\x80x",    "\xC0\xAF",         "\xE0\x80\xAF",
                                 "\xED\xA0\x80", "\xE2\x82", "\xF4\x90\x80\x80", "\xFF"};
  for (const std::string& name : notUtf8) {
    const std::u16string units = NameToUtf16(name);
    EXPECT_EQ(units.size(), name.size()) << name;  // one unit per byte here
    EXPECT_EQ(NameFromUtf16(units), name);
  }
  EXPECT_EQ(NameToUtf16("caf\xE9"), (std::u16string{'c', 'a', 'f', 0xDCE9}));
  EXPECT_EQ(NameToUtf16("\xE2\x82\xAC\x80"), (std::u16string{0x20AC, 0xDC80}));
  // The Latin-1 name and its UTF-8 reading stay two names.
  EXPECT_NE(NameToUtf16("caf\xE9"), NameToUtf16("caf\xC3\xA9"));

  // Other unpaired surrogates read back as U+FFFD; a NUL unit stays a NUL byte.
  EXPECT_EQ(NameFromUtf16({0xD800, 'x'}), "\xEF\xBF\xBDx");
  EXPECT_EQ(NameFromUtf16({'x', 0xDC00}), "x\xEF\xBF\xBD");
  EXPECT_EQ(NameFromUtf16({'x', 0xDC7F}), "x\xEF\xBF\xBD");
  EXPECT_EQ(NameFromUtf16({0xDC00, 0xD800}), "\xEF\xBF\xBD\xEF\xBF\xBD");
  EXPECT_EQ(NameFromUtf16({'a', 0, 'b'}), std::string("a\0b", 3));
}

TEST(Format, DecodeEntryRefusesMalformedEntries) {
  Bytes good;
  AppendEntry(good, NamedEntry("name", 1, 5));
  ASSERT_TRUE(DecodeEntry(good));
  EXPECT_FALSE(DecodeEntry(std::span(good).first(55))) << "shorter than the fixed part";
  EXPECT_FALSE(DecodeEntry(std::span(good).first(good.size() - 1))) << "name past the end";

  auto withSize = [&good](std::uint64_t size) {
    Bytes b = good;
    PutU64(&b[kEntryOffSize], size);
    return b;
  };
  EXPECT_TRUE(DecodeEntry(withSize(56))) << "an empty name is a decoding matter of the reader";
  EXPECT_EQ(DecodeEntry(withSize(58))->name, "n");
  for (std::uint64_t size : {0ull, 54ull, 55ull, 57ull, 65ull, 1ull << 40, ~0ull, ~0ull - 1}) {
    EXPECT_FALSE(DecodeEntry(withSize(size))) << size;
  }
  Bytes huge = withSize(kMaxEntrySize + 2);
  huge.resize(kMaxEntrySize + 2);
  EXPECT_FALSE(DecodeEntry(huge)) << "name longer than any file system allows";
  huge = withSize(kMaxEntrySize);
  huge.resize(kMaxEntrySize);
  EXPECT_TRUE(DecodeEntry(huge));

  Bytes size63 = good;
  PutU64(&size63[kEntryOffFileSize], 1ull << 63);
  EXPECT_FALSE(DecodeEntry(size63)) << "file size beyond a signed 64-bit value";
  PutU64(&size63[kEntryOffFileSize], (1ull << 63) - 1);
  EXPECT_EQ(DecodeEntry(size63)->filesize, INT64_MAX);
  Bytes status = good;
  PutU64(&status[kEntryOffStatus], 0xFFFF'FFFF'0000'0003ull);
  EXPECT_EQ(DecodeEntry(status)->status, 0xFFFF'FFFF'0000'0003ull) << "status is kept whole";
}

TEST(Format, ListableAndPrintableNames) {
  for (const char* ok : {"a.bin", "caf\xE9", "caf\xC3\xA9", "sp ace", "~x"}) {
    EXPECT_TRUE(IsListableName(ok)) << ok;
  }
  for (const char* bad : {"a\\b", "\x01", "tab\t", "nl\n", "esc\x1b[0m", "del\x7f"}) {
    EXPECT_FALSE(IsListableName(bad)) << bad;
  }
  EXPECT_EQ(PrintableText("a\x1b[31mb\n\x7f\t"), "a?[31mb???");
  EXPECT_EQ(PrintableText("csi\xC2\x9B"
                          "2J \xC2\xA0 caf\xC3\xA9 caf\xE9 \xC2"),
            "csi?2J \xC2\xA0 caf\xC3\xA9 caf\xE9 \xC2");
}

TEST(Format, PlainNames) {
  for (const char* ok : {"a", "a.bin", "..a", "a..", ".hidden", "...", "caf\xC3\xA9", "a\\b"}) {
    EXPECT_TRUE(IsPlainName(ok)) << ok;
  }
  for (const std::string& bad :
       {std::string(""), std::string("."), std::string(".."), std::string("a/b"),
        std::string("/etc/passwd"), std::string("../x"), std::string("x/"), std::string("a\0b", 3),
        std::string(1, '\0')}) {
    EXPECT_FALSE(IsPlainName(bad)) << bad;
  }
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
