// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/fit.h"

#include <QFontMetrics>
#include <QGuiApplication>
#include <QScreen>
#include <QTextDocument>
#include <QWidget>
#include <algorithm>

namespace tarvel::ui {
namespace {

// What a window manager's frame takes while it is not known (before the
// window is first mapped): a border and a title bar.
constexpr int kFrameWidthGuess = 16, kFrameHeightGuess = 40;
constexpr int kTallest = 100000;

bool Fits(const QFontMetrics& metrics, const QString& text, QSize size) {
  // A label wraps at spaces only; a longer word runs past its right edge.
  const QRect needed = metrics.boundingRect(QRect(0, 0, size.width(), kTallest),
                                            Qt::AlignLeft | Qt::AlignTop | Qt::TextWordWrap, text);
  return needed.width() <= size.width() && needed.height() <= size.height();
}

QSize FrameOf(const QWidget* window) {
  const QSize frame = window->frameGeometry().size() - window->geometry().size();
  return frame != QSize(0, 0) ? frame : QSize(kFrameWidthGuess, kFrameHeightGuess);
}

QRect AvailableArea(const QWidget* window) {
  const QWidget* on =
      window->isVisible() || !window->parentWidget() ? window : window->parentWidget();
  if (const QScreen* screen = on->screen()) return screen->availableGeometry();
  if (const QScreen* primary = QGuiApplication::primaryScreen())
    return primary->availableGeometry();
  return {0, 0, 1024, 768};
}

}  // namespace

FittedName FitName(const QFont& font, const QString& name,
                   const std::function<QString(const QString&)>& text, QSize given, int widest) {
  const QFontMetrics metrics(font);
  const auto fitsAt = [&](int width) { return Fits(metrics, text(name), {width, given.height()}); };
  if (fitsAt(given.width())) return {given.width(), name};
  if (widest > given.width() && fitsAt(widest)) {
    // The least width that holds the whole name.
    int low = given.width(), high = widest;  // low does not fit, high does
    while (high - low > 1) {
      const int mid = (low + high) / 2;
      (fitsAt(mid) ? high : low) = mid;
    }
    return {high, name};
  }
  // Even the widest label is too narrow: the longest middle elision that fits.
  const int width = std::max(widest, given.width());
  // The ellipsis joined to what follows: a line may break after an
  // ellipsis, and an elided name is to be read as one.
  const QString ellipsis(QChar(0x2026)), joined = ellipsis + QChar(0x2060);
  const auto elided = [&](int room) {
    return metrics.elidedText(name, Qt::ElideMiddle, room).replace(ellipsis, joined);
  };
  int low = 0, high = metrics.horizontalAdvance(name);  // low fits (or is the least), high does not
  while (high - low > 1) {
    const int mid = (low + high) / 2;
    (Fits(metrics, text(elided(mid)), {width, given.height()}) ? low : high) = mid;
  }
  return {width, elided(low)};
}

QString PlainTip(const QString& name) {
  return Qt::mightBeRichText(name) ? Qt::convertFromPlainText(name, Qt::WhiteSpaceNoWrap) : name;
}

int WidestClient(const QWidget* window) {
  return AvailableArea(window).width() - FrameOf(window).width();
}

QSize BoundedByScreen(QSize client, const QWidget* window) {
  return client.boundedTo(AvailableArea(window).size() - FrameOf(window));
}

QRect KeptWithin(QRect frame, const QRect& area) {
  frame.setSize(frame.size().boundedTo(area.size()));
  frame.moveLeft(std::clamp(frame.left(), area.left(), area.right() + 1 - frame.width()));
  frame.moveTop(std::clamp(frame.top(), area.top(), area.bottom() + 1 - frame.height()));
  return frame;
}

void KeepOnScreen(QWidget* window) {
  const QSize frame = FrameOf(window);
  const QRect area = AvailableArea(window);
  const QSize largest = area.size() - frame;
  window->setMinimumSize(window->minimumSize().boundedTo(largest));
  const QRect outer(window->frameGeometry().topLeft(), window->size() + frame);
  const QRect kept = KeptWithin(outer, area);
  if (kept.size() != outer.size()) window->resize(kept.size() - frame);
  if (kept.topLeft() != outer.topLeft()) window->move(kept.topLeft());
}

}  // namespace tarvel::ui
