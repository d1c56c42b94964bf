// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/layout.h"

#include <QAbstractButton>
#include <QGuiApplication>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QWidget>

namespace tarvel::ui {
namespace {

constexpr double kSmallestPointSize = 6.0;
constexpr double kPointStep = 0.5;
constexpr int kButtonPadding = 12;

bool TextFits(const QWidget* w) {
  if (const auto* label = qobject_cast<const QLabel*>(w); label && label->wordWrap()) {
    return label->heightForWidth(label->width()) <= label->height();
  }
  if (const auto* button = qobject_cast<const QPushButton*>(w)) {
    // A push button's size hint has a style minimum; only the text matters.
    const QFontMetrics metrics = button->fontMetrics();
    // A mnemonic's '&' is not drawn.
    const QString shown = QString(button->text()).remove(QLatin1Char('&'));
    return metrics.horizontalAdvance(shown) + kButtonPadding <= button->width() &&
           metrics.height() + 4 <= button->height();
  }
  if (qobject_cast<const QLabel*>(w) || qobject_cast<const QAbstractButton*>(w)) {
    const QSize hint = w->sizeHint();
    return hint.width() <= w->width() && hint.height() <= w->height() + 2;
  }
  return true;
}

}  // namespace

void FitFont(QWidget* w) {
  QFont font = w->font();
  while (!TextFits(w) && font.pointSizeF() - kPointStep >= kSmallestPointSize) {
    font.setPointSizeF(font.pointSizeF() - kPointStep);
    w->setFont(font);
  }
}

void Place(QWidget* w, int x, int y, int width, int height) {
  w->setGeometry(x, y, width, height);
  FitFont(w);
}

void PlaceAutoSized(QWidget* w, int x, int y) {
  w->adjustSize();
  w->move(x, y);
}

void CentreOver(QWidget* window, const QWidget* over) {
  const QRect area = over && over->isVisible() ? over->frameGeometry()
                     : window->screen()        ? window->screen()->availableGeometry()
                                               : QRect(0, 0, 1024, 768);
  QRect frame = window->frameGeometry();
  frame.moveCenter(area.center());
  window->move(frame.topLeft());
}

}  // namespace tarvel::ui
