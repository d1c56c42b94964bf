#include "ui/window_interaction.h"

#include <QApplication>

#include "engine/engine.h"
#include "ui/include_form.h"
#include "ui/layout.h"
#include "ui/progress_form.h"
#include "ui/properties_form.h"
#include "ui/rename_form.h"
#include "ui/report_form.h"
#include "ui/restore_form.h"

namespace tarvel::ui {

void WindowInteraction::Attach(QWidget* mainWindow, TProgressForm1* progress, TIncludeform* include,
                               TRenameform* rename, Trestoreform* restore,
                               TPropertiesForm* properties, TReportform* report) {
  main_ = mainWindow;
  progress_ = progress;
  include_ = include;
  rename_ = rename;
  restore_ = restore;
  properties_ = properties;
  report_ = report;
}

void WindowInteraction::ShowProgress() {
  if (progress_->isVisible()) return;
  CentreOver(progress_, main_);
  progress_->show();
  progress_->raise();
  // Painted at once; the next update may be a while away.
  QApplication::processEvents();
}

void WindowInteraction::HideProgress() { progress_->hide(); }

void WindowInteraction::Progress(const ProgressRecord& record) {
  progress_->SetWhat(Shown(ProgressText(record)));
  progress_->SetPercent(record.percent);
}

void WindowInteraction::ProcessEvents() { QApplication::processEvents(); }

bool WindowInteraction::AskInclude(const std::string& name, std::int64_t size) {
  include_->SetIncludeFile(Shown(name), size);
  include_->exec();
  return include_->IncludeAnswer();
}

SetChoice WindowInteraction::AskSetProperties(const SetProposal& proposal) {
  return properties_->Ask(proposal);
}

bool WindowInteraction::Confirm(const Question& question) {
  QMessageBox box(QMessageBox::Question, QStringLiteral("Tarvel"), Shown(question.text),
                  QMessageBox::Yes | QMessageBox::No, Front(nullptr));
  box.setObjectName("QuestionBox");
  box.setDefaultButton(QMessageBox::No);
  box.setEscapeButton(QMessageBox::No);
  return box.exec() == QMessageBox::Yes;
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

void WindowInteraction::ShowReport(const std::vector<std::string>& lines) {
  QStringList text;
  text.reserve(static_cast<qsizetype>(lines.size()));
  for (const std::string& line : lines) text.push_back(Shown(line));
  report_->SetLines(text);
  if (!report_->isVisible()) report_->exec();
}

void WindowInteraction::SetWorking(bool working) { report_->SetWorking(working); }

void WindowInteraction::Message(const std::string& text) { ShowMessage(Shown(text)); }

void WindowInteraction::Succeeded(const std::string& text) { ShowMessage(Shown(text)); }

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

void WindowInteraction::ShowError(const std::exception& error, QWidget* parent) {
  const auto* fileError = dynamic_cast<const FileError*>(&error);
  const std::string text =
      fileError ? WithReason(error.what(), fileError->OsError()) : error.what();
  ShowMessage(Shown(ErrorBoxText(text)), QMessageBox::Critical, parent);
}

}  // namespace tarvel::ui
