// SPDX-License-Identifier: GPL-3.0-or-later
// tarvel: the desktop program.  Creates the windows once, checks the volume
// named by the first argument when the main window is first shown, and runs
// the message loop until the main window is closed.
#include <QApplication>
#include <QIcon>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>
#include <cstdio>
#include <cstring>

#include "platform/env.h"
#include "platform/interrupt_cleanup.h"
#include "platform/language.h"
#include "ui/layout.h"
#include "ui/translation.h"
#include "ui/windows.h"
#include "version.h"

namespace {

constexpr char kUsage[] =
    "Usage: tarvel [VOLUME]\n"
    "Protects files with parity volumes, checks them and restores lost or damaged files.\n"
    "With VOLUME (a .PAR or .Pnn file), its set is checked when the window opens.\n"
    "\n"
    "  --help     show this text and exit\n"
    "  --version  show the version and exit\n"
    "\n"
    "tarvel-cli does the same from a terminal; see tarvel-cli --help.\n";

}  // namespace

int main(int argc, char** argv) {
  // Answered before a display is needed, so they work on a terminal alone.
  if (argc > 1 && (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0)) {
    std::fputs(kUsage, stdout);
    return 0;
  }
  if (argc > 1 && std::strcmp(argv[1], "--version") == 0) {
    std::printf("tarvel %s\n", tarvel::kVersionText);
    return 0;
  }
  QApplication app(argc, argv);
  // The person's language: Qt's own texts (its standard dialogs' buttons)
  // from Qt's translations, Tarvel's from its catalogues, asked first.
  tarvel::StartLanguage(tarvel::kWindowsTextDomain);
  QTranslator qtTexts;
  if (qtTexts.load(QLocale(), QStringLiteral("qtbase"), QStringLiteral("_"),
                   QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
    QApplication::installTranslator(&qtTexts);
  }
  tarvel::ui::GettextTranslator tarvelTexts;
  QApplication::installTranslator(&tarvelTexts);
  // A logout or kill ends the program without a temporary file left behind,
  // and never half way through putting a set's volumes in place.
  tarvel::InstallInterruptCleanup();
  QApplication::setApplicationName(QStringLiteral("Tarvel"));
  QApplication::setOrganizationName(QStringLiteral("Tarvel"));
  QApplication::setDesktopFileName(QStringLiteral("io.github.tarvel.Tarvel"));
  QApplication::setWindowIcon(QIcon(QStringLiteral(":/tarvel/tarvel.svg")));

  tarvel::ui::QtFileDialogs dialogs;
  QStringList arguments = QApplication::arguments();
  arguments.removeFirst();
  tarvel::ui::TarvelWindows windows(tarvel::Env::Default(), dialogs, arguments);
  tarvel::ui::CentreOver(windows.MainForm.get(), nullptr);  // on the screen
  windows.MainForm->show();
  return QApplication::exec();
}
