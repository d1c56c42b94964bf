// SPDX-License-Identifier: GPL-3.0-or-later
// MD5 throughput: the block function over a memory buffer, whole-file
// digests of a file in the page cache read in 1 MiB pieces, to compare with
// `md5sum` over the same file, and the multi-buffer MD5 over 16 buffers at
// once against OpenSSL's one-stream MD5 and ipsec-mb's multi-buffer HMAC-MD5
// over the same 16 buffers (each where it is installed).  All throughputs
// are aggregate bytes of message per second.
// Md5BusyLanes gives each version's throughput at 1, 2, 3, 5, 8 and 16 busy
// lanes.
//   build/bench/md5_bench --benchmark_filter='Md5Many|OpenSsl|IpsecMb'
//   build/bench/md5_bench --benchmark_filter=BusyLanes
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "checksum/hash_jobs.h"
#include "checksum/md5.h"
#include "checksum/md5_lanes.h"

#if defined(TARVEL_BENCH_OPENSSL)
#include <openssl/evp.h>
#endif
#if defined(TARVEL_BENCH_IPSEC_MB)
#include <intel-ipsec-mb.h>
#endif

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

// Reads the whole file in reads of 1 MiB into one buffer, as the engine's
// file layer does, and hands each piece to `feed`.
template <typename Feed>
void ReadInPieces(const std::string& path, std::vector<std::uint8_t>& buffer, Feed feed) {
  const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return;
  off_t at = 0;
  for (ssize_t got; (got = pread(fd, buffer.data(), buffer.size(), at)) > 0; at += got) {
    feed(buffer.data(), static_cast<std::size_t>(got));
  }
  close(fd);
}

void BM_Md5File(benchmark::State& state) {
  const auto size = static_cast<std::size_t>(state.range(0));
  BenchFile file(size);
  std::vector<std::uint8_t> buffer(1 << 20);
  for (auto _ : state) {
    tarvel::md5state ctx;
    tarvel::md5init(ctx);
    ReadInPieces(file.path(), buffer,
                 [&](const std::uint8_t* p, std::size_t n) { tarvel::md5update(ctx, p, n); });
    tarvel::md5digest out;
    tarvel::md5final(ctx, out);
    benchmark::DoNotOptimize(out);
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * size));
}
BENCHMARK(BM_Md5File)->Arg(256 << 20)->Unit(benchmark::kMillisecond);

void BM_Md5WholeAndHead(benchmark::State& state) {
  const auto size = static_cast<std::size_t>(state.range(0));
  BenchFile file(size);
  std::vector<std::uint8_t> buffer(1 << 20);
  for (auto _ : state) {
    tarvel::Md5WholeAndHead digests;
    ReadInPieces(file.path(), buffer,
                 [&](const std::uint8_t* p, std::size_t n) { digests.Update(p, n); });
    benchmark::DoNotOptimize(digests.Pair());
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * size));
}
BENCHMARK(BM_Md5WholeAndHead)->Arg(256 << 20)->Unit(benchmark::kMillisecond);

// Sixteen buffers of `size` bytes each, with different contents.
class SixteenBuffers {
 public:
  static constexpr int kCount = 16;
  explicit SixteenBuffers(std::size_t size) : data_(kCount * size), size_(size) {
    for (std::size_t i = 0; i < data_.size(); ++i) {
      data_[i] = static_cast<std::uint8_t>(i * 2654435761u >> 13);
    }
    for (int b = 0; b < kCount; ++b) spans_.emplace_back(data_.data() + b * size, size);
  }
  const std::vector<std::span<const std::uint8_t>>& spans() const { return spans_; }
  const std::uint8_t* buffer(int b) const { return spans_[b].data(); }
  std::size_t size() const { return size_; }
  void Count(benchmark::State& state) const {
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * kCount * size_));
  }

 private:
  std::vector<std::uint8_t> data_;
  std::size_t size_;
  std::vector<std::span<const std::uint8_t>> spans_;
};

void Md5Many(benchmark::State& state, tarvel::Md5Kernel kernel) {
  const SixteenBuffers buffers(static_cast<std::size_t>(state.range(0)));
  for (auto _ : state) benchmark::DoNotOptimize(tarvel::md5many(buffers.spans(), kernel));
  buffers.Count(state);
}

// `busy` lanes of Md5Lanes, each hashing its own 1 MiB message fed in the
// 64 KiB chunks of a pass, the other lanes idle: what a pass with that many
// streams gets from the version (the round it picks for the busy lanes).
void Md5BusyLanes(benchmark::State& state, tarvel::Md5Kernel kernel) {
  const int busy = static_cast<int>(state.range(0));
  constexpr std::size_t kChunk = 64 << 10;
  const SixteenBuffers buffers(1 << 20);
  tarvel::Md5Lanes lanes(kernel);
  for (auto _ : state) {
    for (std::size_t at = 0; at < buffers.size(); at += kChunk) {
      for (int lane = 0; lane < busy; ++lane) lanes.Feed(lane, buffers.buffer(lane) + at, kChunk);
      if (at + kChunk == buffers.size()) {
        for (int lane = 0; lane < busy; ++lane) lanes.End(lane);
      }
      lanes.Run();
    }
    for (int lane = 0; lane < busy; ++lane) benchmark::DoNotOptimize(lanes.Digest(lane));
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * busy *
                          static_cast<std::int64_t>(buffers.size()));
}

// HashJobs over 20 sources of 4 MiB in memory, each reader copying its
// chunk like a read from the page cache; whole and head digests of each, on
// the given number of threads (the calling one and a thread per other part).
void BM_HashJobs(benchmark::State& state) {
  constexpr int kSources = 20;
  constexpr std::size_t kSize = 4 << 20;
  std::vector<std::uint8_t> data(kSources * kSize);
  for (std::size_t i = 0; i < data.size(); ++i) data[i] = static_cast<std::uint8_t>(i * 7 >> 3);
  std::vector<tarvel::HashJob> jobs;
  for (int j = 0; j < kSources; ++j) {
    const std::uint8_t* source = data.data() + j * kSize;
    jobs.push_back({[source](std::uint64_t offset, std::uint8_t* buf, std::size_t n) {
      const std::size_t got = std::min<std::size_t>(n, kSize - offset);
      std::memcpy(buf, source + offset, got);
      return got;
    }});
  }
  tarvel::HashJobsOptions options;
  options.threads = static_cast<int>(state.range(0));
  options.runSideBySide = [](std::size_t count, const std::function<void(std::size_t)>& body) {
    std::vector<std::thread> others;
    for (std::size_t part = 1; part < count; ++part) others.emplace_back(body, part);
    body(0);
    for (std::thread& other : others) other.join();
  };
  for (auto _ : state) benchmark::DoNotOptimize(tarvel::HashJobs(jobs, options));
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * kSources * kSize));
}
BENCHMARK(BM_HashJobs)->Arg(1)->Arg(2)->UseRealTime()->Unit(benchmark::kMillisecond);

#if defined(TARVEL_BENCH_OPENSSL)
// One stream at a time, the sixteen buffers one after the other.
void BM_OpenSslMd5(benchmark::State& state) {
  const SixteenBuffers buffers(static_cast<std::size_t>(state.range(0)));
  EVP_MD* md5 = EVP_MD_fetch(nullptr, "MD5", nullptr);
  EVP_MD_CTX* ctx = EVP_MD_CTX_new();
  unsigned char digest[EVP_MAX_MD_SIZE];
  unsigned int length = 0;
  for (auto _ : state) {
    for (int b = 0; b < SixteenBuffers::kCount; ++b) {
      EVP_DigestInit_ex(ctx, md5, nullptr);
      EVP_DigestUpdate(ctx, buffers.buffer(b), buffers.size());
      EVP_DigestFinal_ex(ctx, digest, &length);
      benchmark::DoNotOptimize(digest);
    }
  }
  EVP_MD_CTX_free(ctx);
  EVP_MD_free(md5);
  buffers.Count(state);
}
BENCHMARK(BM_OpenSslMd5)->Arg(16 << 10)->Arg(1 << 20);
#endif

#if defined(TARVEL_BENCH_IPSEC_MB)
// HMAC-MD5 jobs over the sixteen buffers submitted together and flushed; the
// manager picks its fastest code for this CPU.  HMAC adds one inner and one
// outer block per job to the plain MD5 of the same bytes.  A job hashes less
// than 64 KiB, so larger buffers go in 32 KiB jobs, all sixteen buffers'
// first jobs first, then their second, and so on.
void BM_IpsecMbHmacMd5(benchmark::State& state) {
  const SixteenBuffers buffers(static_cast<std::size_t>(state.range(0)));
  const std::size_t jobSize = std::min<std::size_t>(buffers.size(), 32 << 10);
  IMB_MGR* mgr = alloc_mb_mgr(0);
  IMB_ARCH arch;
  init_mb_mgr_auto(mgr, &arch);
  // Hashed key blocks: any key will do for timing.
  std::uint8_t block[64];
  alignas(16) std::uint8_t ipad[16], opad[16];
  std::memset(block, 0x36, sizeof block);
  IMB_MD5_ONE_BLOCK(mgr, block, ipad);
  std::memset(block, 0x5c, sizeof block);
  IMB_MD5_ONE_BLOCK(mgr, block, opad);
  std::uint8_t tags[SixteenBuffers::kCount][16];
  for (auto _ : state) {
    for (std::size_t at = 0; at < buffers.size(); at += jobSize) {
      for (int b = 0; b < SixteenBuffers::kCount; ++b) {
        IMB_JOB* job = IMB_GET_NEXT_JOB(mgr);
        job->cipher_mode = IMB_CIPHER_NULL;
        job->cipher_direction = IMB_DIR_ENCRYPT;
        job->chain_order = IMB_ORDER_HASH_CIPHER;
        job->hash_alg = IMB_AUTH_MD5;
        job->src = buffers.buffer(b) + at;
        job->hash_start_src_offset_in_bytes = 0;
        job->msg_len_to_hash_in_bytes = jobSize;
        job->auth_tag_output = tags[b];
        job->auth_tag_output_len_in_bytes = 12;
        job->u.HMAC._hashed_auth_key_xor_ipad = ipad;
        job->u.HMAC._hashed_auth_key_xor_opad = opad;
        if (IMB_SUBMIT_JOB(mgr) != nullptr && imb_get_errno(mgr) != 0) {
          state.SkipWithError(imb_get_strerror(imb_get_errno(mgr)));
        }
      }
    }
    while (IMB_FLUSH_JOB(mgr) != nullptr) {
    }
    benchmark::DoNotOptimize(tags);
  }
  state.SetLabel(arch == IMB_ARCH_AVX512 ? "avx512" : arch == IMB_ARCH_AVX2 ? "avx2" : "other");
  free_mb_mgr(mgr);
  buffers.Count(state);
}
BENCHMARK(BM_IpsecMbHmacMd5)->Arg(16 << 10)->Arg(1 << 20);
#endif

}  // namespace

int main(int argc, char** argv) {
  // BM_Md5Many/<version>/<buffer size>, for every version the CPU has.
  for (tarvel::Md5Kernel kernel : tarvel::kAllMd5Kernels) {
    if (!tarvel::Md5KernelSupported(kernel)) continue;
    const std::string name = "BM_Md5Many/" + std::string(tarvel::Md5KernelName(kernel));
    benchmark::RegisterBenchmark(name.c_str(), Md5Many, kernel)->Arg(16 << 10)->Arg(1 << 20);
  }
  // BM_Md5BusyLanes/<version>/<busy lanes>: the throughput of all busy lanes
  // together, for every version the CPU has.
  for (tarvel::Md5Kernel kernel : tarvel::kAllMd5Kernels) {
    if (!tarvel::Md5KernelSupported(kernel)) continue;
    const std::string name = "BM_Md5BusyLanes/" + std::string(tarvel::Md5KernelName(kernel));
    auto* b = benchmark::RegisterBenchmark(name.c_str(), Md5BusyLanes, kernel);
    for (int busy : {1, 2, 3, 5, 8, 16}) b->Arg(busy);
  }
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
