#pragma once
// The window skin: paints the skin of the window it sits in (a soft background) through an event
// filter on that window, so the window needs no drawing code of its own. The component itself is
// invisible and lets the mouse through, as a skin holder should.

#include <QWidget>

namespace velk {

class WindowEx : public QWidget {
public:
    explicit WindowEx(QWidget* window);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void PaintSkin(QWidget* window);
};

} // namespace velk
