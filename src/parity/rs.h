// SPDX-License-Identifier: GPL-3.0-or-later
// Reed-Solomon parity over GF(2^8): the coefficient rule, the chunk buffers,
// parity computation for creating a set and the recovery system for
// restoring files.  No file input or output happens here: the engine loads
// chunks into the blocks, calls, and takes the results out.
//
// THIS HEADER IS THE CONTRACT THE ENGINE BUILDS ON.  Names and meanings stay;
// the implementation behind them (kernels, layout, alignment) is free.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <vector>

#include "parity/gf.h"
#include "parity/region.h"

namespace tarvel {

constexpr int kChunkSize = 50000;       // bytes of a file or volume per pass
constexpr int kMaxParityFiles = 255;    // data rows usable for computing parity
constexpr int kMaxParityVolumes = 128;  // parity rows usable
constexpr int kMaxRecoverFiles = 251;   // width of the recovery system

struct RowSource {
  std::int32_t file = 0;    // file position 1..N held in this row, or 0
  std::int32_t volume = 0;  // parity volume number held in this row, or 0
};

enum class RecoveryResult {
  kOk,
  kTooManyFiles,      // more than kMaxRecoverFiles files in parity
  kNotEnoughVolumes,  // fewer usable volumes than missing files
  kSingular,          // no choice among the usable volumes gives a solvable system
};

// What PrepareRecovery chose for restoring N files in parity.
struct RecoveryPlan {
  RecoveryResult result = RecoveryResult::kOk;
  // kOk: what ApplyRecovery expects in DataRow(r), r = 0..N-1: the chunk of
  // file position r + 1 when it is present, otherwise that of the volume
  // standing in for it.  Empty on anything but kOk.
  std::vector<RowSource> rows;
  // kOk: the missing file positions (1..N), ascending, in the order the
  // rebuilt chunks come out: ApplyRecovery writes that of missing[i] to
  // ParityRow(i).  Empty on anything but kOk.
  std::vector<int> missing;
};

class ParityMatrix {
 public:
  // Allocates every table once; the blocks of rows once, when a row is
  // first asked for (DataRow, ParityRow, ComputeParity, ApplyRecovery).
  ParityMatrix();
  ~ParityMatrix();
  ParityMatrix(const ParityMatrix&) = delete;
  ParityMatrix& operator=(const ParityMatrix&) = delete;

  // Builds the field tables and CoefficientTable and clears the blocks.
  void SetupParity();
  // Sets every byte of every DataBlock and ParityBlock row to zero.
  //
  // Callers that load whole rows need not clear at all: ComputeParity and
  // ApplyRecovery read only the data rows they name and overwrite every byte
  // of their output rows.  A caller that loads a short, last chunk zeroes the
  // rest of the row with ClearDataRowFrom instead of clearing 19 MB.
  void ClearBlocks();
  // Sets bytes from..kChunkSize-1 of DataRow(r) to zero.
  // REQUIRES: 0 <= r <= kMaxParityFiles, 0 <= from <= kChunkSize.
  void ClearDataRowFrom(int r, int from);

  // Row r of DataBlock (r = 0..kMaxParityFiles) and of ParityBlock
  // (r = 0..kMaxParityVolumes); each holds one chunk of kChunkSize bytes and
  // starts on a 64-byte boundary.
  std::uint8_t* DataRow(int r);
  std::uint8_t* ParityRow(int r);

  // Creating: DataRow(f) holds the chunk of file position f, f = 1..N.
  // Sets ParityRow(v), v = 1..P, to XOR over f of f^(v-1) * DataRow(f):
  // every byte of those rows is overwritten, nothing else is written.
  // REQUIRES: 0 <= N <= kMaxParityFiles, 0 <= P <= kMaxParityVolumes.
  void ComputeParity(int fileCount, int parityCount);

  // Restoring.  fileOk[k - 1] says that file position k (1..N, N the size of
  // fileOk) holds the data listed for it; volumeUsable[v - 1] that parity
  // volume v can stand in for a missing one (volumes past its end cannot;
  // only volumes 1..kMaxParityVolumes exist in a set, entries past them are
  // not looked at).
  //
  // Chooses the volume that stands in for every missing position and solves
  // the system, which ApplyRecovery then applies.  The lowest usable volumes
  // are taken when their equations are independent; otherwise the usable
  // volumes are taken in ascending order, skipping each whose equation
  // depends on those already taken.  On anything but kOk no recovery may be
  // applied (ApplyRecovery then writes nothing).
  [[nodiscard]] RecoveryPlan PrepareRecovery(std::span<const bool> fileOk,
                                             std::span<const bool> volumeUsable);

  // DataRow(r) holds the chunk named by rows[r] of the last plan, r =
  // 0..N-1.  Sets ParityRow(i) to the rebuilt chunk of file position
  // missing[i], overwriting every byte of the rows 0..missing.size()-1.
  // REQUIRES: the last PrepareRecovery returned kOk.
  void ApplyRecovery();

  // RecoveryMatrix[i][x]: coefficient of DataRow(x) in missing file i.
  std::uint8_t RecoveryCoefficient(int i, int x) const;
  // CoefficientTable[e][m] = (m+1)^e.
  std::uint8_t Coefficient(int e, int m) const;

  // The field tables, rebuilt by SetupParity.
  const GaloisField& Field() const;

  // The region kernel that ComputeParity and ApplyRecovery use: the best one
  // the CPU has unless a test or benchmark forces another.  Every version
  // produces the same bytes.
  // REQUIRES: RegionKernelSupported(kernel).
  void UseKernel(RegionKernel kernel);
  RegionKernel Kernel() const;

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace tarvel
