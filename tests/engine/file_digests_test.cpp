// SPDX-License-Identifier: GPL-3.0-or-later
// A volume's control digest through the file layer: MD5 of bytes 32 on, for
// sizes around the control offset and the read size; a read that fails is
// an error, and no read asks for more than kDigestReadSize.
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

TEST(FileDigests, ControlDigestMatchesTheBytesAndAFailedReadIsAnError) {
  testing::TempDir dir;
  ReadSizeEnv env;
  for (std::size_t n : {std::size_t{0}, std::size_t{31}, std::size_t{32}, std::size_t{33},
                        kDigestReadSize + 31, kDigestReadSize + 32, kDigestReadSize + 16385}) {
    SCOPED_TRACE(n);
    const auto bytes = testing::RandomBytes(n, static_cast<std::uint32_t>(n));
    const std::string path = dir / "f.bin";
    testing::WriteBytes(path, bytes);
    EXPECT_EQ(md5hex(md5from32(*env.OpenRead(path))), Hex(bytes, 32, n));
  }
  EXPECT_EQ(env.largest, kDigestReadSize);

  FaultyEnv faulty(Env::Default());
  faulty.Fail(FaultyEnv::kRead, 1);
  EXPECT_THROW(md5from32(*faulty.OpenRead(dir / "f.bin")), FileError);
}

}  // namespace
}  // namespace tarvel
