// SPDX-License-Identifier: GPL-3.0-or-later
#include "engine/set/set_finder.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <map>
#include <optional>
#include <tuple>

#include "engine/format/volume_reader.h"

namespace tarvel {
namespace {

struct Volume {
  std::uint64_t number;
  std::string name;
  bool operator<(const Volume& other) const {
    return std::tie(number, name) < std::tie(other.number, other.name);
  }
};

}  // namespace

std::optional<md5digest> SetDigestOf(Env& env, const std::string& path, std::uint64_t* number) {
  const std::optional<VolumeHeader> header = ReadVolumeHeader(env, path);
  if (!header) return std::nullopt;
  if (number != nullptr) *number = header->volumeNumber;
  return header->setHash;
}

namespace {

void SearchFolder(Env& env, const std::string& folder, bool below, SetSearch& out) {
  std::vector<std::string> files;
  std::vector<std::string> subfolders;
  try {
    files = env.ListPlainFiles(folder);
    subfolders = env.ListFolders(folder);
  } catch (const FileError& error) {
    out.unreadableFolders.push_back(WithReason(folder, error.OsError()));
    return;
  }
  std::map<md5digest, std::vector<Volume>> sets;
  for (const std::string& name : files) {
    std::uint64_t number = 0;
    if (std::optional<md5digest> digest = SetDigestOf(env, JoinPath(folder, name), &number)) {
      sets[*digest].push_back({number, name});
    }
  }
  std::vector<FoundSet> found;
  for (auto& [digest, volumes] : sets) {
    std::sort(volumes.begin(), volumes.end());
    FoundSet set;
    for (const Volume& v : volumes) set.volumes.push_back(JoinPath(folder, v.name));
    found.push_back(std::move(set));
  }
  std::sort(found.begin(), found.end(), [](const FoundSet& a, const FoundSet& b) {
    return a.volumes.front() < b.volumes.front();
  });
  for (FoundSet& set : found) out.sets.push_back(std::move(set));

  if (!below) return;
  std::sort(subfolders.begin(), subfolders.end());
  for (const std::string& name : subfolders) SearchFolder(env, JoinPath(folder, name), true, out);
}

}  // namespace

SetSearch FindSets(Env& env, const std::string& root) {
  SetSearch out;
  SearchFolder(env, root, true, out);
  return out;
}

SetSearch FindSetsIn(Env& env, const std::string& folder) {
  SetSearch out;
  SearchFolder(env, folder, false, out);
  return out;
}

}  // namespace tarvel
