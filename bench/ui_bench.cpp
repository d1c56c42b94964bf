// SPDX-License-Identifier: GPL-3.0-or-later
// Creating, checking and restoring a set of 20 files of 50 MB (3 parity
// volumes) through the windows, with their dialogs answered by the
// benchmark on the offscreen platform, next to the same work through the
// engine alone, in one run.  At the end it prints each action's time
// through the windows over its time through the engine alone.
//
//   build/bench/ui_bench [--benchmark_filter=...]
//   TARVEL_BENCH_DIR=/some/folder  (default: the temporary folder)
//   TARVEL_BENCH_MB=50             (size of each file; smaller runs faster)
//   TARVEL_BENCH_FILES=20
#include <benchmark/benchmark.h>
#include <stdlib.h>

#include <QApplication>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <random>

#include "engine/set/create_rules.h"
#include "silent_interaction.h"
#include "ui/windows.h"

namespace tarvel {
namespace {

int EnvInt(const char* name, int fallback) {
  const char* v = std::getenv(name);
  return v ? std::atoi(v) : fallback;
}

class FixedDialogs : public ui::FileDialogs {
 public:
  QStringList files;
  QString volume;
  QStringList ChooseFilesToProtect(QWidget*) override { return files; }
  QString ChooseVolume(QWidget*) override { return volume; }
  QString ChooseFolder(QWidget*, const QString&) override { return {}; }
};

// Answers the windows' modal windows as a user in a hurry would: OK in the
// Parity Properties dialog and in message boxes, Yes to questions, Restore Files and then OK
// in the report (when restoring), Yes for every file in the Restore prompt.
class Answerer : public QObject {
 public:
  bool restore = false;
  Answerer() {
    connect(&timer_, &QTimer::timeout, this, &Answerer::Poll);
    timer_.start(1);
  }

 private:
  void Poll() {
    QWidget* w = QApplication::activeModalWidget();
    if (!w || !w->isVisible() || busy_.contains(w)) return;
    busy_.push_back(w);
    // Answered from its own timer, so that the poll goes on while an answer
    // opens further modal windows (Restore Files opens the Restore prompt).
    QTimer::singleShot(0, this, [this, w] {
      Answer(w);
      busy_.removeOne(w);
    });
  }
  void Answer(QWidget* w) {
    const QString name = w->objectName();
    if (auto* box = qobject_cast<QMessageBox*>(w)) {
      // Yes to a question (replacing the volumes of the last round).
      QAbstractButton* yes = box->button(QMessageBox::Yes);
      (yes ? yes : box->button(QMessageBox::Ok))->click();
    } else if (name == "PropertiesForm") {
      w->findChild<QPushButton*>("OK")->click();
    } else if (name == "restoreform") {
      w->findChild<QAbstractButton*>("dontaskbox")->click();
      w->findChild<QPushButton*>("yesbutton")->click();
    } else if (name == "Reportform") {
      if (restore) w->findChild<QPushButton*>("Restorebutton")->click();
      w->findChild<QPushButton*>("OKButton")->click();
    }
  }
  QTimer timer_;
  QList<QWidget*> busy_;
};

struct BenchSet {
  std::filesystem::path folder;
  std::vector<std::string> paths;
  std::int64_t bytes = 0;

  BenchSet() {
    const char* base = std::getenv("TARVEL_BENCH_DIR");
    std::string tmpl =
        (std::filesystem::path(base ? base : std::filesystem::temp_directory_path()) /
         "tarvel-ui-bench-XXXXXX")
            .string();
    if (mkdtemp(tmpl.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
    folder = tmpl;
    const std::size_t size = static_cast<std::size_t>(EnvInt("TARVEL_BENCH_MB", 50)) * 1000000;
    std::mt19937_64 rng(7);
    std::vector<std::uint64_t> words(size / 8 + 1);
    for (int i = 0; i < EnvInt("TARVEL_BENCH_FILES", 20); ++i) {
      for (auto& w : words) w = rng();
      const std::string path = (folder / ("file" + std::to_string(100 + i) + ".bin")).string();
      std::ofstream(path, std::ios::binary)
          .write(reinterpret_cast<const char*>(words.data()),
                 static_cast<std::streamsize>(size - i * 1000));
      paths.push_back(path);
      bytes += static_cast<std::int64_t>(size - i * 1000);
    }
  }
  ~BenchSet() { std::filesystem::remove_all(folder); }
  std::string Volume() const { return (folder / "file100.PAR").string(); }
  // The files lost for a restore: two, or one when the set has a single
  // parity volume.  Kept in a folder below the set folder (where no search
  // looks) to put back.
  std::vector<int> Lost() const {
    const int n = static_cast<int>(paths.size());
    if (DefaultParityCount(n) < 2) return {0};
    return {0, n / 2};
  }
  std::filesystem::path Aside(int i) const {
    return folder / "aside" / std::filesystem::path(paths[i]).filename();
  }
  void Lose() {
    std::filesystem::create_directory(folder / "aside");
    for (int i : Lost()) std::filesystem::rename(paths[i], Aside(i));
  }
  void PutBack() {
    for (int i : Lost()) {
      std::filesystem::remove(paths[i]);
      std::filesystem::rename(Aside(i), paths[i]);
    }
  }
};

BenchSet& Set() {
  static BenchSet set;
  return set;
}

struct Windows {
  FixedDialogs dialogs;
  Answerer answerer;
  ui::TarvelWindows windows{Env::Default(), dialogs, {}};
  // No person to wait for, however long an action takes.
  ui::PresentDesktop present;
  Windows() {
    windows.ui.SetDesktop(&present, &Env::Default());
    windows.MainForm->show();
  }
};

// Made at first use, destroyed before the application object.
std::unique_ptr<Windows> theWindows;
Windows& TheWindows() {
  if (!theWindows) theWindows = std::make_unique<Windows>();
  return *theWindows;
}

// The volumes that Check and Restore read, when no Create has run before them.
void EnsureVolumes() {
  if (std::filesystem::exists(Set().Volume())) return;
  SilentInteraction ui;
  ui.choice = {true, 0, (Set().folder / "file100").string()};
  Engine engine(Env::Default(), ui);
  if (engine.Create(Set().paths) != CreateOutcome::kCreated) {
    throw std::runtime_error("the set could not be created");
  }
}

void Finish(benchmark::State& state) { state.SetBytesProcessed(state.iterations() * Set().bytes); }

void CreateEngine(benchmark::State& state) {
  SilentInteraction ui;
  ui.choice = {true, 0, (Set().folder / "file100").string()};
  Engine engine(Env::Default(), ui);
  for (auto _ : state) {
    if (engine.Create(Set().paths) != CreateOutcome::kCreated) state.SkipWithError("create failed");
  }
  Finish(state);
}

void CreateWindows(benchmark::State& state) {
  Windows& w = TheWindows();
  w.dialogs.files.clear();
  for (const std::string& p : Set().paths) w.dialogs.files << QString::fromStdString(p);
  for (auto _ : state) w.windows.MainForm->CreateButton->click();
  Finish(state);
}

void CheckEngine(benchmark::State& state) {
  EnsureVolumes();
  SilentInteraction ui;
  Engine engine(Env::Default(), ui);
  for (auto _ : state) {
    if (engine.Check({Set().Volume()}).outcome != CheckOutcome::kChecked) {
      state.SkipWithError("unreadable volume");
    }
  }
  Finish(state);
}

void CheckWindows(benchmark::State& state) {
  EnsureVolumes();
  Windows& w = TheWindows();
  w.answerer.restore = false;
  w.dialogs.volume = QString::fromStdString(Set().Volume());
  for (auto _ : state) w.windows.MainForm->CheckButton->click();
  Finish(state);
}

// Check, then restore of two lost files, then the search after it.
void RestoreEngine(benchmark::State& state) {
  EnsureVolumes();
  SilentInteraction ui;
  Engine engine(Env::Default(), ui);
  for (auto _ : state) {
    state.PauseTiming();
    Set().Lose();
    state.ResumeTiming();
    if (engine.Check({Set().Volume()}).outcome != CheckOutcome::kChecked) {
      state.SkipWithError("unreadable volume");
    }
    if (engine.Restore(true) != RestoreOutcome::kRestored) state.SkipWithError("nothing restored");
    state.PauseTiming();
    Set().PutBack();
    state.ResumeTiming();
  }
  Finish(state);
}

void RestoreWindows(benchmark::State& state) {
  EnsureVolumes();
  Windows& w = TheWindows();
  w.answerer.restore = true;
  w.dialogs.volume = QString::fromStdString(Set().Volume());
  for (auto _ : state) {
    state.PauseTiming();
    Set().Lose();
    state.ResumeTiming();
    w.windows.MainForm->CheckButton->click();
    state.PauseTiming();
    Set().PutBack();
    state.ResumeTiming();
  }
  Finish(state);
}

// Console output, and each benchmark's real time kept for the ratios.
class RatioReporter : public benchmark::ConsoleReporter {
 public:
  std::map<std::string, double> seconds;
  void ReportRuns(const std::vector<Run>& runs) override {
    for (const Run& r : runs) {
      seconds[r.benchmark_name()] = r.GetAdjustedRealTime();
    }
    ConsoleReporter::ReportRuns(runs);
  }
};

}  // namespace
}  // namespace tarvel

int main(int argc, char** argv) {
  // The offscreen platform notes what it cannot do (raise a window); that is
  // not news in a benchmark.
  qInstallMessageHandler([](QtMsgType type, const QMessageLogContext&, const QString& text) {
    if (type != QtWarningMsg || !text.contains("does not support")) {
      std::fprintf(stderr, "%s\n", qPrintable(text));
    }
  });
  qputenv("QT_QPA_PLATFORM",
          qgetenv("QT_QPA_PLATFORM").isEmpty() ? "offscreen" : qgetenv("QT_QPA_PLATFORM"));
  QApplication app(argc, argv);
  QApplication::setApplicationName(QStringLiteral("Tarvel"));
  benchmark::Initialize(&argc, argv);
  using namespace tarvel;
  const std::pair<const char*, void (*)(benchmark::State&)> benches[] = {
      {"Create/engine", CreateEngine},   {"Create/windows", CreateWindows},
      {"Check/engine", CheckEngine},     {"Check/windows", CheckWindows},
      {"Restore/engine", RestoreEngine}, {"Restore/windows", RestoreWindows}};
  for (const auto& [name, fn] : benches) {
    benchmark::RegisterBenchmark(name, fn)
        ->Unit(benchmark::kMillisecond)
        ->Iterations(EnvInt("TARVEL_BENCH_ITERATIONS", 3))
        ->UseRealTime();
  }
  RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  std::printf("\nwindows / engine alone (real time):\n");
  for (const char* action : {"Create", "Check", "Restore"}) {
    const std::string base = action;
    const auto e = reporter.seconds.find(
        base + "/engine/iterations:" + std::to_string(EnvInt("TARVEL_BENCH_ITERATIONS", 3)) +
        "/real_time");
    const auto w = reporter.seconds.find(
        base + "/windows/iterations:" + std::to_string(EnvInt("TARVEL_BENCH_ITERATIONS", 3)) +
        "/real_time");
    if (e == reporter.seconds.end() || w == reporter.seconds.end()) continue;
    std::printf("  %-8s %.3f\n", action, w->second / e->second);
    std::fflush(stdout);
  }
  theWindows.reset();
  benchmark::Shutdown();
  return 0;
}
