// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/set_runner.h"

#include <algorithm>
#include <cstdio>
#include <optional>
#include <set>
#include <utility>

#include "cli/exit_status.h"
#include "cli/json_report.h"
#include "cli/output.h"
#include "engine/report.h"
#include "engine/set/set_finder.h"
#include "platform/language.h"

namespace tarvel::cli {
namespace {

// The sets of the command line: named volumes first, in the order given,
// then what each -r folder holds.  Problems found on the way are shown and
// raise `status`.
std::vector<SetRun> GatherSets(const Options& o, Env& env, Interaction& ui, int& status,
                               JsonReport& json) {
  // A set is the volumes of one folder with one set digest: a volume named
  // twice, two volumes of one set, or a set named and also found below a
  // folder (given twice, or one inside another) is checked once.  A named
  // file that is no readable volume stands for itself.
  std::set<std::pair<std::optional<FileIdentity>, md5digest>> seen;
  std::set<FileIdentity> namedFiles;
  const auto firstTime = [&](const std::string& volume) {
    const std::string folder = FolderOf(volume);
    if (const std::optional<md5digest> digest = SetDigestOf(env, volume)) {
      return seen.insert({env.Identity(folder.empty() ? "." : folder, true), *digest}).second;
    }
    const std::optional<FileIdentity> file = env.Identity(volume, true);
    return !file || namedFiles.insert(*file).second;
  };
  std::vector<SetRun> runs;
  for (const std::string& volume : o.operands) {
    if (firstTime(volume)) runs.push_back({{volume}});
  }
  for (const std::string& root : o.roots) {
    SetSearch found = FindSets(env, root);
    for (const std::string& folder : found.unreadableFolders) {
      const std::string text = TrFill("Folder %s cannot be read", {folder});
      ui.Message(text);
      json.AddMessage(text);
      status = std::max<int>(status, kFileFailure);
    }
    if (found.sets.empty() && found.unreadableFolders.empty()) {
      const std::string text = TrFill("No volume set found in %s or below it.", {root});
      ui.Message(text);
      json.AddMessage(text);
      status = std::max<int>(status, kUsage);
    }
    for (FoundSet& set : found.sets) {
      if (firstTime(set.volumes.front())) runs.push_back({std::move(set.volumes)});
    }
  }
  return runs;
}

}  // namespace

int RunSets(const Options& o, Engine& engine, Env& env, TerminalInteraction& ui,
            const SetAction& action) {
  int status = kSuccess;
  JsonReport json(o.command == Command::kRepair ? "repair" : "verify");
  std::vector<SetRun> runs = GatherSets(o, env, ui, status, json);
  const bool headings = runs.size() > 1 && !o.json;
  for (std::size_t i = 0; i < runs.size(); ++i) {
    SetRun& run = runs[i];
    if (headings) {
      WriteOut(std::string(i == 0 ? "" : "\n") + "== " + PrintableText(run.volumes.front()) + "\n");
    }
    std::vector<std::string> messages;
    ui.StartSet();
    ui.SetMessageLog(&messages);
    const int setStatus = Guarded(ui, [&] { return action(run); });
    ui.SetMessageLog(nullptr);
    if (o.json) {
      // Once its check has shown a report, the set is described as the
      // engine has it now, also after a repair that failed half-way.
      const SetReport report = engine.CurrentReport();
      json.AddSet(run.volumes.front(), ui.ReportsShown() > 0 ? &report : nullptr, setStatus,
                  messages);
    }
    status = std::max(status, setStatus);
  }
  if (o.json) WriteOut(json.Document(status));
  return status;
}

int Guarded(TerminalInteraction& ui, const std::function<int()>& action) {
  try {
    return action();
  } catch (const ActionStopped&) {
    throw;
  } catch (const OutputError&) {
    throw;
  } catch (const ReportedFailure&) {
    ui.HideProgress();  // the failure's own message has been shown
  } catch (const FileError& e) {
    ui.HideProgress();
    ui.Message(FileErrorMessage(e));
  } catch (const std::exception& e) {
    ui.HideProgress();
    ui.Message(e.what());
  }
  return kFileFailure;
}

std::string FileErrorMessage(const FileError& error) {
  return WithReason(error.what(), error.OsError());
}

}  // namespace tarvel::cli
