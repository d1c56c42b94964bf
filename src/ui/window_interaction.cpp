#include "ui/window_interaction.h"

#include <QApplication>

#include "engine/engine.h"
#include "ui/include_form.h"
#include "ui/layout.h"
#include "ui/progress_form.h"
#include "ui/rename_form.h"
#include "ui/restore_form.h"

namespace tarvel::ui {

void WindowInteraction::Attach(QWidget* mainWindow, TProgressForm1* progress, TIncludeform* include,
                               TRenameform* rename, Trestoreform* restore) {
  main_ = mainWindow;
  progress_ = progress;
  include_ = include;
  rename_ = rename;
  restore_ = restore;
}

void WindowInteraction::ShowProgress() {
  if (progress_->isVisible()) return;
  CentreOver(progress_, main_);
  progress_->show();
  progress_->raise();
  // Painted at once; the next update may be a while away.
  QApplication::processEvents();
  sinceEvents_.start();
}

void WindowInteraction::HideProgress() { progress_->hide(); }

void WindowInteraction::SetProgressText(const std::string& text) {
  progress_->SetWhat(Shown(text));
}

void WindowInteraction::SetProgressPercent(int percent) { progress_->SetPercent(percent); }

void WindowInteraction::ClearProgressPercent() { progress_->SetPercent(-1); }

void WindowInteraction::ProcessEvents() {
  if (sinceEvents_.isValid() && sinceEvents_.elapsed() < kEventIntervalMs) return;
  QApplication::processEvents();
  sinceEvents_.start();
}

bool WindowInteraction::AskInclude(const std::string& name, std::int64_t size) {
  include_->SetIncludeFile(Shown(name), size);
  include_->exec();
  return include_->IncludeAnswer();
}

void WindowInteraction::ResetRenamePrompt() { rename_->ResetRenameAnswer(); }

RenameReply WindowInteraction::AskRename(const std::string& found, const std::string& missing) {
  rename_->SetRenameFiles(Shown(found), Shown(missing));
  return rename_->Ask();
}

void WindowInteraction::ResetRestorePrompt() { restore_->ResetRestoreAnswer(); }

RestoreReply WindowInteraction::AskRestore(const std::string& name) {
  return restore_->Ask(Shown(name));
}

void WindowInteraction::Message(const std::string& text) { ShowMessage(Shown(text)); }

QWidget* WindowInteraction::Front(QWidget* parent) const {
  if (parent) return parent;
  if (QWidget* modal = QApplication::activeModalWidget()) return modal;
  return main_;
}

void WindowInteraction::ShowMessage(const QString& text, QMessageBox::Icon icon, QWidget* parent) {
  QMessageBox box(icon, QStringLiteral("Tarvel"), text, QMessageBox::Ok, Front(parent));
  box.setObjectName("MessageBox");
  box.exec();
}

bool WindowInteraction::AskYesNo(const std::string& question) {
  QMessageBox box(QMessageBox::Question, QStringLiteral("Tarvel"), Shown(question),
                  QMessageBox::Yes | QMessageBox::No, Front(nullptr));
  box.setObjectName("QuestionBox");
  box.setDefaultButton(QMessageBox::No);
  box.setEscapeButton(QMessageBox::No);
  return box.exec() == QMessageBox::Yes;
}

void WindowInteraction::ShowError(const std::exception& error, QWidget* parent) {
  const auto* fileError = dynamic_cast<const FileError*>(&error);
  const std::string text =
      fileError ? WithReason(error.what(), fileError->OsError()) : error.what();
  ShowMessage(Shown(ErrorBoxText(text)), QMessageBox::Critical, parent);
}

}  // namespace tarvel::ui
