// SPDX-License-Identifier: GPL-3.0-or-later
// The main window: Create Parity Volume Set, Check Volume Set, Protect a
// Folder, Check a Folder and About.
// It owns no data: it drives the engine and the other windows, and reports
// outcomes in message boxes and its status line.  Files dropped on it are
// protected as if chosen in the open dialog; one dropped volume is checked.
//
// While an action runs its buttons are disabled, so no second action can
// start inside the first (the engine holds one set at a time); they are
// enabled again when it ends, also after an error.
#pragma once

#include <QStringList>
#include <QWidget>

#include "platform/env.h"

class QLabel;
class QPushButton;
class QStatusBar;

namespace tarvel {
class Engine;
}

namespace tarvel::ui {

class FileDialogs;
class TAboutBox;
class TFolderForm;
class WindowInteraction;

class TMainForm : public QWidget {
  Q_OBJECT
 public:
  // `arguments` are the program's command-line arguments (without the
  // program name); the first is checked when the window is first shown (a
  // message says when it is no file, and which further ones were not
  // checked).
  TMainForm(Engine& engine, Env& env, WindowInteraction& ui, FileDialogs& dialogs,
            const QStringList& arguments);

  // The windows it shows; they are created after it.
  void SetWindows(TAboutBox* about, TFolderForm* folder);

  // True while an action runs.
  bool Busy() const { return busy_; }
  // Cancel of the progress window: the running action is asked to stop
  // (it ends within a moment, having put nothing half in place).  With no
  // action running, the progress window an error left up goes.
  void StopAction();

  QPushButton* CreateButton;
  QPushButton* CheckButton;
  QPushButton* ProtectFolderButton;
  QPushButton* CheckFolderButton;
  QLabel* MainLabel1;
  QLabel* MainLabel2;
  QPushButton* AboutButton;
  QStatusBar* StatusBarMain;

 signals:
  // After each action, whatever its outcome (tests wait for it).
  void ActionEnded();

 protected:
  void showEvent(QShowEvent* event) override;
  void closeEvent(QCloseEvent* event) override;
  void dragEnterEvent(QDragEnterEvent* event) override;
  void dropEvent(QDropEvent* event) override;

 private:
  void CreateButtonClick();
  void CheckButtonClick();
  void AboutButtonClick();
  // A folder chosen (nothing happens when the dialog is cancelled), and the
  // folder window's step on it.
  void FolderAction(const QString& title, bool protect);
  void CheckCommandLineVolume();

  // Create with the given files (full paths), or after the open dialog
  // when `chosen` is null.
  void CreateFrom(const QStringList* chosen);
  // Check of the given volume, or after the open dialog when it is empty.
  void CheckVolume(const QString& volume);
  // Runs `action` with the buttons disabled.  However it ends (done,
  // stopped, or an engine error shown with an error icon) the progress
  // window is gone and the status line says "Ready"; a stop is said as
  // every stopped action says it.
  template <typename Action>
  void RunAction(Action action);
  void SetStatus(const QString& text);

  Engine& engine_;
  Env& env_;
  WindowInteraction& ui_;
  FileDialogs& dialogs_;
  TAboutBox* about_ = nullptr;
  TFolderForm* folder_ = nullptr;
  bool commandLinePending_ = false;
  QStringList commandLine_;
  bool busy_ = false;
  // The person chose to close the window while an action ran: it closes
  // when the action has stopped.
  bool closeWhenStopped_ = false;
};

}  // namespace tarvel::ui
