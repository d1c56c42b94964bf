// tarvel: the desktop program.  Creates the windows once, checks the volume
// named by the first argument when the main window is first shown, and runs
// the message loop until the main window is closed.
#include <QApplication>
#include <QIcon>

#include "platform/env.h"
#include "platform/interrupt_cleanup.h"
#include "ui/layout.h"
#include "ui/windows.h"

int main(int argc, char** argv) {
  QApplication app(argc, argv);
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
