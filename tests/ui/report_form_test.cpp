// SPDX-License-Identifier: GPL-3.0-or-later
// The File report window: its texts before and after a restore driven by
// clicks, no closing during a restore, its two refusals, the marks on its
// lines, its kept geometry and its layout by the resize formulas.
#include <QClipboard>
#include <QPlainTextEdit>
#include <QSettings>
#include <QStatusBar>
#include <QTextBlock>
#include <QWindow>

#include "harness.h"
#include "suites.h"
#include "support/faulty_env.h"

namespace tarvel::uitest {
namespace {

QString Memo(QWidget* w) { return Child<QPlainTextEdit>(w, "ReportMemo")->toPlainText(); }

// A set of four files with two parity volumes in the harness' folder.
void MakeSet(Harness& h) {
  int seed = 1;
  for (const char* name : {"a.bin", "b.bin", "c.bin", "d.bin"}) {
    h.Write(name, 60000 + 977 * seed, seed);
    ++seed;
  }
  h.CreateSet({"a.bin", "b.bin", "c.bin", "d.bin"}, "set", 2);
  h.dialogs.volume = h.Path("set.P01");
}

}  // namespace

// The kept geometry is this suite's own: the other suites, which may run at
// the same time, keep theirs elsewhere.
void ReportFormTest::initTestCase() {
  static QTemporaryDir settings;
  QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, settings.path());
}

void ReportFormTest::init() { QSettings().remove(ui::TReportform::kGeometryKey); }

void ReportFormTest::restoreDrivenByClicks_data() {
  // An attempt to close the report (Escape, the close box, reject()) while
  // the Restore prompt is up or while the files are rebuilt: it stays.
  QTest::addColumn<QString>("attempt");
  QTest::addColumn<bool>("rebuilding");
  QTest::newRow("no attempt") << "" << false;
  for (const char* attempt : {"Escape", "close box", "reject"}) {
    QTest::addRow("%s at the prompt", attempt) << attempt << false;
    QTest::addRow("%s while rebuilding", attempt) << attempt << true;
  }
}

void ReportFormTest::restoreDrivenByClicks() {
  QFETCH(QString, attempt);
  QFETCH(bool, rebuilding);
  Harness h;
  MakeSet(h);
  const QByteArray a = h.Read("a.bin"), c = h.Read("c.bin");
  QFile::remove(h.Path("a.bin"));
  h.Corrupt("c.bin", c.size(), 99);
  ui::TReportform* report = h.windows->Reportform;
  int attempts = 0;
  bool stayed = true;
  const auto tryToClose = [&] {
    ++attempts;
    if (attempt == "Escape") QTest::keyClick(report, Qt::Key_Escape);
    if (attempt == "close box") report->close();
    if (attempt == "reject") report->reject();
    stayed = report->isVisible();
  };
  QTimer duringRebuild;  // fires in the events that the rebuild lets run
  QObject::connect(&duringRebuild, &QTimer::timeout, [&] {
    if (!attempts && h.windows->ProgressForm1->isVisible() && !h.windows->restoreform->isVisible())
      tryToClose();
  });

  QString before, after, statusAfter;
  bool restoreEnabledDuring = true;
  h.script.Then([&](QWidget* w) {
    before = Memo(w);
    Click(Child(w, "Restorebutton"));  // the prompts below come up inside this click
    after = Memo(w);
    statusAfter = Child<QStatusBar>(w, "StatusBar1")->currentMessage();
    Click(Child(w, "Restorebutton"));
    Click(Child(w, "OKButton"));
  });
  h.script.Then([&](QWidget* w) {
    restoreEnabledDuring = h.windows->Reportform->Restorebutton->isEnabled();
    if (!attempt.isEmpty()) rebuilding ? duringRebuild.start(0) : tryToClose();
    Press("yesbutton", /*tick=*/true)(w);
  });
  h.script.Then(PressOk);
  Click(h.Main()->CheckButton);

  QCOMPARE(attempts, attempt.isEmpty() ? 0 : 1);
  QVERIFY(stayed);
  QCOMPARE(h.script.seen,
           QStringList({"Reportform", "restoreform", "Message: No files to restore..."}));
  QCOMPARE(before, QString(" \na.bin Missing...\n \nb.bin OK\n \nc.bin CRC Mismatch...\n \n"
                           "d.bin OK\n \n2 bad/missing files.\n \nFound parity volumes:\n"
                           "set.P01 OK\nset.P02 OK\n \n2 usable parity volumes found."));
  QCOMPARE(after, QString("a.bin OK\nb.bin OK\nc.bin OK\nd.bin OK\n \nAll files OK.\n \n"
                          "Found parity volumes:\nset.P01 OK\nset.P02 OK\n \n"
                          "2 usable parity volumes found."));
  QCOMPARE(statusAfter, QString("Ready"));
  QVERIFY(!restoreEnabledDuring);
  QVERIFY(h.windows->Reportform->Restorebutton->isEnabled());
  QCOMPARE(h.Read("a.bin"), a);
  QCOMPARE(h.Read("c.bin"), c);
}

void ReportFormTest::markedLines_data() {
  QTest::addColumn<QStringList>("line");  // the name (isolated unless Latin-1), the rest, the mark
  QTest::addColumn<bool>("dark");         // a dark palette, set after the lines
  QTest::newRow("good") << QStringList{"a.bin", " OK", ""} << false;
  QTest::newRow("missing, dark") << QStringList{"a.bin", " Missing...", "warning"} << true;
  QTest::newRow("CRC only, damaged")
      << QStringList{"x.sfv", " (CRC only) CRC Mismatch...", "warning"} << false;
  QTest::newRow("a file named All files") << QStringList{"All files", " OK", ""} << false;
  QTest::newRow("not checked") << QStringList{"a.bin", " Not checked...", "warning"} << false;
  QTest::newRow("CRC only, not checked, dark")
      << QStringList{"x.sfv", " (CRC only) Not checked...", "warning"} << true;
  for (const char* total : {"All files OK.", "2 bad/missing files.",
                            "1 bad/missing files (CRC only).", "3 files not checked.",
                            "No usable parity volumes found", "12 usable parity volumes found."})
    QTest::newRow(total) << QStringList{"", total, "bold"} << false;
  // Below the list, after an empty line, why files are reported as they are.
  QTest::newRow("a note") << QStringList{"a.bin",
                                         ": a read failed at byte 4096 (Input/output error)",
                                         "note"}
                          << false;
  QTest::newRow("Arabic") << QStringList{QString::fromUtf8("مستند_عربي.pdf"), " OK", ""} << false;
  QTest::newRow("Hebrew, dark") << QStringList{QString::fromUtf8("קובץ חשוב.txt"),
                                               " (CRC only) Missing...", "warning"}
                                << true;
  QTest::newRow("right-to-left override")
      << QStringList{"a" + QString(QChar(0x202E)) + "fdp.exe", " CRC Mismatch...", "warning"}
      << false;
}

void ReportFormTest::markedLines() {
  QFETCH(QStringList, line);
  QFETCH(bool, dark);
  const QString name = line[0], rest = line[1], mark = line[2];
  Harness h;
  ui::TReportform* report = h.windows->Reportform;
  const bool note = mark == "note";
  const ReportLine blank{LineKind::kBlank, " ", 0};
  if (note) {
    report->SetLines({blank}, {name + rest});
  } else {
    const LineKind kind = mark == "bold"      ? LineKind::kTotal
                          : mark == "warning" ? LineKind::kBad
                                              : LineKind::kGood;
    const std::string n = name.toStdString();
    report->SetLines({blank, {kind, n + rest.toStdString(), n.size()}});
  }
  if (dark) report->setPalette(QPalette(QColor(0xe0, 0xe0, 0xe0), QColor(0x1e, 0x1e, 0x1e)));
  const QTextBlock block = report->ReportMemo->document()->lastBlock();
  const bool isolated = name != QString::fromLatin1(name.toLatin1());
  QCOMPARE(block.text(), isolated ? QChar(0x2068) + name + QChar(0x2069) + rest : name + rest);
  const QTextCharFormat format = QTextCursor(block).charFormat();
  QCOMPARE(format.fontWeight() == QFont::Bold, mark == "bold");
  const bool warning = mark == "warning" || note;
  QCOMPARE(format.hasProperty(QTextFormat::ForegroundBrush), warning);
  // Readable as body text is (WCAG: 4.5:1) on the background under it.
  const auto luminance = [](QColor c) {
    const auto f = [](float v) {
      return v <= 0.04f ? v / 12.92 : std::pow((v + .055) / 1.055, 2.4);
    };
    return 0.2126 * f(c.redF()) + 0.7152 * f(c.greenF()) + 0.0722 * f(c.blueF()) + 0.05;
  };
  const double fg = luminance(format.foreground().color()),
               bg = luminance(report->ReportMemo->palette().color(QPalette::Base));
  if (warning) QVERIFY(std::max(fg, bg) / std::min(fg, bg) >= 4.5);
  // A copy reads as the engine's lines.
  report->ReportMemo->selectAll();
  report->ReportMemo->copy();
  QCOMPARE(QApplication::clipboard()->text(), (note ? " \n\n" : " \n") + name + rest);
}

void ReportFormTest::keptGeometry_data() {
  QTest::addColumn<QRect>("left");   // the outer geometry when last hidden
  QTest::addColumn<QRect>("shown");  // at the next show, in another run
  const QRect area = QGuiApplication::primaryScreen()->availableGeometry();
  const QPoint end = area.bottomRight() + QPoint(1, 1);
  const QSize size(409, 521);
  QTest::newRow("on the screen") << QRect(30, 40, 500, 420) << QRect(30, 40, 500, 420);
  QTest::newRow("partly off it") << QRect(end - QPoint(200, 300), size)
                                 << QRect(end - QPoint(409, 521), size);
  QTest::newRow("larger than it") << QRect(area.topLeft(), area.size() + QSize(200, 100)) << area;
}

void ReportFormTest::keptGeometry() {
  QFETCH(QRect, left);
  QFETCH(QRect, shown);
  for (const bool before : {true, false}) {
    Harness h;
    ui::TReportform* report = h.windows->Reportform;
    report->show();
    QVERIFY(QTest::qWaitForWindowExposed(report));
    if (before) report->setGeometry(left.marginsRemoved(report->windowHandle()->frameMargins()));
    if (!before) QCOMPARE(report->frameGeometry(), shown);
    report->hide();
  }
}

void ReportFormTest::refusals_data() {
  QTest::addColumn<QStringList>("damage");  // files removed before the check
  QTest::addColumn<bool>("fault");          // every write fails while restoring
  QTest::addColumn<QString>("message");     // "Error: ..." only its start
  QTest::addColumn<QString>("note");        // the report's last line
  const QString volumes = "2 usable parity volumes found.";
  QTest::newRow("all files OK") << QStringList{} << false << "Message: No files to restore..."
                                << volumes;
  QTest::newRow("2 bad files, 1 usable volume")
      << QStringList{"a.bin", "b.bin", "set.P02"} << false
      << "Message: You do not have enough parity volumes. 2 parity volumes are needed."
      << "1 more parity volume is needed to restore the bad files.";
  QTest::newRow("3 bad files, 1 usable volume")
      << QStringList{"a.bin", "b.bin", "c.bin", "set.P02"} << false
      << "Message: You do not have enough parity volumes. 3 parity volumes are needed."
      << "2 more parity volumes are needed to restore the bad files.";
  // An error ends the restore: no progress window under its box, the
  // status "Ready", the report as it was, nothing written.
  QTest::newRow("the rebuilt file cannot be written")
      << QStringList{"a.bin"} << true << "Error: " << volumes;
}

void ReportFormTest::refusals() {
  QFETCH(QStringList, damage);
  QFETCH(bool, fault);
  QFETCH(QString, message);
  QFETCH(QString, note);
  testing::FaultyEnv faulty(Env::Default());
  Harness h({}, faulty);
  MakeSet(h);
  for (const QString& f : damage) QFile::remove(h.Path(f));
  const QStringList files = h.Files();
  QString before, after, status;
  h.script.Then([&](QWidget* w) {
    before = Memo(w);
    if (fault) faulty.Fail(testing::FaultyEnv::kWrite, 1, "", /*sticky=*/true);
    Click(Child(w, "Restorebutton"));
    after = Memo(w);
    status = Child<QStatusBar>(w, "StatusBar1")->currentMessage();
    Click(Child(w, "OKButton"));
  });
  if (fault) h.script.Then(Press("yesbutton"));
  bool progressUnderBox = true;
  h.script.Then([&](QWidget* w) {
    progressUnderBox = h.windows->ProgressForm1->isVisible();
    PressOk(w);
  });
  Click(h.Main()->CheckButton);

  QCOMPARE(h.script.seen.size(), fault ? 3 : 2);
  QVERIFY2(h.script.seen.back().startsWith(message), qPrintable(h.script.seen.back()));
  QCOMPARE(after, before);
  QCOMPARE(before.split('\n').back(), note);
  QCOMPARE(h.Files(), files);
  QVERIFY(!progressUnderBox);
  QCOMPARE(status, QString("Ready"));
}

void ReportFormTest::layout_data() {
  QTest::addColumn<QSize>("outer");
  QTest::addColumn<QRect>("memo");
  QTest::addColumn<QPoint>("ok");
  QTest::addColumn<QPoint>("restore");
  QTest::newRow("as first shown") << QSize(409, 521) << QRect(8, 8, 385, 401) << QPoint(37, 424)
                                  << QPoint(241, 424);
  QTest::newRow("600 x 400") << QSize(600, 400) << QRect(8, 8, 576, 280) << QPoint(85, 303)
                             << QPoint(385, 303);
  QTest::newRow("minimum") << QSize(305, 231) << QRect(8, 8, 281, 111) << QPoint(11, 134)
                           << QPoint(163, 134);
  QTest::newRow("below the minimum")
      << QSize(200, 100) << QRect(8, 8, 281, 111) << QPoint(11, 134) << QPoint(163, 134);
}

void ReportFormTest::layout() {
  QFETCH(QSize, outer);
  QFETCH(QRect, memo);
  QFETCH(QPoint, ok);
  QFETCH(QPoint, restore);
  Harness h;
  ui::TReportform* report = h.windows->Reportform;
  report->show();
  QVERIFY(QTest::qWaitForWindowExposed(report));
  const QSize frame = report->frameGeometry().size() - report->size();
  if (outer != QSize(409, 521)) report->resize(outer - frame);
  QCOMPARE(report->frameGeometry().size(), outer.expandedTo(QSize(305, 231)));
  QCOMPARE(report->ReportMemo->geometry(), memo);
  QCOMPARE(report->OKButton->pos(), ok);
  QCOMPARE(report->Restorebutton->pos(), restore);
  QCOMPARE(report->OKButton->size(), QSize(129, 33));
  QCOMPARE(report->StatusBar1->geometry().bottom(), report->height() - 1);
  report->hide();
}

}  // namespace tarvel::uitest
