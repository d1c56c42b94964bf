// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/main_form.h"

#include <QCloseEvent>
#include <QDir>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileInfo>
#include <QLabel>
#include <QMimeData>
#include <QPushButton>
#include <QStatusBar>
#include <QTimer>
#include <QUrl>
#include <algorithm>

#include "engine/engine.h"
#include "ui/about_box.h"
#include "ui/file_dialogs.h"
#include "ui/folder_form.h"
#include "ui/layout.h"
#include "ui/window_interaction.h"
#include "version.h"

namespace tarvel::ui {
namespace {

// Paths as the engine takes them: absolute, normalised, UTF-8.
std::vector<std::string> EnginePaths(const QStringList& paths) {
  std::vector<std::string> out;
  out.reserve(static_cast<std::size_t>(paths.size()));
  for (const QString& p : paths) {
    out.push_back(WindowInteraction::Bytes(QDir::cleanPath(QFileInfo(p).absoluteFilePath())));
  }
  return out;
}

}  // namespace

TMainForm::TMainForm(Engine& engine, Env& env, WindowInteraction& ui, FileDialogs& dialogs,
                     const QStringList& arguments)
    : engine_(engine), env_(env), ui_(ui), dialogs_(dialogs) {
  setObjectName("MainForm");
  setWindowTitle(QStringLiteral("Tarvel"));
  setFixedSize(547, 224);
  setAcceptDrops(true);

  CreateButton = new QPushButton(tr("C&reate Parity Volume Set"), this);
  CreateButton->setObjectName("CreateButton");
  Place(CreateButton, 16, 8, 249, 57);
  CheckButton = new QPushButton(tr("Check &Volume Set"), this);
  CheckButton->setObjectName("CheckButton");
  Place(CheckButton, 16, 80, 249, 57);
  ProtectFolderButton = new QPushButton(tr("&Protect a Folder..."), this);
  ProtectFolderButton->setObjectName("ProtectFolderButton");
  ProtectFolderButton->setAccessibleName(tr("Protect a Folder..."));
  Place(ProtectFolderButton, 281, 8, 249, 57);
  CheckFolderButton = new QPushButton(tr("Check a &Folder..."), this);
  CheckFolderButton->setObjectName("CheckFolderButton");
  CheckFolderButton->setAccessibleName(tr("Check a Folder..."));
  Place(CheckFolderButton, 281, 80, 249, 57);
  MainLabel1 = new QLabel(tr("Version %1 alpha").arg(QString::fromLatin1(kVersionText)), this);
  MainLabel1->setObjectName("MainLabel1");
  PlaceAutoSized(MainLabel1, 16, 152);
  MainLabel2 = new QLabel(tr("Format version 1.0"), this);
  MainLabel2->setObjectName("MainLabel2");
  PlaceAutoSized(MainLabel2, 16, 168);
  AboutButton = new QPushButton(tr("&About"), this);
  AboutButton->setObjectName("AboutButton");
  Place(AboutButton, 192, 152, 73, 33);
  StatusBarMain = new QStatusBar(this);
  StatusBarMain->setObjectName("StatusBarMain");
  StatusBarMain->setSizeGripEnabled(false);
  StatusBarMain->setAccessibleName(tr("Status"));
  StatusBarMain->setGeometry(0, 224 - 19, 547, 19);

  setTabOrder(CreateButton, CheckButton);
  setTabOrder(CheckButton, ProtectFolderButton);
  setTabOrder(ProtectFolderButton, CheckFolderButton);
  setTabOrder(CheckFolderButton, AboutButton);

  connect(CreateButton, &QPushButton::clicked, this, &TMainForm::CreateButtonClick);
  connect(CheckButton, &QPushButton::clicked, this, &TMainForm::CheckButtonClick);
  connect(AboutButton, &QPushButton::clicked, this, &TMainForm::AboutButtonClick);
  connect(ProtectFolderButton, &QPushButton::clicked, this,
          [this] { FolderAction(tr("Choose the folder to protect"), true); });
  connect(CheckFolderButton, &QPushButton::clicked, this,
          [this] { FolderAction(tr("Choose the folder to check"), false); });

  commandLinePending_ = !arguments.isEmpty();
  commandLine_ = arguments;
}

void TMainForm::SetWindows(TAboutBox* about, TFolderForm* folder) {
  about_ = about;
  folder_ = folder;
  connect(folder_, &TFolderForm::CancelRequested, this, &TMainForm::StopAction);
  connect(folder_, &TFolderForm::RepairAllRequested, this,
          [this] { RunAction([this] { folder_->RepairAll(); }); });
  connect(folder_, &TFolderForm::OpenRequested, this,
          [this](int row) { RunAction([this, row] { folder_->OpenRow(row); }); });
}

void TMainForm::SetStatus(const QString& text) { StatusBarMain->showMessage(text); }

template <typename Action>
void TMainForm::RunAction(Action action) {
  if (busy_) return;
  busy_ = true;
  engine_.ClearStop();
  ui_.ActionStarts();
  for (QPushButton* b :
       {CreateButton, CheckButton, ProtectFolderButton, CheckFolderButton, AboutButton}) {
    b->setEnabled(false);
  }
  if (folder_) folder_->SetBusy(true);
  try {
    action();
  } catch (const ActionStopped&) {
    // Stopped as asked: every action says so in the same words, but the
    // one stopped because the person closes Tarvel.
    ui_.HideProgress();
    SetStatus(tr("Ready"));
    if (!closeWhenStopped_) ui_.ShowStopped();
  } catch (const std::exception& error) {
    // The action is over: its progress window goes before the error box
    // shows, so that the box does not close onto a window that works on.
    ui_.HideProgress();
    SetStatus(tr("Ready"));
    ui_.ShowError(error);
  }
  for (QPushButton* b :
       {CreateButton, CheckButton, ProtectFolderButton, CheckFolderButton, AboutButton}) {
    b->setEnabled(true);
  }
  if (folder_) folder_->SetBusy(false);
  engine_.ClearStop();
  busy_ = false;
  emit ActionEnded();
  if (closeWhenStopped_) QTimer::singleShot(0, this, &QWidget::close);
}

void TMainForm::StopAction() {
  if (busy_) {
    engine_.RequestStop();
  } else {
    ui_.HideProgress();
  }
}

void TMainForm::showEvent(QShowEvent* event) {
  QWidget::showEvent(event);
  if (!commandLinePending_) return;
  commandLinePending_ = false;
  // Runs from the message loop, once every window exists and is shown.
  QTimer::singleShot(0, this, &TMainForm::CheckCommandLineVolume);
}

void TMainForm::CheckCommandLineVolume() {
  const std::string path = EnginePaths({commandLine_.front()}).front();
  if (env_.IsPlainFile(FolderOf(path), BareName(path))) {
    CheckVolume(WindowInteraction::Text(path));
  } else {
    const QString shown = WindowInteraction::Shown(path);
    ui_.ShowMessage(QFileInfo::exists(WindowInteraction::Text(path))
                        ? tr("%1 is not a file, so it cannot be checked.").arg(shown)
                        : tr("The file %1 does not exist.").arg(shown),
                    QMessageBox::Warning);
  }
  if (commandLine_.size() > 1) {
    const QStringList rest = commandLine_.mid(1);
    ui_.ShowMessage(tr("Tarvel checks one set at a time. Not checked: %1")
                        .arg(WindowInteraction::Shown(WindowInteraction::Bytes(rest.join(", ")))));
  }
}

void TMainForm::closeEvent(QCloseEvent* event) {
  // Closing mid-action would leave the engine running with no window: the
  // action is stopped first, if the person wants that.
  if (busy_) {
    event->ignore();
    if (closeWhenStopped_) return;
    if (!ui_.Ask(tr("An action is running. Stop it and close Tarvel?"), this) || !busy_) return;
    closeWhenStopped_ = true;
    ui_.ShowStopping();
    engine_.RequestStop();
    return;
  }
  QWidget::closeEvent(event);
}

void TMainForm::dragEnterEvent(QDragEnterEvent* event) {
  if (busy_ || !event->mimeData()->hasUrls()) return;
  for (const QUrl& url : event->mimeData()->urls()) {
    if (!url.isLocalFile()) return;
  }
  event->acceptProposedAction();
}

void TMainForm::dropEvent(QDropEvent* event) {
  QStringList files;
  for (const QUrl& url : event->mimeData()->urls()) files.push_back(url.toLocalFile());
  event->acceptProposedAction();
  // Run from the message loop, so the file manager's drag ends first.
  QTimer::singleShot(0, this, [this, files] {
    const std::vector<std::string> paths = EnginePaths(files);
    if (paths.size() == 1 && engine_.IsVolume(paths.front())) {
      CheckVolume(WindowInteraction::Text(paths.front()));
    } else {
      CreateFrom(&files);
    }
  });
}

void TMainForm::CreateButtonClick() { CreateFrom(nullptr); }

void TMainForm::CheckButtonClick() { CheckVolume(QString()); }

void TMainForm::AboutButtonClick() { about_->exec(); }

void TMainForm::FolderAction(const QString& title, bool protect) {
  RunAction([&] {
    const QString chosen = dialogs_.ChooseFolder(this, title);
    if (chosen.isEmpty()) return;
    SetStatus(tr("Working..."));
    const QString root = QDir::cleanPath(QFileInfo(chosen).absoluteFilePath());
    if (protect) {
      folder_->Protect(root);
    } else {
      folder_->Check(root);
    }
    SetStatus(tr("Ready"));
  });
}

void TMainForm::CreateFrom(const QStringList* chosen) {
  RunAction([&] {
    SetStatus(tr("Working..."));
    const QStringList files = chosen ? *chosen : dialogs_.ChooseFilesToProtect(this);
    // A cancelled dialog is no choice of files: nothing happens.
    if (!chosen && files.isEmpty()) {
      SetStatus(tr("Ready"));
      return;
    }
    // A base name typed without a folder is in the files' folder.
    if (!files.isEmpty()) QDir::setCurrent(QFileInfo(files.front()).absolutePath());
    (void)engine_.Create(EnginePaths(files));
    SetStatus(tr("Ready"));
  });
}

void TMainForm::CheckVolume(const QString& volume) {
  RunAction([&] {
    SetStatus(tr("Working..."));
    const QString chosen = volume.isEmpty() ? dialogs_.ChooseVolume(this) : volume;
    if (!chosen.isEmpty()) {
      const std::string path = EnginePaths({chosen}).front();
      // The volume's folder is the set folder, where its files are looked for.
      QDir::setCurrent(WindowInteraction::Text(FolderOf(path)));
      (void)engine_.Check({path});
    }
    SetStatus(tr("Ready"));
  });
}

}  // namespace tarvel::ui
