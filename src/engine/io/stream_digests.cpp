// SPDX-License-Identifier: GPL-3.0-or-later
#include "engine/io/stream_digests.h"

#include <algorithm>

#include "checksum/md5_lanes.h"

namespace tarvel {
StreamDigests::StreamDigests(std::size_t count) : streams_(count) {
  for (Stream& s : streams_) md5init(s.ctx);
}

void StreamDigests::Add(std::size_t i, const std::uint8_t* data, std::size_t n) {
  // The first Add after the Runs starts the next list of queued streams.
  if (!queued_.empty() && streams_[queued_.front()].queued == 0) queued_.clear();
  if (n == 0) return;
  streams_[i].data = data;
  streams_[i].queued = n;
  queued_.push_back(i);
}

std::size_t StreamDigests::PartsFor(std::size_t busy, std::size_t parts, std::size_t beside,
                                    Md5Kernel kernel) {
  std::size_t best = 1;
  double bestTime = 0;
  for (std::size_t used = 1; used <= std::min(std::max<std::size_t>(parts, 1), busy); ++used) {
    // Every part as long as the fullest; the step ends when the longest
    // part has, or when all the work shared over every thread has.
    const double part = Md5StepCost(kernel, static_cast<int>((busy + used - 1) / used));
    const double time =
        std::max(part, (static_cast<double>(used) * part + kRowCost * static_cast<double>(beside)) /
                           static_cast<double>(std::max<std::size_t>(parts, 1)));
    // More threads only for a step at least a hundredth shorter: at a
    // tie, the fewer leave more to the reads and writes.
    if (used == 1 || time < 0.99 * bestTime) {
      best = used;
      bestTime = time;
    }
  }
  return best;
}

void StreamDigests::Run(std::size_t part, std::size_t parts, std::size_t beside) {
  // The streams with bytes queued dealt out in turn to as many parts as
  // pay (PartsFor), so that each part has its share of them whichever
  // streams are busy (a pass's volumes may wait for their lists while its
  // sources go on), and the threads of the parts left over are free for
  // the pass's reads and writes.
  const std::size_t used = PartsFor(queued_.size(), parts, beside);
  std::vector<std::size_t> busy;
  for (std::size_t j = part; j < queued_.size() && part < used; j += used) {
    busy.push_back(queued_[j]);
  }
  if (busy.empty()) return;
  Md5Lanes lanes;
  for (std::size_t first = 0; first < busy.size(); first += Md5Lanes::kLanes) {
    const int count =
        static_cast<int>(std::min<std::size_t>(Md5Lanes::kLanes, busy.size() - first));
    bool marked[Md5Lanes::kLanes] = {};
    for (int lane = 0; lane < count; ++lane) {
      Stream& s = streams_[busy[first + lane]];
      lanes.Resume(lane, s.ctx);
      // The head ends within these bytes: its digest is marked there.
      const std::size_t head = Md5HeadPart(static_cast<std::uint64_t>(s.length), s.queued);
      std::size_t split = 0;
      if (head > 0 && static_cast<std::uint64_t>(s.length) + head == kMd5HeadBytes) {
        split = head;
        lanes.Feed(lane, s.data, split);
        lanes.MarkHead(lane);
        marked[lane] = true;
      }
      lanes.Feed(lane, s.data + split, s.queued - split);
    }
    lanes.Run();
    for (int lane = 0; lane < count; ++lane) {
      Stream& s = streams_[busy[first + lane]];
      if (marked[lane]) {
        s.head = lanes.HeadDigest(lane);
        s.haveHead = true;
      }
      s.ctx = lanes.Save(lane);
      lanes.Restart(lane);
      s.length += static_cast<std::int64_t>(s.queued);
      s.data = nullptr;
      s.queued = 0;
    }
  }
}

md5digest StreamDigests::Whole(std::size_t i) const {
  md5state copy = streams_[i].ctx;
  md5digest out;
  md5final(copy, out);
  return out;
}

md5digest StreamDigests::Head(std::size_t i) const {
  return streams_[i].haveHead ? streams_[i].head : Whole(i);
}

}  // namespace tarvel
