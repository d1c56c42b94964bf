// "Include this?": asked while creating for a small description or checksum
// file.  Owns its answer, IncludeAnswer: true only after "Include in parity";
// every use starts with false, so the close box keeps the file digest-only.
#pragma once

#include <QDialog>

class QLabel;
class QPushButton;

namespace tarvel::ui {

class TIncludeform : public QDialog {
  Q_OBJECT
 public:
  explicit TIncludeform(QWidget* mainWindow);

  void SetIncludeFile(const QString& name, qint64 size);
  bool IncludeAnswer() const { return includeAnswer_; }

  QLabel* Label1;
  QLabel* Label2;
  QPushButton* dinc;
  QPushButton* inc;

 private:
  void dincClick();
  void incClick();

  bool includeAnswer_ = false;
};

}  // namespace tarvel::ui
