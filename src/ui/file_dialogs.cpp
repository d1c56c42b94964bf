#include "ui/file_dialogs.h"

#include <QFileDialog>
#include <QFileInfo>
#include <QSettings>

namespace tarvel::ui {
namespace {

constexpr char kLastFolderKey[] = "dialogs/lastFolder";

QString LastFolder() { return QSettings().value(kLastFolderKey).toString(); }

void RememberFolderOf(const QString& path) {
  QSettings().setValue(kLastFolderKey, QFileInfo(path).absolutePath());
}

// Runs a dialog in the folder used last; the chosen paths, or none.
QStringList Run(QFileDialog& dialog) {
  const QString folder = LastFolder();
  if (!folder.isEmpty() && QFileInfo(folder).isDir()) dialog.setDirectory(folder);
  if (dialog.exec() != QDialog::Accepted) return {};
  QStringList chosen = dialog.selectedFiles();
  if (!chosen.isEmpty()) RememberFolderOf(chosen.front());
  return chosen;
}

}  // namespace

void SetUpCreateopen(QFileDialog& dialog) {
  dialog.setObjectName("Createopen");
  dialog.setOption(QFileDialog::DontUseNativeDialog);
  dialog.setFileMode(QFileDialog::ExistingFiles);
  dialog.setAcceptMode(QFileDialog::AcceptOpen);
}

void SetUpCheckopen(QFileDialog& dialog) {
  dialog.setObjectName("Checkopen");
  dialog.setOption(QFileDialog::DontUseNativeDialog);
  dialog.setFileMode(QFileDialog::ExistingFile);
  dialog.setAcceptMode(QFileDialog::AcceptOpen);
  // Volumes copied from other systems often have lower-case extensions.
  dialog.setNameFilters(
      {QFileDialog::tr("PAR files (*.PAR *.par)"), QFileDialog::tr("Pxx files (*.P?\? *.p?\?)")});
  dialog.selectNameFilter(dialog.nameFilters().front());
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

}  // namespace tarvel::ui
