// tarvel-cli: creating, checking and repairing volume sets from a terminal.
// The same engine as the windows; prompts are answered by options, messages
// go to standard error, the report to standard output.

#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "cli/exit_status.h"
#include "cli/options.h"
#include "cli/pass_work.h"
#include "cli/set_runner.h"
#include "cli/terminal_interaction.h"
#include "engine/create_rules.h"
#include "engine/engine.h"
#include "engine/format.h"
#include "platform/env.h"
#include "platform/interrupt_cleanup.h"

namespace tarvel::cli {
namespace {

// A command-line path made absolute against the current folder, without
// resolving symbolic links, so that names stay as the user wrote them.
std::string Resolve(const std::string& path) {
  return std::filesystem::absolute(std::filesystem::path(path)).lexically_normal().string();
}

// Builds the report, which also sets the counts the exit status rests on,
// and prints it unless the JSON document takes its place.
void PrintReport(const Options& o, Engine& engine) {
  std::vector<std::string> lines;
  engine.BuildReport(lines);
  if (o.json) return;
  for (const std::string& line : lines) std::printf("%s\n", PrintableText(line).c_str());
  std::fflush(stdout);
}

int UsageError(const std::string& text) {
  std::fprintf(stderr, "tarvel-cli: %s\nTry 'tarvel-cli --help' for more information.\n",
               PrintableText(text).c_str());
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

  if (o.base && BareName(Resolve(*o.base)).empty()) {
    return UsageError("-o needs a name for the volumes after the folder, not '" + *o.base + "'");
  }
  if (o.base && GivesHiddenVolumes(Resolve(*o.base))) {
    return UsageError("-o needs a base name that does not start with '.', not '" + *o.base + "'");
  }
  // The files are sorted: the first one names the set.
  const std::string base =
      o.base ? Resolve(*o.base) : JoinPath(folder, DefaultBaseName(BareName(paths.front())));

  // Volumes of that name are replaced only when asked to (a volume that is
  // one of the files is refused by the engine, which says why).
  Env& env = engine.FileLayer();
  const VolumePlan plan = PlanVolumes(env, folder, base, count);
  if (!o.force && !plan.existing.empty() &&
      VolumeReplacingASetFile(env, paths, base, count).empty()) {
    ui.Message(ReplaceRefusal(plan));
    return kUsage;
  }

  if (!engine.AnalyseFiles(paths)) {
    ui.Message("Operation aborted!");
    return kUsage;
  }
  const SetModel& m = engine.Model();
  if (!HasRoomForVolumes(env, base, m.BiggestFileSize, count)) {
    ui.Message("Not enough free disk space for this.");
    return kFileFailure;
  }
  if (!engine.WriteVolumeSet(base, count)) {
    // Refused before anything was written (its message has been shown).
    ui.Message("Operation aborted!");
    return kUsage;
  }
  if (plan.awayFromFiles) ui.Message(AwayFromFilesWarning(plan));
  if (!plan.leftOver.empty()) ui.Message(LeftOverNote(plan));
  std::printf("Files successfully created.\n");
  return kSuccess;
}

// Reads the set from the first of its volumes that reads, searches and
// verifies; false after the reader's messages.
bool Check(SetRun& run, Engine& engine, Interaction& ui) {
  for (const std::string& volume : run.volumes) {
    if (!engine.ReadVolume(Resolve(volume))) {
      ui.Message("Error Reading lists. Operation aborted.");
      continue;  // another volume of the same set may still read
    }
    engine.SearchFiles();
    engine.FindVolumes();
    run.checked = true;
    return true;
  }
  return false;
}

bool AllFilesOk(const SetModel& m) { return m.BadFileCount == 0 && m.CrcOnlyBadCount == 0; }

// What verify reports after the report has been built: repairable when a
// repair would mend some of the damage (rebuilding, or putting a file found
// under another name in place) and fail on none of the files in parity.
int StatusOfReport(Engine& engine) {
  const SetModel& m = engine.Model();
  if (AllFilesOk(m)) return kSuccess;
  if (m.BadFileCount > 0) {
    const RestoreOutcome plan = engine.PlanRepair();
    return plan == RestoreOutcome::kRestored || plan == RestoreOutcome::kNothingToRestore
               ? kRepairable
               : kUnrepairable;
  }
  // Only digest-only files are bad: a repair can but rename or copy them.
  for (int i = 0; i < m.FileCount; ++i) {
    const fileentry& e = m.FileTable[i];
    if (!(e.present && e.crcok) && engine.FoundUnderOtherName(i)) return kRepairable;
  }
  return kUnrepairable;
}

int Verify(const Options& o, SetRun& run, Engine& engine, Interaction& ui) {
  if (!Check(run, engine, ui)) return kUsage;
  PrintReport(o, engine);
  return StatusOfReport(engine);
}

int Repair(const Options& o, SetRun& run, Engine& engine, Interaction& ui) {
  if (!Check(run, engine, ui)) return kUsage;
  PrintReport(o, engine);
  const SetModel& m = engine.Model();
  // A listed file left bad ends with kStillBad, or kUnrepairable when the
  // repair changed nothing at all.
  const int leftBad = engine.PlacedBySearch() > 0 ? kStillBad : kUnrepairable;
  if (m.BadFileCount == 0) return AllFilesOk(m) ? kSuccess : leftBad;
  switch (engine.RestoreFromReport(/*askEachFile=*/false)) {
    case RestoreOutcome::kRestored:
      break;
    case RestoreOutcome::kNothingToRestore:
      return kSuccess;
    case RestoreOutcome::kNotEnoughVolumes:
    case RestoreOutcome::kUnsolvable:
      return leftBad;
  }
  // The final report is a whole new check: a rebuilt file may have taken
  // the place of a link that led to a volume.
  engine.SearchFiles();
  engine.FindVolumes();
  if (!o.json) std::printf("\n");
  PrintReport(o, engine);
  return AllFilesOk(m) ? kSuccess : kStillBad;
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

  // Ctrl-C or a kill takes the temporary file being written with it.
  InstallInterruptCleanup();

  // A file that grows beyond the size this process may write (ulimit -f)
  // then makes the write fail, so it is handled as a full disk is: the
  // temporary file is removed and the reason shown.  By default the system
  // would kill the program and leave the temporary file behind.
  std::signal(SIGXFSZ, SIG_IGN);

  TerminalInteraction ui(!o.quiet && isatty(STDERR_FILENO), o.includeSmallFiles, o.found);
  Engine engine(Env::Default(), ui);
  engine.SetThreads(o.threads);
  PassWork work(engine);
  ui.SetWorkLookup([&work](const std::string& text) { return work.Of(text); });
  try {
    switch (o.command) {
      case Command::kCreate:
        return Create(o, engine, ui);
      case Command::kVerify:
        return RunSets(o, engine, ui, [&](SetRun& run) { return Verify(o, run, engine, ui); });
      case Command::kRepair:
        return RunSets(o, engine, ui, [&](SetRun& run) { return Repair(o, run, engine, ui); });
      default:
        return kUsage;
    }
  } catch (const StandingAnswerFailed&) {
    ui.HideProgress();  // the failure's own message has been shown
    return kFileFailure;
  } catch (const FileError& e) {
    ui.HideProgress();
    ui.Message(FileErrorMessage(e));
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
