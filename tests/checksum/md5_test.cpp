// SPDX-License-Identifier: GPL-3.0-or-later
// MD5 against RFC 1321's test suite and known digests around the padding
// boundaries, fed whole and in pieces, and the whole and head digests of a
// stream fed in pieces.
#include "checksum/md5.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "support/testutil.h"

namespace tarvel {
namespace {

constexpr const char* kEmptyDigest = "d41d8cd98f00b204e9800998ecf8427e";

std::string Hex(const std::string& s) { return md5hex(md5buffer(s.data(), s.size())); }

std::string Hex(const std::vector<std::uint8_t>& v, std::size_t begin, std::size_t end) {
  return md5hex(md5buffer(v.data() + begin, end - begin));
}

TEST(Md5, RfcTestSuite) {
  EXPECT_EQ(Hex(""), kEmptyDigest);
  EXPECT_EQ(Hex("a"), "0cc175b9c0f1b6a831c399e269772661");
  EXPECT_EQ(Hex("abc"), "900150983cd24fb0d6963f7d28e17f72");
  EXPECT_EQ(Hex("message digest"), "f96b697d7cb7938d525a2f31aaf161d0");
  EXPECT_EQ(Hex("abcdefghijklmnopqrstuvwxyz"), "c3fcd3d76192e4007dfb496cca67e13b");
  EXPECT_EQ(Hex("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789"),
            "d174ab98d277d9f5a5611c2c9f419d9f");
  EXPECT_EQ(Hex("1234567890123456789012345678901234567890"
                "1234567890123456789012345678901234567890"),
            "57edf4a22be3c955ac49da2e2107b67a");
  EXPECT_EQ(Hex(std::string(1000000, 'a')), "7707d6ae4e027c70eea2a935c2296f21");
  // The span overload hashes the same bytes.
  const std::vector<std::uint8_t> abc{'a', 'b', 'c'};
  EXPECT_EQ(md5hex(md5buffer(std::span<const std::uint8_t>(abc))),
            "900150983cd24fb0d6963f7d28e17f72");
}

// Lengths where the padding needs one block or spills into a second.
TEST(Md5, PaddingBoundaries) {
  const std::pair<std::size_t, const char*> cases[] = {
      {55, "52c0e574e1198de5fe3f8f11440dcb1b"},  {56, "46c9907fc908ee68b1e7b8e71286a518"},
      {57, "1c805dd236c35cab25fcb1bc73802c51"},  {63, "a62f6d59e837867693f042f5b8f5a236"},
      {64, "7160b8fb5e9e4023d549c3971fbaeead"},  {65, "70bd662e7aefbda85a0f7244167b7897"},
      {119, "e84905d4214f4d1ca56c2cdcc152b143"}, {120, "e3eb5a6c8669ea01a8c185b8abc8a5dc"},
      {128, "10b2da1a82f16d99a81a7203fe9f02cb"}, {1000, "10046f077f2082ac19676b8079f1cb1a"},
  };
  for (const auto& [n, expected] : cases) {
    std::vector<std::uint8_t> data(n);
    for (std::size_t i = 0; i < n; ++i) data[i] = static_cast<std::uint8_t>(i * 7 + 3);
    EXPECT_EQ(Hex(data, 0, n), expected) << n << " bytes";
  }
}

TEST(Md5, PiecesGiveTheSameDigestAndFinalClearsTheContext) {
  const auto data = testing::RandomBytes(3000, 1);
  const md5digest whole = md5buffer(data.data(), data.size());
  for (std::size_t piece : {1u, 3u, 55u, 63u, 64u, 65u, 128u, 1000u}) {
    md5state ctx;
    md5init(ctx);
    for (std::size_t at = 0; at < data.size(); at += piece) {
      md5update(ctx, data.data() + at, std::min(piece, data.size() - at));
      md5update(ctx, data.data(), 0);  // empty updates change nothing
    }
    md5digest out;
    md5final(ctx, out);
    EXPECT_TRUE(md5equal(out, whole)) << "pieces of " << piece;

    const auto* raw = reinterpret_cast<const std::uint8_t*>(&ctx);
    EXPECT_TRUE(std::all_of(raw, raw + sizeof ctx, [](std::uint8_t b) { return b == 0; }));
  }
}

TEST(Md5, Equal) {
  md5digest a = md5buffer("abc", 3);
  md5digest b = a;
  EXPECT_TRUE(md5equal(a, a));
  EXPECT_TRUE(md5equal(a, b));
  b[15] ^= 1;
  EXPECT_FALSE(md5equal(a, b));
  b = a;
  b[0] ^= 0x80;
  EXPECT_FALSE(md5equal(a, b));
}

// Streams around the end of the head fed in pieces of varied sizes, the
// digests asked between pieces as well: after every piece both are those of
// md5buffer over what was fed, the head over its first 16384 bytes, and
// asking changes nothing that follows.
TEST(Md5WholeAndHead, StreamsAroundTheHeadInPieces) {
  const std::size_t pieces[] = {1, 63, 64, 4096, 16383, 16385, 50000};
  for (std::size_t n : {0u, 1u, 16383u, 16384u, 16385u, 100000u}) {
    const auto data = testing::RandomBytes(n, static_cast<std::uint32_t>(n) + 3);
    for (std::size_t p = 0; p < std::size(pieces); ++p) {
      SCOPED_TRACE(std::to_string(n) + " bytes, pieces from " + std::to_string(pieces[p]));
      Md5WholeAndHead digests;
      std::size_t at = 0;
      for (std::size_t k = p; at < n; ++k) {
        // Each piece a different size, so the head ends inside some of them.
        const std::size_t piece = std::min(pieces[k % std::size(pieces)], n - at);
        digests.Update(data.data() + at, piece);
        at += piece;
        ASSERT_EQ(digests.Length(), static_cast<std::int64_t>(at));
        EXPECT_EQ(md5hex(digests.Head()), Hex(data, 0, std::min<std::size_t>(at, 16384)));
        if (k % 2 == 0) {
          EXPECT_EQ(md5hex(digests.Whole()), Hex(data, 0, at));
        }
      }
      digests.Update(data.data(), 0);  // an empty piece changes nothing
      const md5pair pair = digests.Pair();
      EXPECT_EQ(md5hex(pair.whole), Hex(data, 0, n));
      EXPECT_EQ(md5hex(pair.head), Hex(data, 0, std::min<std::size_t>(n, kMd5HeadBytes)));
    }
  }
  // Where the head ends, whatever the pieces.
  EXPECT_EQ(Md5HeadPart(0, 100), 100u);
  EXPECT_EQ(Md5HeadPart(16000, 1000), 384u);
  EXPECT_EQ(Md5HeadPart(16384, 1000), 0u);
  EXPECT_EQ(Md5HeadPart(std::uint64_t{1} << 40, 1000), 0u);
}

}  // namespace
}  // namespace tarvel
