#include "ui/report_form.h"

#include <QPlainTextEdit>
#include <QPushButton>
#include <QStatusBar>

#include "engine/engine.h"
#include "ui/layout.h"
#include "ui/window_interaction.h"

namespace tarvel::ui {
namespace {

constexpr int kButtonWidth = 129, kButtonHeight = 33, kStatusHeight = 19;

}  // namespace

TReportform::TReportform(Engine& engine, WindowInteraction& ui, QWidget* mainWindow)
    : QDialog(mainWindow), engine_(engine), ui_(ui) {
  setObjectName("Reportform");
  setWindowTitle(tr("File report"));
  setSizeGripEnabled(false);

  ReportMemo = new QPlainTextEdit(this);
  ReportMemo->setObjectName("ReportMemo");
  ReportMemo->setReadOnly(true);
  ReportMemo->setTabChangesFocus(true);
  ReportMemo->setLineWrapMode(QPlainTextEdit::NoWrap);
  ReportMemo->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  ReportMemo->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  ReportMemo->move(8, 8);

  OKButton = new QPushButton(tr("OK"), this);
  OKButton->setObjectName("OKButton");
  OKButton->resize(kButtonWidth, kButtonHeight);
  Restorebutton = new QPushButton(tr("Restore Files"), this);
  Restorebutton->setObjectName("Restorebutton");
  Restorebutton->resize(kButtonWidth, kButtonHeight);
  for (QPushButton* b : {OKButton, Restorebutton}) {
    b->setAutoDefault(false);
    FitFont(b);
  }

  StatusBar1 = new QStatusBar(this);
  StatusBar1->setObjectName("StatusBar1");
  StatusBar1->setSizeGripEnabled(true);

  setTabOrder(ReportMemo, OKButton);
  setTabOrder(OKButton, Restorebutton);

  connect(OKButton, &QPushButton::clicked, this, &TReportform::OKButtonClick);
  connect(Restorebutton, &QPushButton::clicked, this, &TReportform::RestorebuttonClick);

  setMinimumSize(kMinOuterWidth, kMinOuterHeight);
  resize(kOuterWidth, kOuterHeight);
}

QSize TReportform::FrameExtra() const { return frameGeometry().size() - geometry().size(); }

void TReportform::showEvent(QShowEvent* event) {
  if (!sized_) {
    // The sizes are outer sizes; the frame, where there is one, is part of them.
    sized_ = true;
    const QSize extra = FrameExtra();
    setMinimumSize(kMinOuterWidth - extra.width(), kMinOuterHeight - extra.height());
    resize(kOuterWidth - extra.width(), kOuterHeight - extra.height());
  }
  FormShow();
  QDialog::showEvent(event);
}

void TReportform::resizeEvent(QResizeEvent* event) {
  QDialog::resizeEvent(event);
  FormResize();
}

void TReportform::FormShow() { StatusBar1->showMessage(tr("Ready")); }

void TReportform::FormResize() {
  const QSize outer = size() + FrameExtra();
  const int w = outer.width(), h = outer.height();
  ReportMemo->resize(w - 24, h - 120);
  OKButton->move(w / 4 - 65, h - 97);
  Restorebutton->move((w / 4) * 3 - 65, h - 97);
  StatusBar1->setGeometry(0, height() - kStatusHeight, width(), kStatusHeight);
}

void TReportform::SetLines(const QStringList& lines) { ReportMemo->setPlainText(lines.join('\n')); }

void TReportform::SetWorking(bool working) {
  StatusBar1->showMessage(working ? tr("Working...") : tr("Ready"));
}

void TReportform::OKButtonClick() { accept(); }

void TReportform::RestorebuttonClick() {
  // No second action may start inside this one: the engine's tables allow
  // one at a time.
  OKButton->setEnabled(false);
  Restorebutton->setEnabled(false);
  try {
    (void)engine_.Restore(/*askEachFile=*/true, /*checkVolumesAgain=*/false);
  } catch (const ActionStopped&) {
    // The report shows the set as the stop left it.
  } catch (const std::exception& error) {
    // The report shown stays the one from before the restore; the status
    // line keeps "Working...".
    ui_.ShowError(error, this);
  }
  OKButton->setEnabled(true);
  Restorebutton->setEnabled(true);
}

}  // namespace tarvel::ui
