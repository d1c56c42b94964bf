// SPDX-License-Identifier: GPL-3.0-or-later
// The open-file and open-folder dialogs of the main window, behind an interface so that
// tests can answer them.  The real ones are Qt's own dialogs (the same on
// every desktop) and open in the folder and at the size used last, kept
// with QSettings: at least 800 x 500, as far as the screen allows.
#pragma once

#include <QStringList>

class QFileDialog;
class QWidget;

namespace tarvel::ui {

class FileDialogs {
 public:
  virtual ~FileDialogs() = default;
  // Createopen: the chosen files as full paths, or nothing when cancelled.
  virtual QStringList ChooseFilesToProtect(QWidget* parent) = 0;
  // Checkopen: the chosen volume as a full path, or "" when cancelled.
  virtual QString ChooseVolume(QWidget* parent) = 0;
  // Folderopen: the chosen folder as a full path, or "" when cancelled;
  // `title` says what it is chosen for.
  virtual QString ChooseFolder(QWidget* parent, const QString& title) = 0;
};

class QtFileDialogs : public FileDialogs {
 public:
  QStringList ChooseFilesToProtect(QWidget* parent) override;
  QString ChooseVolume(QWidget* parent) override;
  QString ChooseFolder(QWidget* parent, const QString& title) override;
};

// The dialogs as the user sees them, before they are shown.
void SetUpCreateopen(QFileDialog& dialog);
void SetUpCheckopen(QFileDialog& dialog);
void SetUpFolderopen(QFileDialog& dialog, const QString& title);

}  // namespace tarvel::ui
