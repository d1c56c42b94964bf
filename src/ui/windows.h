// SPDX-License-Identifier: GPL-3.0-or-later
// The program's nine windows, created once in start-up order (main window,
// About box, Parity Properties, File search, File report, Include this?,
// progress window, Restore prompt, folder window) around one engine, and wired to it
// through the window interaction.  The main window owns the others: closing
// it ends the program, and destroying it destroys them.
#pragma once

#include <QStringList>
#include <memory>

#include "engine/engine.h"
#include "ui/about_box.h"
#include "ui/file_dialogs.h"
#include "ui/folder_form.h"
#include "ui/include_form.h"
#include "ui/main_form.h"
#include "ui/progress_form.h"
#include "ui/properties_form.h"
#include "ui/rename_form.h"
#include "ui/report_form.h"
#include "ui/restore_form.h"
#include "ui/window_interaction.h"

namespace tarvel::ui {

class TarvelWindows {
 public:
  // REQUIRES: a QApplication exists and outlives this object.
  TarvelWindows(Env& env, FileDialogs& dialogs, const QStringList& arguments);
  ~TarvelWindows();

  // The desktop that long actions are told to; tests put their own in
  // place (ui.SetDesktop).
  FreedesktopDesktop desktop;
  WindowInteraction ui;
  Engine engine;
  std::unique_ptr<TMainForm> MainForm;
  TAboutBox* AboutBox;
  TPropertiesForm* PropertiesForm;
  TRenameform* Renameform;
  TReportform* Reportform;
  TIncludeform* Includeform;
  TProgressForm1* ProgressForm1;
  Trestoreform* restoreform;
  TFolderForm* FolderForm;
};

}  // namespace tarvel::ui
