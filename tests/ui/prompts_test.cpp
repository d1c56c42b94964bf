// SPDX-License-Identifier: GPL-3.0-or-later
// The prompts' answers and standing answers (File search, Restore, Include
// this?), the keys of every dialog, long names in the prompts, the progress
// window that cannot be closed, and the file dialogs.
#include <QAccessible>
#include <QElapsedTimer>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRegularExpression>
#include <QSettings>
#include <QSignalSpy>
#include <QSpinBox>
#include <QStatusBar>

#include "engine/format/model.h"
#include "engine/format/volume_names.h"
#include "harness.h"
#include "suites.h"

namespace tarvel::uitest {

// How a prompt is answered: a button (or "close" for the close box),
// with or without "don't ask again for this set" ticked.
struct Reply {
  QString button;
  bool tick = false;
};

}  // namespace tarvel::uitest

namespace tarvel::uitest {
namespace {

void Answer(QWidget* w, const Reply& r) {
  if (r.tick) Click(Child<QCheckBox>(w, "dontaskbox"));
  if (r.button == "close") {
    CloseBox(w);
  } else if (r.button == "Enter") {
    // Where the keys are, as a person presses it: the default button.
    QTest::keyClick(w->focusWidget() ? w->focusWidget() : w, Qt::Key_Return);
  } else {
    Click(Child(w, r.button.toLatin1().constData()));
  }
}

}  // namespace

// The dialogs' kept sizes are this suite's own (see ReportFormTest).
void PromptsTest::initTestCase() {
  static QTemporaryDir settings;
  QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, settings.path());
}

void PromptsTest::fileSearchStandingAnswers_data() {
  QTest::addColumn<QString>("button");
  QTest::addColumn<bool>("tick");
  QTest::addColumn<int>("prompts");        // File search prompts over two checks
  QTest::addColumn<QStringList>("after");  // the data files afterwards
  const QStringList both{"a.bin", "b.bin", "c.bin", "x1.bin", "x2.bin"};
  QTest::newRow("copy, ticked") << "Copybutton" << true << 1 << both;
  QTest::newRow("copy") << "Copybutton" << false << 2 << both;
  QTest::newRow("rename, ticked") << "RenameButton" << true << 1
                                  << QStringList{"a.bin", "b.bin", "c.bin"};
  // Cancel leaves the files alone; a later check asks again.
  QTest::newRow("cancel, ticked") << "Cancelbutton" << true << 2
                                  << QStringList{"c.bin", "x1.bin", "x2.bin"};
  QTest::newRow("close box") << "close" << false << 4 << QStringList{"c.bin", "x1.bin", "x2.bin"};
}

void PromptsTest::fileSearchStandingAnswers() {
  QFETCH(QString, button);
  QFETCH(bool, tick);
  QFETCH(int, prompts);
  QFETCH(QStringList, after);
  Harness h;
  for (const char* name : {"a.bin", "b.bin", "c.bin"}) h.Write(name, 3000, name[0]);
  h.CreateSet({"a.bin", "b.bin", "c.bin"}, "set", 1);
  QFile::rename(h.Path("a.bin"), h.Path("x1.bin"));
  QFile::rename(h.Path("b.bin"), h.Path("x2.bin"));
  h.dialogs.volume = h.Path("set.PAR");

  QString missingShown;
  h.script.Otherwise([&](QWidget* w) {
    if (w->objectName() == "Renameform") {
      if (missingShown.isEmpty()) missingShown = Child<QLabel>(w, "Label1")->text();
      QVERIFY(!Child<QCheckBox>(w, "dontaskbox")->isChecked() || !tick);
      Answer(w, {button, tick});
    } else {
      Click(Child(w, "OKButton"));
    }
  });
  Click(h.Main()->CheckButton);
  Click(h.Main()->CheckButton);

  QCOMPARE(h.script.seen.count("Renameform"), prompts);
  QCOMPARE(h.script.seen.count("Reportform"), 2);
  QCOMPARE(missingShown, QString("a.bin"));
  QStringList files = h.Files().filter(".bin");
  QCOMPARE(files, after);
}

void PromptsTest::restoreStandingAnswers_data() {
  QTest::addColumn<QList<Reply>>("replies");
  QTest::addColumn<QString>(
      "b");  // what became of b.bin: "lost", "edited" after the set, "damaged"
  QTest::addColumn<QStringList>("rebuilt");
  QTest::newRow("yes, ticked") << QList<Reply>{{"yesbutton", true}} << "lost"
                               << QStringList{"a.bin", "b.bin"};
  QTest::newRow("no, ticked") << QList<Reply>{{"nobutton", true}} << "lost" << QStringList{};
  QTest::newRow("yes, then no") << QList<Reply>{{"yesbutton"}, {"nobutton"}} << "lost"
                                << QStringList{"a.bin"};
  QTest::newRow("closed at the first file")
      << QList<Reply>{{"close"}, {"yesbutton"}} << "lost" << QStringList{"b.bin"};
  // No clicked (the keys were on it) leaves Enter on Yes at the next file.
  QTest::newRow("no clicked, then Enter")
      << QList<Reply>{{"nobutton"}, {"Enter"}} << "lost" << QStringList{"b.bin"};
  QTest::newRow("Enter, Enter") << QList<Reply>{{"Enter"}, {"Enter"}} << "lost"
                                << QStringList{"a.bin", "b.bin"};
  // A file changed after the set was made is asked about though Yes was
  // ticked, says so, and Enter keeps the newer work.
  QTest::newRow("an edit after yes, ticked: Enter keeps it")
      << QList<Reply>{{"yesbutton", true}, {"Enter"}} << "edited" << QStringList{"a.bin"};
  QTest::newRow("an edit after yes, ticked: Yes reverts it")
      << QList<Reply>{{"yesbutton", true}, {"yesbutton"}} << "edited"
      << QStringList{"a.bin", "b.bin"};
  QTest::newRow("an edit after no, ticked: not asked")
      << QList<Reply>{{"nobutton", true}} << "edited" << QStringList{};
  // A damaged copy is replaced on a mere Enter.
  QTest::newRow("damaged, Enter") << QList<Reply>{{"yesbutton"}, {"Enter"}} << "damaged"
                                  << QStringList{"a.bin", "b.bin"};
}

void PromptsTest::restoreStandingAnswers() {
  QFETCH(QList<Reply>, replies);
  QFETCH(QString, b);
  const bool edited = b == "edited";
  QFETCH(QStringList, rebuilt);
  Harness h;
  for (const char* name : {"a.bin", "b.bin", "c.bin"}) h.Write(name, 70000, name[0]);
  const QByteArray original = h.Read("b.bin");
  h.CreateSet({"a.bin", "b.bin", "c.bin"}, "set", 2);
  QFile::remove(h.Path("a.bin"));
  if (edited) h.Edit("b.bin", 70000, 7);
  if (b == "damaged") h.Corrupt("b.bin", 70000, 7);
  if (b == "lost") QFile::remove(h.Path("b.bin"));
  const QByteArray newer = h.Read("b.bin");
  h.dialogs.volume = h.Path("set.PAR");

  QStringList asked, secondLine;
  h.script.Otherwise([&](QWidget* w) {
    if (w->objectName() == "restoreform") {
      asked << Child<QLabel>(w, "Label1")->text();
      secondLine << Child<QLabel>(w, "reasonlabel")->text();
      const bool changed = secondLine.back().startsWith("It changed");
      QCOMPARE(Child<QPushButton>(w, "nobutton")->isDefault(), changed);
      QCOMPARE(w->focusWidget(), Child<QPushButton>(w, changed ? "nobutton" : "yesbutton"));
      QVERIFY(!replies.isEmpty());
      Answer(w, replies.takeFirst());
    } else {
      Click(Child(w, "Restorebutton"));
      Click(Child(w, "OKButton"));
    }
  });
  Click(h.Main()->CheckButton);

  QVERIFY(replies.isEmpty());
  QCOMPARE(asked.first(), QString("Restore a.bin ?"));
  QCOMPARE(secondLine.first(),
           QString("It is missing: restoring rebuilds it from the parity volumes."));
  if (asked.size() > 1) {
    QCOMPARE(secondLine.last(),
             QString(edited ? "It changed after the set was made: restoring puts back the older "
                              "content."
                     : b == "damaged" ? "It is damaged: restoring replaces the damaged copy."
                                      : "It is missing: restoring rebuilds it from the parity "
                                        "volumes."));
  }
  const QStringList there = h.Files().filter(QRegularExpression("^[ab]\\.bin$"));
  QStringList restored;
  for (const QString& name : there) {
    if (name != "b.bin" || h.Read("b.bin") == original) restored << name;
  }
  QCOMPARE(restored, rebuilt);
  if (edited && !rebuilt.contains("b.bin")) QCOMPARE(h.Read("b.bin"), newer);
}

void PromptsTest::includePrompt_data() {
  QTest::addColumn<QString>("button");
  QTest::addColumn<bool>("answer");
  QTest::newRow("include in parity") << "inc" << true;
  QTest::newRow("only include in CRC") << "dinc" << false;
  QTest::newRow("close box") << "close" << false;
}

void PromptsTest::includePrompt() {
  QFETCH(QString, button);
  QFETCH(bool, answer);
  Harness h;
  QString text;
  h.script.Then([&](QWidget* w) {
    text = Child<QLabel>(w, "Label1")->text();
    Answer(w, {button});
  });
  QCOMPARE(h.windows->ui.AskInclude("readme.txt", 1200), answer);
  QCOMPARE(text, QString("The file readme.txt (size: 1200 bytes) seems to be a small "
                         "description or checksum file."));
}

void PromptsTest::keyboard_data() {
  QTest::addColumn<QString>("window");
  QTest::addColumn<int>("key");          // pressed where the focus is
  QTest::addColumn<QString>("pressed");  // the button that it presses, if any
  QTest::addColumn<QString>("defaultButton");
  QTest::addColumn<QStringList>("buttons");  // with their mnemonics
  const auto row = [](const char* name, const char* window, int key, const char* pressed,
                      const char* defaultButton, const QStringList& buttons) {
    QTest::newRow(name) << window << key << pressed << defaultButton << buttons;
  };
  const QStringList restore{"&Yes", "&No"}, include{"&Only include in CRC", "&Include in parity"};
  const int enter = Qt::Key_Return, escape = Qt::Key_Escape;
  row("Restore, Enter", "restoreform", enter, "yesbutton", "yesbutton", restore);
  row("Restore, Escape", "restoreform", escape, "nobutton", "yesbutton", restore);
  row("File search, Escape", "Renameform", escape, "Cancelbutton", "",
      {"&Rename", "&Copy", "C&ancel"});
  row("Include, Escape", "Includeform", escape, "dinc", "dinc", include);
  row("About, Escape", "AboutBox", escape, "", "OKButton", {"&OK"});
  row("File report, Enter", "Reportform", enter, "OKButton", "OKButton", {"&OK", "&Restore Files"});
  row("Folder window, Escape", "FolderForm", escape, "", "",
      {"Repair &All", "Show &Report", "&Cancel", "C&lose"});
}

void PromptsTest::keyboard() {
  QFETCH(QString, window);
  QFETCH(int, key);
  QFETCH(QString, pressed);
  QFETCH(QString, defaultButton);
  QFETCH(QStringList, buttons);
  Harness h;
  auto* dialog = h.Main()->findChild<QDialog*>(window);
  QStringList texts, clicked;
  QSet<QKeySequence> mnemonics;  // one each, none shared
  for (QPushButton* b : dialog->findChildren<QPushButton*>()) {
    texts << b->text();
    mnemonics << QKeySequence::mnemonic(b->text());
    QCOMPARE(b->isDefault(), b->objectName() == defaultButton);
    QObject::connect(b, &QPushButton::clicked, [&clicked, b] { clicked << b->objectName(); });
  }
  QCOMPARE(texts, buttons);
  QCOMPARE(mnemonics.size(), buttons.size());
  QVERIFY(!mnemonics.contains(QKeySequence()));
  h.script.Then(
      [&](QWidget* w) { QTest::keyClick(w->focusWidget() ? w->focusWidget() : w, Qt::Key(key)); });
  dialog->exec();
  QCOMPARE(clicked, pressed.isEmpty() ? QStringList() : QStringList{pressed});
  QVERIFY(!h.script.unexpected);  // the key closed the window
}

void PromptsTest::accessibleNames_data() {
  QTest::addColumn<QString>("window");
  for (const char* window : {"MainForm", "AboutBox", "PropertiesForm", "Renameform", "Reportform",
                             "Includeform", "ProgressForm1", "restoreform", "FolderForm"}) {
    QTest::newRow(window) << window;
  }
}

// Every control of every window says to a screen reader what it is; a
// field a person fills in is named by a label with a mnemonic.
void PromptsTest::accessibleNames() {
  QFETCH(QString, window);
  Harness h;
  QWidget* w = window == "MainForm" ? h.Main() : h.Main()->findChild<QWidget*>(window);
  QVERIFY(w);
  QList<QWidget*> controls;
  for (QWidget* c : w->findChildren<QWidget*>()) {
    if (c->objectName().isEmpty() || c->objectName().startsWith("qt_")) continue;  // Qt's own parts
    if (qobject_cast<QAbstractButton*>(c) || qobject_cast<QAbstractSpinBox*>(c) ||
        qobject_cast<QLineEdit*>(c) || qobject_cast<QPlainTextEdit*>(c) ||
        qobject_cast<QProgressBar*>(c) || qobject_cast<QStatusBar*>(c)) {
      controls << c;
    }
  }
  QVERIFY(!controls.isEmpty());
  for (QWidget* c : controls) {
    QAccessibleInterface* a = QAccessible::queryAccessibleInterface(c);
    QVERIFY(a);
    const QString name = a->text(QAccessible::Name);
    QVERIFY2(!name.isEmpty() && !name.contains('&'), qPrintable(c->objectName()));
    if (qobject_cast<QAbstractSpinBox*>(c) || qobject_cast<QLineEdit*>(c)) {
      QLabel* caption = nullptr;
      for (QLabel* l : w->findChildren<QLabel*>()) {
        if (l->buddy() == c) caption = l;
      }
      QVERIFY2(caption, qPrintable(c->objectName()));
      QVERIFY(!QKeySequence::mnemonic(caption->text()).isEmpty());
    }
  }
}

void PromptsTest::longNames_data() {
  QTest::addColumn<QString>("window");
  QTest::addColumn<QString>("name");
  QTest::addColumn<bool>("elided");
  QString huge = "holiday_photos";
  while (huge.size() < 400) huge += "_and_more";
  QTest::newRow("short") << QString("restoreform") << QString("a.bin") << false;
  for (const char* window : {"restoreform", "Includeform", "Renameform"}) {
    QTest::addRow("%s, wider", window)
        << window << "holiday_photos_from_the_seaside_trip_of_2019_final.jpg" << false;
    QTest::addRow("%s, beyond the screen", window) << window << huge + "_final.jpg" << true;
  }
}

void PromptsTest::longNames() {
  QFETCH(QString, window);
  QFETCH(QString, name);
  QFETCH(bool, elided);
  Harness h;
  auto* dialog = h.Main()->findChild<QDialog*>(window);
  const QSize given = dialog->size();
  QString before, after;  // the system's text around the name
  if (window == "restoreform") {
    h.windows->restoreform->SetFileName(name);
    before = "Restore ", after = " ?";
  } else if (window == "Includeform") {
    h.windows->Includeform->SetIncludeFile(name, 1200);
    before = "The file ";
    after = " (size: 1200 bytes) seems to be a small description or checksum file.";
  } else {
    h.windows->Renameform->SetRenameFiles("IMG_0412.jpg", name);
  }
  auto* label = Child<QLabel>(dialog, "Label1");
  const QString text = label->text();
  QCOMPARE(label->toolTip(), name);
  QVERIFY(text.startsWith(before + name.left(14)) && text.endsWith(name.right(10) + after));
  QCOMPARE(text.contains(QChar(0x2026)), elided);
  if (!elided) QCOMPARE(text, before + name + after);
  QCOMPARE(dialog->size().expandedTo(given) == given, name == "a.bin");
  QVERIFY(dialog->width() <= QGuiApplication::primaryScreen()->availableGeometry().width());
  // Nothing of the text runs past the label, nor the label past the window.
  const QRect needed =
      label->fontMetrics().boundingRect(QRect(0, 0, label->width(), 10000), Qt::TextWordWrap, text);
  QVERIFY(needed.width() <= label->width() && needed.height() <= label->height());
  QVERIFY(dialog->rect().contains(label->geometry()));
}

void PromptsTest::progressWindowAsksToStop() {
  Harness h;
  ui::TProgressForm1* progress = h.windows->ProgressForm1;
  QVERIFY(!(progress->windowFlags() & Qt::WindowMinMaxButtonsHint));
  ProgressRecord record;
  record.step = ProgressStep::kCheckingFiles;
  record.name = "a.bin";
  record.percent = 42;
  h.windows->ui.Progress(record);
  QCOMPARE(progress->whatlabel->text(), QString("Checking a.bin"));
  QVERIFY(progress->isVisible());
  QCOMPARE(progress->percentlabel->text(), QString("42%"));
  // Bytes, where the step has them, move the bar within a file.
  record.stepTotal = 4000;
  record.stepDone = 1000;
  h.windows->ui.Progress(record);
  QCOMPARE(progress->ProgressBar1->value(), 25);
  QCOMPARE(progress->percentlabel->text(), QString("25%"));
  record.stepTotal = 0;
  record.percent = -1;
  h.windows->ui.Progress(record);
  QCOMPARE(progress->percentlabel->text(), QString());

  // Cancel, Escape and the close box ask once for a stop.  With no action
  // running (an error left the window up) the window goes.
  QSignalSpy asked(progress, &ui::TProgressForm1::CancelRequested);
  QCOMPARE(progress->CancelButton->text(), QString("&Cancel"));
  QVERIFY(!progress->close());
  QTest::keyClick(progress, Qt::Key_Escape);
  Click(progress->CancelButton);
  QCOMPARE(asked.count(), 1);
  QCOMPARE(progress->pacelabel->text(), QString("Stopping..."));
  QVERIFY(!progress->isVisible());
  // The next showing can be stopped again.
  h.windows->ui.Progress(record);
  QVERIFY(progress->pacelabel->text().isEmpty());
  Click(progress->CancelButton);
  QCOMPARE(asked.count(), 2);
}

void PromptsTest::fileDialogs() {
  QFileDialog check;
  ui::SetUpCheckopen(check);
  QCOMPARE(check.objectName(), QString("Checkopen"));
  QCOMPARE(check.windowTitle(), QString("Choose a volume of the set"));
  QCOMPARE(check.fileMode(), QFileDialog::ExistingFile);
  QVERIFY(check.testOption(QFileDialog::DontUseNativeDialog));
  const QStringList filters = check.nameFilters();
  QCOMPARE(filters.size(), 4);
  QVERIFY(filters[0].startsWith("Volumes ("));
  QVERIFY(filters[1].startsWith("PAR files"));
  QVERIFY(filters[2].startsWith("Pxx files"));
  QCOMPARE(filters[3], QString("All files (*)"));
  QCOMPARE(check.selectedNameFilter(), filters[0]);
  for (const char* pattern : {"*.PAR", "*.par"}) QVERIFY(filters[1].contains(pattern));
  for (const char* pattern : {"*.P??", "*.p??"}) QVERIFY(filters[2].contains(pattern));
  // The first filter shows every volume name in either case (matched here
  // case by case), and no other name.
  const auto shown = [&](const QString& name) {
    for (const QString& p : filters[0].section('(', 1).chopped(1).split(' ')) {
      if (QRegularExpression(QRegularExpression::wildcardToRegularExpression(p))
              .match(name)
              .hasMatch())
        return true;
    }
    return false;
  };
  for (int n = 0; n < kVolumeNumbers; ++n) {
    const QString name = QString::fromStdString(VolumeFileName("photos", n));
    QVERIFY2(shown(name), qPrintable(name));
    QVERIFY2(shown(name.left(7) + name.mid(7).toLower()), qPrintable(name));
  }
  for (const char* other : {"photos.jpg", "photos.P1", "photos.PARX", "photos.P", "PAR"})
    QVERIFY2(!shown(other), other);
  QFileDialog create;
  ui::SetUpCreateopen(create);
  QCOMPARE(create.windowTitle(), QString("Choose the files to protect"));
  QCOMPARE(create.fileMode(), QFileDialog::ExistingFiles);

  // The real dialog, answered by the test, opens where the last one ended,
  // at least 800 x 500 and as large as it was left.
  QSettings().remove("dialogs/size");
  Harness h;
  h.Write("one.PAR", 10);
  ui::QtFileDialogs dialogs;
  QSize firstSize;
  h.script.Then([&](QWidget* w) {
    auto* dialog = qobject_cast<QFileDialog*>(w);
    QVERIFY(dialog);
    firstSize = dialog->size();
    dialog->resize(780, 560);
    // Typed into the name field, then Enter, as a user would.
    auto* name = Child<QLineEdit>(dialog, "fileNameEdit");
    name->setText(h.Path("one.PAR"));
    QTest::keyClick(name, Qt::Key_Return);
  });
  QCOMPARE(dialogs.ChooseVolume(nullptr), h.Path("one.PAR"));
  QString openedIn;
  QSize secondSize;
  h.script.Then([&](QWidget* w) {
    openedIn = qobject_cast<QFileDialog*>(w)->directory().absolutePath();
    secondSize = w->size();
    qobject_cast<QFileDialog*>(w)->reject();
  });
  QVERIFY(dialogs.ChooseFilesToProtect(nullptr).isEmpty());
  QCOMPARE(openedIn, QDir(h.folder.path()).absolutePath());
  // 800 wide as far as the screen (800 wide here) leaves room for a frame.
  QVERIFY(firstSize.width() > 700 && firstSize.width() < 800 && firstSize.height() == 500);
  QCOMPARE(secondSize, QSize(firstSize.width(), 560));  // the height kept, the width not less
}

}  // namespace tarvel::uitest
