// Digests through the file layer: the same values as MD5 of the bytes, for
// portions around the 16 KiB head, the 32-byte control offset and the read
// size; a file that cannot be opened gives the empty-message digest, a read
// that fails is an error, and no read asks for more than kDigestReadSize.
#include "engine/io/file_digests.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>

#include "support/env_wrapper.h"
#include "support/faulty_env.h"
#include "support/testutil.h"

namespace tarvel {
namespace {

using testing::FaultyEnv;

// Remembers the largest read asked for.
class ReadSizeEnv : public testing::EnvWrapper {
 public:
  std::size_t largest = 0;

 protected:
  std::unique_ptr<File> WrapFile(std::unique_ptr<File> f) override {
    return std::make_unique<Watched>(*this, std::move(f));
  }

 private:
  class Watched : public testing::FileWrapper {
   public:
    Watched(ReadSizeEnv& env, std::unique_ptr<File> f) : FileWrapper(std::move(f)), env_(env) {}
    std::size_t ReadAt(std::int64_t offset, void* buffer, std::size_t n) override {
      env_.largest = std::max(env_.largest, n);
      return target().ReadAt(offset, buffer, n);
    }

   private:
    ReadSizeEnv& env_;
  };
};

std::string Hex(const std::vector<std::uint8_t>& b, std::size_t from, std::size_t to) {
  to = std::min(to, b.size());
  from = std::min(from, to);
  return md5hex(md5buffer(b.data() + from, to - from));
}

TEST(FileDigests, PortionsMatchTheBytes) {
  testing::TempDir dir;
  ReadSizeEnv env;
  for (std::size_t n :
       {std::size_t{0}, std::size_t{1}, std::size_t{32}, std::size_t{33}, std::size_t{16383},
        std::size_t{16384}, std::size_t{16385}, kDigestReadSize, kDigestReadSize + 16385}) {
    SCOPED_TRACE(n);
    const auto bytes = testing::RandomBytes(n, static_cast<std::uint32_t>(n));
    const std::string path = dir / "f.bin";
    testing::WriteBytes(path, bytes);
    EXPECT_EQ(md5hex(md5file(env, path)), Hex(bytes, 0, n));
    EXPECT_EQ(md5hex(md5first16k(env, path)), Hex(bytes, 0, 16384));
    EXPECT_EQ(md5hex(md5from32(env, path)), Hex(bytes, 32, n));
    const md5pair pair = md5wholeandhead(*env.OpenRead(path));
    EXPECT_EQ(md5hex(pair.whole), Hex(bytes, 0, n));
    EXPECT_EQ(md5hex(pair.head), Hex(bytes, 0, 16384));
  }
  EXPECT_EQ(env.largest, kDigestReadSize);
}

TEST(FileDigests, UnopenableIsEmptyAndFailedReadIsAnError) {
  testing::TempDir dir;
  const std::string empty = md5hex(md5buffer(nullptr, 0));
  FaultyEnv env(Env::Default());
  EXPECT_EQ(md5hex(md5file(env, dir / "missing")), empty);
  EXPECT_EQ(md5hex(md5from32(env, dir.path())), empty);  // a folder

  testing::WriteBytes(dir / "f.bin", testing::RandomBytes(100, 1));
  env.Fail(FaultyEnv::kOpen, 1);
  EXPECT_EQ(md5hex(md5first16k(env, dir / "f.bin")), empty);
  env.Fail(FaultyEnv::kRead, 1);
  EXPECT_THROW(md5file(env, dir / "f.bin"), FileError);
  EXPECT_EQ(md5hex(md5file(env, dir / "f.bin")), Hex(testing::RandomBytes(100, 1), 0, 100));
}

}  // namespace
}  // namespace tarvel
