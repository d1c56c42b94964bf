#include "ui/main_form.h"

#include <QCloseEvent>
#include <QDir>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QMimeData>
#include <QPushButton>
#include <QStatusBar>
#include <QTimer>
#include <QUrl>
#include <algorithm>

#include "engine/create_rules.h"
#include "engine/engine.h"
#include "engine/format.h"
#include "ui/about_box.h"
#include "ui/file_dialogs.h"
#include "ui/layout.h"
#include "ui/properties_form.h"
#include "ui/report_form.h"
#include "ui/window_interaction.h"

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

bool LooksLikeVolume(const QString& path) {
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly)) return false;
  const QByteArray head = file.read(static_cast<qint64>(kHeaderSize));
  // A volume of a version that cannot be read is checked too, so that the
  // reader says why; it is no file to protect.
  return RecogniseVolume(std::span(reinterpret_cast<const std::uint8_t*>(head.constData()),
                                   static_cast<std::size_t>(head.size()))) !=
         VolumeKind::kNotVolume;
}

TMainForm::TMainForm(Engine& engine, WindowInteraction& ui, FileDialogs& dialogs,
                     const QStringList& arguments)
    : engine_(engine), ui_(ui), dialogs_(dialogs) {
  setObjectName("MainForm");
  setWindowTitle(QStringLiteral("Tarvel"));
  setFixedSize(282, 224);
  setAcceptDrops(true);

  CreateButton = new QPushButton(tr("Create Parity Volume Set"), this);
  CreateButton->setObjectName("CreateButton");
  Place(CreateButton, 16, 8, 249, 57);
  CheckButton = new QPushButton(tr("Check Volume Set"), this);
  CheckButton->setObjectName("CheckButton");
  Place(CheckButton, 16, 80, 249, 57);
  MainLabel1 = new QLabel(tr("Version %1 alpha").arg(QString::fromLatin1(kVersionText)), this);
  MainLabel1->setObjectName("MainLabel1");
  PlaceAutoSized(MainLabel1, 16, 152);
  MainLabel2 = new QLabel(tr("Format version 1.0"), this);
  MainLabel2->setObjectName("MainLabel2");
  PlaceAutoSized(MainLabel2, 16, 168);
  AboutButton = new QPushButton(tr("About"), this);
  AboutButton->setObjectName("AboutButton");
  Place(AboutButton, 192, 152, 73, 33);
  StatusBarMain = new QStatusBar(this);
  StatusBarMain->setObjectName("StatusBarMain");
  StatusBarMain->setSizeGripEnabled(false);
  StatusBarMain->setGeometry(0, 224 - 19, 282, 19);

  setTabOrder(CreateButton, CheckButton);
  setTabOrder(CheckButton, AboutButton);

  connect(CreateButton, &QPushButton::clicked, this, &TMainForm::CreateButtonClick);
  connect(CheckButton, &QPushButton::clicked, this, &TMainForm::CheckButtonClick);
  connect(AboutButton, &QPushButton::clicked, this, &TMainForm::AboutButtonClick);

  if (!arguments.isEmpty()) {
    commandLinePending_ = true;
    commandLineVolume_ = arguments.front();
  }
}

void TMainForm::SetWindows(TAboutBox* about, TPropertiesForm* properties, TReportform* report) {
  about_ = about;
  properties_ = properties;
  report_ = report;
}

void TMainForm::SetStatus(const QString& text) { StatusBarMain->showMessage(text); }

template <typename Action>
void TMainForm::RunAction(Action action) {
  if (busy_) return;
  busy_ = true;
  for (QPushButton* b : {CreateButton, CheckButton, AboutButton}) b->setEnabled(false);
  try {
    action();
  } catch (const std::exception& error) {
    ui_.ShowError(error);
  }
  for (QPushButton* b : {CreateButton, CheckButton, AboutButton}) b->setEnabled(true);
  busy_ = false;
  emit ActionEnded();
}

void TMainForm::showEvent(QShowEvent* event) {
  QWidget::showEvent(event);
  if (!commandLinePending_) return;
  commandLinePending_ = false;
  // Runs from the message loop, once every window exists and is shown.
  QTimer::singleShot(0, this, &TMainForm::CheckCommandLineVolume);
}

void TMainForm::CheckCommandLineVolume() {
  const QFileInfo argument(commandLineVolume_);
  if (!argument.exists() || argument.isDir()) return;
  CheckVolume(argument.absoluteFilePath());
}

void TMainForm::closeEvent(QCloseEvent* event) {
  // Closing mid-action would leave the engine running with no window.
  if (busy_) {
    event->ignore();
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
    if (files.size() == 1 && LooksLikeVolume(files.front())) {
      CheckVolume(QFileInfo(files.front()).absoluteFilePath());
    } else {
      CreateFrom(&files);
    }
  });
}

void TMainForm::CreateButtonClick() { CreateFrom(nullptr); }

void TMainForm::CheckButtonClick() { CheckVolume(QString()); }

void TMainForm::AboutButtonClick() { about_->exec(); }

void TMainForm::CreateFrom(const QStringList* chosen) {
  RunAction([&] {
    SetStatus(tr("Working..."));
    engine_.Model().ResetTables();
    const QStringList files = chosen ? *chosen : dialogs_.ChooseFilesToProtect(this);
    // The volumes go into the files' folder unless the base name says otherwise.
    if (!files.isEmpty()) QDir::setCurrent(QFileInfo(files.front()).absolutePath());
    std::vector<std::string> paths = EnginePaths(files);
    [&] {
      if (const std::string refusal = CheckFileChoice(paths); !refusal.empty()) {
        ui_.Message(refusal);
        return;
      }
      if (!engine_.AnalyseFiles(paths)) {
        ui_.Message("Operation aborted!");
        return;
      }
      properties_->exec();
      if (!properties_->Accepted()) {
        ui_.Message("Operation aborted!");
        return;
      }
      const std::string base = properties_->BaseName();
      const int count = properties_->ParityCount();
      // Nothing is written before the person has agreed to where the
      // volumes go and to what they replace.
      // The questions name the volumes' folder in full.
      const std::string where = EnginePaths({WindowInteraction::Text(base)}).front();
      const VolumePlan plan =
          PlanVolumes(engine_.FileLayer(), FolderOf(paths.front()), where, count);
      if (plan.awayFromFiles && !ui_.AskYesNo(AwayFromFilesQuestion(plan))) return;
      if (!plan.existing.empty() &&
          VolumeReplacingASetFile(engine_.FileLayer(), paths, base, count).empty() &&
          !ui_.AskYesNo(ReplaceQuestion(plan))) {
        return;
      }
      // False only when the engine refused before writing; it said why.
      if (engine_.WriteVolumeSet(base, count)) {
        ui_.Message("Files successfully created.");
        if (!plan.leftOver.empty()) ui_.Message(LeftOverNote(plan));
      }
    }();
    SetStatus(tr("Ready"));
  });
}

void TMainForm::CheckVolume(const QString& volume) {
  RunAction([&] {
    SetStatus(tr("Working..."));
    engine_.Model().ResetTables();
    const QString chosen = volume.isEmpty() ? dialogs_.ChooseVolume(this) : volume;
    if (!chosen.isEmpty()) {
      // The volume's folder is the set folder, where its files are looked for.
      const QString path = QFileInfo(chosen).absoluteFilePath();
      QDir::setCurrent(QFileInfo(path).absolutePath());
      if (engine_.ReadVolume(WindowInteraction::Bytes(path))) {
        engine_.SearchFiles();
        engine_.FindVolumes();
        report_->exec();
      } else {
        ui_.Message("Error Reading lists. Operation aborted.");
      }
    }
    SetStatus(tr("Ready"));
  });
}

}  // namespace tarvel::ui
