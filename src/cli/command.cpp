// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/command.h"

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
#include "cli/protect_command.h"
#include "cli/set_runner.h"
#include "cli/terminal_interaction.h"
#include "engine/choices.h"
#include "engine/engine.h"
#include "engine/report.h"
#include "platform/env.h"
#include "platform/interrupt_cleanup.h"
#include "platform/language.h"
#include "version.h"

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
  std::fprintf(stderr, "tarvel-cli: %s\n%s\n", PrintableText(text).c_str(),
               TR("Try 'tarvel-cli --help' for more information."));
  return kUsage;
}

// The options' own checks: a count and a base name that can be.
std::optional<int> RefusedOptions(const Options& o, Env& env) {
  const int files = static_cast<int>(o.operands.size());
  const int most = ParityCountBoundsFor(files).max;
  if (o.parityCount && (*o.parityCount < 1 || *o.parityCount > most)) {
    return UsageError(TrFill("-n must lie between 1 and %s for %s files",
                             {std::to_string(most), std::to_string(files)}));
  }
  if (!o.base) return std::nullopt;
  const std::string base = Resolve(env, *o.base);
  if (BareName(base).empty()) {
    return UsageError(
        TrFill("-o needs a name for the volumes after the folder, not '%s'", {*o.base}));
  }
  if (GivesHiddenVolumes(base)) {
    return UsageError(
        TrFill("-o needs a base name that does not start with '.', not '%s'", {*o.base}));
  }
  return std::nullopt;
}

// The operands as the engine takes them.
std::vector<std::string> Resolved(Env& env, const std::vector<std::string>& names) {
  std::vector<std::string> paths;
  for (const std::string& name : names) paths.push_back(Resolve(env, name));
  return paths;
}

// Every answer of a create comes from the options, before anything is
// read: each file is read once.
int Create(const Options& o, Engine& engine, Env& env) {
  switch (engine.Create(Resolved(env, o.operands), {.onePass = true})) {
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

int Verify(SetRun& run, Engine& engine, Env& env) {
  const CheckReport check = engine.Check(Resolved(env, run.volumes));
  if (check.outcome != CheckOutcome::kChecked) return kUsage;
  switch (check.state) {
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
  const RepairReport repair = engine.Repair(Resolved(env, run.volumes));
  if (repair.outcome != CheckOutcome::kChecked) return kUsage;
  switch (repair.result) {
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

// --help and --version, which need no engine.
std::optional<int> Informed(const Options& o) {
  try {
    switch (o.command) {
      case Command::kHelp:
        WriteOut(kUsageText);
        return kSuccess;
      case Command::kVersion:
        WriteOut(std::string("tarvel-cli ") + kVersionText + "\n");
        return kSuccess;
      default:
        return std::nullopt;
    }
  } catch (const OutputError& e) {
    return OutputFailure(e);
  }
}

// How the process meets signals while an action runs.
void MeetSignals() {
  // A closed pipe on standard output is an error of the write, which ends
  // the command quietly (OutputError), not a signal in the middle of a
  // file being written.
  std::signal(SIGPIPE, SIG_IGN);
  // Ctrl-C or a kill stops the action: the temporary files go with it.  A
  // second one ends the program at once.
  InstallInterruptCleanup(StopTheEngine);
  // A file that grows beyond the size this process may write (ulimit -f)
  // then makes the write fail, so it is handled as a full disk is: the
  // temporary file is removed and the reason shown.  By default the system
  // would kill the program and leave the temporary file behind.
  std::signal(SIGXFSZ, SIG_IGN);
}

StandingAnswers AnswersOf(const Options& o) {
  StandingAnswers answers;
  answers.includeSmallFiles = o.includeSmallFiles;
  answers.found = o.found;
  answers.parityCount = o.parityCount;
  answers.replaceVolumes = o.force;
  answers.revertChanged = o.revertChanged;
  answers.json = o.json;
  return answers;
}

// The command itself.
int RunCommand(const Options& o, Engine& engine, Env& env, TerminalInteraction& ui) {
  switch (o.command) {
    case Command::kCreate: {
      if (const std::optional<int> refused = RefusedOptions(o, env)) return *refused;
      if (o.base) {
        StandingAnswers answers = AnswersOf(o);
        answers.base = Resolve(env, *o.base);
        ui.SetAnswers(answers);
      }
      return Create(o, engine, env);
    }
    case Command::kVerify:
      return RunSets(o, engine, env, ui, [&](SetRun& run) { return Verify(run, engine, env); });
    case Command::kRepair:
      return RunSets(o, engine, env, ui, [&](SetRun& run) { return Repair(run, engine, env); });
    case Command::kProtect:
      return Protect(o, engine, env, ui);
    default:
      return kUsage;
  }
}

}  // namespace

int Run(int argc, char** argv, Env& env) {
  std::vector<std::string> args(argv + 1, argv + argc);
  std::string error;
  std::optional<Options> parsed = ParseOptions(args, error);
  if (!parsed) return UsageError(error);
  const Options& o = *parsed;
  if (const std::optional<int> informed = Informed(o)) return *informed;

  MeetSignals();
  TerminalInteraction ui(!o.quiet && isatty(STDERR_FILENO), AnswersOf(o));
  Engine engine(env, ui);
  engine.SetThreads(o.threads);
  gEngine.store(&engine);
  int status = kFileFailure;
  try {
    status = Guarded(ui, [&] { return RunCommand(o, engine, env, ui); });
  } catch (const ActionStopped&) {
    ui.HideProgress();
  } catch (const OutputError& e) {
    ui.HideProgress();
    status = OutputFailure(e);
  }
  gEngine.store(nullptr);
  return StopSignal() != 0 ? 128 + StopSignal() : status;
}

}  // namespace tarvel::cli
