// SPDX-License-Identifier: GPL-3.0-or-later
// Protecting a generated tree: the first protect (every folder's sets
// written), beside the same sets made by one create after another, and a
// second protect with nothing changed (only the main volumes read).  Each reports the files per
// second and the bytes read through the file layer ("read_MB"), from the page cache.
//
//   build/bench/protect_bench [--benchmark_filter=...]
//   TARVEL_BENCH_DIR=/some/folder  (default: the temporary folder)
//   TARVEL_BENCH_FOLDERS=200       (folders of the tree, 20 to a parent)
//   TARVEL_BENCH_FILES=20          (files of each folder)
//   TARVEL_BENCH_KB=30             (size of each file)
#include <benchmark/benchmark.h>
#include <stdlib.h>

#include <atomic>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "bench_folder.h"
#include "engine/engine.h"
#include "silent_interaction.h"
#include "support/env_wrapper.h"

namespace tarvel {
namespace {

int Setting(const char* name, int otherwise) {
  const char* text = std::getenv(name);
  return text != nullptr ? std::atoi(text) : otherwise;
}

// Counts the bytes read from files.
class CountingEnv : public testing::EnvWrapper {
 public:
  std::atomic<std::int64_t> read{0};

 protected:
  class CountingFile : public testing::FileWrapper {
   public:
    CountingFile(std::unique_ptr<File> file, std::atomic<std::int64_t>& read)
        : FileWrapper(std::move(file)), read_(read) {}
    std::size_t ReadAt(std::int64_t offset, void* buffer, std::size_t n) override {
      const std::size_t got = FileWrapper::ReadAt(offset, buffer, n);
      read_ += static_cast<std::int64_t>(got);
      return got;
    }

   private:
    std::atomic<std::int64_t>& read_;
  };
  std::unique_ptr<File> WrapFile(std::unique_ptr<File> file) override {
    return std::make_unique<CountingFile>(std::move(file), read);
  }
};

struct BenchTree {
  std::string root;
  int files = 0;
  std::vector<std::vector<std::string>> folders;  // the paths of each folder's files

  BenchTree() {
    root = bench::MakeBenchFolder();
    const int folderCount = Setting("TARVEL_BENCH_FOLDERS", 200);
    const int perFolder = Setting("TARVEL_BENCH_FILES", 20);
    const auto size = static_cast<std::size_t>(Setting("TARVEL_BENCH_KB", 30)) * 1000;
    std::vector<std::uint64_t> words(size / 8 + 1);
    std::uint64_t x = 0x9E3779B97F4A7C15ull;
    for (int f = 0; f < folderCount; ++f) {
      const std::string folder = root + "/p" + std::to_string(f / 20) + "/f" + std::to_string(f);
      std::filesystem::create_directories(folder);
      folders.emplace_back();
      for (int k = 0; k < perFolder; ++k) {
        for (auto& w : words) {  // xorshift64
          x ^= x << 13;
          x ^= x >> 7;
          x ^= x << 17;
          w = x;
        }
        folders.back().push_back(folder + "/file" + std::to_string(k) + ".bin");
        std::ofstream(folders.back().back(), std::ios::binary)
            .write(reinterpret_cast<const char*>(words.data()), static_cast<std::streamsize>(size));
        ++files;
      }
    }
  }
  ~BenchTree() { std::filesystem::remove_all(root); }

  // Every volume of the tree removed, so that the next protect starts anew.
  void RemoveVolumes() const {
    std::vector<std::filesystem::path> volumes;
    for (const auto& e : std::filesystem::recursive_directory_iterator(root)) {
      const std::string ext = e.path().extension().string();
      if (ext == ".PAR" || (ext.size() == 4 && ext[1] == 'P' && ext != ".bin")) {
        volumes.push_back(e.path());
      }
    }
    for (const auto& v : volumes) std::filesystem::remove(v);
  }
};

BenchTree& Tree() {
  static BenchTree tree;
  return tree;
}

void Run(benchmark::State& state, bool again) {
  BenchTree& tree = Tree();
  CountingEnv env;
  SilentInteraction ui;
  Engine engine(env, ui);
  const auto protect = [&] { engine.Protect(tree.root, {}, [](const FolderResult&) {}); };
  if (again) protect();
  std::int64_t read = 0;
  for (auto _ : state) {
    if (!again) {
      state.PauseTiming();
      tree.RemoveVolumes();
      state.ResumeTiming();
    }
    env.read = 0;
    protect();
    read = env.read;
  }
  state.counters["files_per_s"] = benchmark::Counter(static_cast<double>(tree.files),
                                                     benchmark::Counter::kIsIterationInvariantRate);
  state.counters["read_MB"] = static_cast<double>(read) / 1e6;
}

// The same sets made by one create after another, as a script would.
void BM_CreateEachFolder(benchmark::State& state) {
  BenchTree& tree = Tree();
  CountingEnv env;
  SilentInteraction ui;
  Engine engine(env, ui);
  std::int64_t read = 0;
  for (auto _ : state) {
    state.PauseTiming();
    tree.RemoveVolumes();
    state.ResumeTiming();
    env.read = 0;
    for (const std::vector<std::string>& paths : tree.folders) {
      (void)engine.Create(paths, {.onePass = true});
    }
    read = env.read;
  }
  state.counters["files_per_s"] = benchmark::Counter(static_cast<double>(tree.files),
                                                     benchmark::Counter::kIsIterationInvariantRate);
  state.counters["read_MB"] = static_cast<double>(read) / 1e6;
}

void BM_ProtectFirst(benchmark::State& state) { Run(state, false); }
void BM_ProtectUnchanged(benchmark::State& state) { Run(state, true); }

BENCHMARK(BM_CreateEachFolder)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_ProtectFirst)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_ProtectUnchanged)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
}  // namespace tarvel

BENCHMARK_MAIN();
