// SPDX-License-Identifier: GPL-3.0-or-later
// What the window tests share: the eight windows around a real engine in a
// temporary set folder, file dialogs that answer from the test, and a
// script that answers every modal window (prompts, dialogs, message boxes)
// by clicking its real buttons while a click of the test runs.
#pragma once

#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPushButton>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <deque>
#include <functional>
#include <memory>

#include "ui/windows.h"

namespace tarvel::uitest {

class ScriptedDialogs : public ui::FileDialogs {
 public:
  QStringList files;  // Createopen's answer; empty = cancelled
  QString volume;     // Checkopen's answer; empty = cancelled
  QStringList ChooseFilesToProtect(QWidget*) override { return files; }
  QString ChooseVolume(QWidget*) override { return volume; }
  QString folder;  // Folderopen's answer; empty = cancelled
  QString ChooseFolder(QWidget*, const QString&) override { return folder; }
};

// Answers modal windows as they come up.  Each is described in `seen`
// ("Message: text", "Error: text" or the window's objectName) and answered
// by the next queued answer, else by the handler; with neither it is
// closed and the test fails on `unexpected`.
class ModalScript : public QObject {
 public:
  using Answer = std::function<void(QWidget*)>;

  ModalScript() {
    connect(&timer_, &QTimer::timeout, this, &ModalScript::Poll);
    timer_.start(2);
  }
  void Then(Answer answer) { answers_.push_back(std::move(answer)); }
  void Otherwise(Answer handler) { handler_ = std::move(handler); }
  bool AllUsed() const { return answers_.empty(); }

  QStringList seen;
  bool unexpected = false;

 private:
  static QString Describe(QWidget* w) {
    if (auto* box = qobject_cast<QMessageBox*>(w)) {
      return (box->icon() == QMessageBox::Critical ? "Error: " : "Message: ") + box->text();
    }
    return w->objectName();
  }

  void Poll() {
    QWidget* w = QApplication::activeModalWidget();
    // A window whose answer is still running (it opened the window now on
    // top, or is waiting for its work to end) is not answered again.
    if (!w || !w->isVisible() || w == pending_ || answering_.contains(w)) return;
    pending_ = w;
    QPointer<QWidget> guard(w);
    // Answered from its own timer, so that modal windows opened by the
    // answer are answered too.
    QTimer::singleShot(0, this, [this, guard] {
      pending_ = nullptr;
      if (!guard) return;
      seen.push_back(Describe(guard));
      if (qEnvironmentVariableIsSet("TARVEL_TEST_TRACE"))
        qDebug("modal: %s", qPrintable(seen.back()));
      QWidget* w = guard;
      answering_.push_back(w);
      if (!answers_.empty()) {
        Answer answer = std::move(answers_.front());
        answers_.pop_front();
        answer(w);
      } else if (handler_) {
        handler_(w);
      } else {
        unexpected = true;
        w->close();
      }
      answering_.removeOne(w);
    });
  }

  QTimer timer_;
  std::deque<Answer> answers_;
  Answer handler_;
  QWidget* pending_ = nullptr;
  QList<QWidget*> answering_;
};

inline void Click(QWidget* button) { QTest::mouseClick(button, Qt::LeftButton); }

template <typename T = QAbstractButton>
T* Child(QWidget* window, const char* name) {
  T* child = window->findChild<T*>(QString::fromLatin1(name));
  if (!child) qFatal("no control %s in %s", name, qPrintable(window->objectName()));
  return child;
}

// Answers: click the named button; tick "don't ask again" first; OK of a
// message box; the window's close box.
inline ModalScript::Answer Press(const char* name, bool tick = false) {
  return [name, tick](QWidget* w) {
    if (tick) Click(Child<QCheckBox>(w, "dontaskbox"));
    Click(Child(w, name));
  };
}
inline void PressOk(QWidget* w) {
  auto* box = qobject_cast<QMessageBox*>(w);
  if (!box) qFatal("not a message box: %s", qPrintable(w->objectName()));
  Click(box->button(QMessageBox::Ok));
}
inline void CloseBox(QWidget* w) { w->close(); }

// The windows, their engine and a temporary set folder.
class Harness {
 public:
  // The person is in Tarvel throughout, unless a test says otherwise
  // (windows->ui.SetDesktop).
  explicit Harness(const QStringList& arguments = {}, Env& env = Env::Default())
      : windows(std::make_unique<ui::TarvelWindows>(env, dialogs, arguments)) {
    windows->ui.SetDesktop(&present, &env);
  }

  QString Path(const QString& name) const { return folder.filePath(name); }
  // A file of `size` pseudo-random bytes.
  void Write(const QString& name, int size, int seed = 1) const;
  // The file `name` given other content as a failing disk gives it: its
  // modification time stays (an edit would be one a repair leaves alone).
  void Corrupt(const QString& name, int size, int seed) const;
  // The file `name` given other content as a person's edit gives it: its
  // modification time is later than the set's.
  void Edit(const QString& name, int size, int seed) const;
  QByteArray Read(const QString& name) const;
  QStringList Files() const;
  // Creates a set of the named files with `parityCount` volumes through the
  // engine alone (no prompts: the names must not be small-file names).
  void CreateSet(const QStringList& names, const QString& base, int parityCount);

  ui::TMainForm* Main() { return windows->MainForm.get(); }

  QTemporaryDir folder;
  ui::PresentDesktop present;
  ScriptedDialogs dialogs;
  ModalScript script;
  std::unique_ptr<ui::TarvelWindows> windows;
};

}  // namespace tarvel::uitest
