// snapshots: renders every window of Tarvel, filled as a user would see it,
// to PNG files, so that cut-off texts and misplaced controls can be seen
// without a desktop:
//
//   QT_QPA_PLATFORM=offscreen snapshots OUTPUT_FOLDER
//
// A small set is created in a temporary folder, two of its files are lost
// or damaged, and the set is checked and restored; the report is rendered
// after the check (its lines of missing and damaged files marked, a
// right-to-left name isolated) and after the restore.  The prompts are
// rendered with ordinary names and with one too long for the screen.
#include <QApplication>
#include <QDir>
#include <QLabel>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QSettings>
#include <QTemporaryDir>
#include <QTimer>
#include <cstdio>
#include <fstream>
#include <random>

#include "ui/windows.h"

namespace {

using tarvel::ui::TarvelWindows;

class NoDialogs : public tarvel::ui::FileDialogs {
 public:
  QStringList ChooseFilesToProtect(QWidget*) override { return {}; }
  QString ChooseVolume(QWidget*) override { return {}; }
};

void WriteFile(const QString& path, std::size_t size, unsigned seed) {
  std::mt19937 rng(seed);
  std::string bytes(size, '\0');
  for (char& c : bytes) c = static_cast<char>(rng());
  std::ofstream(path.toStdString(), std::ios::binary) << bytes;
}

bool Save(QWidget* window, const QDir& out, const QString& name) {
  window->show();
  QApplication::processEvents();
  const QString path = out.filePath(name);
  const bool saved = window->grab().save(path);
  std::printf("%s %s\n", saved ? "wrote" : "FAILED", qPrintable(path));
  window->hide();
  return saved;
}

// The report of the engine's model in the File report window.
void ShowReport(TarvelWindows& w) {
  std::vector<std::string> lines;
  w.engine.BuildReport(lines);
  QStringList text;
  for (const std::string& line : lines) text.push_back(QString::fromStdString(line));
  w.Reportform->SetLines(text);
}

}  // namespace

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  QApplication::setApplicationName(QStringLiteral("Tarvel"));
  // The windows' kept sizes and places come from settings of their own,
  // empty at the start, not from the user's.
  QTemporaryDir settings;
  QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, settings.path());
  if (argc != 2) {
    std::fprintf(stderr, "usage: snapshots OUTPUT_FOLDER\n");
    return 2;
  }
  QDir out(QString::fromLocal8Bit(argv[1]));
  if (!out.mkpath(QStringLiteral("."))) return 1;

  QTemporaryDir setFolder;
  QDir set(setFolder.path());
  const QStringList names = {"beach.jpg",   "dunes.jpg",
                             "harbour.jpg", "lighthouse at dusk.jpg",
                             "notes.txt",   QString::fromUtf8("مستند_عربي_مهم.pdf")};
  std::vector<std::string> paths;
  unsigned seed = 1;
  for (const QString& n : names) {
    WriteFile(set.filePath(n), n.endsWith(".txt") ? 900 : 180000 + 7000 * seed, seed);
    ++seed;
    paths.push_back(set.filePath(n).toStdString());
  }

  NoDialogs dialogs;
  TarvelWindows w(tarvel::Env::Default(), dialogs, {});
  bool ok = Save(w.MainForm.get(), out, "main.png");
  w.MainForm->show();
  ok &= Save(w.AboutBox, out, "about.png");

  w.Includeform->SetIncludeFile(QStringLiteral("notes.txt"), 900);
  ok &= Save(w.Includeform, out, "include.png");

  // notes.txt is asked about, and goes into the CRC list only.
  auto* answer = new QTimer(w.Includeform);
  QObject::connect(answer, &QTimer::timeout, w.Includeform, [&w, answer] {
    if (!w.Includeform->isVisible()) return;
    w.Includeform->dinc->click();
    answer->stop();
  });
  answer->start(10);
  (void)w.engine.AnalyseFiles(paths);
  w.PropertiesForm->Propose(w.engine.Proposal());
  ok &= Save(w.PropertiesForm, out, "properties.png");
  QDir::setCurrent(set.path());
  if (!w.engine.WriteVolumeSet("beach", 2)) return 1;

  w.Renameform->SetRenameFiles(QStringLiteral("IMG_0412 copy.jpg"), QStringLiteral("dunes.jpg"));
  ok &= Save(w.Renameform, out, "rename.png");
  w.restoreform->SetFileName(QStringLiteral("lighthouse at dusk.jpg"));
  ok &= Save(w.restoreform, out, "restore.png");
  // A name longer than the screen is wide: the prompt as wide as the screen
  // allows, the name elided in its middle.
  QString longName = QStringLiteral("holiday_2019_day_03_the_walk_along_the_cliffs");
  while (longName.size() < 400) longName += QStringLiteral("_and_on");
  longName += QStringLiteral("_final_edit.jpg");
  w.restoreform->SetFileName(longName);
  ok &= Save(w.restoreform, out, "restore-long-name.png");
  w.Includeform->SetIncludeFile(longName.replace(".jpg", ".txt"), 900);
  ok &= Save(w.Includeform, out, "include-long-name.png");

  // Lose one file, damage another, check.  The progress window is caught
  // mid-check, from the events the check lets run while a large file is
  // hashed; the damaged file is made large for that.
  set.remove(QStringLiteral("dunes.jpg"));
  WriteFile(set.filePath(QStringLiteral("harbour.jpg")), 60000000, 99);
  QTimer catcher;
  QObject::connect(&catcher, &QTimer::timeout, [&] {
    if (!w.ProgressForm1->isVisible() ||
        !w.ProgressForm1->whatlabel->text().startsWith(QStringLiteral("Checking")) ||
        w.ProgressForm1->ProgressBar1->value() == 0) {
      return;
    }
    catcher.stop();
    const QString path = out.filePath(QStringLiteral("progress.png"));
    const bool saved = w.ProgressForm1->grab().save(path);
    std::printf("%s %s\n", saved ? "wrote" : "FAILED", qPrintable(path));
    ok &= saved;
  });
  catcher.start(0);
  if (!w.engine.ReadVolume(set.filePath(QStringLiteral("beach.PAR")).toStdString())) return 1;
  w.engine.SearchFiles();
  w.engine.FindVolumes();
  if (catcher.isActive()) {
    std::printf("FAILED: the progress window was not caught mid-check\n");
    ok = false;
  }
  ShowReport(w);
  ok &= Save(w.Reportform, out, "report-check.png");
  // The same on a dark palette: the marked lines as readable.
  const QPalette light = w.Reportform->palette();
  w.Reportform->setPalette(QPalette(QColor(0x3c, 0x3c, 0x3c), QColor(0x30, 0x30, 0x30)));
  ok &= Save(w.Reportform, out, "report-check-dark.png");
  w.Reportform->setPalette(light);

  if (w.engine.RestoreFromReport(false) != tarvel::RestoreOutcome::kRestored) return 1;
  w.engine.SearchFiles();
  ShowReport(w);
  ok &= Save(w.Reportform, out, "report-restore.png");
  w.Reportform->resize(305, 231);
  ok &= Save(w.Reportform, out, "report-minimum.png");
  return ok ? 0 : 1;
}
