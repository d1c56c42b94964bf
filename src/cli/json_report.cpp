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

// What kept the check from reading a file or volume: "read_error" with
// what failed, or for a listed name holding a volume, its number.
void PutTrouble(json& object, const fileentry& e) {
  switch (e.trouble) {
    case ReadTrouble::kDamaged:
    case ReadTrouble::kNotChecked:
      object["read_error"] = ReadFailureText(e);
      break;
    case ReadTrouble::kIsVolume:
      object["holds_volume"] = e.troubleAt;
      break;
    case ReadTrouble::kNone:
      break;
  }
}

std::string FileState(const fileentry& e, const FileActionLog& actions,
                      const std::string** foundAs) {
  if (e.present && e.trouble == ReadTrouble::kNotChecked) return "not_checked";
  if (e.present) return e.crcok ? "ok" : "damaged";
  for (auto it = actions.rbegin(); it != actions.rend(); ++it) {
    if (it->kind == FileActionKind::kFound && it->name == e.name) {
      *foundAs = &it->other;
      return "found_elsewhere";
    }
  }
  return "missing";
}

json FilesOf(const SetModel& m, const FileActionLog& actions) {
  json files = json::array();
  for (int i = 0; i < m.FileCount; ++i) {
    const fileentry& e = m.FileTable[i];
    json file;
    PutName(file, "name", e.name);
    file["in_parity"] = e.InParity();
    file["size"] = e.filesize;
    const std::string* foundAs = nullptr;
    file["state"] = FileState(e, actions, &foundAs);
    if (foundAs != nullptr) PutName(file, "found_as", *foundAs);
    if (e.present) PutTrouble(file, e);
    if (ChangedAfterSet(e, m)) file["changed_after_set"] = true;
    files.push_back(std::move(file));
  }
  return files;
}

json VolumesOf(const SetModel& m) {
  json volumes = json::array();
  for (int v = 0; v <= kLastReportedVolume; ++v) {
    const fileentry& slot = m.VolumeTable[v];
    if (!slot.present) continue;
    json volume;
    PutName(volume, "name", slot.name);
    volume["number"] = v;
    volume["state"] = slot.crcok                                 ? "ok"
                      : slot.trouble == ReadTrouble::kNotChecked ? "not_checked"
                                                                 : "damaged";
    PutTrouble(volume, slot);
    volumes.push_back(std::move(volume));
  }
  return volumes;
}

json CountsOf(const SetModel& m) {
  int inParity = 0, badCrcOnly = 0, volumes = 0;
  for (int i = 0; i < m.FileCount; ++i) {
    const fileentry& e = m.FileTable[i];
    if (e.InParity()) {
      ++inParity;
    } else if (!e.Intact() && !(e.present && e.trouble == ReadTrouble::kNotChecked)) {
      ++badCrcOnly;
    }
  }
  for (int v = 1; v <= kLastReportedVolume; ++v) volumes += m.VolumeTable[v].present;
  return {{"files", m.FileCount},      {"in_parity", inParity},
          {"bad", m.BadFileCount},     {"bad_crc_only", badCrcOnly},
          {"parity_volumes", volumes}, {"usable_parity_volumes", m.UsableVolumeCount}};
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

void JsonReport::AddSet(const std::string& volume, const Engine& engine, bool checked, int status,
                        const std::vector<std::string>& messages) {
  json set;
  PutName(set, "volume", volume);
  set["status"] = status;
  set["checked"] = checked;
  const SetModel& m = engine.Model();
  set["files"] = checked ? FilesOf(m, engine.Actions()) : json::array();
  set["volumes"] = checked ? VolumesOf(m) : json::array();
  set["counts"] = checked ? CountsOf(m) : json(nullptr);
  set["actions"] = ActionsOf(engine.Actions());
  set["messages"] = messages;
  sets_.push_back(std::move(set));
}

std::string JsonReport::Document(int status) const {
  const json document = {
      {"command", command_}, {"status", status}, {"sets", sets_}, {"messages", messages_}};
  return document.dump(2, ' ', false, json::error_handler_t::replace) + "\n";
}

}  // namespace tarvel::cli
