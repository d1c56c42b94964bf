// SPDX-License-Identifier: GPL-3.0-or-later
// The main window driven by clicks: how many files a create accepts, the
// order of the set, the Parity Properties refusals, the command-line start,
// buttons disabled during an action, dropped files and the About box.
#include <QLabel>
#include <QLineEdit>
#include <QMimeData>
#include <QSignalSpy>
#include <QStatusBar>
#include <QThread>
#include <QUrl>
#include <string>
#include <vector>

#include "engine/format/volume_reader.h"
#include "harness.h"
#include "suites.h"
#include "support/env_wrapper.h"
#include "support/faulty_env.h"

namespace tarvel::uitest {
namespace {

QStringList Volumes(const Harness& h) {
  return QDir(h.folder.path()).entryList({"*.PAR", "*.P??"}, QDir::Files);
}

// Reads and syncs slowly, so that each step of an action lasts long enough
// to be stopped inside it.
class SlowEnv : public testing::EnvWrapper {
  class SlowFile : public testing::FileWrapper {
   public:
    using FileWrapper::FileWrapper;
    std::size_t ReadAt(std::int64_t offset, void* buffer, std::size_t n) override {
      QThread::msleep(10);
      return FileWrapper::ReadAt(offset, buffer, n);
    }
    // The volumes going to the disk at the end of a create take a moment
    // too, in which the windows' events run.
    void Sync() override {
      QThread::msleep(40);
      FileWrapper::Sync();
    }
  };
  std::unique_ptr<File> WrapFile(std::unique_ptr<File> file) override {
    return std::make_unique<SlowFile>(std::move(file));
  }
};

// The desktop as a test sees it: whether a Tarvel window is active is
// the test's to say; notifications and urgent marks are noted.
class NotedDesktop : public ui::Desktop {
 public:
  bool active = false;
  QStringList told;  // "summary: body"
  int urgent = 0;
  bool TarvelActive() const override { return active; }
  void Notify(const QString& summary, const QString& body) override {
    told << summary + ": " + body;
  }
  void MarkUrgent(QWidget*) override { ++urgent; }
  // The person comes back at once.
  void WaitUntilActive() override { ++waited; }
  int waited = 0;
};

// A clock that jumps forward when the test says (the file layer's hooks).
class JumpingClock : public testing::FaultyEnv {
 public:
  using FaultyEnv::FaultyEnv;
  std::int64_t NowMs() override { return FaultyEnv::NowMs() + jumpedMs; }
  std::int64_t jumpedMs = 0;
};

}  // namespace

void MainFormTest::init() { QDir::setCurrent(QDir::tempPath()); }

void MainFormTest::fileCount_data() {
  QTest::addColumn<int>("count");  // -1: the dialog is cancelled
  QTest::addColumn<bool>("proceeds");
  QTest::newRow("cancelled") << -1 << false;
  QTest::newRow("1 file") << 1 << false;
  QTest::newRow("2 files") << 2 << true;
  QTest::newRow("250 files") << 250 << true;
  QTest::newRow("251 files") << 251 << false;
}

void MainFormTest::fileCount() {
  QFETCH(int, count);
  QFETCH(bool, proceeds);
  Harness h;
  for (int i = 0; i < count; ++i) {
    const QString name = QString("f%1.dat").arg(i, 3, 10, QChar('0'));
    h.Write(name, 20, i);
    h.dialogs.files.push_back(h.Path(name));
  }
  if (proceeds) h.script.Then(Press("Cancel"));
  if (count >= 0) h.script.Then(PressOk);
  Click(h.Main()->CreateButton);

  // A cancelled dialog does nothing at all: the person did nothing wrong.
  const QStringList expected =
      proceeds    ? QStringList{"PropertiesForm", "Message: Operation aborted!"}
      : count < 0 ? QStringList{}
                  : QStringList{"Message: Only 2 - 250 files are supported."};
  QCOMPARE(h.script.seen, expected);
  QVERIFY(Volumes(h).isEmpty());
  QCOMPARE(h.Main()->StatusBarMain->currentMessage(), QString("Ready"));
}

void MainFormTest::setOrderAndCreate() {
  Harness h;
  for (const char* name : {"b.dat", "A.dat", "a.dat"}) {
    h.Write(name, 3000);
    h.dialogs.files.push_back(h.Path(name));
  }
  QString baseShown;
  int countShown = 0;
  h.script.Then([&](QWidget* w) {
    baseShown = Child<QLineEdit>(w, "filenameEdit")->text();
    countShown = Child<QSpinBox>(w, "pnumEdit")->value();
    Click(Child(w, "OK"));
  });
  h.script.Then(PressOk);
  Click(h.Main()->CreateButton);

  QCOMPARE(h.script.seen, QStringList({"PropertiesForm",
                                       "Message: Files successfully created.\nVolumes: A.PAR, "
                                       "A.P01 in " +
                                           QDir::currentPath()}));
  QCOMPARE(baseShown, QString("A"));
  QCOMPARE(countShown, 1);
  QCOMPARE(ListedNames(Env::Default(), h.Path("A.PAR").toStdString()),
           (std::vector<std::string>{"A.dat", "a.dat", "b.dat"}));
  QCOMPARE(Volumes(h), QStringList({"A.P01", "A.PAR"}));
}

void MainFormTest::propertiesRefusals_data() {
  QTest::addColumn<QString>("baseName");  // typed into filenameEdit; "" keeps the default
  QTest::addColumn<QString>("refusal");   // shown on OK; "" when OK is not pressed
  QTest::addColumn<bool>("closeBox");
  QTest::newRow("cancel") << ""
                          << "" << false;
  QTest::newRow("close box") << ""
                             << "" << true;
  QTest::newRow("folder that does not exist")
      << "no such folder/set"
      << "The folder DIR/no such folder does not exist." << false;
  QTest::newRow("hidden volumes") << ".set"
                                  << "Volumes named after this file name would be hidden, and no "
                                     "check would find them. Choose another name."
                                  << false;
}

void MainFormTest::propertiesRefusals() {
  QFETCH(QString, baseName);
  QFETCH(QString, refusal);
  QFETCH(bool, closeBox);
  Harness h;
  h.Write("one.bin", 500);
  h.Write("two.bin", 700);
  h.dialogs.files = QStringList{h.Path("one.bin"), h.Path("two.bin")};
  const QStringList before = h.Files();

  h.script.Then([&](QWidget* w) {
    if (!baseName.isEmpty()) Child<QLineEdit>(w, "filenameEdit")->setText(baseName);
    if (!refusal.isEmpty()) {
      Click(Child(w, "OK"));  // refused: the dialog stays open
      QVERIFY(w->isVisible());
    }
    if (closeBox) {
      CloseBox(w);
    } else {
      Click(Child(w, "Cancel"));
    }
  });
  if (!refusal.isEmpty()) h.script.Then(PressOk);
  h.script.Then(PressOk);
  Click(h.Main()->CreateButton);

  QStringList expected{"PropertiesForm"};
  if (!refusal.isEmpty()) expected << "Message: " + refusal.replace("DIR", h.folder.path());
  expected << "Message: Operation aborted!";
  QCOMPARE(h.script.seen, expected);
  QVERIFY(!h.windows->PropertiesForm->Accepted());
  QCOMPARE(h.Files(), before);
}

void MainFormTest::commandLine_data() {
  // "@" stands for the set's main volume, "~" for the current folder.
  QTest::addColumn<QStringList>("arguments");
  QTest::addColumn<QStringList>("seen");
  const QString missing = "Message: The file ~/no-such.PAR does not exist.";
  const QString oneAtATime = "Message: Tarvel checks one set at a time. Not checked: ";
  QTest::newRow("valid volume") << QStringList{"@"} << QStringList{"Reportform"};
  QTest::newRow("missing name") << QStringList{"no-such.PAR"} << QStringList{missing};
  QTest::newRow("a folder") << QStringList{"~"}
                            << QStringList{"Message: ~ is not a file, so it cannot be checked."};
  QTest::newRow("two arguments, first used")
      << QStringList{"@", "no-such.PAR"} << QStringList{"Reportform", oneAtATime + "no-such.PAR"};
  QTest::newRow("two arguments, second not checked")
      << QStringList{"no-such.PAR", "@", "b"} << QStringList{missing, oneAtATime + "@, b"};
}

void MainFormTest::commandLine() {
  QFETCH(QStringList, arguments);
  QFETCH(QStringList, seen);
  QTemporaryDir setFolder;
  QString volume;
  {
    Harness maker;
    maker.Write("x.bin", 900);
    maker.Write("y.bin", 1200);
    maker.CreateSet({"x.bin", "y.bin"}, "x", 1);
    for (const QString& f : maker.Files()) QFile::copy(maker.Path(f), setFolder.filePath(f));
    volume = setFolder.filePath("x.PAR");
  }
  for (QStringList* list : {&arguments, &seen}) {
    list->replaceInStrings("@", volume);
    list->replaceInStrings("~", QDir::currentPath());
  }
  Harness h(arguments);
  QString report;
  h.script.Otherwise([&](QWidget* w) {
    if (w->objectName() == "Reportform") {
      report = Child<QPlainTextEdit>(w, "ReportMemo")->toPlainText();
      Click(Child(w, "OKButton"));
    } else {
      PressOk(w);
    }
  });
  h.Main()->show();
  QTRY_COMPARE_WITH_TIMEOUT(h.script.seen, seen, 5000);
  if (seen.front() == "Reportform") {
    QVERIFY2(report.contains("x.bin OK\ny.bin OK\n \nAll files OK."), qPrintable(report));
  }
  QTRY_COMPARE(h.Main()->StatusBarMain->currentMessage(), QString(report.isEmpty() ? "" : "Ready"));
  h.Main()->hide();
}

void MainFormTest::buttonsDisabledDuringActionAndAfterError() {
  Harness h;
  h.Write("a.dat", 800);
  h.Write("b.dat", 900);
  h.dialogs.files = QStringList{h.Path("a.dat"), h.Path("b.dat")};
  bool enabledDuring = true;
  h.script.Then([&](QWidget* w) {
    enabledDuring = h.Main()->CreateButton->isEnabled() || h.Main()->CheckButton->isEnabled() ||
                    h.Main()->AboutButton->isEnabled();
    // A name too long for the file system: the first volume cannot be created.
    Child<QLineEdit>(w, "filenameEdit")->setText(QString(300, 'n'));
    Click(Child(w, "OK"));
  });
  bool progressUnderError = true;
  h.script.Then([&](QWidget* w) {
    progressUnderError = h.windows->ProgressForm1->isVisible();
    PressOk(w);
  });
  Click(h.Main()->CreateButton);

  QCOMPARE(
      h.script.seen,
      QStringList({"PropertiesForm", "Error: Datei " + QString(300, 'n') +
                                         ".PAR kann nicht erstellt werden (File name too long)."}));
  QVERIFY(!enabledDuring);
  QVERIFY(h.Main()->CreateButton->isEnabled());
  QVERIFY(h.Main()->CheckButton->isEnabled());
  QVERIFY(!h.Main()->Busy());
  // The error ended the action: no progress window under the box, "Ready".
  QVERIFY(!progressUnderError);
  QVERIFY(!h.windows->ProgressForm1->isVisible());
  QCOMPARE(h.Main()->StatusBarMain->currentMessage(), QString("Ready"));

  // Cancelling the Check dialog shows nothing and ends with "Ready".
  Click(h.Main()->CheckButton);
  QCOMPARE(h.script.seen.size(), 2);
  QCOMPARE(h.Main()->StatusBarMain->currentMessage(), QString("Ready"));
}

void MainFormTest::stoppedActions_data() {
  QTest::addColumn<QString>("action");  // "create", "check" or "restore" (from the report)
  // The step to stop in: the start of the progress text; "A>B" is B after A.
  QTest::addColumn<QString>("at");
  QTest::addColumn<QString>("how");  // "Cancel", "Escape", "close box" or "main window closed"
  QTest::addColumn<QStringList>("seen");
  QTest::addColumn<QString>("report");  // the report's line for c.bin afterwards; "" = no report
  // Every stopped action says so in the same words as Parity Properties'
  // Cancel; closing Tarvel needs no word.
  const QString stopped = "Message: Operation aborted!";
  QTest::newRow("create, analysing") << "create"
                                     << "Analyzing"
                                     << "Cancel" << QStringList{stopped} << "";
  QTest::newRow("create, writing parity")
      << "create"
      << "Writing parity"
      << "Escape" << QStringList{"PropertiesForm", stopped} << "";
  // While the volumes are finished, the stop waits for the one at hand.
  QTest::newRow("create, finishing the volumes")
      << "create"
      << "Creating checksum"
      << "Cancel" << QStringList{"PropertiesForm", stopped} << "";
  QTest::newRow("create, closing the main window")
      << "create"
      << "Writing parity"
      << "main window closed"
      << QStringList{"PropertiesForm", "Message: An action is running. Stop it and close Tarvel?"}
      << "";
  QTest::newRow("check") << "check"
                         << "Checking"
                         << "close box" << QStringList{stopped} << "";
  // After the stopped restore, a second one from the same report runs to
  // its end, or finds nothing left to do.
  const QStringList restored{"Reportform", "restoreform", stopped, "restoreform"};
  QTest::newRow("restore, rebuilding") << "restore"
                                       << "Restoring"
                                       << "Cancel" << restored << "c.bin Missing...";
  QTest::newRow("restore, checking again")
      << "restore"
      << "Restoring>Checking"
      << "Cancel"
      << QStringList{"Reportform", "restoreform", stopped, "Message: No files to restore..."}
      << "c.bin OK";
}

void MainFormTest::stoppedActions() {
  QFETCH(QString, action);
  QFETCH(QString, at);
  QFETCH(QString, how);
  QFETCH(QStringList, seen);
  QFETCH(QString, report);
  SlowEnv slow;
  Harness h({}, slow);
  h.windows->engine.SetThreads(1);
  for (const char* name : {"a.bin", "b.bin", "c.bin"}) h.Write(name, 200000, name[0]);
  if (action != "create") h.CreateSet({"a.bin", "b.bin", "c.bin"}, "s", 1);
  if (action == "restore") QFile::remove(h.Path("c.bin"));
  const QStringList before = h.Files();
  h.dialogs.files = QStringList{h.Path("a.bin"), h.Path("b.bin"), h.Path("c.bin")};
  h.dialogs.volume = h.Path("s.PAR");

  // Stops the action once the progress window shows the step, and notes
  // the window it stays above.
  ui::TProgressForm1* progress = h.windows->ProgressForm1;
  QStringList steps = at.split('>');
  QWidget* owner = nullptr;
  QString feedback;
  bool cancelEnabled = true;
  QTimer watch;
  QObject::connect(&watch, &QTimer::timeout, [&] {
    if (steps.isEmpty() || !progress->isVisible() ||
        !progress->whatlabel->text().startsWith(steps.front())) {
      return;
    }
    steps.removeFirst();
    if (!steps.isEmpty()) return;
    owner = progress->parentWidget();
    if (how == "Cancel") Click(progress->CancelButton);
    if (how == "Escape") QTest::keyClick(progress, Qt::Key_Escape);
    if (how == "close box") QVERIFY(!progress->close());
    if (how == "main window closed") QVERIFY(!h.Main()->close());
    // Said at once, before the engine hears the stop.
    feedback = progress->pacelabel->text();
    cancelEnabled = progress->CancelButton->isEnabled();
  });
  watch.start(0);

  QString reportText, secondReport;
  QStringList afterStop;
  h.script.Otherwise([&](QWidget* w) {
    const QString name = w->objectName();
    if (name == "PropertiesForm") {
      Click(Child(w, "OK"));
    } else if (name == "QuestionBox") {
      Click(qobject_cast<QMessageBox*>(w)->button(QMessageBox::Yes));
    } else if (name == "restoreform") {
      Click(Child(w, "yesbutton"));
    } else if (name == "Reportform") {
      if (action == "restore") Click(Child(w, "Restorebutton"));
      reportText = Child<QPlainTextEdit>(w, "ReportMemo")->toPlainText();
      afterStop = h.Files();
      if (action == "restore") {
        Click(Child(w, "Restorebutton"));
        secondReport = Child<QPlainTextEdit>(w, "ReportMemo")->toPlainText();
      }
      Click(Child(w, "OKButton"));
    } else {
      PressOk(w);
    }
  });
  // The last window closed must not end the test program.
  QApplication::setQuitOnLastWindowClosed(false);
  h.Main()->show();
  Click(action == "create" ? h.Main()->CreateButton : h.Main()->CheckButton);

  QVERIFY2(steps.isEmpty(), qPrintable(at));
  QCOMPARE(h.script.seen, seen);
  QCOMPARE(feedback, QString(at.startsWith("Creating checksum")
                                 ? "Stopping... the volume at hand is finished first."
                                 : "Stopping..."));
  QVERIFY(!cancelEnabled);
  QCOMPARE(owner, action == "restore" ? static_cast<QWidget*>(h.windows->Reportform)
                                      : static_cast<QWidget*>(h.Main()));
  // Nothing half done: no volume, no temporary file; a rebuilt file only
  // once it is whole.
  QStringList after = action == "restore" ? afterStop : h.Files();
  if (report == "c.bin OK") after.removeOne("c.bin");
  QCOMPARE(after, before);
  if (report.isEmpty()) {
    QVERIFY(reportText.isNull());
  } else {
    QVERIFY2(reportText.contains(report), qPrintable(reportText));
    QVERIFY2(secondReport.contains("All files OK."), qPrintable(secondReport));
  }
  QTRY_VERIFY(!progress->isVisible() || how == "main window closed");
  QCOMPARE(h.Main()->StatusBarMain->currentMessage(), QString("Ready"));
  QTRY_COMPARE(h.Main()->isVisible(), how != "main window closed");
  QVERIFY(!h.windows->engine.StopRequested());
  h.Main()->hide();
  QApplication::setQuitOnLastWindowClosed(true);
}

void MainFormTest::askedBeforeReplacingOrWritingAway_data() {
  QTest::addColumn<int>("earlierVolumes");  // of the set "c" before the create; 0: none
  QTest::addColumn<QString>("baseName");    // typed into Parity Properties; "" keeps "c"
  QTest::addColumn<bool>("yes");            // the answer to the question
  QTest::addColumn<QStringList>("seen");
  QTest::addColumn<QStringList>("volumes");  // afterwards
  const QString replace = "Message: c.PAR and 1 other volumes exist. Replace them?";
  const QString created = "Message: Files successfully created.\nVolumes: c.PAR, c.P01 in DIR";
  // No goes back to Parity Properties with the choices kept (two volumes,
  // chosen before the question), where Cancel ends the create.
  QTest::newRow("replacing refused")
      << 1 << "" << false
      << QStringList{"PropertiesForm", replace, "PropertiesForm", "Message: Operation aborted!"}
      << QStringList{"c.P01", "c.PAR"};
  QTest::newRow("replacing agreed")
      << 1 << "" << true << QStringList{"PropertiesForm", replace, created}
      << QStringList{"c.P01", "c.PAR"};
  // The question counts the earlier set's c.P02, which goes with it.
  QTest::newRow("an earlier set had more volumes")
      << 2 << "" << true
      << QStringList{"PropertiesForm", "Message: c.PAR and 2 other volumes exist. Replace them?",
                     created}
      << QStringList{"c.P01", "c.PAR"};
  const QString away =
      "Message: The volumes will be in DIR/sub, but a check looks for the files beside the "
      "volumes. Create them there?";
  QTest::newRow("away from the files, refused")
      << 0 << "sub/v" << false << QStringList{"PropertiesForm", away} << QStringList{};
  QTest::newRow("away from the files, agreed")
      << 0 << "sub/v" << true
      << QStringList{"PropertiesForm", away,
                     "Message: Files successfully created.\nVolumes: v.PAR, v.P01 in DIR/sub"}
      << QStringList{"sub/v.P01", "sub/v.PAR"};
}

void MainFormTest::askedBeforeReplacingOrWritingAway() {
  QFETCH(int, earlierVolumes);
  QFETCH(QString, baseName);
  QFETCH(bool, yes);
  QFETCH(QStringList, seen);
  QFETCH(QStringList, volumes);
  Harness h;
  h.Write("c.bin", 900);
  h.Write("d.bin", 1900);
  QDir(h.folder.path()).mkdir("sub");
  if (earlierVolumes > 0) h.CreateSet({"c.bin", "d.bin"}, "c", earlierVolumes);
  h.dialogs.files = QStringList{h.Path("c.bin"), h.Path("d.bin")};
  const bool replaceRefused = earlierVolumes > 0 && !yes;
  h.script.Then([&](QWidget* w) {
    if (!baseName.isEmpty()) Child<QLineEdit>(w, "filenameEdit")->setText(baseName);
    if (replaceRefused) Child<QSpinBox>(w, "pnumEdit")->setValue(2);
    Click(Child(w, "OK"));
  });
  QString kept;  // what Parity Properties shows when it comes again
  h.script.Otherwise([&](QWidget* w) {
    auto* box = qobject_cast<QMessageBox*>(w);
    if (!box) {
      kept = QString("%1 %2")
                 .arg(Child<QSpinBox>(w, "pnumEdit")->value())
                 .arg(Child<QLineEdit>(w, "filenameEdit")->text());
      Click(Child(w, "Cancel"));
      return;
    }
    Click(box->button(box->button(QMessageBox::Yes) ? (yes ? QMessageBox::Yes : QMessageBox::No)
                                                    : QMessageBox::Ok));
  });
  Click(h.Main()->CreateButton);

  seen.replaceInStrings("DIR", h.folder.path());
  QCOMPARE(h.script.seen, seen);
  QCOMPARE(kept, replaceRefused ? QString("2 c") : QString());
  QStringList found = Volumes(h);
  for (const QString& v : QDir(h.Path("sub")).entryList(QDir::Files)) found << "sub/" + v;
  found.sort();
  QCOMPARE(found, volumes);
  QCOMPARE(h.Main()->StatusBarMain->currentMessage(), QString("Ready"));
}

void MainFormTest::droppedFiles_data() {
  QTest::addColumn<QStringList>("dropped");
  QTest::addColumn<QStringList>("seen");
  QTest::newRow("two files are protected")
      << QStringList{"c.bin", "d.bin"}
      << QStringList{"PropertiesForm", "Message: Operation aborted!"};
  QTest::newRow("one volume is checked") << QStringList{"c.PAR"} << QStringList{"Reportform"};
  QTest::newRow("a volume is known by its first four bytes")
      << QStringList{"odd.PAR"} << QStringList{"Reportform"};
  QTest::newRow("one other file is refused")
      << QStringList{"c.bin"} << QStringList{"Message: Only 2 - 250 files are supported."};
}

void MainFormTest::droppedFiles() {
  QFETCH(QStringList, dropped);
  QFETCH(QStringList, seen);
  Harness h;
  h.Write("c.bin", 900);
  h.Write("d.bin", 1900);
  h.CreateSet({"c.bin", "d.bin"}, "c", 1);
  // A copy of the main volume whose bytes 4 to 7, which nothing reads, differ.
  QByteArray odd = h.Read("c.PAR");
  odd.replace(4, 4, "XXXX");
  QFile oddFile(h.Path("odd.PAR"));
  QVERIFY(oddFile.open(QIODevice::WriteOnly) && oddFile.write(odd) == odd.size());
  oddFile.close();
  h.script.Otherwise([](QWidget* w) {
    if (w->objectName() == "PropertiesForm")
      Click(Child(w, "Cancel"));
    else if (w->objectName() == "Reportform")
      Click(Child(w, "OKButton"));
    else
      PressOk(w);
  });
  h.Main()->show();
  QMimeData data;
  QList<QUrl> urls;
  for (const QString& f : dropped) urls.push_back(QUrl::fromLocalFile(h.Path(f)));
  data.setUrls(urls);
  QDragEnterEvent enter(QPoint(10, 10), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(h.Main(), &enter);
  QVERIFY(enter.isAccepted());
  QDropEvent drop(QPointF(10, 10), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
  QSignalSpy ended(h.Main(), &ui::TMainForm::ActionEnded);
  QApplication::sendEvent(h.Main(), &drop);
  QVERIFY(ended.wait(5000));
  QCOMPARE(h.script.seen, seen);
  h.Main()->hide();
}

void MainFormTest::longActionTold_data() {
  QTest::addColumn<QString>("action");  // "check", "create" or "restore" (from the report)
  QTest::addColumn<int>("seconds");     // how long it takes
  QTest::addColumn<bool>("active");     // a Tarvel window is active when it ends
  QTest::addColumn<QStringList>("told");
  const QStringList checked{"Tarvel: x: All files OK."};
  QTest::newRow("check, 11 s, elsewhere") << "check" << 11 << false << checked;
  QTest::newRow("check, 11 s, in Tarvel") << "check" << 11 << true << QStringList{};
  QTest::newRow("check, 9 s, elsewhere") << "check" << 9 << false << QStringList{};
  QTest::newRow("create, 11 s, elsewhere")
      << "create" << 11 << false << QStringList{"Tarvel: x: Files successfully created."};
  QTest::newRow("restore, 11 s, elsewhere") << "restore" << 11 << false << checked;
}

// An action that ends while the person is in another program marks Tarvel
// urgent and shows its outcome only once they are back; a long one is told
// to the desktop.
void MainFormTest::longActionTold() {
  QFETCH(QString, action);
  QFETCH(int, seconds);
  QFETCH(bool, active);
  QFETCH(QStringList, told);
  JumpingClock clock(Env::Default());
  Harness h({}, clock);
  NotedDesktop desktop;
  desktop.active = active;
  h.windows->ui.SetDesktop(&desktop, &clock);
  h.Write("x.bin", 90000, 1);
  h.Write("y.bin", 70000, 2);
  if (action != "create") h.CreateSet({"x.bin", "y.bin"}, "x", 1);
  if (action == "restore") QFile::remove(h.Path("y.bin"));
  h.dialogs.files = QStringList{h.Path("x.bin"), h.Path("y.bin")};
  h.dialogs.volume = h.Path("x.PAR");
  const auto jump = [&] { clock.jumpedMs += seconds * 1000; };
  if (action != "restore") clock.BeforeRead(1, "y.bin", jump);

  h.script.Otherwise([&](QWidget* w) {
    const QString name = w->objectName();
    if (name == "PropertiesForm") {
      Click(Child(w, "OK"));
    } else if (name == "restoreform") {
      Click(Child(w, "yesbutton"));
    } else if (name == "Reportform") {
      if (action == "restore") {
        clock.BeforeRead(1, "x.P01", jump);
        Click(Child(w, "Restorebutton"));
      }
      Click(Child(w, "OKButton"));
    } else {
      PressOk(w);
    }
  });
  Click(action == "create" ? h.Main()->CreateButton : h.Main()->CheckButton);

  QCOMPARE(desktop.told, told);
  QCOMPARE(desktop.urgent, told.size());
  QCOMPARE(desktop.waited, told.size());
}

void MainFormTest::aboutBox() {
  Harness h;
  QStringList texts;
  h.script.Then([&](QWidget* w) {
    for (QLabel* l : w->findChildren<QLabel*>()) texts << l->text();
    Click(Child(w, "OKButton"));
  });
  Click(h.Main()->AboutButton);
  QCOMPARE(h.script.seen, QStringList{"AboutBox"});
  for (const char* t : {"Tarvel 0.2.5", "(alpha version)",
                        "Initial idea:", "Programming:", "File format specification:"}) {
    QVERIFY2(texts.contains(t), t);
  }
  QCOMPARE(h.Main()->MainLabel1->text(), QString("Version 0.2.5 alpha"));
  QCOMPARE(h.Main()->MainLabel2->text(), QString("Format version 1.0"));
}

}  // namespace tarvel::uitest
