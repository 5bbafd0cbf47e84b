// A whole run of the widget whose workers hang on a server that never answers: the start-up
// hot-search refresh and eight flag-like downloads block on it, and once they are under way the
// probe clicks the close label. Usage: app_ending_probe <host:port> <settings folder>
// The exit status is whatever the program's own ending gives.

#include <atomic>
#include <string>

#include <QApplication>
#include <QTest>
#include <QTimer>

#include "app/Application.h"
#include "app/GlobalLists.h"
#include "app/UiLayer.h"
#include "http/HttpClient.h"
#include "http/UrlReader.h"
#include "util/WorkerThread.h"

using namespace velk;

namespace {

std::atomic<int> g_started{0};
std::string g_host;

void FlagLike(std::int32_t, const char* url, const char* row, const char*, const char*) {
    const Text address = url ? url : "";
    const int number = row ? std::atoi(row) : 0;
    ++g_started;
    const Bytes picture = UrlReader::Read(address);
    UiLayer::SetPicture(GlobalLists::Instance().Element(ControlList::FlagPictures, std::size_t(number)), picture);
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 3)
        return 2;
    g_host = argv[1];
    QApplication app(argc, argv);

    MainWindow::Options options = MainWindow::Options::Program();
    options.hosts = AppConfig{"", g_host, g_host, g_host};
    options.settingsFolder = QString::fromLocal8Bit(argv[2]);
    options.lists.medals = [] {
        for (int row = 1; row <= 8; ++row)
            WorkerThread::StartWithArguments(FlagLike, 0, "http://" + g_host + "/flag" + std::to_string(row) + ".png",
                                             std::to_string(row));
    };
    options.lists.hotSearchAtStart = [] {
        ++g_started;
        HttpRequest request;
        request.url = "http://" + g_host + "/top/summary";
        const Text body = HttpClient::Send(request);
        for (std::size_t k = 1; k <= 10; ++k)
            UiLayer::SetTitle(GlobalLists::Instance().Element(ControlList::HotSearchLabels, k), body);
    };

    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&poll] {
        if (g_started < 9)
            return;
        poll.stop();
        // Give the workers a moment to be inside their requests, then close as a user does.
        QTimer::singleShot(300, [] {
            const ControlRef any = GlobalLists::Instance().Element(ControlList::HotSearchLabels, 1);
            if (QWidget* close = UiLayer::Find(ControlRef{any.window, "标签EX51"}))
                QTest::mouseClick(close, Qt::LeftButton);
        });
    });
    poll.start(10);
    return Application::Run(std::move(options));
}
