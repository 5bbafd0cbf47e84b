#pragma once
// A text label of the window template, also used as a 1-pixel line. Titles are always plain text:
// they can come from the network, and a QLabel would otherwise render (and fetch what is named in)
// anything that looks like HTML.
//
// Events: 0 is a click (press and release inside the label), 2 is a press of the left button. A
// label with no handler lets mouse presses through to its window, so the window can be dragged
// from it. The colour (property 19) is the label's background; the text colour follows it so that
// the title stays readable on any background.

#include <cstdint>
#include <functional>

#include <QLabel>

namespace velk {

class LabelEx : public QLabel {
public:
    enum Event { kClick = 0, kPress = 2 };

    explicit LabelEx(QWidget* parent = nullptr);

    void SetEventHandler(Event event, std::function<void()> handler);
    // 32-bit ARGB; alpha 0 leaves the background transparent.
    void SetColour(std::uint32_t argb);
    std::uint32_t Colour() const { return m_colour; }

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    std::function<void()> m_onClick;
    std::function<void()> m_onPress;
    bool m_pressed = false;
    std::uint32_t m_colour = 0;
};

} // namespace velk
