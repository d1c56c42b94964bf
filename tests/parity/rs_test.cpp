// SPDX-License-Identifier: GPL-3.0-or-later
// The parity matrix: the coefficient rule, parity bytes of small sets, the
// recovery matrices of the worked examples, randomized create-and-restore
// round trips, and the choices of volumes that cannot work.
#include "parity/rs.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <random>
#include <string>
#include <vector>

namespace tarvel {
namespace {

using Chunk = std::vector<std::uint8_t>;

// One matrix for the whole program, as in the application: 19 MB of blocks.
ParityMatrix& Matrix() {
  static ParityMatrix* matrix = new ParityMatrix;
  return *matrix;
}

void Load(std::uint8_t* row, const Chunk& chunk) { std::memcpy(row, chunk.data(), chunk.size()); }

void Scribble(std::uint8_t* row) { std::memset(row, 0xEE, kChunkSize); }

// Plans the restore of the `missing` positions of 1..n from the usable
// `volumes` (numbers past kMaxParityVolumes included, which must be ignored).
RecoveryPlan Prepare(ParityMatrix& pm, int n, const std::vector<int>& missing,
                     const std::vector<int>& volumes) {
  std::array<bool, kMaxParityFiles + 1> fileOk{};
  std::array<bool, kMaxParityFiles + 1> volumeUsable{};
  std::fill_n(fileOk.begin(), n, true);
  for (int k : missing) fileOk[k - 1] = false;
  for (int v : volumes) volumeUsable[v - 1] = true;
  return pm.PrepareRecovery(std::span(fileOk).first(n), volumeUsable);
}

std::vector<RegionKernel> SupportedKernels() {
  std::vector<RegionKernel> kernels;
  for (RegionKernel k : kAllRegionKernels) {
    if (RegionKernelSupported(k)) kernels.push_back(k);
  }
  return kernels;
}

TEST(ParityMatrixTest, CoefficientRule) {
  ParityMatrix& pm = Matrix();
  pm.SetupParity();
  const int row1[] = {1, 2, 3, 4, 5};
  const int row2[] = {1, 4, 5, 16, 17};
  for (int m = 0; m < 5; ++m) {
    EXPECT_EQ(pm.Coefficient(1, m), row1[m]);
    EXPECT_EQ(pm.Coefficient(2, m), row2[m]);
  }
  for (int e = 0; e < kMaxParityVolumes; ++e) {
    for (int m = 0; m < kMaxParityFiles; ++m) {
      ASSERT_EQ(pm.Coefficient(e, m), e == 0 ? 1 : pm.Field().GfPow(m + 1, e)) << e << "," << m;
    }
  }
}

TEST(ParityMatrixTest, SmallSetsWithEveryKernel) {
  ParityMatrix& pm = Matrix();
  pm.SetupParity();
  for (RegionKernel kernel : SupportedKernels()) {
    SCOPED_TRACE(std::string(RegionKernelName(kernel)));
    pm.UseKernel(kernel);
    ASSERT_EQ(pm.Kernel(), kernel);

    // abc and xy: the missing third byte of xy counts as 0, and so does
    // everything past the longest file.  Output rows are overwritten.
    pm.ClearBlocks();
    std::memcpy(pm.DataRow(1), "abc", 3);
    std::memcpy(pm.DataRow(2), "xy", 2);
    Scribble(pm.ParityRow(1));
    Scribble(pm.ParityRow(2));
    pm.ComputeParity(2, 2);
    const std::uint8_t* p1 = pm.ParityRow(1);
    const std::uint8_t* p2 = pm.ParityRow(2);
    EXPECT_EQ((Chunk{p1, p1 + 3}), (Chunk{25, 27, 99}));
    EXPECT_EQ((Chunk{p2, p2 + 3}), (Chunk{145, 144, 99}));
    EXPECT_TRUE(std::all_of(p1 + 3, p1 + kChunkSize, [](auto b) { return b == 0; }));
    EXPECT_TRUE(std::all_of(p2 + 3, p2 + kChunkSize, [](auto b) { return b == 0; }));
    const Chunk vol1(p1, p1 + kChunkSize), vol2(p2, p2 + kChunkSize);

    // Restore both from volumes 1 and 2.
    ASSERT_EQ(Prepare(pm, 2, {1, 2}, {1, 2}).result, RecoveryResult::kOk);
    Load(pm.DataRow(0), vol1);
    Load(pm.DataRow(1), vol2);
    Scribble(pm.ParityRow(0));
    Scribble(pm.ParityRow(1));
    pm.ApplyRecovery();
    EXPECT_EQ((Chunk{pm.ParityRow(0), pm.ParityRow(0) + 4}), (Chunk{'a', 'b', 'c', 0}));
    EXPECT_EQ((Chunk{pm.ParityRow(1), pm.ParityRow(1) + 3}), (Chunk{120, 121, 0}));

    // Two files of the single byte 1, three volumes.
    pm.ClearBlocks();
    pm.DataRow(1)[0] = 1;
    pm.DataRow(2)[0] = 1;
    pm.ComputeParity(2, 3);
    EXPECT_EQ(pm.ParityRow(1)[0], 0);
    EXPECT_EQ(pm.ParityRow(2)[0], 3);
    EXPECT_EQ(pm.ParityRow(3)[0], 5);
    EXPECT_EQ(pm.ParityRow(4)[0], 0);  // not asked for, not written
  }
  pm.UseKernel(BestRegionKernel());
}

struct WorkedExample {
  int fileCount;
  std::vector<int> missing;
  std::vector<int> usable;
  std::vector<RowSource> sources;
  std::vector<std::vector<int>> matrix;
};

TEST(ParityMatrixTest, RecoveryMatricesOfTheWorkedExamples) {
  const WorkedExample examples[] = {
      {3, {2}, {1, 2}, {{1, 0}, {0, 1}, {3, 0}}, {{1, 1, 1}}},
      {2, {1, 2}, {1, 2}, {{0, 1}, {0, 2}}, {{245, 244}, {244, 244}}},
      {3, {1, 3}, {2, 3}, {{0, 2}, {2, 0}, {0, 3}}, {{143, 1, 142}, {122, 1, 122}}},
      // Positions 3 and 5 of 5 missing: volumes 1 and 2 are used, 3 is not.
      {5, {3, 5}, {1, 2, 3}, {{1, 0}, {2, 0}, {0, 1}, {4, 0}, {0, 2}}, {}},
  };
  ParityMatrix& pm = Matrix();
  pm.SetupParity();
  for (const WorkedExample& ex : examples) {
    const RecoveryPlan plan = Prepare(pm, ex.fileCount, ex.missing, ex.usable);
    ASSERT_EQ(plan.result, RecoveryResult::kOk);
    ASSERT_EQ(plan.rows.size(), static_cast<std::size_t>(ex.fileCount));
    ASSERT_EQ(plan.missing, ex.missing);
    for (int r = 0; r < ex.fileCount; ++r) {
      EXPECT_EQ(plan.rows[r].file, ex.sources[r].file) << r;
      EXPECT_EQ(plan.rows[r].volume, ex.sources[r].volume) << r;
    }
    for (std::size_t i = 0; i < ex.missing.size(); ++i) {
      for (std::size_t x = 0; x < ex.matrix.size() && x < ex.matrix[i].size(); ++x) {
        EXPECT_EQ(pm.RecoveryCoefficient(static_cast<int>(i), static_cast<int>(x)), ex.matrix[i][x])
            << i << "," << x;
      }
    }
  }
}

// Rank of the equations of `volumes` restricted to the `missing` positions,
// worked out independently of the matrix's own choice.
int RestrictedRank(const GaloisField& gf, const std::vector<int>& missing,
                   const std::vector<int>& volumes) {
  std::vector<std::vector<std::uint8_t>> rows;
  for (int v : volumes) {
    std::vector<std::uint8_t> row;
    for (int f : missing) row.push_back(gf.GfPow(f, v - 1));
    rows.push_back(row);
  }
  int rank = 0;
  for (std::size_t col = 0; col < missing.size() && rank < static_cast<int>(rows.size()); ++col) {
    auto it = std::find_if(rows.begin() + rank, rows.end(), [&](auto& r) { return r[col] != 0; });
    if (it == rows.end()) continue;
    std::swap(*it, rows[rank]);
    for (std::size_t r = 0; r < rows.size(); ++r) {
      if (static_cast<int>(r) == rank || rows[r][col] == 0) continue;
      const std::uint8_t factor = gf.GfDiv(rows[r][col], rows[rank][col]);
      for (std::size_t c = 0; c < missing.size(); ++c) {
        rows[r][c] ^= gf.GfMul(factor, rows[rank][c]);
      }
    }
    ++rank;
  }
  return rank;
}

// Creates parity for `n` random files, then restores `missing` from the
// usable `volumes` and checks every rebuilt byte.  Returns the plan of
// PrepareRecovery; on failure checks that nothing was written.
RecoveryPlan RoundTrip(ParityMatrix& pm, std::mt19937& rng, int n, int parityCount,
                       const std::vector<int>& missing, const std::vector<int>& volumes) {
  std::vector<Chunk> files(n + 1), parity(parityCount + 1);
  for (int f = 1; f <= n; ++f) {
    // Some files end inside the chunk; the rest of their row is zero.
    const int length = rng() % 4 == 0 ? static_cast<int>(rng() % kChunkSize) : kChunkSize;
    for (int i = 0; i < length; ++i) pm.DataRow(f)[i] = static_cast<std::uint8_t>(rng());
    pm.ClearDataRowFrom(f, length);
    files[f].assign(pm.DataRow(f), pm.DataRow(f) + kChunkSize);
  }
  pm.ComputeParity(n, parityCount);
  for (int v = 1; v <= parityCount; ++v) {
    parity[v].assign(pm.ParityRow(v), pm.ParityRow(v) + kChunkSize);
  }

  for (int i = 0; i < static_cast<int>(missing.size()); ++i) Scribble(pm.ParityRow(i));
  const RecoveryPlan plan = Prepare(pm, n, missing, volumes);
  if (plan.result != RecoveryResult::kOk) {
    pm.ApplyRecovery();  // must write nothing
    for (int i = 0; i < static_cast<int>(missing.size()); ++i) {
      EXPECT_TRUE(std::all_of(pm.ParityRow(i), pm.ParityRow(i) + kChunkSize,
                              [](auto b) { return b == 0xEE; }));
    }
    EXPECT_TRUE(plan.rows.empty());
    EXPECT_TRUE(plan.missing.empty());
    return plan;
  }
  EXPECT_EQ(plan.missing, missing);
  EXPECT_EQ(plan.rows.size(), static_cast<std::size_t>(n));
  for (int r = 0; r < n; ++r) {
    const RowSource& source = plan.rows[r];
    EXPECT_NE(source.file == 0, source.volume == 0) << r;
    if (source.file != 0) {
      EXPECT_EQ(source.file, r + 1);
      Load(pm.DataRow(r), files[source.file]);
    } else {
      EXPECT_TRUE(std::find(volumes.begin(), volumes.end(), source.volume) != volumes.end());
      Load(pm.DataRow(r), parity[source.volume]);
    }
  }
  pm.ApplyRecovery();
  for (std::size_t i = 0; i < plan.missing.size(); ++i) {
    const int position = plan.missing[i];
    EXPECT_TRUE(std::equal(files[position].begin(), files[position].end(),
                           pm.ParityRow(static_cast<int>(i))))
        << "position " << position;
  }
  return plan;
}

TEST(ParityMatrixTest, RandomizedRoundTrips) {
  ParityMatrix& pm = Matrix();
  pm.SetupParity();
  std::mt19937 rng(20261208);
  const std::vector<RegionKernel> kernels = SupportedKernels();
  for (int iteration = 0; iteration < 24; ++iteration) {
    // The scalar loop is the slow one: give it the smaller sets.
    const RegionKernel kernel = kernels[iteration % kernels.size()];
    pm.UseKernel(kernel);
    const int n = kernel == RegionKernel::kScalar ? 1 + static_cast<int>(rng() % 40)
                                                  : 1 + static_cast<int>(rng() % 251);
    const int parityCount = 1 + static_cast<int>(rng() % std::min(n, 12));
    const int m = 1 + static_cast<int>(rng() % parityCount);
    std::vector<int> positions(n);
    for (int k = 0; k < n; ++k) positions[k] = k + 1;
    std::shuffle(positions.begin(), positions.end(), rng);
    std::vector<int> missing(positions.begin(), positions.begin() + m);
    std::sort(missing.begin(), missing.end());

    // Consecutive volume numbers always solve; any other pattern must
    // solve exactly when the usable volumes have enough independent
    // equations among them.
    const int first = 1 + static_cast<int>(rng() % (parityCount - m + 1));
    std::vector<int> volumes;
    if (iteration % 2 == 0) {
      for (int v = first; v < first + m; ++v) volumes.push_back(v);
    } else {
      for (int v = 1; v <= parityCount; ++v) {
        if (rng() % 3 != 0) volumes.push_back(v);
      }
    }
    SCOPED_TRACE(std::string(RegionKernelName(kernel)) + " n=" + std::to_string(n) +
                 " m=" + std::to_string(m) + " volumes=" + std::to_string(volumes.size()));
    const RecoveryResult result = RoundTrip(pm, rng, n, parityCount, missing, volumes).result;
    if (static_cast<int>(volumes.size()) < m) {
      EXPECT_EQ(result, RecoveryResult::kNotEnoughVolumes);
    } else if (RestrictedRank(pm.Field(), missing, volumes) < m) {
      EXPECT_EQ(result, RecoveryResult::kSingular);
    } else {
      EXPECT_EQ(result, RecoveryResult::kOk);
    }
  }
  pm.UseKernel(BestRegionKernel());
}

TEST(ParityMatrixTest, SingularChoicesAndLimits) {
  ParityMatrix& pm = Matrix();
  pm.SetupParity();
  std::mt19937 rng(7);
  // 3^3 = 100^3 = 15: volumes 1 and 4 give the same equation twice.
  EXPECT_EQ(RoundTrip(pm, rng, 100, 5, {3, 100}, {1, 4}).result, RecoveryResult::kSingular);
  // With volume 5 as well, 4 is skipped and 1 and 5 rebuild the files.
  RecoveryPlan plan = RoundTrip(pm, rng, 100, 5, {3, 100}, {1, 4, 5});
  ASSERT_EQ(plan.result, RecoveryResult::kOk);
  EXPECT_EQ(plan.rows[2].volume, 1);
  EXPECT_EQ(plan.rows[99].volume, 5);
  // Lowest volumes independent: taken as they are, even when not consecutive.
  plan = RoundTrip(pm, rng, 100, 5, {3, 100}, {2, 4, 5});
  ASSERT_EQ(plan.result, RecoveryResult::kOk);
  EXPECT_EQ(plan.rows[2].volume, 2);
  EXPECT_EQ(plan.rows[99].volume, 4);

  EXPECT_EQ(RoundTrip(pm, rng, 10, 3, {1, 2, 3}, {1, 3}).result, RecoveryResult::kNotEnoughVolumes);

  std::vector<int> allVolumes(kMaxParityVolumes), firstMissing(kMaxParityVolumes + 1);
  for (int v = 1; v <= kMaxParityVolumes; ++v) allVolumes[v - 1] = v;
  for (int k = 1; k <= kMaxParityVolumes + 1; ++k) firstMissing[k - 1] = k;
  EXPECT_EQ(Prepare(pm, kMaxRecoverFiles + 1, {}, allVolumes).result,
            RecoveryResult::kTooManyFiles);
  // 129 missing files would need 129 volumes; only 1..128 exist.
  std::vector<int> pastTheLast = allVolumes;
  pastTheLast.insert(pastTheLast.end(), {kMaxParityVolumes + 1, 200});
  EXPECT_EQ(Prepare(pm, kMaxParityVolumes + 1, firstMissing, pastTheLast).result,
            RecoveryResult::kNotEnoughVolumes);
  // Nothing missing: every row is its own file and nothing is rebuilt.
  plan = Prepare(pm, 5, {}, allVolumes);
  EXPECT_EQ(plan.result, RecoveryResult::kOk);
  EXPECT_TRUE(plan.missing.empty());
  ASSERT_EQ(plan.rows.size(), 5u);
  EXPECT_EQ(plan.rows[4].file, 5);
}

}  // namespace
}  // namespace tarvel
