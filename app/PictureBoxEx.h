#pragma once
// An image box: shows its picture scaled to the box, smoothly, keeping transparency. The empty
// picture shows nothing. Pictures arrive as image files (our own BMP files, possibly 32-bit with
// alpha, or anything else Qt reads); BmpImage decodes them, on the calling thread, and the box
// only ever receives a decoded QImage on the interface thread.

#include <QImage>
#include <QPixmap>
#include <QWidget>

namespace velk {

class PictureBoxEx : public QWidget {
public:
    explicit PictureBoxEx(QWidget* parent = nullptr);

    void SetImage(const QImage& image);
    const QImage& Image() const { return m_image; }

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    QImage m_image;
    QPixmap m_scaled;
};

} // namespace velk
