#include "parity/rs.h"

#include <algorithm>
#include <cstring>
#include <new>

namespace tarvel {
namespace {

constexpr int kDataRows = 256;
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

  std::uint8_t* Row(int r) { return blocks.get() + static_cast<std::size_t>(r) * kRowStride; }
};

ParityMatrix::ParityMatrix() : impl_(std::make_unique<Impl>()) {
  impl_->blocks.reset(new (kRowAlignment) std::uint8_t[kBlockBytes]);
  SetupParity();
}

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

void ParityMatrix::ClearBlocks() { std::memset(impl_->blocks.get(), 0, kBlockBytes); }

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

RecoveryResult ParityMatrix::PrepareRecovery(int fileCount) {
  Impl& m = *impl_;
  const GaloisField& gf = m.field;
  m.recoveryReady = false;
  std::fill(std::begin(RowSources), std::end(RowSources), RowSource{});
  std::memset(MissingFiles, 0, sizeof MissingFiles);
  RowSourceCount = 0;
  MissingCount = 0;
  std::memset(m.RecoveryMatrix, 0, sizeof m.RecoveryMatrix);

  const int n = std::max(fileCount, 0);
  if (n > kMaxRecoverFiles) return RecoveryResult::kTooManyFiles;

  int missing = 0;
  for (int k = 1; k <= n; ++k) {
    if (FileOkFlags[k] == 0) MissingFiles[missing++] = k;
  }
  MissingCount = missing;

  // Choose the volumes.  Each usable volume's equation, restricted to the
  // missing positions, is reduced against those already taken; a volume is
  // taken when something is left.  When the lowest usable volumes are
  // independent this takes exactly them.  Only volumes 1..128 exist in a set,
  // which also bounds the rows of rebuilt chunks to the ParityBlock.
  if (missing > kMaxParityVolumes) return RecoveryResult::kNotEnoughVolumes;
  int chosen = 0;
  std::uint8_t equation[kMaxParityVolumes];
  for (int v = 1; v <= kMaxParityVolumes && chosen < missing; ++v) {
    if (VolumeUsableFlags[v] == 0) continue;
    for (int t = 0; t < missing; ++t) equation[t] = gf.PowTable[MissingFiles[t]][v - 1];
    for (int b = 0; b < chosen; ++b) {
      const std::uint8_t factor = equation[m.BasisPivot[b]];
      if (factor == 0) continue;
      for (int t = 0; t < missing; ++t) equation[t] ^= gf.MulTable[m.Basis[b][t]][factor];
    }
    int pivot = 0;
    while (pivot < missing && equation[pivot] == 0) ++pivot;
    if (pivot == missing) continue;  // depends on the volumes already taken
    const std::uint8_t scale = equation[pivot];
    for (int t = 0; t < missing; ++t) m.Basis[chosen][t] = gf.DivTable[equation[t]][scale];
    m.BasisPivot[chosen] = pivot;
    m.ChosenVolumes[chosen++] = v;
  }
  if (chosen < missing) {
    int usable = 0;
    for (int v = 1; v <= kMaxParityVolumes; ++v) usable += VolumeUsableFlags[v] != 0 ? 1 : 0;
    return usable < missing ? RecoveryResult::kNotEnoughVolumes : RecoveryResult::kSingular;
  }

  // Sources: present files stand for themselves, the chosen volumes in
  // ascending order for the missing positions in ascending order.
  for (int k = 1, next = 0; k <= n; ++k) {
    if (FileOkFlags[k] != 0) {
      RowSources[k - 1].file = k;
    } else {
      RowSources[k - 1].volume = m.ChosenVolumes[next++];
    }
  }
  RowSourceCount = n;

  // The equations: row t is the full coefficient row of the t-th volume,
  // equal to the content of the DataBlock row that will hold that volume.
  std::memset(m.SolveLeft, 0, sizeof m.SolveLeft);
  std::memset(m.SolveRight, 0, sizeof m.SolveRight);
  for (int l = 0, t = 0; l < n; ++l) {
    const int v = RowSources[l].volume;
    if (v == 0) continue;
    for (int x = 0; x < n; ++x) m.SolveLeft[t][x] = gf.PowTable[x + 1][v - 1];
    m.SolveRight[t][l] = 1;
    ++t;
  }
  // Known files move to the right-hand side.
  for (int l = 0; l < n; ++l) {
    const int k = RowSources[l].file;
    if (k == 0) continue;
    for (int t = 0; t < missing; ++t) {
      m.SolveRight[t][k - 1] ^= m.SolveLeft[t][k - 1];
      m.SolveLeft[t][k - 1] = 0;
    }
  }
  // Gauss-Jordan elimination in row order without row exchanges.  With
  // independent equations every row finds a pivot; the searches stay inside
  // the system all the same, and a miss refuses the recovery.
  for (int r = 0; r < missing; ++r) {
    int c = 0;
    while (c < n && m.SolveLeft[r][c] == 0) ++c;
    if (c == n) return RecoveryResult::kSingular;
    const std::uint8_t pivot = m.SolveLeft[r][c];
    for (int x = 0; x < n; ++x) {
      m.SolveLeft[r][x] = gf.DivTable[m.SolveLeft[r][x]][pivot];
      m.SolveRight[r][x] = gf.DivTable[m.SolveRight[r][x]][pivot];
    }
    for (int u = 0; u < missing; ++u) {
      if (u == r) continue;
      const std::uint8_t factor = m.SolveLeft[u][c];
      for (int x = 0; x < n; ++x) {
        m.SolveLeft[u][x] ^= gf.MulTable[m.SolveLeft[r][x]][factor];
        m.SolveRight[u][x] ^= gf.MulTable[m.SolveRight[r][x]][factor];
      }
    }
  }
  for (int i = 0; i < missing; ++i) {
    const int k = MissingFiles[i];
    int r = 0;
    while (r < missing && m.SolveLeft[r][k - 1] == 0) ++r;
    if (r == missing) {
      std::memset(m.RecoveryMatrix, 0, sizeof m.RecoveryMatrix);
      return RecoveryResult::kSingular;
    }
    std::memcpy(m.RecoveryMatrix[i], m.SolveRight[r], static_cast<std::size_t>(n));
  }

  m.recoveryReady = true;
  m.recoveryWidth = n;
  m.recoveryCount = missing;
  return RecoveryResult::kOk;
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
