// tarvel-cli: creating, checking and repairing volume sets from a terminal.
// The same engine as the windows; prompts are answered by options, messages
// go to standard error, the report to standard output.

#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "cli/options.h"
#include "cli/terminal_interaction.h"
#include "engine/create_rules.h"
#include "engine/engine.h"
#include "platform/env.h"

namespace tarvel::cli {
namespace {

// Exit statuses; scripts rely on them.
enum Exit : int {
  kSuccess = 0,
  kRepairable = 1,
  kUnrepairable = 2,
  kUsage = 3,
  kFileFailure = 4,
  kStillBad = 5,
};

// A command-line path made absolute against the current folder, without
// resolving symbolic links, so that names stay as the user wrote them.
std::string Resolve(const std::string& path) {
  return std::filesystem::absolute(std::filesystem::path(path)).lexically_normal().string();
}

void PrintReport(Engine& engine) {
  std::vector<std::string> lines;
  engine.BuildReport(lines);
  for (const std::string& line : lines) std::printf("%s\n", line.c_str());
  std::fflush(stdout);
}

int UsageError(const std::string& text) {
  std::fprintf(stderr, "tarvel-cli: %s\nTry 'tarvel-cli --help' for more information.\n",
               text.c_str());
  return kUsage;
}

int Create(const Options& o, Engine& engine, Interaction& ui) {
  std::vector<std::string> paths;
  for (const std::string& f : o.operands) paths.push_back(Resolve(f));
  const std::string refusal = CheckFileChoice(paths);
  if (!refusal.empty()) {
    ui.Message(refusal);
    return kUsage;
  }
  const std::string folder = FolderOf(paths.front());

  const int n = static_cast<int>(paths.size());
  const int maxCount = ParityCountBoundsFor(n).max;
  const int count = o.parityCount.value_or(DefaultParityCount(n));
  if (count < 1 || count > maxCount) {
    return UsageError("-n must lie between 1 and " + std::to_string(maxCount) + " for " +
                      std::to_string(n) + " files");
  }

  if (o.base) {
    if (GivesHiddenVolumes(Resolve(*o.base))) {
      return UsageError("-o needs a base name that does not start with '.', not '" + *o.base +
                        "'");
    }
  }

  if (!engine.AnalyseFiles(paths)) {
    ui.Message("Operation aborted!");
    return kUsage;
  }
  const SetModel& m = engine.Model();
  const std::string base =
      o.base ? Resolve(*o.base) : JoinPath(folder, DefaultBaseName(m.FileTable[0].name));

  if (!HasRoomForVolumes(engine.FileLayer(), base, m.BiggestFileSize, count)) {
    ui.Message("Not enough free disk space for this.");
    return kFileFailure;
  }
  if (!engine.WriteVolumeSet(base, count)) {
    // Refused before anything was written (its message has been shown).
    ui.Message("Operation aborted!");
    return kUsage;
  }
  std::printf("Files successfully created.\n");
  return kSuccess;
}

// Reads the volume, searches and verifies; false after the reader's message.
bool Check(const std::string& volume, Engine& engine, Interaction& ui) {
  if (!engine.ReadVolume(Resolve(volume))) {
    ui.Message("Error Reading lists. Operation aborted.");
    return false;
  }
  engine.SearchFiles();
  engine.FindVolumes();
  return true;
}

int StatusOfReport(Engine& engine) {
  const SetModel& m = engine.Model();
  if (m.BadFileCount == 0) return kSuccess;
  return engine.PlanRestore() == RestoreOutcome::kRestored ? kRepairable : kUnrepairable;
}

int Verify(const Options& o, Engine& engine, Interaction& ui) {
  if (!Check(o.operands[0], engine, ui)) return kUsage;
  PrintReport(engine);
  return StatusOfReport(engine);
}

int Repair(const Options& o, Engine& engine, Interaction& ui) {
  if (!Check(o.operands[0], engine, ui)) return kUsage;
  PrintReport(engine);
  if (engine.Model().BadFileCount == 0) return kSuccess;
  switch (engine.RestoreFromReport(/*askEachFile=*/false)) {
    case RestoreOutcome::kRestored:
      break;
    case RestoreOutcome::kNothingToRestore:
      return kSuccess;
    case RestoreOutcome::kNotEnoughVolumes:
    case RestoreOutcome::kUnsolvable:
      return kUnrepairable;
  }
  engine.SearchFiles();
  std::printf("\n");
  PrintReport(engine);
  return engine.Model().BadFileCount == 0 ? kSuccess : kStillBad;
}

int Run(int argc, char** argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
  std::string error;
  std::optional<Options> parsed = ParseOptions(args, error);
  if (!parsed) return UsageError(error);
  const Options& o = *parsed;
  switch (o.command) {
    case Command::kHelp:
      std::fputs(kUsageText, stdout);
      return kSuccess;
    case Command::kVersion:
      std::printf("tarvel-cli %s\n", kVersionText);
      return kSuccess;
    default:
      break;
  }

  TerminalInteraction ui(!o.quiet && isatty(STDERR_FILENO), o.includeSmallFiles, o.found);
  Engine engine(Env::Default(), ui);
  try {
    switch (o.command) {
      case Command::kCreate: return Create(o, engine, ui);
      case Command::kVerify: return Verify(o, engine, ui);
      case Command::kRepair: return Repair(o, engine, ui);
      default: return kUsage;
    }
  } catch (const StandingAnswerFailed&) {
    ui.HideProgress();  // the failure's own message has been shown
    return kFileFailure;
  } catch (const FileError& e) {
    ui.HideProgress();
    ui.Message(e.what());
    return kFileFailure;
  } catch (const std::exception& e) {
    // Anything else the system refused (memory, a vanished current folder).
    ui.HideProgress();
    ui.Message(e.what());
    return kFileFailure;
  }
}

}  // namespace
}  // namespace tarvel::cli

int main(int argc, char** argv) { return tarvel::cli::Run(argc, argv); }
