// SPDX-License-Identifier: GPL-3.0-or-later
// The engine's Interaction for the windows: the progress window, the three
// prompts and message boxes titled "Tarvel".  It is the one place where the
// engine's UTF-8 strings become QStrings and back (Text, Bytes).
//
// Pending events run whenever the engine lets them (about every
// kEventIntervalMs while an action runs), on the one GUI thread, so the
// windows stay painted during long actions.
#pragma once

#include <QElapsedTimer>
#include <QMessageBox>
#include <QString>
#include <exception>
#include <functional>
#include <string>
#include <utility>

#include "engine/interaction.h"
#include "engine/report.h"
#include "platform/env.h"
#include "ui/desktop.h"

class QWidget;

namespace tarvel::ui {

class TIncludeform;
class TProgressForm1;
class TPropertiesForm;
class TRenameform;
class TReportform;
class Trestoreform;

class WindowInteraction : public Interaction {
 public:
  // Engine text to window text and back (UTF-8).
  static QString Text(const std::string& s) {
    return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size()));
  }
  static std::string Bytes(const QString& s) { return s.toUtf8().toStdString(); }
  // Engine text as the user is shown it: a control character that a name
  // may carry (a volume found in the folder, a file offered by the search)
  // appears as '?', never raw.
  static QString Shown(const std::string& s) { return Text(PrintableText(s)); }
  // The volumes a set of `parityCount` parity volumes with `baseName` (a
  // path without extension, relative to the current folder) is written as:
  // "Volumes: photos.PAR, photos.P01 – photos.P05 in /home/a/Pictures",
  // with `beforeFolder` in place of the space before "in" (a line break
  // keeps the folder whole on a line of its own).  "" for an empty name.
  static QString VolumesText(const QString& baseName, int parityCount,
                             QChar beforeFolder = QLatin1Char(' '));

  // The windows it talks through; set once they exist.
  void Attach(QWidget* mainWindow, TProgressForm1* progress, TIncludeform* include,
              TRenameform* rename, Trestoreform* restore, TPropertiesForm* properties,
              TReportform* report);
  // The desktop it tells of long actions, and the clock that times them
  // (the file layer's).
  void SetDesktop(Desktop* desktop, Env* clock) {
    desktop_ = desktop;
    clockEnv_ = clock;
  }

  // A check, create or restore starts.  When it ends after more than
  // kLongActionMs while no Tarvel window is active, a desktop notification
  // names the set and the outcome (the report's totals, the success, the
  // error, the stop), the main window is marked urgent, and the outcome
  // waits until the person comes back to Tarvel, so that it never takes
  // another program's keys.
  static constexpr std::int64_t kLongActionMs = 10000;
  void ActionStarts();

  // Shows the progress window when it is hidden; the texts, and the bar and
  // percentage from the share of the step done, with speed and time left
  // under the bar.
  void Progress(const ProgressRecord& record) override;
  void HideProgress() override;
  // The progress window says at once that the action stops (a stop asked
  // elsewhere than at its Cancel).
  void ShowStopping();
  void ProcessEvents() override;

  bool AskInclude(const std::string& name, std::int64_t size) override;
  SetChoice AskSetProperties(const SetProposal& proposal) override;
  // The question in Ask's box.
  bool Confirm(const Question& question) override;
  // A prompt starts with "don't ask again for this set" unticked, but when
  // it is asked again after a copy that failed.
  RenameReply AskRename(const RenamePrompt& prompt) override;
  // During a restore from the File report, its status line says it works.
  RestoreReply AskRestore(const RestorePrompt& prompt) override;

  // While a folder action runs each set's File report and messages go to
  // `report` and `message` instead of the windows, so that checking many
  // sets does not stop at every one; Collect({}, {}) shows them again.
  void Collect(std::function<void(const SetReport&)> report,
               std::function<void(const std::string&)> message) {
    collectReport_ = std::move(report);
    collectMessage_ = std::move(message);
  }

  // The File report: shown modally with the lines and, below them, the
  // notes, or, while it is up (a restore from it), given the new ones.
  void ShowReport(const SetReport& report) override;
  void Message(const std::string& text) override;
  // The success, and a line naming the volumes written.
  void Succeeded(const std::string& text) override;

  // A question box titled "Tarvel" over `parent` (the window in front when
  // null) with Yes and No; true for Yes (No, Escape and the close box are
  // no).
  bool Ask(const QString& text, QWidget* parent = nullptr);
  // A message box titled "Tarvel" with one OK button, over `parent` (the
  // main window when null); with an `outcome`, the box ends an action and
  // the outcome is what the desktop is told of it (ActionStarts).
  void ShowMessage(const QString& text, QMessageBox::Icon icon = QMessageBox::NoIcon,
                   QWidget* parent = nullptr, const QString& outcome = {});
  // The box for an error that ended an action: its text, the system's
  // reason in parentheses when it is a file-layer error that has one, a
  // full stop, and an error icon.
  void ShowError(const std::exception& error, QWidget* parent = nullptr);
  // The box after an action the person stopped: the same words for every
  // action ("Operation aborted!").
  void ShowStopped(QWidget* parent = nullptr);

 private:
  // The window over which boxes and prompts are shown.
  QWidget* Front(QWidget* parent) const;
  // The progress window's owner: the window the person works in (the File
  // report during a restore, else the main window), so that the progress
  // stays above it and its Cancel is not blocked by it.
  void OwnProgress();
  // Shows the progress window, new, over the window the person works in.
  void ShowProgress();
  // The outcome of the action is about to be shown (once per action).
  void ActionEnds(const QString& setName, const QString& outcome);

  QWidget* main_ = nullptr;
  TProgressForm1* progress_ = nullptr;
  TIncludeform* include_ = nullptr;
  TRenameform* rename_ = nullptr;
  Trestoreform* restore_ = nullptr;
  TPropertiesForm* properties_ = nullptr;
  TReportform* report_ = nullptr;
  // The volumes of the last set chosen in Parity Properties, for the
  // success message, and the set's name.
  QString volumesChosen_;
  QString setName_;

  std::function<void(const SetReport&)> collectReport_;
  std::function<void(const std::string&)> collectMessage_;

  Desktop* desktop_ = nullptr;
  Env* clockEnv_ = nullptr;
  std::int64_t actionStartMs_ = -1;  // -1: no action, or its end was told

  // Speed and time left of the pass shown, and when they were last shown.
  ProgressPace pace_;
  QElapsedTimer clock_;
  qint64 paceShownMs_ = 0;
  ProgressStep shownStep_ = ProgressStep::kAnalysing;
  int shownItem_ = -1;
};

}  // namespace tarvel::ui
