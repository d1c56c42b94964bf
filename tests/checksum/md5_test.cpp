// MD5 against RFC 1321's test suite and known digests around the padding
// boundaries, fed whole and in pieces, and the digests of file portions.
#include "checksum/md5.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/mman.h>
#include <unistd.h>

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

// Every file digest checked against md5buffer over the portion it names.
TEST(Md5File, PortionsAroundTheBoundaries) {
  testing::TempDir dir;
  for (std::size_t n : {0u, 1u, 31u, 32u, 33u, 100u, 16383u, 16384u, 16385u, 50000u}) {
    SCOPED_TRACE(n);
    const std::string path = dir / std::to_string(n);
    const auto data = testing::RandomBytes(n, static_cast<std::uint32_t>(n));
    testing::WriteBytes(path, data);

    EXPECT_EQ(md5hex(md5file(path)), Hex(data, 0, n));
    EXPECT_EQ(md5hex(md5first16k(path)), Hex(data, 0, std::min<std::size_t>(n, 16384)));
    EXPECT_EQ(md5hex(md5from32(path)), n > 32 ? Hex(data, 32, n) : kEmptyDigest);

    const md5pair pair = md5wholeandhead(path);
    EXPECT_TRUE(md5equal(pair.whole, md5file(path)));
    EXPECT_TRUE(md5equal(pair.head, md5first16k(path)));
  }
}

TEST(Md5File, UnreadableFilesGiveTheEmptyMessageDigest) {
  testing::TempDir dir;
  for (const std::string& path : {dir / "missing", dir.path(), std::string("/dev/null")}) {
    SCOPED_TRACE(path);
    EXPECT_EQ(md5hex(md5file(path)), kEmptyDigest);
    EXPECT_EQ(md5hex(md5first16k(path)), kEmptyDigest);
    EXPECT_EQ(md5hex(md5from32(path)), kEmptyDigest);
    const md5pair pair = md5wholeandhead(path);
    EXPECT_EQ(md5hex(pair.whole), kEmptyDigest);
    EXPECT_EQ(md5hex(pair.head), kEmptyDigest);
  }
}

// A file that shrinks while mapped: the read reports failure instead of the
// process dying, and the next read works as before.
TEST(Md5File, FileShrinkingUnderTheMappingIsReported) {
  testing::TempDir dir;
  const std::string path = dir / "shrinks";
  const std::size_t size = 4 * static_cast<std::size_t>(sysconf(_SC_PAGESIZE));
  testing::WriteBytes(path, testing::RandomBytes(size, 5));

  const int fd = open(path.c_str(), O_RDWR);
  ASSERT_GE(fd, 0);
  void* map = mmap(nullptr, size, PROT_READ, MAP_PRIVATE, fd, 0);
  ASSERT_NE(map, MAP_FAILED);
  ASSERT_EQ(ftruncate(fd, 0), 0);

  md5state ctx;
  md5init(ctx);
  EXPECT_FALSE(md5updatemapped(ctx, map, size));
  EXPECT_FALSE(md5updatemapped(ctx, map, size));  // and again

  munmap(map, size);
  close(fd);

  md5init(ctx);
  const std::string abc = "abc";
  ASSERT_TRUE(md5updatemapped(ctx, abc.data(), abc.size()));
  md5digest out;
  md5final(ctx, out);
  EXPECT_EQ(md5hex(out), "900150983cd24fb0d6963f7d28e17f72");
  EXPECT_EQ(md5hex(md5file(path)), kEmptyDigest);
}

}  // namespace
}  // namespace tarvel
