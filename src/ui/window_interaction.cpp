// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/window_interaction.h"

#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <algorithm>
#include <cmath>
#include <optional>

#include "engine/engine.h"
#include "engine/format/volume_names.h"
#include "platform/language.h"
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

void WindowInteraction::ActionStarts() { actionStartMs_ = clockEnv_ ? clockEnv_->NowMs() : -1; }

void WindowInteraction::ActionEnds(const QString& setName, const QString& outcome) {
  if (!desktop_ || !clockEnv_ || actionStartMs_ < 0) return;
  const bool wasLong = clockEnv_->NowMs() - actionStartMs_ > kLongActionMs;
  actionStartMs_ = -1;
  // The person works in another program: the long action is told to the
  // desktop, and what comes now waits until they come back to Tarvel, so
  // that it never takes their keys.
  if (!wasLong || desktop_->TarvelActive()) return;
  desktop_->Notify(
      setName.isEmpty() ? QStringLiteral("Tarvel") : QStringLiteral("Tarvel: ") + setName, outcome);
  desktop_->MarkUrgent(main_);
  desktop_->WaitUntilActive();
}

void WindowInteraction::OwnProgress() {
  QWidget* owner = report_->isVisible() ? report_ : main_;
  if (progress_->parentWidget() != owner) progress_->setParent(owner, progress_->windowFlags());
}

void WindowInteraction::ShowProgress() {
  progress_->Restart();
  pace_.Reset();
  CentreOver(progress_, main_);
  // Keys go to it, so Escape stops the action; but when the person works
  // in another program, a step that begins does not take their keys.
  const bool present = !desktop_ || desktop_->TarvelActive();
  progress_->setAttribute(Qt::WA_ShowWithoutActivating, !present);
  progress_->show();
  if (present) {
    progress_->raise();
    progress_->activateWindow();
  }
  // Painted at once; the next update may be a while away.
  QApplication::processEvents();
}

void WindowInteraction::HideProgress() { progress_->hide(); }

void WindowInteraction::ShowStopping() {
  if (progress_->isVisible()) progress_->ShowStopping();
}

void WindowInteraction::Progress(const ProgressRecord& record) {
  OwnProgress();
  if (!progress_->isVisible()) ShowProgress();
  // A restore from the report works: its status line says so.
  if (report_->isVisible()) report_->SetWorking(true);
  const std::optional<double> done = ShareDone(record);
  progress_->SetFinishing(record.step == ProgressStep::kWritingChecksums);
  progress_->SetWhat(Shown(ProgressText(record)));
  progress_->SetPercent(done ? static_cast<int>(*done * 100) : -1);

  const qint64 now = clock_.elapsed();
  const ProgressPace::Figures pace = pace_.At(record, now / 1000.0);
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
  const SetChoice choice = properties_->Ask(proposal);
  const QString base = Text(choice.baseName.value_or(proposal.defaultBaseName));
  volumesChosen_ = choice.accepted ? VolumesText(base, choice.parityCount) : QString();
  setName_ = QFileInfo(base).fileName();
  return choice;
}

QString WindowInteraction::VolumesText(const QString& baseName, int parityCount,
                                       QChar beforeFolder) {
  if (baseName.isEmpty()) return {};
  const QFileInfo base(QDir::current(), baseName);
  const std::string bare = Bytes(base.fileName());
  QString names = Shown(VolumeFileName(bare, 0));
  if (parityCount >= 1) names += QStringLiteral(", ") + Shown(VolumeFileName(bare, 1));
  if (parityCount >= 2)
    names += QStringLiteral(" \u2013 ") + Shown(VolumeFileName(bare, parityCount));
  return QObject::tr("Volumes: %1%2in %3")
      .arg(names, beforeFolder, QDir::toNativeSeparators(QDir::cleanPath(base.absolutePath())));
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

RenameReply WindowInteraction::AskRename(const RenamePrompt& prompt) {
  if (!prompt.again) rename_->ResetRenameAnswer();
  rename_->SetRenameFiles(Shown(prompt.found), Shown(prompt.missing));
  return rename_->Ask();
}

RestoreReply WindowInteraction::AskRestore(const RestorePrompt& prompt) {
  if (report_->isVisible()) report_->SetWorking(true);
  restore_->ResetRestoreAnswer();
  using Reason = Trestoreform::Reason;
  return restore_->Ask(Shown(prompt.name), prompt.changedAfterSet ? Reason::kChangedAfterSet
                                           : prompt.missing       ? Reason::kMissing
                                                                  : Reason::kDamaged);
}

void WindowInteraction::ShowReport(const SetReport& report) {
  if (collectReport_) {
    collectReport_(report);
    return;
  }
  report_->Fill(report);
  setName_ = Shown(report.setName);
  // The outcome in a word: the first of the report's totals.
  QString outcome;
  for (const ReportLine& line : ReportLines(report)) {
    if (line.kind == LineKind::kTotal && outcome.isEmpty()) outcome = Shown(line.text);
  }
  ActionEnds(setName_, outcome);
  if (!report_->isVisible()) report_->exec();
}

void WindowInteraction::Message(const std::string& text) {
  if (collectMessage_) {
    collectMessage_(text);
    return;
  }
  ShowMessage(Shown(text));
}

void WindowInteraction::Succeeded(const std::string& text) {
  QString shown = Shown(text);
  if (!volumesChosen_.isEmpty()) shown += QLatin1Char('\n') + volumesChosen_;
  volumesChosen_.clear();
  ShowMessage(shown, QMessageBox::NoIcon, nullptr, Shown(text));
}

QWidget* WindowInteraction::Front(QWidget* parent) const {
  if (parent) return parent;
  if (QWidget* modal = QApplication::activeModalWidget()) return modal;
  return main_;
}

void WindowInteraction::ShowMessage(const QString& text, QMessageBox::Icon icon, QWidget* parent,
                                    const QString& outcome) {
  QMessageBox box(icon, QStringLiteral("Tarvel"), text, QMessageBox::Ok, Front(parent));
  box.setObjectName("MessageBox");
  if (!outcome.isEmpty()) ActionEnds(setName_, outcome);
  box.exec();
}

void WindowInteraction::ShowError(const std::exception& error, QWidget* parent) {
  const auto* fileError = dynamic_cast<const FileError*>(&error);
  const std::string text =
      fileError ? WithReason(error.what(), fileError->OsError()) : error.what();
  const QString shown = Shown(ErrorBoxText(text));
  ShowMessage(shown, QMessageBox::Critical, parent, shown);
}

void WindowInteraction::ShowStopped(QWidget* parent) {
  ShowMessage(Text(TR(kOperationAbortedText)), QMessageBox::NoIcon, parent,
              Text(TR(kOperationAbortedText)));
}

}  // namespace tarvel::ui
