#include "ui/window_interaction.h"

#include <QApplication>
#include <algorithm>
#include <cmath>
#include <optional>

#include "engine/engine.h"
#include "ui/include_form.h"
#include "ui/layout.h"
#include "ui/progress_form.h"
#include "ui/properties_form.h"
#include "ui/rename_form.h"
#include "ui/report_form.h"
#include "ui/restore_form.h"

namespace tarvel::ui {
namespace {

// The speed and time left change at most this often, so they can be read.
constexpr qint64 kPaceIntervalMs = 500;

// What of the step is done, from its bytes where it has them.
std::optional<double> Done(const ProgressRecord& r) {
  if (r.stepTotal > 0) {
    return static_cast<double>(std::clamp<std::int64_t>(r.stepDone, 0, r.stepTotal)) /
           static_cast<double>(r.stepTotal);
  }
  if (r.percent >= 0) return r.percent / 100.0;
  return std::nullopt;
}

// "412 MB/s · 0:12 left", "0:12 left" or nothing.
QString PaceText(const ProgressPace::Figures& pace) {
  if (!pace.secondsLeft) return {};
  const QString left =
      QObject::tr("%1 left").arg(WindowInteraction::Text(FormatDuration(*pace.secondsLeft)));
  if (!pace.bytesPerSecond) return left;
  constexpr double kBytesPerMB = 1e6;
  return QObject::tr("%1 MB/s").arg(std::llround(*pace.bytesPerSecond / kBytesPerMB)) +
         QStringLiteral(" \u00b7 ") + left;
}

}  // namespace

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
  clock_.start();
}

void WindowInteraction::OwnProgress() {
  QWidget* owner = report_->isVisible() ? report_ : main_;
  if (progress_->parentWidget() != owner) progress_->setParent(owner, progress_->windowFlags());
}

void WindowInteraction::ShowProgress() {
  OwnProgress();
  if (progress_->isVisible()) return;
  progress_->Restart();
  pace_.Reset();
  CentreOver(progress_, main_);
  progress_->show();
  progress_->raise();
  // Keys go to it, so Escape stops the action.
  progress_->activateWindow();
  // Painted at once; the next update may be a while away.
  QApplication::processEvents();
}

void WindowInteraction::HideProgress() { progress_->hide(); }

void WindowInteraction::Progress(const ProgressRecord& record) {
  const std::optional<double> done = Done(record);
  progress_->SetWhat(Shown(ProgressText(record)));
  progress_->SetPercent(done ? static_cast<int>(*done * 100) : -1);

  const qint64 now = clock_.elapsed();
  const ProgressPace::Figures pace =
      pace_.At(std::to_string(static_cast<int>(record.step)), record.stepTotal, done, now / 1000.0);
  const bool newStep = record.step != shownStep_;
  const bool newItem = newStep || record.item != shownItem_;
  shownStep_ = record.step;
  shownItem_ = record.item;
  if (newStep || now - paceShownMs_ >= kPaceIntervalMs) {
    progress_->SetPace(PaceText(pace));
    paceShownMs_ = now;
  }
  // The bar repaints itself at once, the texts only when events run; a file
  // or volume can be followed by a long stretch of work without events
  // (volumes being flushed to disk).  So each new item is painted whole
  // now, and the window never shows one item's percentage under another's
  // bar.
  if (progress_->isVisible() && newItem) progress_->repaint();
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

bool WindowInteraction::Confirm(const Question& question) { return Ask(Shown(question.text)); }

bool WindowInteraction::Ask(const QString& text, QWidget* parent) {
  QMessageBox box(QMessageBox::Question, QStringLiteral("Tarvel"), text,
                  QMessageBox::Yes | QMessageBox::No, Front(parent));
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

RestoreReply WindowInteraction::AskRestore(const RestorePrompt& prompt) {
  return restore_->Ask(Shown(prompt.name), prompt.changedAfterSet);
}

void WindowInteraction::ShowReport(const std::vector<std::string>& lines,
                                   const std::vector<std::string>& notes) {
  const auto shown = [](const std::vector<std::string>& from) {
    QStringList text;
    text.reserve(static_cast<qsizetype>(from.size()));
    for (const std::string& line : from) text.push_back(Shown(line));
    return text;
  };
  report_->SetLines(shown(lines), shown(notes));
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
