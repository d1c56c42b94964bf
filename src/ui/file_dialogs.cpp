// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/file_dialogs.h"

#include <QFileDialog>
#include <QFileInfo>
#include <QHeaderView>
#include <QSettings>
#include <QTreeView>

#include "ui/fit.h"

namespace tarvel::ui {
namespace {

constexpr char kLastFolderKey[] = "dialogs/lastFolder";
// Every volume name, in either case.
constexpr char kVolumePatterns[] =
    "*.PAR *.par *.P[0-9][0-9] *.p[0-9][0-9] *.Q[0-9][0-9] *.q[0-9][0-9] "
    "*.Q[0-9][0-9][0-9] *.q[0-9][0-9][0-9]";
constexpr char kSizeKey[] = "dialogs/size";
// Wide enough for the name, size, type and date columns uncut.
constexpr QSize kLeastSize(800, 500);

QString LastFolder() { return QSettings().value(kLastFolderKey).toString(); }

void RememberFolderOf(const QString& path) {
  QSettings().setValue(kLastFolderKey, QFileInfo(path).absolutePath());
}

// The size, type and date columns of the detail view as wide as what they
// show ("120.5 MiB", not "120…MiB"); the name column takes the rest.
void ColumnsUncut(QFileDialog& dialog) {
  auto* view = dialog.findChild<QTreeView*>();
  if (!view) return;
  QHeaderView* header = view->header();
  header->setStretchLastSection(false);
  header->setSectionResizeMode(QHeaderView::ResizeToContents);
  header->setSectionResizeMode(0, QHeaderView::Stretch);
}

// Runs a dialog in the folder and at the size used last; the chosen paths,
// or none.
QStringList Run(QFileDialog& dialog) {
  ColumnsUncut(dialog);
  const QString folder = LastFolder();
  if (!folder.isEmpty() && QFileInfo(folder).isDir()) dialog.setDirectory(folder);
  const QSize last = QSettings().value(kSizeKey).toSize();
  dialog.resize(BoundedByScreen(last.expandedTo(kLeastSize), &dialog));
  const int result = dialog.exec();
  QSettings().setValue(kSizeKey, dialog.size());
  if (result != QDialog::Accepted) return {};
  QStringList chosen = dialog.selectedFiles();
  if (!chosen.isEmpty()) RememberFolderOf(chosen.front());
  return chosen;
}

}  // namespace

void SetUpCreateopen(QFileDialog& dialog) {
  dialog.setObjectName("Createopen");
  dialog.setWindowTitle(QFileDialog::tr("Choose the files to protect"));
  dialog.setOption(QFileDialog::DontUseNativeDialog);
  dialog.setFileMode(QFileDialog::ExistingFiles);
  dialog.setAcceptMode(QFileDialog::AcceptOpen);
}

void SetUpCheckopen(QFileDialog& dialog) {
  dialog.setObjectName("Checkopen");
  dialog.setWindowTitle(QFileDialog::tr("Choose a volume of the set"));
  dialog.setOption(QFileDialog::DontUseNativeDialog);
  dialog.setFileMode(QFileDialog::ExistingFile);
  dialog.setAcceptMode(QFileDialog::AcceptOpen);
  // Any volume of a set can be checked, so the filter the dialog opens with
  // shows them all: the main volume, .P01 to .P99 and .Q00 on.  Volumes
  // copied from other systems often have lower-case extensions; a volume
  // renamed to anything else is recognised by its content.
  dialog.setNameFilters({QFileDialog::tr("Volumes (%1)").arg(kVolumePatterns),
                         QFileDialog::tr("PAR files (*.PAR *.par)"),
                         QFileDialog::tr("Pxx files (*.P?\? *.p?\?)"),
                         QFileDialog::tr("All files (*)")});
  dialog.selectNameFilter(dialog.nameFilters().front());
}

void SetUpFolderopen(QFileDialog& dialog, const QString& title) {
  dialog.setObjectName("Folderopen");
  dialog.setWindowTitle(title);
  dialog.setOption(QFileDialog::DontUseNativeDialog);
  dialog.setFileMode(QFileDialog::Directory);
  dialog.setOption(QFileDialog::ShowDirsOnly);
  dialog.setAcceptMode(QFileDialog::AcceptOpen);
}

QStringList QtFileDialogs::ChooseFilesToProtect(QWidget* parent) {
  QFileDialog dialog(parent);
  SetUpCreateopen(dialog);
  return Run(dialog);
}

QString QtFileDialogs::ChooseVolume(QWidget* parent) {
  QFileDialog dialog(parent);
  SetUpCheckopen(dialog);
  const QStringList chosen = Run(dialog);
  return chosen.isEmpty() ? QString() : chosen.front();
}

QString QtFileDialogs::ChooseFolder(QWidget* parent, const QString& title) {
  QFileDialog dialog(parent);
  SetUpFolderopen(dialog, title);
  const QStringList chosen = Run(dialog);
  return chosen.isEmpty() ? QString() : chosen.front();
}

}  // namespace tarvel::ui
