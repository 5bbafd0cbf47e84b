#include "app/PictureBoxEx.h"

#include <QPainter>

namespace velk {

PictureBoxEx::PictureBoxEx(QWidget* parent) : QWidget(parent) {
    setAttribute(Qt::WA_TransparentForMouseEvents);
}

void PictureBoxEx::SetImage(const QImage& image) {
    m_image = image;
    m_scaled = QPixmap();
    update();
}

void PictureBoxEx::resizeEvent(QResizeEvent* event) {
    m_scaled = QPixmap();
    QWidget::resizeEvent(event);
}

void PictureBoxEx::paintEvent(QPaintEvent*) {
    if (m_image.isNull() || width() <= 0 || height() <= 0)
        return;
    if (m_scaled.isNull()) {
        const qreal ratio = devicePixelRatioF();
        m_scaled = QPixmap::fromImage(
            m_image.scaled(size() * ratio, Qt::IgnoreAspectRatio, Qt::SmoothTransformation));
        m_scaled.setDevicePixelRatio(ratio);
    }
    QPainter painter(this);
    painter.drawPixmap(0, 0, m_scaled);
}

} // namespace velk
