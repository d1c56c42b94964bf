// SPDX-License-Identifier: GPL-3.0-or-later
#include "parity/rs.h"

#include <algorithm>
#include <cstring>
#include <new>

namespace tarvel {
namespace {

constexpr int kDataRows = kMaxParityFiles + 1;  // row 0 takes part in restoring only
constexpr int kParityRows = kMaxParityVolumes + 1;
// Rows start on 64-byte boundaries so that full vectors never split a cache
// line; the padding after each chunk is never written and stays zero.
constexpr std::size_t kRowStride = (kChunkSize + 63) / 64 * 64;
constexpr std::size_t kBlockBytes = static_cast<std::size_t>(kDataRows + kParityRows) * kRowStride;
constexpr std::align_val_t kRowAlignment{64};

struct AlignedFree {
  void operator()(std::uint8_t* p) const { ::operator delete[](p, kRowAlignment); }
};

}  // namespace

struct ParityMatrix::Impl {
  GaloisField field;
  // CoefficientTable[e][m] = (m + 1)^e: volume e + 1, position m + 1.
  std::uint8_t CoefficientTable[kMaxParityVolumes][kMaxParityFiles] = {};
  std::uint8_t SolveLeft[kMaxRecoverFiles][kMaxRecoverFiles] = {};
  std::uint8_t SolveRight[kMaxRecoverFiles][kMaxRecoverFiles] = {};
  std::uint8_t RecoveryMatrix[kMaxRecoverFiles][kMaxRecoverFiles] = {};
  // Restricted equations of the volumes taken so far while choosing volumes.
  std::uint8_t Basis[kMaxParityVolumes][kMaxParityVolumes] = {};
  std::int32_t BasisPivot[kMaxParityVolumes] = {};
  std::int32_t ChosenVolumes[kMaxParityVolumes] = {};

  std::unique_ptr<std::uint8_t[], AlignedFree> blocks;
  const std::uint8_t* srcRows[kDataRows] = {};
  std::uint8_t* dstRows[kParityRows] = {};

  RegionKernel kernel = BestRegionKernel();
  bool recoveryReady = false;
  int recoveryWidth = 0;  // N and M of the last successful PrepareRecovery
  int recoveryCount = 0;

  // The blocks are made, zeroed, when a row is first asked for: the
  // engine's passes hold their own rounds of rows, and an action that never
  // asks for a row never has the 19 MB.
  std::uint8_t* Row(int r) {
    if (!blocks) {
      blocks.reset(new (kRowAlignment) std::uint8_t[kBlockBytes]);
      std::memset(blocks.get(), 0, kBlockBytes);
    }
    return blocks.get() + static_cast<std::size_t>(r) * kRowStride;
  }

  // The steps of PrepareRecovery.
  RecoveryResult ChooseVolumes(std::span<const int> missing, std::span<const bool> volumeUsable);
  void SetUpEquations(std::span<const RowSource> rows, int missingCount);
  bool Eliminate(int width, int missingCount);
  bool TakeRecoveryRows(std::span<const int> missing, int width);
};

namespace {

// The positions 1..N whose files are missing, ascending.
std::vector<int> MissingPositions(std::span<const bool> fileOk) {
  std::vector<int> missing;
  for (std::size_t k = 1; k <= fileOk.size(); ++k) {
    if (!fileOk[k - 1]) missing.push_back(static_cast<int>(k));
  }
  return missing;
}

// Present files stand for themselves, the chosen volumes in ascending order
// for the missing positions in ascending order.
std::vector<RowSource> AssignRows(std::span<const bool> fileOk,
                                  std::span<const std::int32_t> chosenVolumes) {
  std::vector<RowSource> rows(fileOk.size());
  for (std::size_t k = 1, next = 0; k <= fileOk.size(); ++k) {
    if (fileOk[k - 1]) {
      rows[k - 1].file = static_cast<std::int32_t>(k);
    } else {
      rows[k - 1].volume = chosenVolumes[next++];
    }
  }
  return rows;
}

}  // namespace

ParityMatrix::ParityMatrix() : impl_(std::make_unique<Impl>()) { SetupParity(); }

ParityMatrix::~ParityMatrix() = default;

void ParityMatrix::SetupParity() {
  ClearBlocks();
  GaloisField& field = impl_->field;
  field.BuildLogTables();
  field.BuildProductTables();
  for (int e = 0; e < kMaxParityVolumes; ++e) {
    for (int m = 0; m < kMaxParityFiles; ++m) {
      impl_->CoefficientTable[e][m] = field.PowTable[m + 1][e];
    }
  }
}

void ParityMatrix::ClearBlocks() {
  if (impl_->blocks) std::memset(impl_->blocks.get(), 0, kBlockBytes);  // else zero when made
}

void ParityMatrix::ClearDataRowFrom(int r, int from) {
  from = std::clamp(from, 0, kChunkSize);
  std::memset(DataRow(r) + from, 0, static_cast<std::size_t>(kChunkSize - from));
}

std::uint8_t* ParityMatrix::DataRow(int r) { return impl_->Row(r); }

std::uint8_t* ParityMatrix::ParityRow(int r) { return impl_->Row(kDataRows + r); }

void ParityMatrix::ComputeParity(int fileCount, int parityCount) {
  const int n = std::clamp(fileCount, 0, kMaxParityFiles);
  const int p = std::clamp(parityCount, 0, kMaxParityVolumes);
  for (int f = 1; f <= n; ++f) impl_->srcRows[f - 1] = DataRow(f);
  for (int v = 1; v <= p; ++v) impl_->dstRows[v - 1] = ParityRow(v);
  RegionJob job;
  job.mulTable = impl_->field.MulTable;
  job.length = kChunkSize;
  job.srcCount = n;
  job.src = impl_->srcRows;
  job.dstCount = p;
  job.dst = impl_->dstRows;
  job.coefs = &impl_->CoefficientTable[0][0];
  job.coefStride = kMaxParityFiles;
  job.accumulate = false;
  RunRegionJob(impl_->kernel, job);
}

// Each usable volume's equation, restricted to the missing positions, is
// reduced against those already taken; a volume is taken when something is
// left.  When the lowest usable volumes are independent this takes exactly
// them.  Only volumes 1..kMaxParityVolumes exist in a set, which also bounds
// the rows of rebuilt chunks to the ParityBlock.  Fills ChosenVolumes.
RecoveryResult ParityMatrix::Impl::ChooseVolumes(std::span<const int> missing,
                                                 std::span<const bool> volumeUsable) {
  const GaloisField& gf = field;
  const int count = static_cast<int>(missing.size());
  if (count > kMaxParityVolumes) return RecoveryResult::kNotEnoughVolumes;
  const auto usable = [&](int v) {
    return static_cast<std::size_t>(v) <= volumeUsable.size() && volumeUsable[v - 1];
  };
  int chosen = 0;
  std::uint8_t equation[kMaxParityVolumes];
  for (int v = 1; v <= kMaxParityVolumes && chosen < count; ++v) {
    if (!usable(v)) continue;
    for (int t = 0; t < count; ++t) equation[t] = gf.PowTable[missing[t]][v - 1];
    for (int b = 0; b < chosen; ++b) {
      const std::uint8_t factor = equation[BasisPivot[b]];
      if (factor == 0) continue;
      for (int t = 0; t < count; ++t) equation[t] ^= gf.MulTable[Basis[b][t]][factor];
    }
    int pivot = 0;
    while (pivot < count && equation[pivot] == 0) ++pivot;
    if (pivot == count) continue;  // depends on the volumes already taken
    const std::uint8_t scale = equation[pivot];
    for (int t = 0; t < count; ++t) Basis[chosen][t] = gf.DivTable[equation[t]][scale];
    BasisPivot[chosen] = pivot;
    ChosenVolumes[chosen++] = v;
  }
  if (chosen == count) return RecoveryResult::kOk;
  int usableCount = 0;
  for (int v = 1; v <= kMaxParityVolumes; ++v) usableCount += usable(v) ? 1 : 0;
  return usableCount < count ? RecoveryResult::kNotEnoughVolumes : RecoveryResult::kSingular;
}

// Row t of the system is the full coefficient row of the t-th volume, equal
// to the content of the DataBlock row that will hold that volume; the known
// files then move to the right-hand side.
void ParityMatrix::Impl::SetUpEquations(std::span<const RowSource> rows, int missingCount) {
  const GaloisField& gf = field;
  const int n = static_cast<int>(rows.size());
  std::memset(SolveLeft, 0, sizeof SolveLeft);
  std::memset(SolveRight, 0, sizeof SolveRight);
  for (int l = 0, t = 0; l < n; ++l) {
    const int v = rows[l].volume;
    if (v == 0) continue;
    for (int x = 0; x < n; ++x) SolveLeft[t][x] = gf.PowTable[x + 1][v - 1];
    SolveRight[t][l] = 1;
    ++t;
  }
  for (int l = 0; l < n; ++l) {
    const int k = rows[l].file;
    if (k == 0) continue;
    for (int t = 0; t < missingCount; ++t) {
      SolveRight[t][k - 1] ^= SolveLeft[t][k - 1];
      SolveLeft[t][k - 1] = 0;
    }
  }
}

// Gauss-Jordan elimination in row order without row exchanges.  With
// independent equations every row finds a pivot; the searches stay inside
// the system all the same, and a miss refuses the recovery.
bool ParityMatrix::Impl::Eliminate(int width, int missingCount) {
  const GaloisField& gf = field;
  for (int r = 0; r < missingCount; ++r) {
    int c = 0;
    while (c < width && SolveLeft[r][c] == 0) ++c;
    if (c == width) return false;
    const std::uint8_t pivot = SolveLeft[r][c];
    for (int x = 0; x < width; ++x) {
      SolveLeft[r][x] = gf.DivTable[SolveLeft[r][x]][pivot];
      SolveRight[r][x] = gf.DivTable[SolveRight[r][x]][pivot];
    }
    for (int u = 0; u < missingCount; ++u) {
      if (u == r) continue;
      const std::uint8_t factor = SolveLeft[u][c];
      for (int x = 0; x < width; ++x) {
        SolveLeft[u][x] ^= gf.MulTable[SolveLeft[r][x]][factor];
        SolveRight[u][x] ^= gf.MulTable[SolveRight[r][x]][factor];
      }
    }
  }
  return true;
}

// Row i of RecoveryMatrix is the solved row whose pivot is missing[i].
bool ParityMatrix::Impl::TakeRecoveryRows(std::span<const int> missing, int width) {
  const int count = static_cast<int>(missing.size());
  for (int i = 0; i < count; ++i) {
    const int k = missing[i];
    int r = 0;
    while (r < count && SolveLeft[r][k - 1] == 0) ++r;
    if (r == count) {
      std::memset(RecoveryMatrix, 0, sizeof RecoveryMatrix);
      return false;
    }
    std::memcpy(RecoveryMatrix[i], SolveRight[r], static_cast<std::size_t>(width));
  }
  return true;
}

RecoveryPlan ParityMatrix::PrepareRecovery(std::span<const bool> fileOk,
                                           std::span<const bool> volumeUsable) {
  Impl& m = *impl_;
  m.recoveryReady = false;
  std::memset(m.RecoveryMatrix, 0, sizeof m.RecoveryMatrix);
  if (fileOk.size() > static_cast<std::size_t>(kMaxRecoverFiles)) {
    return {RecoveryResult::kTooManyFiles, {}, {}};
  }
  const int n = static_cast<int>(fileOk.size());
  std::vector<int> missing = MissingPositions(fileOk);
  const int count = static_cast<int>(missing.size());

  const RecoveryResult chosen = m.ChooseVolumes(missing, volumeUsable);
  if (chosen != RecoveryResult::kOk) return {chosen, {}, {}};
  std::vector<RowSource> rows = AssignRows(fileOk, std::span(m.ChosenVolumes).first(count));
  m.SetUpEquations(rows, count);
  if (!m.Eliminate(n, count) || !m.TakeRecoveryRows(missing, n)) {
    return {RecoveryResult::kSingular, {}, {}};
  }

  m.recoveryReady = true;
  m.recoveryWidth = n;
  m.recoveryCount = count;
  return {RecoveryResult::kOk, std::move(rows), std::move(missing)};
}

void ParityMatrix::ApplyRecovery() {
  Impl& m = *impl_;
  if (!m.recoveryReady) return;
  for (int x = 0; x < m.recoveryWidth; ++x) m.srcRows[x] = DataRow(x);
  for (int i = 0; i < m.recoveryCount; ++i) m.dstRows[i] = ParityRow(i);
  RegionJob job;
  job.mulTable = m.field.MulTable;
  job.length = kChunkSize;
  job.srcCount = m.recoveryWidth;
  job.src = m.srcRows;
  job.dstCount = m.recoveryCount;
  job.dst = m.dstRows;
  job.coefs = &m.RecoveryMatrix[0][0];
  job.coefStride = kMaxRecoverFiles;
  job.accumulate = false;
  RunRegionJob(m.kernel, job);
}

std::uint8_t ParityMatrix::RecoveryCoefficient(int i, int x) const {
  return impl_->RecoveryMatrix[i][x];
}

std::uint8_t ParityMatrix::Coefficient(int e, int m) const { return impl_->CoefficientTable[e][m]; }

const GaloisField& ParityMatrix::Field() const { return impl_->field; }

void ParityMatrix::UseKernel(RegionKernel kernel) {
  impl_->kernel = RegionKernelSupported(kernel) ? kernel : RegionKernel::kScalar;
}

RegionKernel ParityMatrix::Kernel() const { return impl_->kernel; }

}  // namespace tarvel
