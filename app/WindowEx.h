#pragma once
// The window skin: gives the window it sits in its skin (a soft background gradient) as the
// window's own background, so the window needs no drawing code. The component itself is
// invisible and lets the mouse through, as a skin holder should.

#include <QWidget>

namespace velk {

class WindowEx : public QWidget {
public:
    explicit WindowEx(QWidget* window);
};

} // namespace velk
