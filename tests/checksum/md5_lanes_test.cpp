// SPDX-License-Identifier: GPL-3.0-or-later
// Every multi-buffer MD5 version the CPU has against md5buffer: random message
// counts and lengths around the block and padding boundaries, misaligned
// buffers, lanes refilled as messages end, chunked feeding with the head
// digest taken mid-chunk, and a lane dropped without disturbing the others.
#include "checksum/md5_lanes.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <iostream>
#include <random>
#include <vector>

#include "support/testutil.h"

namespace tarvel {

// Names the version in gtest's messages.
void PrintTo(Md5Kernel kernel, std::ostream* out) { *out << Md5KernelName(kernel); }

namespace {

constexpr std::size_t kHead = 16384;

std::vector<Md5Kernel> SupportedKernels() {
  std::vector<Md5Kernel> kernels;
  for (Md5Kernel k : kAllMd5Kernels) {
    if (Md5KernelSupported(k)) kernels.push_back(k);
  }
  return kernels;
}

// A message of `length` random bytes starting `offset` bytes past a 64-byte
// boundary, in storage of exactly that size (so that the sanitizer build
// catches a read past either end).
class Message {
 public:
  Message(std::size_t length, std::size_t offset, std::uint32_t seed)
      : storage_(testing::RandomBytes(length + offset, seed)), offset_(offset) {}
  std::span<const std::uint8_t> bytes() const {
    return {storage_.data() + offset_, storage_.size() - offset_};
  }
  md5digest Expected() const { return md5buffer(bytes()); }

 private:
  std::vector<std::uint8_t> storage_;
  std::size_t offset_;
};

std::size_t PickLength(std::mt19937& rng) {
  static constexpr std::size_t kEdges[] = {0,   1,   55,    56,    63,    64,    65,    119,  120,
                                           127, 128, 16383, 16384, 16385, 65535, 65536, 65537};
  if (rng() % 4 != 0) return kEdges[rng() % std::size(kEdges)];
  return rng() % (rng() % 8 == 0 ? 3u << 20 : 200000u);
}

class Md5LanesTest : public ::testing::TestWithParam<Md5Kernel> {};

TEST_P(Md5LanesTest, ManyMessagesMatchOneStreamDigests) {
  std::mt19937 rng(2024);
  for (int round = 0; round < 12; ++round) {
    const std::size_t count = round == 0 ? 1 : 1 + rng() % 40;
    std::vector<Message> messages;
    for (std::size_t m = 0; m < count; ++m) {
      messages.emplace_back(PickLength(rng), rng() % 64, static_cast<std::uint32_t>(rng()));
    }
    std::vector<std::span<const std::uint8_t>> spans;
    for (const Message& m : messages) spans.push_back(m.bytes());

    const std::vector<md5digest> digests = md5many(spans, GetParam());
    ASSERT_EQ(digests.size(), count);
    for (std::size_t m = 0; m < count; ++m) {
      ASSERT_EQ(md5hex(digests[m]), md5hex(messages[m].Expected()))
          << "round " << round << ", message " << m << " of " << count << ", " << spans[m].size()
          << " bytes";
    }
  }
}

// The way a file reader drives the lanes: every lane's chunk is read into one
// buffer per lane, which is overwritten after each Run; the head digest is
// marked inside a chunk; lanes take the next message as soon as theirs ends.
TEST_P(Md5LanesTest, ChunkedFeedingWithHeadsAndRefills) {
  std::mt19937 rng(77);
  for (std::size_t chunk : {std::size_t{1000}, std::size_t{4096}, std::size_t{65536 + 3}}) {
    SCOPED_TRACE(chunk);
    std::vector<Message> messages;
    for (int m = 0; m < 37; ++m) messages.emplace_back(PickLength(rng) % 300000, 0, 100 + m);

    Md5Lanes lanes(GetParam());
    std::vector<std::vector<std::uint8_t>> buffers(Md5Lanes::kLanes,
                                                   std::vector<std::uint8_t>(chunk));
    struct Slot {
      int message = -1;
      std::size_t offset = 0;
      bool marked = false;
    } slots[Md5Lanes::kLanes];
    int next = 0, done = 0;
    while (done < static_cast<int>(messages.size())) {
      for (int lane = 0; lane < Md5Lanes::kLanes; ++lane) {
        Slot& slot = slots[lane];
        if (slot.message < 0) {
          if (next == static_cast<int>(messages.size())) continue;
          slot = {next++, 0, false};
        }
        const auto bytes = messages[slot.message].bytes();
        const std::size_t take = std::min(chunk, bytes.size() - slot.offset);
        std::copy_n(bytes.data() + slot.offset, take, buffers[lane].data());
        // Split the chunk where the first 16 KiB end, and mark there.
        const std::size_t head = std::min(kHead, bytes.size());
        const std::size_t before = slot.marked ? take : std::min(take, head - slot.offset);
        lanes.Feed(lane, buffers[lane].data(), before);
        if (!slot.marked && slot.offset + before == head) {
          lanes.MarkHead(lane);
          slot.marked = true;
        }
        lanes.Feed(lane, buffers[lane].data() + before, take - before);
        slot.offset += take;
        if (slot.offset == bytes.size()) lanes.End(lane);
      }
      lanes.Run();
      for (int lane = 0; lane < Md5Lanes::kLanes; ++lane) {
        std::fill(buffers[lane].begin(), buffers[lane].end(), 0xEE);
        Slot& slot = slots[lane];
        if (slot.message < 0 || !lanes.Ended(lane)) continue;
        const auto bytes = messages[slot.message].bytes();
        EXPECT_EQ(lanes.Length(lane), bytes.size());
        EXPECT_EQ(md5hex(lanes.HeadDigest(lane)),
                  md5hex(md5buffer(bytes.first(std::min(kHead, bytes.size())))))
            << "message " << slot.message;
        EXPECT_EQ(md5hex(lanes.Digest(lane)), md5hex(messages[slot.message].Expected()))
            << "message " << slot.message << ", " << bytes.size() << " bytes";
        slot.message = -1;
        ++done;
      }
    }
  }
}

// A lane whose source fails is dropped and restarted; the other lanes, busy
// in the same Runs, give the digests they would have given anyway.
TEST_P(Md5LanesTest, RestartedLaneLeavesTheOthersAlone) {
  std::vector<Message> messages;
  for (int lane = 0; lane < Md5Lanes::kLanes; ++lane) {
    messages.emplace_back(5000 + 777 * lane, lane % 7, 500 + lane);
  }
  Md5Lanes lanes(GetParam());
  const auto garbage = testing::RandomBytes(3000, 9);
  lanes.Feed(5, garbage.data(), garbage.size());
  for (int lane = 0; lane < Md5Lanes::kLanes; ++lane) {
    if (lane != 5) lanes.Feed(lane, messages[lane].bytes().data(), 2000);
  }
  lanes.Run();
  lanes.Restart(5);
  for (int lane = 0; lane < Md5Lanes::kLanes; ++lane) {
    const auto bytes = messages[lane].bytes();
    const std::size_t from = lane == 5 ? 0 : 2000;
    lanes.Feed(lane, bytes.data() + from, bytes.size() - from);
    lanes.End(lane);
  }
  lanes.Run();
  for (int lane = 0; lane < Md5Lanes::kLanes; ++lane) {
    ASSERT_TRUE(lanes.Ended(lane));
    EXPECT_EQ(md5hex(lanes.Digest(lane)), md5hex(messages[lane].Expected())) << "lane " << lane;
  }
}

// Every number of busy lanes, the busy ones scattered over the sixteen, so
// that each round of the version (one stream, two interleaved, 4, 8 and 16
// lanes) hashes lanes gathered from anywhere; messages of equal lengths keep
// one round busy to the end, unequal ones make the rounds narrow as lanes
// finish.  Each message sits in storage of its exact size, so the sanitizer
// build catches a round that reads past a lane's end.
TEST_P(Md5LanesTest, EveryBusyLaneCountMatchesOneStream) {
  std::mt19937 rng(31);
  for (int busy = 1; busy <= Md5Lanes::kLanes; ++busy) {
    for (const bool equal : {true, false}) {
      SCOPED_TRACE(::testing::Message() << busy << " busy lanes, equal lengths " << equal);
      std::vector<int> order(Md5Lanes::kLanes);
      for (int lane = 0; lane < Md5Lanes::kLanes; ++lane) order[lane] = lane;
      std::shuffle(order.begin(), order.end(), rng);
      order.resize(static_cast<std::size_t>(busy));
      const std::size_t common = 64 * (1 + rng() % 40) + rng() % 64;
      std::vector<Message> messages;
      for (int i = 0; i < busy; ++i) {
        messages.emplace_back(equal ? common : rng() % 5000, rng() % 64,
                              static_cast<std::uint32_t>(rng()));
      }
      Md5Lanes lanes(GetParam());
      for (int i = 0; i < busy; ++i) {
        const auto bytes = messages[i].bytes();
        lanes.Feed(order[i], bytes.data(), bytes.size());
        lanes.End(order[i]);
      }
      lanes.Run();
      for (int i = 0; i < busy; ++i) {
        ASSERT_TRUE(lanes.Ended(order[i]));
        EXPECT_EQ(md5hex(lanes.Digest(order[i])), md5hex(messages[i].Expected()))
            << "lane " << order[i] << ", " << messages[i].bytes().size() << " bytes";
      }
    }
  }
}

INSTANTIATE_TEST_SUITE_P(EveryVersion, Md5LanesTest, ::testing::ValuesIn(SupportedKernels()),
                         [](const auto& info) {
                           std::string name(Md5KernelName(info.param));
                           return name;
                         });

TEST(Md5Kernels, ScalarAlwaysAndTheBestIsSupported) {
  EXPECT_TRUE(Md5KernelSupported(Md5Kernel::kScalar));
  EXPECT_TRUE(Md5KernelSupported(BestMd5Kernel()));
  EXPECT_EQ(Md5Lanes().kernel(), BestMd5Kernel());
}

}  // namespace
}  // namespace tarvel
