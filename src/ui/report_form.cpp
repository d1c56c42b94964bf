// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/report_form.h"

#include <QEvent>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSettings>
#include <QStatusBar>
#include <QTextBlock>
#include <QTextCursor>
#include <algorithm>
#include <cmath>
#include <cstring>
#include <functional>
#include <memory>

#include "engine/engine.h"
#include "ui/fit.h"
#include "ui/layout.h"
#include "ui/window_interaction.h"

namespace tarvel::ui {
namespace {

constexpr int kButtonWidth = 129, kButtonHeight = 33, kStatusHeight = 19;

// Around a name in the text shown, so that the name's own direction cannot
// reorder the rest of its line.
constexpr char16_t kFirstStrongIsolate = u'\u2068', kPopDirectionalIsolate = u'\u2069';

// Whether `name` holds text that may run right to left (or sets a direction
// itself); other names look the same with and without isolation.
bool NeedsIsolation(const QString& name) {
  for (const char32_t c : name.toUcs4()) {
    switch (QChar::direction(c)) {
      case QChar::DirR:
      case QChar::DirAL:
      case QChar::DirAN:
      case QChar::DirLRE:
      case QChar::DirLRO:
      case QChar::DirRLE:
      case QChar::DirRLO:
      case QChar::DirPDF:
      case QChar::DirLRI:
      case QChar::DirRLI:
      case QChar::DirFSI:
      case QChar::DirPDI:
        return true;
      default:
        break;
    }
  }
  return false;
}

QString WithoutIsolates(QString text) {
  return text.remove(QChar(kFirstStrongIsolate)).remove(QChar(kPopDirectionalIsolate));
}

// The report's text box: what is copied from it reads as the report's lines,
// without the isolation marks around names.  It tells when its palette
// changes (a light one for a dark one), as the marks' colour follows it.
class ReportText : public QPlainTextEdit {
 public:
  using QPlainTextEdit::QPlainTextEdit;

  std::function<void()> paletteChanged;

 protected:
  void changeEvent(QEvent* event) override {
    QPlainTextEdit::changeEvent(event);
    if (event->type() == QEvent::PaletteChange && paletteChanged) paletteChanged();
  }

  QMimeData* createMimeDataFromSelection() const override {
    std::unique_ptr<QMimeData> shown(QPlainTextEdit::createMimeDataFromSelection());
    auto* copied = new QMimeData;
    copied->setText(WithoutIsolates(shown->text()));
    if (shown->hasHtml()) copied->setHtml(WithoutIsolates(shown->html()));
    return copied;
  }
};

// WCAG's relative luminance and contrast ratio.
double Luminance(const QColor& c) {
  const auto linear = [](double v) {
    return v <= 0.04045 ? v / 12.92 : std::pow((v + 0.055) / 1.055, 2.4);
  };
  return 0.2126 * linear(c.redF()) + 0.7152 * linear(c.greenF()) + 0.0722 * linear(c.blueF());
}

double Contrast(const QColor& a, const QColor& b) {
  const double la = Luminance(a), lb = Luminance(b);
  return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
}

}  // namespace

QColor WarningColour(const QPalette& palette) {
  // A red, darker than a light background or lighter than a dark one, as
  // far as needed for the contrast of body text (4.5:1).
  constexpr double kContrast = 4.5, kStep = 0.02;
  const QColor base = palette.color(QPalette::Active, QPalette::Base);
  const bool darkBase = base.lightnessF() < 0.5;
  double lightness = darkBase ? 0.70 : 0.38;
  QColor colour = QColor::fromHslF(0.0f, 0.75f, static_cast<float>(lightness));
  while (Contrast(colour, base) < kContrast && lightness > kStep && lightness < 1 - kStep) {
    lightness += darkBase ? kStep : -kStep;
    colour = QColor::fromHslF(0.0f, 0.75f, static_cast<float>(lightness));
  }
  return colour;
}

TReportform::TReportform(Engine& engine, WindowInteraction& ui, QWidget* mainWindow)
    : QDialog(mainWindow), engine_(engine), ui_(ui) {
  setObjectName("Reportform");
  setWindowTitle(tr("File report"));
  setSizeGripEnabled(false);

  auto* memo = new ReportText(this);
  memo->paletteChanged = [this] { MarkLines(); };
  ReportMemo = memo;
  ReportMemo->setObjectName("ReportMemo");
  ReportMemo->setAccessibleName(tr("Report"));
  ReportMemo->setReadOnly(true);
  ReportMemo->setUndoRedoEnabled(false);
  ReportMemo->setTabChangesFocus(true);
  ReportMemo->setLineWrapMode(QPlainTextEdit::NoWrap);
  ReportMemo->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  ReportMemo->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  ReportMemo->move(8, 8);

  OKButton = new QPushButton(tr("&OK"), this);
  OKButton->setObjectName("OKButton");
  OKButton->resize(kButtonWidth, kButtonHeight);
  Restorebutton = new QPushButton(tr("&Restore Files"), this);
  Restorebutton->setObjectName("Restorebutton");
  Restorebutton->resize(kButtonWidth, kButtonHeight);
  for (QPushButton* b : {OKButton, Restorebutton}) FitFont(b);
  // Enter is OK, unless the focus is on Restore Files.
  OKButton->setDefault(true);

  StatusBar1 = new QStatusBar(this);
  StatusBar1->setObjectName("StatusBar1");
  StatusBar1->setSizeGripEnabled(true);
  StatusBar1->setAccessibleName(tr("Status"));

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
    // Where the report was left in the last run, or, the first time,
    // centred over the main window.  Later shows keep where it was left.
    const QByteArray kept = QSettings().value(kGeometryKey).toByteArray();
    if (kept.isEmpty() || !restoreGeometry(kept)) CentreOver(this, parentWidget());
  }
  KeepOnScreen(this);
  FormShow();
  QDialog::showEvent(event);
}

void TReportform::hideEvent(QHideEvent* event) {
  QSettings().setValue(kGeometryKey, saveGeometry());
  QDialog::hideEvent(event);
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

void TReportform::Fill(const SetReport& report) {
  // The title names the set, so that two reports are told apart.
  setWindowTitle(report.setName.empty() ? tr("File report")
                                        : tr("File report") + QStringLiteral(" \u2013 ") +
                                              WindowInteraction::Shown(report.setName));
  QStringList notes;
  for (const std::string& note : ReportNotes(report))
    notes.push_back(WindowInteraction::Shown(note));
  // Too few volumes: how many more a restore needs.
  if (const int more = report.badFiles - report.usableVolumes; more > 0) {
    notes.push_back(
        more == 1 ? tr("1 more parity volume is needed to restore the bad files.")
                  : tr("%1 more parity volumes are needed to restore the bad files.").arg(more));
  }
  SetLines(ReportLines(report), notes);
}

void TReportform::SetLines(const std::vector<ReportLine>& lines, const QStringList& notes) {
  QStringList shown;
  shown.reserve(static_cast<qsizetype>(lines.size()) + notes.size() + 1);
  marks_.clear();
  for (const ReportLine& line : lines) {
    marks_.push_back(line.kind == LineKind::kBad     ? Mark::kDamaged
                     : line.kind == LineKind::kTotal ? Mark::kTotal
                                                     : Mark::kPlain);
    const QString name =
        WindowInteraction::Shown(line.text.substr(0, std::min(line.nameLength, line.text.size())));
    const QString rest =
        WindowInteraction::Shown(line.text.substr(name.isEmpty() ? 0 : line.nameLength));
    shown.push_back(NeedsIsolation(name)
                        ? QChar(kFirstStrongIsolate) + name + QChar(kPopDirectionalIsolate) + rest
                        : name + rest);
  }
  if (!notes.isEmpty()) {
    shown.push_back(QString());
    marks_.push_back(Mark::kPlain);
  }
  for (const QString& note : notes) {
    shown.push_back(note);
    marks_.push_back(Mark::kDamaged);
  }
  ReportMemo->setPlainText(shown.join('\n'));
  MarkLines();
}

void TReportform::MarkLines() {
  QTextCharFormat damaged, total;
  damaged.setForeground(WarningColour(ReportMemo->palette()));
  total.setFontWeight(QFont::Bold);
  QTextBlock block = ReportMemo->document()->firstBlock();
  for (const Mark mark : marks_) {
    if (!block.isValid()) break;
    QTextCursor cursor(block);
    cursor.movePosition(QTextCursor::EndOfBlock, QTextCursor::KeepAnchor);
    cursor.setCharFormat(mark == Mark::kDamaged ? damaged
                         : mark == Mark::kTotal ? total
                                                : QTextCharFormat());
    block = block.next();
  }
}

void TReportform::SetWorking(bool working) {
  StatusBar1->showMessage(working ? tr("Working...") : tr("Ready"));
}

void TReportform::done(int result) {
  // While a restore runs (its buttons are disabled) the report stays up, so
  // that its outcome is seen: Escape and the close box do nothing then.
  if (restoring_) return;
  QDialog::done(result);
}

void TReportform::OKButtonClick() { accept(); }

void TReportform::RestorebuttonClick() {
  // No second action may start inside this one: the engine's tables allow
  // one at a time.
  OKButton->setEnabled(false);
  Restorebutton->setEnabled(false);
  restoring_ = true;
  // A Cancel of an earlier restore from this report is over.
  engine_.ClearStop();
  ui_.ActionStarts();
  try {
    (void)engine_.Restore(/*askEachFile=*/true);
    SetWorking(false);
  } catch (const ActionStopped&) {
    // The report shows the set as the stop left it, and the stop is said as
    // for every action.
    ui_.HideProgress();
    SetWorking(false);
    ui_.ShowStopped(this);
  } catch (const std::exception& error) {
    // The report shown stays the one from before the restore; the restore
    // is over, so its progress window goes before the error box shows.
    ui_.HideProgress();
    SetWorking(false);
    ui_.ShowError(error, this);
  }
  engine_.ClearStop();
  restoring_ = false;
  OKButton->setEnabled(true);
  Restorebutton->setEnabled(true);
}

}  // namespace tarvel::ui
