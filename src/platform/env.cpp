// SPDX-License-Identifier: GPL-3.0-or-later
// What the engine asks of a folder's listing and of a name, worked out from
// the two calls every Env answers (List and Stat), so that a test Env that
// fails or guards those two fails or guards every question.
#include "platform/env.h"

#include <chrono>

namespace tarvel {
namespace {

bool IsHidden(const std::string& name) { return !name.empty() && name[0] == '.'; }

template <typename Keep>
std::vector<std::string> NamesOf(Env& env, const std::string& folder, Keep keep) {
  std::vector<std::string> names;
  for (FolderEntry& entry : env.List(folder)) {
    if (keep(entry)) names.push_back(std::move(entry.name));
  }
  return names;
}

}  // namespace

std::vector<std::string> Env::ListPlainFiles(const std::string& folder) {
  return NamesOf(*this, folder, [](const FolderEntry& e) {
    return !IsHidden(e.name) && (e.kind == FileKind::kRegular || e.linkToRegular);
  });
}

std::vector<std::string> Env::ListFolders(const std::string& folder) {
  return NamesOf(*this, folder, [](const FolderEntry& e) {
    return !IsHidden(e.name) && e.kind == FileKind::kFolder;
  });
}

std::vector<std::string> Env::ListHiddenFiles(const std::string& folder) {
  return NamesOf(*this, folder, [](const FolderEntry& e) {
    return IsHidden(e.name) && e.kind == FileKind::kRegular;
  });
}

bool Env::IsPlainFile(const std::string& folder, const std::string& name) {
  if (name.empty() || name == "." || name == ".." || name.find('/') != std::string::npos) {
    return false;
  }
  const std::optional<FileInfo> info = Stat(JoinPath(folder, name), /*followLink=*/true);
  return info && info->kind == FileKind::kRegular;
}

bool Env::IsSymbolicLink(const std::string& path) {
  const std::optional<FileInfo> info = Stat(path, /*followLink=*/false);
  return info && info->kind == FileKind::kLink;
}

std::optional<FileIdentity> Env::Identity(const std::string& path, bool followLink) {
  const std::optional<FileInfo> info = Stat(path, followLink);
  if (!info) return std::nullopt;
  return info->identity;
}

std::int64_t Env::SizeOf(const std::string& path) {
  const std::optional<FileInfo> info = Stat(path, /*followLink=*/true);
  return info ? info->size : -1;
}

std::int64_t Env::NowMs() {
  return std::chrono::duration_cast<std::chrono::milliseconds>(
             std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

}  // namespace tarvel
