#include "app/WindowEx.h"

#include <QLinearGradient>
#include <QPalette>

namespace velk {

WindowEx::WindowEx(QWidget* window) : QWidget(window) {
    setAttribute(Qt::WA_TransparentForMouseEvents);
    QLinearGradient gradient(0, 0, 0, 1);
    gradient.setCoordinateMode(QGradient::ObjectMode); // follows the window's size
    gradient.setColorAt(0.0, QColor(0xF4, 0xF8, 0xF0));
    gradient.setColorAt(1.0, QColor(0xFF, 0xFF, 0xFF));
    QPalette pal = window->palette();
    pal.setBrush(QPalette::Window, QBrush(gradient));
    window->setPalette(pal);
    window->setAutoFillBackground(true);
}

} // namespace velk
