// SPDX-License-Identifier: GPL-3.0-or-later
// Small helpers shared by the test programs: a temporary folder that removes
// itself, folders deeper than PATH_MAX, and whole-file reads and writes
// (which reach paths of any length).
#pragma once

#include <fcntl.h>
#include <limits.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <cstdint>
#include <filesystem>
#include <functional>
#include <random>
#include <stdexcept>
#include <string>
#include <vector>

namespace tarvel::testing {

class TempDir {
 public:
  TempDir() {
    std::string tmpl = (std::filesystem::temp_directory_path() / "tarvel-test-XXXXXX").string();
    if (mkdtemp(tmpl.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
    path_ = tmpl;
  }
  ~TempDir() {
    std::error_code ec;
    std::filesystem::permissions(path_, std::filesystem::perms::owner_all,
                                 std::filesystem::perm_options::add, ec);
    std::filesystem::remove_all(path_, ec);
  }
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  const std::string& path() const { return path_; }
  std::string operator/(const std::string& name) const { return path_ + "/" + name; }

 private:
  std::string path_;
};

// Opens `path` as open(2) would, one folder at a time when the path is too
// long for the system; -1 on failure.
inline int OpenByParts(const std::string& path, int flags, mode_t mode = 0666) {
  if (path.size() < PATH_MAX) return open(path.c_str(), flags | O_CLOEXEC, mode);
  int at = open(path.front() == '/' ? "/" : ".", O_PATH | O_DIRECTORY | O_CLOEXEC);
  for (std::size_t from = path.find_first_not_of('/');;) {
    const std::size_t end = path.find('/', from);
    const std::string part = path.substr(from, end - from);
    const std::size_t next = end == std::string::npos ? end : path.find_first_not_of('/', end);
    const int fd = openat(
        at, part.c_str(),
        next == std::string::npos ? flags | O_CLOEXEC : O_PATH | O_DIRECTORY | O_CLOEXEC, mode);
    close(at);
    if (next == std::string::npos || fd < 0) return fd;
    at = fd;
    from = next;
  }
}

// Makes `depth` folders named `name`, each in the one before, below `root`
// (one at a time, as no path call reaches so deep) and returns the path of
// the last.
inline std::string MakeDeepFolder(const std::string& root, int depth, const std::string& name) {
  std::string path = root;
  int at = OpenByParts(root, O_PATH | O_DIRECTORY);
  for (int i = 0; i < depth && at >= 0; ++i) {
    mkdirat(at, name.c_str(), 0700);
    const int next = openat(at, name.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
    close(at);
    at = next;
    path += "/" + name;
  }
  if (at < 0) throw std::runtime_error("cannot make " + path);
  close(at);
  return path;
}

// chdir(2) to a folder however deep.
inline bool EnterFolder(const std::string& path) {
  if (path.size() < PATH_MAX) return chdir(path.c_str()) == 0;
  const int fd = OpenByParts(path, O_PATH | O_DIRECTORY);
  const bool entered = fd >= 0 && fchdir(fd) == 0;
  if (fd >= 0) close(fd);
  return entered;
}

// The modification time a write leaves: that of the write, the one the
// file had (a failing disk changes bytes, not times), or one later than
// anything written before (a person's edit; a coarse clock may give many
// writes the same tick).
enum class WriteTime { kNow, kKept, kLater };

inline void WriteBytes(const std::string& path, const std::vector<std::uint8_t>& bytes,
                       WriteTime time = WriteTime::kNow) {
  // Cut only once its time is known: cutting it changes the time.
  const int fd = OpenByParts(path, O_WRONLY | O_CREAT);
  struct stat before {};
  const bool known = fd >= 0 && fstat(fd, &before) == 0;
  if (fd >= 0 && ftruncate(fd, 0) != 0) {
    close(fd);
    throw std::runtime_error("cannot write " + path);
  }
  std::size_t done = 0;
  while (fd >= 0 && done < bytes.size()) {
    const ssize_t put = write(fd, bytes.data() + done, bytes.size() - done);
    if (put <= 0) break;
    done += static_cast<std::size_t>(put);
  }
  if (fd >= 0 && time != WriteTime::kNow) {
    timespec times[2] = {{0, UTIME_OMIT}, {0, 0}};
    if (time == WriteTime::kKept && known) {
      times[1] = before.st_mtim;
    } else {
      clock_gettime(CLOCK_REALTIME, &times[1]);
      times[1].tv_sec += 2;
    }
    futimens(fd, times);
  }
  if (fd >= 0) close(fd);
  if (fd < 0 || done != bytes.size()) throw std::runtime_error("cannot write " + path);
}

// Overwrites the file at `path` as a failing disk changes it: other bytes,
// and the modification time it had (decay is no edit, which a repair would
// leave as it is).
inline void Corrupt(const std::string& path, const std::vector<std::uint8_t>& bytes) {
  WriteBytes(path, bytes, WriteTime::kKept);
}

// Overwrites the file at `path` as a person's edit does: other bytes, and a
// modification time later than that of anything written before.
inline void Edit(const std::string& path, const std::vector<std::uint8_t>& bytes) {
  WriteBytes(path, bytes, WriteTime::kLater);
}

inline void WriteText(const std::string& path, const std::string& text) {
  WriteBytes(path, std::vector<std::uint8_t>(text.begin(), text.end()));
}

inline std::vector<std::uint8_t> ReadBytes(const std::string& path) {
  const int fd = OpenByParts(path, O_RDONLY);
  if (fd < 0) throw std::runtime_error("cannot read " + path);
  std::vector<std::uint8_t> bytes;
  std::uint8_t buffer[65536];
  ssize_t got;
  while ((got = read(fd, buffer, sizeof buffer)) > 0)
    bytes.insert(bytes.end(), buffer, buffer + got);
  close(fd);
  if (got < 0) throw std::runtime_error("cannot read " + path);
  return bytes;
}

// Something is at `path` (a link followed).
// Runs `f` with the process allowed to write files of at most `bytes`
// bytes: a write past that fails with EFBIG, as a full disk refuses one,
// through the file layer's own files.  The limit is lifted again however
// `f` ends.
inline void WithFileSizeLimit(rlim_t bytes, const std::function<void()>& f) {
  rlimit before{};
  getrlimit(RLIMIT_FSIZE, &before);
  rlimit limit = before;
  limit.rlim_cur = bytes;
  // The signal that the limit sends would end the process; the write's
  // error is what is looked at.
  struct sigaction ignore {
  }, old{};
  ignore.sa_handler = SIG_IGN;
  sigaction(SIGXFSZ, &ignore, &old);
  setrlimit(RLIMIT_FSIZE, &limit);
  const auto restore = [&] {
    setrlimit(RLIMIT_FSIZE, &before);
    sigaction(SIGXFSZ, &old, nullptr);
  };
  try {
    f();
  } catch (...) {
    restore();
    throw;
  }
  restore();
}

inline bool Exists(const std::string& path) {
  const int fd = OpenByParts(path, O_PATH);
  if (fd >= 0) close(fd);
  return fd >= 0;
}

inline std::vector<std::uint8_t> RandomBytes(std::size_t n, std::uint32_t seed) {
  std::mt19937 rng(seed);
  std::vector<std::uint8_t> v(n);
  for (auto& b : v) b = static_cast<std::uint8_t>(rng());
  return v;
}

}  // namespace tarvel::testing
