// The engine's only way to talk to a person: the progress window, the three
// prompts and message boxes.  The Qt windows, the command line and the tests
// each implement it.  What the answers mean for the remembered answers
// (RenameAnswer, RestoreAnswer) is decided by the engine, not here.
#pragma once

#include <cstdint>
#include <string>

namespace tarvel {

enum class RenameButton { kRename, kCopy, kCancel, kClosed };
struct RenameReply {
  RenameButton button = RenameButton::kClosed;
  bool dontAskAgain = false;  // state of "don't ask again for this set"
};

enum class RestoreButton { kYes, kNo, kClosed };
struct RestoreReply {
  RestoreButton button = RestoreButton::kClosed;
  bool dontAskAgain = false;
};

class Interaction {
 public:
  virtual ~Interaction() = default;

  // Progress window.
  virtual void ShowProgress() = 0;
  virtual void HideProgress() = 0;
  virtual void SetProgressText(const std::string& text) = 0;  // whatlabel
  virtual void SetProgressPercent(int percent) = 0;           // bar and "N%"
  virtual void ClearProgressPercent() = 0;                    // bar 0, empty percentage text
  virtual void ProcessEvents() = 0;                           // repaint and run pending events

  // Include this?  true only for "Include in parity".
  virtual bool AskInclude(const std::string& name, std::int64_t size) = 0;

  // File search: the file with the same content and the missing file's name.
  virtual void ResetRenamePrompt() = 0;  // untick "don't ask again for this set"
  virtual RenameReply AskRename(const std::string& found, const std::string& missing) = 0;

  // Restore: "Restore " + name + " ?"
  virtual void ResetRestorePrompt() = 0;  // untick "don't ask again for this set"
  virtual RestoreReply AskRestore(const std::string& name) = 0;

  // A message box titled "Tarvel" with one OK button.
  virtual void Message(const std::string& text) = 0;
};

}  // namespace tarvel
