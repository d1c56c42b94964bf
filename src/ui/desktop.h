// SPDX-License-Identifier: GPL-3.0-or-later
// What Tarvel asks of the desktop when an action ends while the person
// works in another program: whether a Tarvel window is active, a desktop
// notification, the window marked urgent, and a wait for the person.  Behind an interface, so
// that tests answer it without a desktop or a message bus.
#pragma once

#include <QString>

class QWidget;

namespace tarvel::ui {

class Desktop {
 public:
  virtual ~Desktop() = default;
  // True while one of the program's windows has the keyboard focus.
  virtual bool TarvelActive() const = 0;
  // A notification with a summary line and a body; nothing when the
  // desktop has no notification service.
  virtual void Notify(const QString& summary, const QString& body) = 0;
  // The window is marked as asking for attention (urgent) until the person
  // comes to it; it does not take the focus.
  virtual void MarkUrgent(QWidget* window) = 0;
  // Returns once a Tarvel window is active (at once when one is): the
  // person comes back to Tarvel by choice, and only then is shown what
  // waits for them.
  virtual void WaitUntilActive() = 0;
};

// The real desktop: Qt's active window, freedesktop notifications over the
// session D-Bus (sent without waiting for an answer), and the window
// manager's urgency hint.
class FreedesktopDesktop : public Desktop {
 public:
  bool TarvelActive() const override;
  void Notify(const QString& summary, const QString& body) override;
  void MarkUrgent(QWidget* window) override;
  void WaitUntilActive() override;
};

// A desktop where the person is always in Tarvel: for programs that drive
// the windows themselves (the snapshots, the benchmark), which must never
// wait for a person.
class PresentDesktop : public Desktop {
 public:
  bool TarvelActive() const override { return true; }
  void Notify(const QString&, const QString&) override {}
  void MarkUrgent(QWidget*) override {}
  void WaitUntilActive() override {}
};

}  // namespace tarvel::ui
