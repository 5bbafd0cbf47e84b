#include "app/WindowEx.h"

#include <QEvent>
#include <QLinearGradient>
#include <QPainter>

namespace velk {

WindowEx::WindowEx(QWidget* window) : QWidget(window) {
    setAttribute(Qt::WA_TransparentForMouseEvents);
    window->installEventFilter(this);
}

bool WindowEx::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::Paint && watched == parentWidget())
        PaintSkin(parentWidget());
    return false;
}

void WindowEx::PaintSkin(QWidget* window) {
    QPainter painter(window);
    QLinearGradient gradient(0, 0, 0, window->height());
    gradient.setColorAt(0.0, QColor(0xF4, 0xF8, 0xF0));
    gradient.setColorAt(1.0, QColor(0xFF, 0xFF, 0xFF));
    painter.fillRect(window->rect(), gradient);
}

} // namespace velk
