// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/desktop.h"

#include <QApplication>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QEventLoop>
#include <QStringList>
#include <QVariantMap>

namespace tarvel::ui {

// The application's state, not its active window: a window that closes
// (a dialog, the progress window between steps) leaves Tarvel without an
// active window for a moment, but the person has not left it.
bool FreedesktopDesktop::TarvelActive() const {
  return QGuiApplication::applicationState() == Qt::ApplicationActive;
}

void FreedesktopDesktop::Notify(const QString& summary, const QString& body) {
  QDBusConnection bus = QDBusConnection::sessionBus();
  if (!bus.isConnected()) return;
  QDBusMessage call = QDBusMessage::createMethodCall(
      QStringLiteral("org.freedesktop.Notifications"),
      QStringLiteral("/org/freedesktop/Notifications"),
      QStringLiteral("org.freedesktop.Notifications"), QStringLiteral("Notify"));
  // app_name, replaces_id, app_icon, summary, body, actions, hints, expire_timeout
  QVariantMap hints;
  hints.insert(QStringLiteral("desktop-entry"), QStringLiteral("io.github.tarvel.Tarvel"));
  call << QStringLiteral("Tarvel") << 0u << QStringLiteral("io.github.tarvel.Tarvel") << summary
       << body << QStringList() << hints << -1;
  // Sent, not awaited: a missing or slow service never holds up the windows.
  bus.send(call);
}

void FreedesktopDesktop::MarkUrgent(QWidget* window) { QApplication::alert(window); }

void FreedesktopDesktop::WaitUntilActive() {
  QEventLoop loop;
  // Connected before the test, so that a change in between is not missed.
  QObject::connect(qApp, &QGuiApplication::applicationStateChanged, &loop,
                   [&loop](Qt::ApplicationState state) {
                     if (state == Qt::ApplicationActive) loop.quit();
                   });
  if (TarvelActive()) return;
  loop.exec();
}

}  // namespace tarvel::ui
