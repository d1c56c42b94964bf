// tarvel-cli: creating, checking and repairing volume sets from a terminal.
// The same engine and the same actions as the windows: the options answer
// its prompts and questions, messages go to standard error, the reports to
// standard output, and each outcome becomes an exit status.

#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "cli/exit_status.h"
#include "cli/options.h"
#include "cli/output.h"
#include "cli/set_runner.h"
#include "cli/terminal_interaction.h"
#include "engine/set/create_rules.h"
#include "engine/engine.h"
#include "engine/format/format.h"
#include "platform/env.h"
#include "platform/interrupt_cleanup.h"

namespace tarvel::cli {
namespace {

// The engine that a first Ctrl-C, SIGTERM or SIGHUP asks to stop.
std::atomic<Engine*> gEngine{nullptr};

void StopTheEngine() {
  if (Engine* engine = gEngine.load()) engine->RequestStop();
}

// A command-line path made absolute against the current folder, without
// resolving symbolic links, so that names stay as the user wrote them.
std::string Resolve(Env& env, const std::string& path) {
  const std::filesystem::path given(path);
  const std::filesystem::path whole =
      given.is_absolute() ? given : std::filesystem::path(env.CurrentFolder()) / given;
  return whole.lexically_normal().string();
}

// Standard output took not all it was given: a closed pipe ends the
// command quietly, as the reader has gone; anything else is said.
int OutputFailure(const OutputError& e) {
  if (e.Reason() == EPIPE) return 128 + SIGPIPE;
  std::fprintf(stderr, "tarvel-cli: %s\n", WithReason(e.what(), e.Reason()).c_str());
  return kFileFailure;
}

int UsageError(const std::string& text) {
  std::fprintf(stderr, "tarvel-cli: %s\nTry 'tarvel-cli --help' for more information.\n",
               PrintableText(text).c_str());
  return kUsage;
}

// The options' own checks: a count and a base name that can be.
std::optional<int> RefusedOptions(const Options& o, Env& env) {
  const int files = static_cast<int>(o.operands.size());
  const int most = ParityCountBoundsFor(files).max;
  if (o.parityCount && (*o.parityCount < 1 || *o.parityCount > most)) {
    return UsageError("-n must lie between 1 and " + std::to_string(most) + " for " +
                      std::to_string(files) + " files");
  }
  if (!o.base) return std::nullopt;
  const std::string base = Resolve(env, *o.base);
  if (BareName(base).empty()) {
    return UsageError("-o needs a name for the volumes after the folder, not '" + *o.base + "'");
  }
  if (GivesHiddenVolumes(base)) {
    return UsageError("-o needs a base name that does not start with '.', not '" + *o.base + "'");
  }
  return std::nullopt;
}

// The operands as the engine takes them.
std::vector<std::string> Resolved(Env& env, const std::vector<std::string>& names) {
  std::vector<std::string> paths;
  for (const std::string& name : names) paths.push_back(Resolve(env, name));
  return paths;
}

int Create(const Options& o, Engine& engine, Env& env) {
  switch (engine.Create(Resolved(env, o.operands))) {
    case CreateOutcome::kCreated:
      return kSuccess;
    case CreateOutcome::kNoRoom:
      return kFileFailure;
    case CreateOutcome::kRefused:
    case CreateOutcome::kCancelled:
      break;
  }
  return kUsage;
}

// Checks the set of a run through the first of its volumes that reads;
// false when none does.
bool CheckSet(SetRun& run, Engine& engine, Env& env) {
  run.checked = engine.Check(Resolved(env, run.volumes)) == CheckOutcome::kChecked;
  return run.checked;
}

int Verify(SetRun& run, Engine& engine, Env& env) {
  if (!CheckSet(run, engine, env)) return kUsage;
  switch (engine.Assess()) {
    case SetState::kAllOk:
      return kSuccess;
    case SetState::kRepairable:
      return kRepairable;
    case SetState::kUnrepairable:
      break;
    case SetState::kNotChecked:
      return kFileFailure;
  }
  return kUnrepairable;
}

// The check and the repair are one action of the engine, so that what the
// check read is not read again by the check after the rebuild.
int Repair(SetRun& run, Engine& engine, Env& env) {
  const std::optional<RepairResult> result =
      engine.CheckAndRepair(Resolved(env, run.volumes), run.checked);
  if (!result) return kUsage;
  switch (*result) {
    case RepairResult::kAllOk:
      return kSuccess;
    case RepairResult::kDiffers:
      return kRepairable;
    case RepairResult::kStillBad:
      return kStillBad;
    case RepairResult::kUnchanged:
      break;
    case RepairResult::kNotChecked:
      return kFileFailure;
  }
  return kUnrepairable;
}

int Run(int argc, char** argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
  std::string error;
  std::optional<Options> parsed = ParseOptions(args, error);
  if (!parsed) return UsageError(error);
  const Options& o = *parsed;
  // A closed pipe on standard output is an error of the write, which ends
  // the command quietly (OutputError), not a signal in the middle of a
  // file being written.
  std::signal(SIGPIPE, SIG_IGN);
  try {
    switch (o.command) {
      case Command::kHelp:
        WriteOut(kUsageText);
        return kSuccess;
      case Command::kVersion:
        WriteOut(std::string("tarvel-cli ") + kVersionText + "\n");
        return kSuccess;
      default:
        break;
    }
  } catch (const OutputError& e) {
    return OutputFailure(e);
  }

  // Ctrl-C or a kill stops the action: the temporary files go with it.  A
  // second one ends the program at once.
  InstallInterruptCleanup(StopTheEngine);

  // A file that grows beyond the size this process may write (ulimit -f)
  // then makes the write fail, so it is handled as a full disk is: the
  // temporary file is removed and the reason shown.  By default the system
  // would kill the program and leave the temporary file behind.
  std::signal(SIGXFSZ, SIG_IGN);

  Env& env = Env::Default();
  StandingAnswers answers;
  answers.includeSmallFiles = o.includeSmallFiles;
  answers.found = o.found;
  answers.parityCount = o.parityCount;
  answers.replaceVolumes = o.force;
  answers.revertChanged = o.revertChanged;
  answers.json = o.json;
  TerminalInteraction ui(!o.quiet && isatty(STDERR_FILENO), answers);
  Engine engine(env, ui);
  engine.SetThreads(o.threads);
  gEngine.store(&engine);
  const auto finish = [&](int status) {
    gEngine.store(nullptr);
    return StopSignal() != 0 ? 128 + StopSignal() : status;
  };
  try {
    switch (o.command) {
      case Command::kCreate: {
        if (const std::optional<int> refused = RefusedOptions(o, env)) return finish(*refused);
        if (o.base) {
          answers.base = Resolve(env, *o.base);
          ui.SetAnswers(answers);
        }
        return finish(Create(o, engine, env));
      }
      case Command::kVerify:
        return finish(
            RunSets(o, engine, env, ui, [&](SetRun& run) { return Verify(run, engine, env); }));
      case Command::kRepair:
        return finish(
            RunSets(o, engine, env, ui, [&](SetRun& run) { return Repair(run, engine, env); }));
      default:
        return kUsage;
    }
  } catch (const ActionStopped&) {
    ui.HideProgress();
    return finish(kFileFailure);
  } catch (const OutputError& e) {
    ui.HideProgress();
    return finish(OutputFailure(e));
  } catch (const ReportedFailure&) {
    ui.HideProgress();  // the failure's own message has been shown
    return finish(kFileFailure);
  } catch (const FileError& e) {
    ui.HideProgress();
    ui.Message(FileErrorMessage(e));
    return finish(kFileFailure);
  } catch (const std::exception& e) {
    // Anything else the system refused (memory, a vanished current folder).
    ui.HideProgress();
    ui.Message(e.what());
    return finish(kFileFailure);
  }
}

}  // namespace
}  // namespace tarvel::cli

int main(int argc, char** argv) { return tarvel::cli::Run(argc, argv); }
