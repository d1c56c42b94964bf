// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/json_report.h"

#include <cstdio>

namespace tarvel::cli {
namespace {

using json = nlohmann::ordered_json;

bool IsUtf8(const std::string& text) {
  try {
    (void)json(text).dump();
    return true;
  } catch (const json::type_error&) {
    return false;
  }
}

std::string Hex(const std::string& bytes) {
  std::string out;
  out.reserve(bytes.size() * 2);
  for (unsigned char c : bytes) {
    char pair[3];
    std::snprintf(pair, sizeof pair, "%02x", c);
    out.append(pair, 2);
  }
  return out;
}

// Sets a name-like member, adding its exact bytes when they are not UTF-8
// (the dump then writes each invalid byte as U+FFFD).
void PutName(json& object, const std::string& key, const std::string& name) {
  object[key] = name;
  if (!IsUtf8(name)) object[key + "_hex"] = Hex(name);
}

const char* StateName(FileState state) {
  switch (state) {
    case FileState::kOk:
      return "ok";
    case FileState::kDamaged:
      return "damaged";
    case FileState::kMissing:
      return "missing";
    case FileState::kFoundElsewhere:
      return "found_elsewhere";
    case FileState::kNotChecked:
      return "not_checked";
  }
  return "";
}

const char* StateName(VolumeState state) {
  switch (state) {
    case VolumeState::kOk:
      return "ok";
    case VolumeState::kDamaged:
      return "damaged";
    case VolumeState::kNotChecked:
      return "not_checked";
  }
  return "";
}

json FilesOf(const SetReport& report) {
  json files = json::array();
  for (const FileReport& f : report.files) {
    json file;
    PutName(file, "name", f.name);
    file["in_parity"] = f.inParity;
    file["size"] = f.size;
    file["state"] = StateName(f.state);
    if (f.state == FileState::kFoundElsewhere) PutName(file, "found_as", f.foundAs);
    if (!f.readError.empty()) file["read_error"] = f.readError;
    if (f.holdsVolume >= 0) file["holds_volume"] = f.holdsVolume;
    if (f.changedAfterSet) file["changed_after_set"] = true;
    files.push_back(std::move(file));
  }
  return files;
}

json VolumesOf(const SetReport& report) {
  json volumes = json::array();
  for (const VolumeReport& v : report.volumes) {
    json volume;
    PutName(volume, "name", v.name);
    volume["number"] = v.number;
    volume["state"] = StateName(v.state);
    if (!v.readError.empty()) volume["read_error"] = v.readError;
    volumes.push_back(std::move(volume));
  }
  return volumes;
}

json CountsOf(const SetReport& report) {
  int inParity = 0, parityVolumes = 0;
  for (const FileReport& f : report.files) inParity += f.inParity;
  for (const VolumeReport& v : report.volumes) parityVolumes += v.number > 0;
  return {{"files", report.files.size()},    {"in_parity", inParity},
          {"bad", report.badFiles},          {"bad_crc_only", report.badCrcOnly},
          {"parity_volumes", parityVolumes}, {"usable_parity_volumes", report.usableVolumes}};
}

json ActionsOf(const FileActionLog& log) {
  json actions = json::array();
  for (const FileAction& a : log) {
    json action;
    switch (a.kind) {
      case FileActionKind::kFound:
        continue;  // a state, shown with the file
      case FileActionKind::kRenamed:
        action["action"] = "renamed";
        break;
      case FileActionKind::kCopied:
        action["action"] = "copied";
        break;
      case FileActionKind::kRebuilt:
        action["action"] = "rebuilt";
        break;
      case FileActionKind::kRenameFailed:
        action["action"] = "failed";
        action["operation"] = "rename";
        break;
      case FileActionKind::kCopyFailed:
        action["action"] = "failed";
        action["operation"] = "copy";
        break;
      case FileActionKind::kNotRebuilt:
        action["action"] = "failed";
        action["operation"] = "rebuild";
        break;
    }
    PutName(action, "file", a.name);
    if (!a.other.empty()) PutName(action, "from", a.other);
    actions.push_back(std::move(action));
  }
  return actions;
}

}  // namespace

JsonReport::JsonReport(std::string command) : command_(std::move(command)) {}

void JsonReport::AddSet(const std::string& volume, const SetReport* report, int status,
                        const std::vector<std::string>& messages) {
  json set;
  PutName(set, "volume", volume);
  set["status"] = status;
  set["checked"] = report != nullptr;
  set["files"] = report != nullptr ? FilesOf(*report) : json::array();
  set["volumes"] = report != nullptr ? VolumesOf(*report) : json::array();
  set["counts"] = report != nullptr ? CountsOf(*report) : json(nullptr);
  set["actions"] = report != nullptr ? ActionsOf(report->actions) : json::array();
  set["messages"] = messages;
  sets_.push_back(std::move(set));
}

std::string JsonReport::Document(int status) const {
  const json document = {
      {"command", command_}, {"status", status}, {"sets", sets_}, {"messages", messages_}};
  return document.dump(2, ' ', false, json::error_handler_t::replace) + "\n";
}

}  // namespace tarvel::cli
