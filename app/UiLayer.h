#pragma once
// The operations the program performs on the window's components, addressed by ControlRef.
//
// A window registers itself and gets its identifier; its components are found by their names in
// the window template. Every write called on the interface thread takes effect at once. SetTitle
// and SetPicture may also be called from worker threads: the write is queued to the interface
// thread, bound to the window, and a write whose window or control is gone by then is dropped.
// A picture is decoded on the calling thread, so a worker never hands the interface thread more
// than a ready image. Every other operation belongs to the interface thread alone.

#include <cstdint>

#include "app/ControlRef.h"
#include "util/Text.h"

class QWidget;

namespace velk {

class UiLayer {
public:
    enum Bound : std::int32_t { kLeft = 0, kTop = 1, kWidth = 2, kHeight = 3 };

    // Interface thread. A window unregisters before it is destroyed.
    static std::int32_t RegisterWindow(QWidget* window);
    static void UnregisterWindow(std::int32_t window);
    // The component, or the window for kWindowControl; null when there is none (interface thread).
    static QWidget* Find(const ControlRef& control);

    // LabelEx property 20: the title, code page 936 text shown as plain text. Any thread.
    static void SetTitle(const ControlRef& control, const Text& title);
    // LabelEx property 19: 32-bit ARGB colour.
    static void SetColour(const ControlRef& control, std::uint32_t argb);
    // SelectthefolderEx property 16: page number from 0.
    static void SelectPage(const ControlRef& control, std::int32_t page);
    // PictureBoxEx property 16: an image file; the empty Bytes shows nothing. Any thread.
    static void SetPicture(const ControlRef& control, const Bytes& picture);
    // LabelEx properties 0 left, 1 top, 2 width (and 3 height), relative to the parent.
    static void SetControlBounds(const ControlRef& control, std::int32_t property, std::int32_t value);
    // Main window properties 0 left, 1 top (screen coordinates), 2 width, 3 height; 0 when the
    // window is unknown.
    static std::int32_t GetWindowBounds(std::int32_t window, std::int32_t property);
    // Main window properties 0 left and 1 top, in screen coordinates.
    static void SetWindowPosition(std::int32_t window, std::int32_t property, std::int32_t value);
};

} // namespace velk
