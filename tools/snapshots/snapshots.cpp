// SPDX-License-Identifier: GPL-3.0-or-later
// snapshots: renders every window of Tarvel, filled as a user would see it,
// to PNG files, so that cut-off texts and misplaced controls can be seen
// without a desktop:
//
//   QT_QPA_PLATFORM=offscreen snapshots OUTPUT_FOLDER
//
// A small set is created in a temporary folder through the windows' own
// prompts, two of its files are lost or damaged, and the set is checked and
// restored as a user does it; the report is rendered after the check (its
// lines of missing and damaged files marked, a right-to-left name isolated)
// and after the restore, and the Restore prompt of the file damaged after
// the set was made.  The prompts are rendered with ordinary names and with
// one too long for the screen.  The windows speak the language chosen, as
// tarvel's do (LANGUAGE=de renders them in German).
#include <QApplication>
#include <QDir>
#include <QLabel>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QSettings>
#include <QSpinBox>
#include <QTemporaryDir>
#include <QTimer>
#include <cstdio>
#include <fstream>
#include <functional>
#include <map>
#include <random>

#include "platform/language.h"
#include "ui/translation.h"
#include "ui/windows.h"

namespace {

using tarvel::ui::TarvelWindows;

class NoDialogs : public tarvel::ui::FileDialogs {
 public:
  QStringList ChooseFilesToProtect(QWidget*) override { return {}; }
  QString ChooseVolume(QWidget*) override { return {}; }
  QString ChooseFolder(QWidget*, const QString&) override { return {}; }
};

void WriteFile(const QString& path, std::size_t size, unsigned seed) {
  std::mt19937 rng(seed);
  std::string bytes(size, '\0');
  for (char& c : bytes) c = static_cast<char>(rng());
  std::ofstream(path.toStdString(), std::ios::binary) << bytes;
}

// Renders a window that is up to `name` in `out`.
bool Grab(QWidget* window, const QDir& out, const QString& name) {
  QApplication::processEvents();
  const QString path = out.filePath(name);
  const bool saved = window->grab().save(path);
  std::printf("%s %s\n", saved ? "wrote" : "FAILED", qPrintable(path));
  return saved;
}

// Shows a window, renders it and hides it again.
bool Save(QWidget* window, const QDir& out, const QString& name) {
  window->show();
  const bool saved = Grab(window, out, name);
  window->hide();
  return saved;
}

// Answers the modal windows an action opens, by their object names, as
// they come up; a message box is closed.
class Answers : public QObject {
 public:
  std::map<QString, std::function<void(QWidget*)>> by;

  Answers() {
    connect(&timer_, &QTimer::timeout, this, [this] {
      QWidget* w = QApplication::activeModalWidget();
      if (!w || !w->isVisible() || w == answering_) return;
      answering_ = w;
      const auto answer = by.find(w->objectName());
      if (answer != by.end()) {
        answer->second(w);
      } else if (auto* box = qobject_cast<QMessageBox*>(w)) {
        std::printf("answered %s\n", qPrintable(box->text()));
        box->button(box->buttons().contains(box->button(QMessageBox::Yes)) ? QMessageBox::Yes
                                                                           : QMessageBox::Ok)
            ->click();
      }
      answering_ = nullptr;
    });
    timer_.start(10);
  }

 private:
  QTimer timer_;
  QWidget* answering_ = nullptr;
};

}  // namespace

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  QApplication::setApplicationName(QStringLiteral("Tarvel"));
  tarvel::StartLanguage(tarvel::kWindowsTextDomain);
  tarvel::ui::GettextTranslator texts;
  QApplication::installTranslator(&texts);
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
  // No person to wait for.
  tarvel::ui::PresentDesktop present;
  w.ui.SetDesktop(&present, &tarvel::Env::Default());
  bool ok = Save(w.MainForm.get(), out, "main.png");
  w.MainForm->show();
  ok &= Save(w.AboutBox, out, "about.png");

  w.Includeform->SetIncludeFile(QStringLiteral("notes.txt"), 900);
  ok &= Save(w.Includeform, out, "include.png");

  // The set is created as a user does it: notes.txt is asked about and
  // goes into the CRC list only, Parity Properties is rendered and answered
  // with two volumes named after the first file.
  Answers answers;
  answers.by["Includeform"] = [&](QWidget*) { w.Includeform->dinc->click(); };
  answers.by["PropertiesForm"] = [&](QWidget* form) {
    ok &= Grab(form, out, "properties.png");
    form->findChild<QSpinBox*>("pnumEdit")->setValue(2);
    form->findChild<QPushButton*>("OK")->click();
  };
  // As the main window does, the files' folder is the current one, where
  // the base name shown leads.
  QDir::setCurrent(set.path());
  if (const auto made = w.engine.Create(paths); made != tarvel::CreateOutcome::kCreated) {
    std::printf("FAILED: the set was not created (%d)\n", static_cast<int>(made));
    return 1;
  }

  w.Renameform->SetRenameFiles(QStringLiteral("IMG_0412 copy.jpg"), QStringLiteral("dunes.jpg"));
  ok &= Save(w.Renameform, out, "rename.png");
  w.restoreform->SetFileName(QStringLiteral("lighthouse at dusk.jpg"));
  w.restoreform->SetReason(tarvel::ui::Trestoreform::Reason::kMissing);
  ok &= Save(w.restoreform, out, "restore.png");
  // A name longer than the screen is wide: the prompt as wide as the screen
  // allows, the name elided in its middle.
  QString longName = QStringLiteral("holiday_2019_day_03_the_walk_along_the_cliffs");
  while (longName.size() < 400) longName += QStringLiteral("_and_on");
  longName += QStringLiteral("_final_edit.jpg");
  w.restoreform->SetFileName(longName);
  w.restoreform->SetReason(tarvel::ui::Trestoreform::Reason::kDamaged);
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
  // The report after the check, on the default and on a dark palette (the
  // marked lines as readable), then closed.
  answers.by["Reportform"] = [&](QWidget*) {
    ok &= Grab(w.Reportform, out, "report-check.png");
    const QPalette light = w.Reportform->palette();
    w.Reportform->setPalette(QPalette(QColor(0x3c, 0x3c, 0x3c), QColor(0x30, 0x30, 0x30)));
    ok &= Grab(w.Reportform, out, "report-check-dark.png");
    w.Reportform->setPalette(light);
    w.Reportform->close();
  };
  const std::string volume = set.filePath(QStringLiteral("beach.PAR")).toStdString();
  if (w.engine.Check({volume}).outcome != tarvel::CheckOutcome::kChecked) return 1;
  if (catcher.isActive()) {
    std::printf("FAILED: the progress window was not caught mid-check\n");
    ok = false;
  }

  // The report after the restore, and at its smallest size.
  answers.by["Reportform"] = [&](QWidget*) {
    ok &= Grab(w.Reportform, out, "report-restore.png");
    w.Reportform->resize(305, 231);
    ok &= Grab(w.Reportform, out, "report-minimum.png");
    w.Reportform->close();
  };
  // harbour.jpg was damaged after the set was made: its rebuild is asked
  // about, and the prompt says so.
  answers.by["restoreform"] = [&](QWidget* form) {
    ok &= Grab(form, out, "restore-changed.png");
    w.restoreform->yesbutton->click();
  };
  if (w.engine.Restore(false) != tarvel::RestoreOutcome::kRestored) return 1;
  return ok ? 0 : 1;
}
