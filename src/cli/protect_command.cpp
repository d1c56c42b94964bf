// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/protect_command.h"

#include <algorithm>
#include <nlohmann/json.hpp>

#include "cli/exit_status.h"
#include "cli/output.h"
#include "engine/format/volume_names.h"
#include "engine/report.h"

namespace tarvel::cli {
namespace {

using json = nlohmann::ordered_json;

const char* StateWord(FolderState state) {
  switch (state) {
    case FolderState::kProtected:
      return "protected";
    case FolderState::kUpToDate:
      return "up to date";
    case FolderState::kRenewed:
      return "renewed";
    case FolderState::kDamaged:
      return "damaged";
    case FolderState::kMissing:
      return "missing";
    case FolderState::kSkipped:
      return "skipped";
  }
  return "";
}

const char* JsonState(FolderState state) {
  switch (state) {
    case FolderState::kUpToDate:
      return "up_to_date";
    default:
      return StateWord(state);
  }
}

std::string Counted(std::size_t n, const char* one, const char* many) {
  return std::to_string(n) + " " + (n == 1 ? one : many);
}

// "1 set of 12 files (34567 bytes)"
std::string Sets(const FolderResult& r) {
  return Counted(static_cast<std::size_t>(r.sets), "set", "sets") + " of " +
         Counted(static_cast<std::size_t>(r.files), "file", "files") + " (" +
         Counted(static_cast<std::size_t>(r.bytes), "byte", "bytes") + ")";
}

json Names(const std::vector<std::string>& names) {
  json list = json::array();
  for (const std::string& n : names) list.push_back(n);
  return list;
}

json FolderJson(const FolderResult& r) {
  return {{"folder", r.folder},
          {"state", JsonState(r.state)},
          {"sets", r.sets},
          {"files", r.files},
          {"bytes", r.bytes},
          {"added", Names(r.added)},
          {"edited", Names(r.edited)},
          {"dropped", Names(r.dropped)},
          {"damaged", Names(r.damaged)},
          {"missing", Names(r.missing)},
          {"note", r.note}};
}

std::string Dump(const json& value) {
  return value.dump(-1, ' ', false, json::error_handler_t::replace);
}

// The folders of each state, for the summary.
struct Tally {
  int counts[6] = {};
  int folders = 0;
  bool bad = false;         // damaged or missing
  bool unreadable = false;  // a folder or file that could not be read

  void Add(const FolderResult& r) {
    ++folders;
    ++counts[static_cast<int>(r.state)];
    bad = bad || r.state == FolderState::kDamaged || r.state == FolderState::kMissing;
    unreadable = unreadable || r.unreadable;
  }
  int Status() const { return unreadable ? kFileFailure : bad ? kRepairable : kSuccess; }
  // "3 folders: 1 protected, 1 up to date, 0 renewed, 1 damaged, 0 missing, 0 skipped."
  std::string Line() const {
    std::string line = Counted(static_cast<std::size_t>(folders), "folder", "folders") + ":";
    for (int s = 0; s < 6; ++s) {
      line += std::string(s == 0 ? " " : ", ") + std::to_string(counts[s]) + " " +
              StateWord(static_cast<FolderState>(s));
    }
    return line + ".";
  }
  json Json() const {
    json summary = {{"folders", folders}};
    for (int s = 0; s < 6; ++s) summary[JsonState(static_cast<FolderState>(s))] = counts[s];
    return summary;
  }
};

// The bytes a protect of `folder` reads at most: its plain files' and
// those of the folders below that it enters (a volume's name left out;
// told by the names alone, as this is for the progress line only).
std::int64_t TreeBytes(Env& env, const std::string& folder, bool hidden) {
  std::vector<FolderEntry> entries;
  try {
    entries = env.List(folder);
  } catch (const FileError&) {
    return 0;
  }
  std::int64_t bytes = 0;
  for (const FolderEntry& e : entries) {
    if (e.name.starts_with('.') && !hidden) continue;
    const std::string path = JoinPath(folder, e.name);
    if (e.kind == FileKind::kFolder) {
      bytes += TreeBytes(env, path, hidden);
    } else if (e.kind == FileKind::kRegular && !VolumeNumberOfName(e.name)) {
      bytes += std::max<std::int64_t>(0, env.SizeOf(path));
    }
  }
  return bytes;
}

}  // namespace

std::string FolderLine(const FolderResult& r) {
  std::string line = PrintableText(r.folder) + ": " + StateWord(r.state);
  switch (r.state) {
    case FolderState::kProtected:
    case FolderState::kUpToDate:
      return line + ", " + Sets(r);
    case FolderState::kRenewed: {
      line += ", " + Sets(r) + ":";
      const char* sep = " ";
      for (const auto& [names, what] :
           {std::pair{&r.added, "added"}, std::pair{&r.edited, "edited"},
            std::pair{&r.dropped, "dropped"}}) {
        if (names->empty()) continue;
        line += sep + std::to_string(names->size()) + " " + what;
        sep = ", ";
      }
      return line;
    }
    case FolderState::kDamaged:
    case FolderState::kMissing:
      return line + ", the sets left as they were";
    case FolderState::kSkipped:
      return line + ", " + PrintableText(r.note);
  }
  return line;
}

int Protect(const Options& o, Engine& engine, Env& env, TerminalInteraction& ui) {
  for (const std::string& dir : o.operands) {
    const std::optional<FileInfo> info = env.Stat(dir, /*followLink=*/true);
    if (!info || info->kind != FileKind::kFolder) {
      ui.Message(dir + " is no folder. Nothing was written.");
      return kUsage;
    }
  }
  ProtectOptions options;
  options.percent = o.percent;
  options.hidden = o.hidden;
  options.dropMissing = o.dropMissing;
  Tally tally;
  bool firstJson = true;
  // The progress line tells of the whole tree: what the folders done so
  // far held, and the sets being written.
  std::int64_t total = 0, done = 0;
  if (ui.ShowsProgress()) {
    for (const std::string& dir : o.operands) total += TreeBytes(env, dir, o.hidden);
    ui.SetOverall(0, total);
  }
  if (o.json) WriteOut("{\"command\": \"protect\", \"folders\": [");
  const auto each = [&](const FolderResult& r) {
    tally.Add(r);
    if (total > 0) {
      done += r.bytes;
      ui.SetOverall(done, total);
    }
    for (const std::string& name : r.damaged) {
      ui.Message(JoinPath(r.folder, name) + " is damaged: repair restores it");
    }
    for (const std::string& name : r.missing) {
      ui.Message(JoinPath(r.folder, name) +
                 " is missing: repair restores it; --drop-missing leaves it out of the sets");
    }
    if (o.json) {
      WriteOut((firstJson ? "\n  " : ",\n  ") + Dump(FolderJson(r)));
      firstJson = false;
    } else {
      ui.HideProgress();
      WriteOut(FolderLine(r) + "\n");
    }
  };
  for (const std::string& dir : o.operands) engine.Protect(dir, options, each);
  const int status = tally.Status();
  if (o.json) {
    WriteOut("\n], \"summary\": " + Dump(tally.Json()) + ", \"status\": " + std::to_string(status) +
             "}\n");
  } else {
    WriteOut(tally.Line() + "\n");
  }
  return status;
}

}  // namespace tarvel::cli
