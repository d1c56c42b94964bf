// SPDX-License-Identifier: GPL-3.0-or-later
// "Parity Properties": shown between the analysis of the chosen files and
// the writing of the set.  Shows what the analysis found (the engine's
// proposal), lets the user choose the number of parity volumes (seeing what
// it costs) and the base name, and on OK asks the proposal whether the
// choice can be written (hidden names, room in the volumes' folder),
// staying open with the reason when it cannot.  Under the base name it
// names the volumes and the folder they go to, as the choice stands.
//
// Owns Accepted, ParityCount and BaseName, the answer.  ParityCount is
// always the number the spin edit shows; Accepted is true only after OK
// passed the proposal's test.
#pragma once

#include <QDialog>
#include <QSpinBox>
#include <string>

#include "engine/interaction.h"

class QLabel;
class QLineEdit;
class QPushButton;

namespace tarvel::ui {

class WindowInteraction;

// The number of parity volumes: stepped by its buttons and the arrow keys,
// or typed; always within its bounds (a digit that would leave them is not
// taken).
class ParitySpinEdit : public QSpinBox {
  Q_OBJECT
 public:
  explicit ParitySpinEdit(QWidget* parent);
};

class TPropertiesForm : public QDialog {
  Q_OBJECT
 public:
  TPropertiesForm(WindowInteraction& ui, QWidget* mainWindow);

  // The proposal shown from the next showing on.
  void Propose(const SetProposal& proposal) { proposal_ = proposal; }
  // Shows the proposal modally and returns the answer.
  SetChoice Ask(const SetProposal& proposal);

  bool Accepted() const { return accepted_; }
  int ParityCount() const { return parityCount_; }
  std::string BaseName() const;

  QLabel* Filesnaminglabel;
  QLabel* numberlabel;
  QLabel* biggestnaminglabel;
  QLabel* biggestlabel;
  QLabel* overallnaminglabel;
  QLabel* overalllabel;
  QLabel* pnumnaminglabel;
  ParitySpinEdit* pnumEdit;
  QLabel* psizenaminglabel;
  QLabel* psizelabel;
  QLabel* frnaminglabel;
  QLabel* frlabel;
  QLabel* drnaminglabel;
  QLabel* drlabel;
  QLabel* filenaminglabel;
  QLineEdit* filenameEdit;
  // "Volumes: photos.PAR, photos.P01 – photos.P05 in /home/a/Pictures".
  QLabel* volumeslabel;
  QPushButton* OK;
  QPushButton* Cancel;

 protected:
  void showEvent(QShowEvent* event) override;

 private:
  void FormShow();
  void pnumEditChange();
  void filenameEditChange();
  void OKClick();
  void CancelClick();
  void ShowAnalysis();
  void SetBounds();
  void ShowCosts();
  void ShowVolumes();

  SetProposal proposal_;
  WindowInteraction& ui_;
  bool accepted_ = false;
  int parityCount_ = 1;
  QString baseName_;
};

}  // namespace tarvel::ui
