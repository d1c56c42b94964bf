// Small helpers shared by the test programs: a temporary folder that removes
// itself, folders deeper than PATH_MAX, and whole-file reads and writes
// (which reach paths of any length).
#pragma once

#include <fcntl.h>
#include <limits.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <filesystem>
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

inline void WriteBytes(const std::string& path, const std::vector<std::uint8_t>& bytes) {
  const int fd = OpenByParts(path, O_WRONLY | O_CREAT | O_TRUNC);
  std::size_t done = 0;
  while (fd >= 0 && done < bytes.size()) {
    const ssize_t put = write(fd, bytes.data() + done, bytes.size() - done);
    if (put <= 0) break;
    done += static_cast<std::size_t>(put);
  }
  if (fd >= 0) close(fd);
  if (fd < 0 || done != bytes.size()) throw std::runtime_error("cannot write " + path);
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
