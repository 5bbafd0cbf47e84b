#include "app/UiLayer.h"

#include <atomic>
#include <functional>
#include <map>
#include <mutex>
#include <thread>

#include <QImage>
#include <QMetaObject>
#include <QWidget>

#include "app/BmpImage.h"
#include "app/LabelEx.h"
#include "app/PictureBoxEx.h"
#include "app/SelectthefolderEx.h"
#include "util/Encoding.h"

namespace velk {
namespace {

// The registered windows. The lock is held while a worker posts to a window, and a window is
// removed under it before it is destroyed, so a posting thread never sees a destroyed window;
// events already posted to it are discarded by Qt together with the window.
//
// The interface thread is the one that registers windows. Workers tell whether they are on it
// from this id alone: they never touch the application object, which the interface thread may
// be destroying while they still run.
struct Registry {
    std::mutex mutex;
    std::map<std::int32_t, QWidget*> windows;
    std::int32_t next = 1;
    std::atomic<std::thread::id> interfaceThread{};
};

Registry& TheRegistry() {
    static Registry registry;
    return registry;
}

bool OnInterfaceThread() {
    return TheRegistry().interfaceThread.load() == std::this_thread::get_id();
}

QWidget* FindWindow(std::int32_t window) {
    auto& registry = TheRegistry();
    std::lock_guard lock(registry.mutex);
    const auto it = registry.windows.find(window);
    return it == registry.windows.end() ? nullptr : it->second;
}

// Runs `apply` with the control on the interface thread: at once when called there, otherwise
// queued to the control's window. Nothing happens when the window or the control is gone.
template <typename Widget> void Apply(const ControlRef& control, std::function<void(Widget*)> apply) {
    auto run = [control, apply = std::move(apply)] {
        if (auto* widget = dynamic_cast<Widget*>(UiLayer::Find(control)))
            apply(widget);
    };
    if (OnInterfaceThread()) {
        run();
        return;
    }
    auto& registry = TheRegistry();
    std::lock_guard lock(registry.mutex);
    const auto it = registry.windows.find(control.window);
    if (it != registry.windows.end())
        QMetaObject::invokeMethod(it->second, std::move(run), Qt::QueuedConnection);
}

} // namespace

std::int32_t UiLayer::RegisterWindow(QWidget* window) {
    auto& registry = TheRegistry();
    std::lock_guard lock(registry.mutex);
    const std::int32_t id = registry.next++;
    registry.windows[id] = window;
    registry.interfaceThread = std::this_thread::get_id();
    return id;
}

void UiLayer::UnregisterWindow(std::int32_t window) {
    auto& registry = TheRegistry();
    std::lock_guard lock(registry.mutex);
    registry.windows.erase(window);
}

QWidget* UiLayer::Find(const ControlRef& control) {
    QWidget* window = FindWindow(control.window);
    if (!window || control.control == kWindowControl)
        return window;
    return window->findChild<QWidget*>(QString::fromUtf8(control.control));
}

void UiLayer::SetTitle(const ControlRef& control, const Text& title) {
    const QString text = QString::fromUtf8(AnsiToUtf8(title));
    Apply<LabelEx>(control, [text](LabelEx* label) { label->setText(text); });
}

void UiLayer::SetColour(const ControlRef& control, std::uint32_t argb) {
    Apply<LabelEx>(control, [argb](LabelEx* label) { label->SetColour(argb); });
}

void UiLayer::SelectPage(const ControlRef& control, std::int32_t page) {
    Apply<SelectthefolderEx>(control, [page](SelectthefolderEx* folder) { folder->SelectPage(page); });
}

void UiLayer::SetPicture(const ControlRef& control, const Bytes& picture) {
    const QImage image = BmpImage::Decode(picture);
    Apply<PictureBoxEx>(control, [image](PictureBoxEx* box) { box->SetImage(image); });
}

void UiLayer::SetControlBounds(const ControlRef& control, std::int32_t property, std::int32_t value) {
    Apply<QWidget>(control, [property, value](QWidget* widget) {
        QRect r = widget->geometry();
        switch (property) {
        case kLeft:
            r.moveLeft(value);
            break;
        case kTop:
            r.moveTop(value);
            break;
        case kWidth:
            r.setWidth(value);
            break;
        case kHeight:
            r.setHeight(value);
            break;
        default:
            return;
        }
        widget->setGeometry(r);
    });
}

std::int32_t UiLayer::GetWindowBounds(std::int32_t window, std::int32_t property) {
    const QWidget* widget = OnInterfaceThread() ? FindWindow(window) : nullptr;
    if (!widget)
        return 0;
    const QRect r = widget->frameGeometry();
    switch (property) {
    case kLeft:
        return r.left();
    case kTop:
        return r.top();
    case kWidth:
        return widget->width();
    case kHeight:
        return widget->height();
    default:
        return 0;
    }
}

void UiLayer::SetWindowPosition(std::int32_t window, std::int32_t property, std::int32_t value) {
    if (!OnInterfaceThread())
        return;
    QWidget* widget = FindWindow(window);
    if (!widget)
        return;
    QPoint at = widget->frameGeometry().topLeft();
    if (property == kLeft)
        at.setX(value);
    else if (property == kTop)
        at.setY(value);
    else
        return;
    widget->move(at);
}

} // namespace velk
