// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/windows.h"

namespace tarvel::ui {

TarvelWindows::TarvelWindows(Env& env, FileDialogs& dialogs, const QStringList& arguments)
    : engine(env, ui),
      MainForm(std::make_unique<TMainForm>(engine, env, ui, dialogs, arguments)),
      AboutBox(new TAboutBox(MainForm.get())),
      PropertiesForm(new TPropertiesForm(ui, MainForm.get())),
      Renameform(new TRenameform(MainForm.get())),
      Reportform(new TReportform(engine, ui, MainForm.get())),
      Includeform(new TIncludeform(MainForm.get())),
      ProgressForm1(new TProgressForm1(MainForm.get())),
      restoreform(new Trestoreform(MainForm.get())),
      FolderForm(new TFolderForm(engine, env, ui, MainForm.get())) {
  MainForm->SetWindows(AboutBox, FolderForm);
  QObject::connect(ProgressForm1, &TProgressForm1::CancelRequested, MainForm.get(),
                   &TMainForm::StopAction);
  ui.Attach(MainForm.get(), ProgressForm1, Includeform, Renameform, restoreform, PropertiesForm,
            Reportform);
  ui.SetDesktop(&desktop, &env);
}

TarvelWindows::~TarvelWindows() = default;

}  // namespace tarvel::ui
