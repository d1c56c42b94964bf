// SPDX-License-Identifier: GPL-3.0-or-later
#include "checksum/md5_lanes.h"

#include <algorithm>
#include <cassert>
#include <cstring>

#include "checksum/md5_block.h"

namespace tarvel {
namespace {

using md5_detail::kMaxLanes;
static_assert(Md5Lanes::kLanes == kMaxLanes);

constexpr std::uint32_t kInitialState[4] = {0x67452301u, 0xefcdab89u, 0x98badcfeu, 0x10325476u};

// Slice of a long message that md5many feeds per round: long enough that a
// round is mostly hashing, short enough that lanes whose messages end early
// do not wait long for the others.
constexpr std::size_t kManySlice = 64 * 1024;

// One multi-lane block function and the lanes it advances.
struct Round {
  md5_detail::LanesFn fn = nullptr;
  int width = 0;
  // The time of one step, relative to one stream's block function, as
  // md5_bench's BusyLanes measures it (the same whatever lanes are busy).
  double cost = 1.0;
};

// The rounds of a version, narrowest first: a step over k busy lanes takes
// the narrowest that holds them all (or the widest, for more), since a wide
// round costs the same whether its lanes are busy or not.  One busy lane
// takes the one-stream block function (no round here).  Two busy lanes are
// faster in a round of 4 vector lanes than in two interleaved streams on the
// integer units, so the pair serves only the version without vectors.
struct Ladder {
  Round rounds[4];
  int count = 0;
};

Ladder LadderOf(Md5Kernel kernel) {
  const Round pair{md5_detail::HashLanesPair, 2, 1.95};
#if defined(TARVEL_X86_MD5_KERNELS)
  switch (kernel) {
    case Md5Kernel::kAvx2:
      return {{{md5_detail::HashLanesAvx2x4, 4, 1.6}, {md5_detail::HashLanesAvx2, 8, 1.7}}, 2};
    case Md5Kernel::kAvx512:
      return {{{md5_detail::HashLanesAvx512x4, 4, 1.35},
               {md5_detail::HashLanesAvx512x8, 8, 1.4},
               {md5_detail::HashLanesAvx512, 16, 2.0}},
              3};
    case Md5Kernel::kScalar:
      break;
  }
#else
  (void)kernel;
#endif
  return {{pair}, 1};
}

const Round& RoundFor(const Ladder& ladder, int busy) {
  for (int i = 0; i < ladder.count; ++i) {
    if (ladder.rounds[i].width >= busy) return ladder.rounds[i];
  }
  return ladder.rounds[ladder.count - 1];
}

Md5Kernel DetectBest() {
  for (Md5Kernel kernel : {Md5Kernel::kAvx512, Md5Kernel::kAvx2}) {
    if (Md5KernelSupported(kernel)) return kernel;
  }
  return Md5Kernel::kScalar;
}

void StoreLittle64(std::uint8_t* p, std::uint64_t v) {
  for (int i = 0; i < 8; ++i) p[i] = static_cast<std::uint8_t>(v >> (8 * i));
}

}  // namespace

std::string_view Md5KernelName(Md5Kernel kernel) {
  switch (kernel) {
    case Md5Kernel::kScalar:
      return "scalar";
    case Md5Kernel::kAvx2:
      return "avx2";
    case Md5Kernel::kAvx512:
      return "avx512";
  }
  return "unknown";
}

bool Md5KernelSupported(Md5Kernel kernel) {
  if (kernel == Md5Kernel::kScalar) return true;
#if defined(TARVEL_X86_MD5_KERNELS)
  // __builtin_cpu_supports also requires the OS to save the wide registers.
  __builtin_cpu_init();
  switch (kernel) {
    case Md5Kernel::kAvx2:
      return __builtin_cpu_supports("avx2");
    case Md5Kernel::kAvx512:
      return __builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512vl");
    case Md5Kernel::kScalar:
      break;
  }
#endif
  return false;
}

double Md5StepCost(Md5Kernel kernel, int busy) {
  if (busy <= 1) return busy <= 0 ? 0.0 : 1.0;
  const Ladder ladder = LadderOf(kernel);
  const Round& round = RoundFor(ladder, busy);
  return round.cost * ((busy + round.width - 1) / round.width);  // the widest takes turns
}

Md5Kernel BestMd5Kernel() {
  static const Md5Kernel best = DetectBest();
  return best;
}

Md5Lanes::Md5Lanes(Md5Kernel kernel) : kernel_(kernel) {
  assert(Md5KernelSupported(kernel));
  for (int lane = 0; lane < kLanes; ++lane) Restart(lane);
}

void Md5Lanes::Queue(int lane, const Entry& entry) {
  Lane& l = lanes_[lane];
  assert(lane >= 0 && lane < kLanes && l.queued < kMaxQueued && !l.ended);
  assert(l.queued == 0 || l.queue[l.queued - 1].kind != EntryKind::kEnd);
  l.queue[l.queued++] = entry;
}

void Md5Lanes::Feed(int lane, const void* data, std::size_t length) {
  if (length == 0) return;
  Queue(lane, {static_cast<const std::uint8_t*>(data), length, EntryKind::kData});
  lanes_[lane].length += length;
}

void Md5Lanes::MarkHead(int lane) { Queue(lane, {nullptr, 0, EntryKind::kMark}); }

void Md5Lanes::End(int lane) { Queue(lane, {nullptr, 0, EntryKind::kEnd}); }

bool Md5Lanes::Ended(int lane) const {
  const Lane& l = lanes_[lane];
  return l.ended && l.readyBlocks == 0;
}

std::uint64_t Md5Lanes::Length(int lane) const { return lanes_[lane].length; }

void Md5Lanes::Restart(int lane) {
  Lane& l = lanes_[lane];
  l.queued = l.taken = 0;
  l.in = l.ready = nullptr;
  l.inLeft = l.readyBlocks = l.buffered = 0;
  l.length = l.started = 0;
  l.ended = l.hasHead = false;
  StoreContext(lane, kInitialState);
}

void Md5Lanes::LoadContext(int lane, std::uint32_t out[4]) const {
  for (int w = 0; w < 4; ++w) out[w] = state_[w][lane];
}

void Md5Lanes::StoreContext(int lane, const std::uint32_t in[4]) {
  for (int w = 0; w < 4; ++w) state_[w][lane] = in[w];
}

md5digest Md5Lanes::Digest(int lane) {
  assert(Ended(lane));
  std::uint32_t words[4];
  LoadContext(lane, words);
  md5digest out;
  for (int w = 0; w < 4; ++w) {
    for (int i = 0; i < 4; ++i) out[4 * w + i] = static_cast<std::uint8_t>(words[w] >> (8 * i));
  }
  Restart(lane);
  return out;
}

md5digest Md5Lanes::HeadDigest(int lane) const {
  assert(lanes_[lane].hasHead);
  md5state ctx = lanes_[lane].head;
  md5digest out;
  md5final(ctx, out);
  return out;
}

md5state Md5Lanes::Save(int lane) const {
  assert(lanes_[lane].queued == 0 && !lanes_[lane].ended);
  return Context(lane);
}

md5state Md5Lanes::Context(int lane) const {
  const Lane& l = lanes_[lane];
  md5state ctx;
  LoadContext(lane, ctx.state);
  ctx.count[0] = static_cast<std::uint32_t>(l.started << 3);
  ctx.count[1] = static_cast<std::uint32_t>(l.started >> 29);
  std::memset(ctx.buffer, 0, sizeof ctx.buffer);
  std::memcpy(ctx.buffer, l.buffer, l.buffered);
  return ctx;
}

void Md5Lanes::Resume(int lane, const md5state& ctx) {
  Lane& l = lanes_[lane];
  assert(l.length == 0 && l.queued == 0 && !l.ended);
  StoreContext(lane, ctx.state);
  l.length = l.started = std::uint64_t{ctx.count[1]} << 29 | ctx.count[0] >> 3;
  l.buffered = l.started % 64;
  std::memcpy(l.buffer, ctx.buffer, l.buffered);
}

std::size_t Md5Lanes::Prepare(int lane) {
  Lane& l = lanes_[lane];
  while (l.readyBlocks == 0) {
    if (l.inLeft > 0) {
      if (l.buffered > 0 || l.inLeft < 64) {
        // Bytes join the partial block; a completed block is hashed from the
        // buffer, which is not touched again until it has been.
        const std::size_t take = std::min(64 - l.buffered, l.inLeft);
        std::memcpy(l.buffer + l.buffered, l.in, take);
        l.buffered += take;
        l.in += take;
        l.inLeft -= take;
        if (l.buffered == 64) {
          l.ready = l.buffer;
          l.readyBlocks = 1;
          l.buffered = 0;
        }
      } else {
        l.ready = l.in;
        l.readyBlocks = l.inLeft / 64;
        l.in += l.readyBlocks * 64;
        l.inLeft -= l.readyBlocks * 64;
      }
      continue;
    }
    if (l.ended || l.taken == l.queued) return 0;
    const Entry& e = l.queue[l.taken++];
    switch (e.kind) {
      case EntryKind::kData:
        l.in = e.data;
        l.inLeft = e.length;
        l.started += e.length;
        break;
      case EntryKind::kMark:
        // Every byte fed before the mark is hashed or waits in the buffer.
        l.head = Context(lane);
        l.hasHead = true;
        break;
      case EntryKind::kEnd: {
        // One 0x80 byte, zeros up to 56 modulo 64, the bit count: one or two
        // blocks in the lane's buffer, hashed with the other lanes' data.
        const std::size_t total = l.buffered < 56 ? 64 : 128;
        l.buffer[l.buffered] = 0x80;
        std::memset(l.buffer + l.buffered + 1, 0, total - 8 - l.buffered - 1);
        StoreLittle64(l.buffer + total - 8, l.started << 3);
        l.ready = l.buffer;
        l.readyBlocks = total / 64;
        l.buffered = 0;
        l.ended = true;
        break;
      }
    }
  }
  return l.readyBlocks;
}

bool Md5Lanes::Step() {
  int active[kMaxLanes];
  int activeCount = 0;
  for (int lane = 0; lane < kLanes; ++lane) {
    if (Prepare(lane) > 0) active[activeCount++] = lane;
  }
  if (activeCount == 0) return false;

  if (activeCount == 1) {
    // One lane left: the one-stream block function, all its blocks at once.
    Lane& l = lanes_[active[0]];
    std::uint32_t words[4];
    LoadContext(active[0], words);
    md5_detail::HashBlocks(words, l.ready, l.readyBlocks);
    StoreContext(active[0], words);
    l.readyBlocks = 0;
    return true;
  }

  // The busy lanes side by side in a round of their width (the first ones
  // when there are more); idle columns of the round hash the first lane's
  // blocks (valid memory) into contexts that are thrown away.
  const Ladder ladder = LadderOf(kernel_);
  const Round& round = RoundFor(ladder, activeCount);
  const int taken = std::min(activeCount, round.width);
  std::size_t blocks = SIZE_MAX;
  for (int i = 0; i < taken; ++i) blocks = std::min(blocks, lanes_[active[i]].readyBlocks);
  alignas(64) std::uint32_t state[4][kMaxLanes] = {};
  const std::uint8_t* data[kMaxLanes] = {};
  for (int i = 0; i < round.width; ++i) {
    const int lane = active[i < taken ? i : 0];
    data[i] = lanes_[lane].ready;
    if (i < taken) {
      for (int w = 0; w < 4; ++w) state[w][i] = state_[w][lane];
    }
  }
  round.fn(&state[0][0], data, blocks);
  for (int i = 0; i < taken; ++i) {
    Lane& l = lanes_[active[i]];
    for (int w = 0; w < 4; ++w) state_[w][active[i]] = state[w][i];
    l.ready += blocks * 64;
    l.readyBlocks -= blocks;
  }
  return true;
}

void Md5Lanes::Run() {
  while (Step()) {
  }
  // Every entry is done: the queues start empty again.
  for (Lane& l : lanes_) l.queued = l.taken = 0;
}

std::vector<md5digest> md5many(std::span<const std::span<const std::uint8_t>> messages,
                               Md5Kernel kernel) {
  std::vector<md5digest> digests(messages.size());
  Md5Lanes lanes(kernel);
  struct Slot {
    std::size_t message = 0;
    std::size_t offset = 0;
    bool busy = false;
  };
  Slot slots[Md5Lanes::kLanes];
  std::size_t nextMessage = 0;
  for (;;) {
    bool any = false;
    for (int lane = 0; lane < Md5Lanes::kLanes; ++lane) {
      Slot& slot = slots[lane];
      if (!slot.busy) {
        if (nextMessage == messages.size()) continue;
        slot = {nextMessage++, 0, true};
      }
      const std::span<const std::uint8_t> m = messages[slot.message];
      const std::size_t take = std::min(kManySlice, m.size() - slot.offset);
      lanes.Feed(lane, m.data() + slot.offset, take);
      slot.offset += take;
      if (slot.offset == m.size()) lanes.End(lane);
      any = true;
    }
    if (!any) break;
    lanes.Run();
    for (int lane = 0; lane < Md5Lanes::kLanes; ++lane) {
      if (slots[lane].busy && lanes.Ended(lane)) {
        digests[slots[lane].message] = lanes.Digest(lane);
        slots[lane].busy = false;
      }
    }
  }
  return digests;
}

}  // namespace tarvel
