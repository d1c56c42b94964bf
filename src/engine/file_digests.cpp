#include "engine/file_digests.h"

#include <algorithm>
#include <chrono>
#include <limits>
#include <memory>
#include <span>
#include <vector>

#include "checksum/hash_jobs.h"
#include "checksum/md5_lanes.h"

namespace tarvel {
namespace {

constexpr auto kHeadBytes = static_cast<std::int64_t>(kMd5HeadBytes);
constexpr std::int64_t kToTheEnd = std::numeric_limits<std::int64_t>::max();
// A buffer never smaller than this, whatever size the file claims (a device
// reports 0).
constexpr std::int64_t kSmallestBuffer = 64 * 1024;

// Feeds bytes [begin, end) of the file to `ctx`, stopping early at the end
// of the file; `head`, when given, receives the digest of the first
// kHeadBytes bytes hashed (of all of them when there are fewer).
void HashRange(File& file, std::int64_t begin, std::int64_t end, md5state& ctx, md5digest* head) {
  const std::int64_t capacity =
      std::clamp(file.Size() - begin, kSmallestBuffer, static_cast<std::int64_t>(kDigestReadSize));
  std::vector<std::uint8_t> buffer(static_cast<std::size_t>(capacity));
  std::int64_t offset = begin;
  bool headDone = head == nullptr;
  while (offset < end) {
    const auto want = static_cast<std::size_t>(std::min(end - offset, capacity));
    const std::size_t got = file.ReadAt(offset, buffer.data(), want);
    std::size_t used = 0;
    if (!headDone && offset - begin + static_cast<std::int64_t>(got) >= kHeadBytes) {
      // The head ends inside this chunk: finish a copy of the context there.
      used = static_cast<std::size_t>(kHeadBytes - (offset - begin));
      md5update(ctx, buffer.data(), used);
      md5state copy = ctx;
      md5final(copy, *head);
      headDone = true;
    }
    md5update(ctx, buffer.data() + used, got - used);
    offset += static_cast<std::int64_t>(got);
    if (got < want) break;  // the end of the file
  }
  if (!headDone) {
    md5state copy = ctx;
    md5final(copy, *head);
  }
}

md5digest Portion(File& file, std::int64_t begin, std::int64_t end) {
  md5state ctx;
  md5init(ctx);
  HashRange(file, begin, end, ctx, nullptr);
  md5digest out;
  md5final(ctx, out);
  return out;
}

// The digest of an empty message stands for a file that cannot be opened.
template <typename Digest>
md5digest OfPath(Env& env, const std::string& path, Digest digest) {
  std::unique_ptr<File> file;
  try {
    file = env.OpenRead(path);
  } catch (const FileError&) {
    return md5buffer(nullptr, 0);
  }
  return digest(*file);
}

}  // namespace

md5digest md5file(File& file) { return Portion(file, 0, kToTheEnd); }
md5digest md5first16k(File& file) { return Portion(file, 0, kHeadBytes); }
md5digest md5from32(File& file) { return Portion(file, kControlDigestStart, kToTheEnd); }

md5pair md5wholeandhead(File& file) {
  md5state ctx;
  md5init(ctx);
  md5pair result;
  HashRange(file, 0, kToTheEnd, ctx, &result.head);
  md5final(ctx, result.whole);
  return result;
}

md5digest md5file(Env& env, const std::string& path) {
  return OfPath(env, path, [](File& f) { return md5file(f); });
}
md5digest md5first16k(Env& env, const std::string& path) {
  return OfPath(env, path, [](File& f) { return md5first16k(f); });
}
md5digest md5from32(Env& env, const std::string& path) {
  return OfPath(env, path, [](File& f) { return md5from32(f); });
}

FileHashPass::FileHashPass(Env& env, std::vector<FileHashJob> jobs, int threads)
    : env_(env),
      jobs_(std::move(jobs)),
      threads_(threads),
      results_(jobs_.size()),
      files_(jobs_.size()),
      over_(std::make_unique<std::atomic<bool>[]>(jobs_.size())) {}

FileHashPass::~FileHashPass() = default;

bool FileHashPass::Over(std::size_t i) const { return over_[i].load(std::memory_order_acquire); }

void FileHashPass::ThrowError(std::size_t i) const {
  if (results_[i].error) std::rethrow_exception(results_[i].error);
}

void FileHashPass::Finish(std::size_t i, std::unique_ptr<File>& file) {
  file.reset();
  over_[i].store(true, std::memory_order_release);
}

// The reader of job i.  HashJobs asks for one chunk at a time, never from two
// threads at once, so the job's file and result belong to whichever thread
// asks.
std::size_t FileHashPass::Read(std::size_t i, std::uint64_t offset, std::uint8_t* buffer,
                               std::size_t n) {
  const FileHashJob& job = jobs_[i];
  FileHashResult& result = results_[i];
  std::unique_ptr<File>& file = files_[i];
  try {
    if (!file) {
      try {
        file = env_.OpenRead(job.path);
      } catch (const FileError&) {
        if (job.mustOpen) throw;
        Finish(i, file);
        return 0;  // the empty message
      }
      result.opened = true;
      result.opening = file->Stamp();
      result.size = result.opening.size;
    }
    std::size_t want = n;
    if (job.limit >= 0) {
      want = static_cast<std::size_t>(std::clamp<std::int64_t>(
          job.limit - static_cast<std::int64_t>(offset), 0, static_cast<std::int64_t>(n)));
    }
    const std::size_t got =
        want == 0 ? 0 : file->ReadAt(job.start + static_cast<std::int64_t>(offset), buffer, want);
    result.hashed += static_cast<std::int64_t>(got);
    if (got < n) {
      result.ending = file->Stamp();
      Finish(i, file);
    }
    return got;
  } catch (...) {
    result.error = std::current_exception();
    Finish(i, file);
    throw;
  }
}

void FileHashPass::Run(const std::function<void()>& progress) {
  std::vector<HashJob> jobs(jobs_.size());
  for (std::size_t i = 0; i < jobs.size(); ++i) {
    jobs[i].read = [this, i](std::uint64_t offset, std::uint8_t* buffer, std::size_t n) {
      return Read(i, offset, buffer, n);
    };
  }
  HashJobsOptions options;
  options.threads = threads_;
  if (progress) options.progress = [&progress](const HashProgress&) { progress(); };
  const std::vector<HashJobResult> done = HashJobs(jobs, options);
  for (std::size_t i = 0; i < done.size(); ++i) {
    results_[i].whole = done[i].whole;
    results_[i].head = done[i].head;
  }
}

StreamDigests::StreamDigests(std::size_t count) : streams_(count) {
  for (Stream& s : streams_) md5init(s.ctx);
}

void StreamDigests::Add(std::size_t i, const std::uint8_t* data, std::size_t n) {
  streams_[i].data = data;
  streams_[i].queued = n;
}

void StreamDigests::Run(std::size_t part, std::size_t parts) {
  std::vector<std::size_t> busy;
  for (std::size_t i = part; i < streams_.size(); i += parts) {
    if (streams_[i].queued > 0) busy.push_back(i);
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
      std::size_t split = 0;
      if (s.length < kHeadBytes && s.length + static_cast<std::int64_t>(s.queued) >= kHeadBytes) {
        split = static_cast<std::size_t>(kHeadBytes - s.length);
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

StepsInOrder::StepsInOrder(std::size_t count, std::function<void(std::size_t)> show,
                           std::function<bool(std::size_t)> ready,
                           std::function<void(std::size_t)> done,
                           std::function<void()> processEvents)
    : count_(count),
      show_(std::move(show)),
      ready_(std::move(ready)),
      done_(std::move(done)),
      processEvents_(std::move(processEvents)) {}

void StepsInOrder::Advance() {
  for (;;) {
    if (shown_ == finished_ && shown_ < count_) {
      show_(shown_++);
      continue;
    }
    if (finished_ < shown_ && ready_(finished_)) {
      done_(finished_++);
      continue;
    }
    break;
  }
  // The windows stay responsive while the steps wait for the hashing.
  processEvents_();
}

void EventPacer::operator()() {
  constexpr std::int64_t kEveryMs = 50;
  const std::int64_t now = std::chrono::duration_cast<std::chrono::milliseconds>(
                               std::chrono::steady_clock::now().time_since_epoch())
                               .count();
  if (now - last_ < kEveryMs) return;
  last_ = now;
  processEvents_();
}

}  // namespace tarvel
