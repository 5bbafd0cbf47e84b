#include "app/LabelEx.h"

#include <QMouseEvent>
#include <QPalette>

namespace velk {

LabelEx::LabelEx(QWidget* parent) : QLabel(parent) {
    setTextFormat(Qt::PlainText);
    setTextInteractionFlags(Qt::NoTextInteraction);
    setOpenExternalLinks(false);
}

void LabelEx::SetEventHandler(Event event, std::function<void()> handler) {
    (event == kClick ? m_onClick : m_onPress) = std::move(handler);
    setCursor((m_onClick || m_onPress) ? Qt::PointingHandCursor : Qt::ArrowCursor);
}

void LabelEx::SetColour(std::uint32_t argb) {
    m_colour = argb;
    const QColor background = QColor::fromRgba(argb);
    QPalette pal = palette();
    pal.setColor(QPalette::Window, background);
    // Relative luminance decides between dark and white text, so a white header keeps dark text
    // and the green selected header gets white text.
    const double luminance =
        0.2126 * background.redF() + 0.7152 * background.greenF() + 0.0722 * background.blueF();
    const bool dark = background.alpha() > 0 && luminance < 0.6;
    pal.setColor(QPalette::WindowText, dark ? QColor(Qt::white) : QColor(0x33, 0x33, 0x33));
    setPalette(pal);
    setAutoFillBackground(background.alpha() > 0);
}

void LabelEx::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton || (!m_onClick && !m_onPress)) {
        event->ignore();
        return;
    }
    m_pressed = true;
    event->accept();
    if (m_onPress) {
        auto handler = m_onPress;
        handler();
    }
}

void LabelEx::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton || !m_pressed) {
        event->ignore();
        return;
    }
    m_pressed = false;
    event->accept();
    if (m_onClick && rect().contains(event->position().toPoint())) {
        auto handler = m_onClick;
        handler();
    }
}

} // namespace velk
