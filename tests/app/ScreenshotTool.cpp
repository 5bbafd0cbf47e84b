// Shows the widget as the program does before its first refresh (no notice server, no network) and saves a
// picture of it as the screen shows it. Usage: app_screenshot <png path> [medals|hotsearch] Meant for a real
// display (under Xvfb: xvfb-run -a app_screenshot shot.png).

#include <QApplication>
#include <QGuiApplication>
#include <QScreen>
#include <QTemporaryDir>
#include <QTimer>

#include "app/Application.h"
#include "app/GlobalLists.h"
#include "app/UiLayer.h"

using namespace velk;

int main(int argc, char** argv) {
    if (argc < 2)
        return 2;
    QApplication app(argc, argv);
    const QString path = QString::fromLocal8Bit(argv[1]);
    const bool hotSearch = argc > 2 && QByteArray(argv[2]) == "hotsearch";
    QTemporaryDir settings;

    MainWindow::Options options = MainWindow::Options::Program();
    options.hosts.noticeHost.clear();
    options.settingsFolder = settings.path();
    // The placeholders, as before the first refresh: nothing is fetched.
    options.lists.medals = [] {};
    options.lists.hotSearch = [] {};
    options.lists.hotSearchAtStart = [] {};
    int status = 1;
    QTimer::singleShot(1500, [&] {
        const ControlRef any = GlobalLists::Instance().Element(ControlList::HotSearchLabels, 1);
        auto* window = UiLayer::Find(ControlRef{any.window, kWindowControl});
        if (window) {
            if (hotSearch)
                static_cast<MainWindow*>(window)->OnHotSearchTabHeader();
            QCoreApplication::processEvents();
            const QRect r = window->frameGeometry();
            const QPixmap shot = window->screen()->grabWindow(0, r.x(), r.y(), r.width(), r.height());
            status = shot.save(path) ? 0 : 1;
        }
        Application::Quit(0);
    });
    Application::Run(std::move(options));
    return status;
}
