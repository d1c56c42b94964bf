// The engine's Interaction for the windows: the progress window, the three
// prompts and message boxes titled "Tarvel".  It is the one place where the
// engine's UTF-8 strings become QStrings and back (Text, Bytes).
//
// Pending events run after progress updates, on the one GUI thread, so the
// windows stay painted during long actions; they run at most every
// kEventInterval, so that painting costs no measurable time.
#pragma once

#include <QElapsedTimer>
#include <QMessageBox>
#include <QString>
#include <exception>
#include <string>

#include "engine/format.h"
#include "engine/interaction.h"

class QWidget;

namespace tarvel::ui {

class TIncludeform;
class TProgressForm1;
class TRenameform;
class Trestoreform;

class WindowInteraction : public Interaction {
 public:
  static constexpr int kEventIntervalMs = 30;

  // Engine text to window text and back (UTF-8).
  static QString Text(const std::string& s) {
    return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size()));
  }
  static std::string Bytes(const QString& s) { return s.toUtf8().toStdString(); }
  // Engine text as the user is shown it: a control character that a name
  // may carry (a volume found in the folder, a file offered by the search)
  // appears as '?', never raw.
  static QString Shown(const std::string& s) { return Text(PrintableText(s)); }

  // The windows it talks through; set once they exist.
  void Attach(QWidget* mainWindow, TProgressForm1* progress, TIncludeform* include,
              TRenameform* rename, Trestoreform* restore);

  void ShowProgress() override;
  void HideProgress() override;
  void SetProgressText(const std::string& text) override;
  void SetProgressPercent(int percent) override;
  void ClearProgressPercent() override;
  void ProcessEvents() override;

  bool AskInclude(const std::string& name, std::int64_t size) override;
  void ResetRenamePrompt() override;
  RenameReply AskRename(const std::string& found, const std::string& missing) override;
  void ResetRestorePrompt() override;
  RestoreReply AskRestore(const std::string& name) override;

  void Message(const std::string& text) override;

  // A question box titled "Tarvel" with Yes and No; true for Yes (No, Escape
  // and the close box are no).
  bool AskYesNo(const std::string& question);

  // A message box titled "Tarvel" with one OK button, over `parent` (the
  // main window when null).
  void ShowMessage(const QString& text, QMessageBox::Icon icon = QMessageBox::NoIcon,
                   QWidget* parent = nullptr);
  // The box for an error that ended an action: its text, the system's
  // reason in parentheses when it is a file-layer error that has one, a
  // full stop, and an error icon.
  void ShowError(const std::exception& error, QWidget* parent = nullptr);

 private:
  // The window over which boxes and prompts are shown.
  QWidget* Front(QWidget* parent) const;

  QWidget* main_ = nullptr;
  TProgressForm1* progress_ = nullptr;
  TIncludeform* include_ = nullptr;
  TRenameform* rename_ = nullptr;
  Trestoreform* restore_ = nullptr;
  QElapsedTimer sinceEvents_;
};

}  // namespace tarvel::ui
