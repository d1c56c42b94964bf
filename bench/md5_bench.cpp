// MD5 throughput: the block function over a memory buffer, and whole-file
// digests through the mapping (a file in the page cache), to compare with
// `md5sum` over the same file.
#include <benchmark/benchmark.h>
#include <stdlib.h>
#include <unistd.h>

#include <cstdio>
#include <string>
#include <vector>

#include "checksum/md5.h"

namespace {

void BM_Md5Buffer(benchmark::State& state) {
  const auto size = static_cast<std::size_t>(state.range(0));
  std::vector<std::uint8_t> data(size);
  for (std::size_t i = 0; i < size; ++i) data[i] = static_cast<std::uint8_t>(i * 131 + 7);
  for (auto _ : state) {
    benchmark::DoNotOptimize(tarvel::md5buffer(data.data(), data.size()));
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * size));
}
BENCHMARK(BM_Md5Buffer)->Arg(64)->Arg(16384)->Arg(1 << 20)->Arg(64 << 20);

// A temporary file that removes itself.
class BenchFile {
 public:
  explicit BenchFile(std::size_t size) {
    char name[] = "/tmp/tarvel-md5-bench-XXXXXX";
    const int fd = mkstemp(name);
    path_ = name;
    std::vector<char> block(1 << 20, 'x');
    for (std::size_t i = 0; i < block.size(); ++i) block[i] = static_cast<char>(i * 7);
    for (std::size_t done = 0; fd >= 0 && done < size; done += block.size()) {
      if (write(fd, block.data(), std::min(block.size(), size - done)) < 0) break;
    }
    if (fd >= 0) close(fd);
  }
  ~BenchFile() { unlink(path_.c_str()); }
  const std::string& path() const { return path_; }

 private:
  std::string path_;
};

void BM_Md5File(benchmark::State& state) {
  const auto size = static_cast<std::size_t>(state.range(0));
  BenchFile file(size);
  for (auto _ : state) benchmark::DoNotOptimize(tarvel::md5file(file.path()));
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * size));
}
BENCHMARK(BM_Md5File)->Arg(256 << 20)->Unit(benchmark::kMillisecond);

void BM_Md5WholeAndHead(benchmark::State& state) {
  const auto size = static_cast<std::size_t>(state.range(0));
  BenchFile file(size);
  for (auto _ : state) benchmark::DoNotOptimize(tarvel::md5wholeandhead(file.path()));
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * size));
}
BENCHMARK(BM_Md5WholeAndHead)->Arg(256 << 20)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
