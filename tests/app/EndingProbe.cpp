// Whole runs of the widget, for the tests of how the program ends. Usage:
//   app_ending_probe workers|notice <host:port> <settings folder>
// With "notice" the server is also the notice host; a message box is printed (caption, text)
// and closed as a user does. Addresses to open are printed, not opened. Once the start-up
// hot-search refresh and eight flag-like downloads are under way (they hang on the server when
// it never answers) the probe clicks the close label.
// The exit status is whatever the program's own ending gives; 3 means the exit clean-up did not
// run. What the probe sees is printed on stdout, one "key: value" line each.

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <string>

#include <QApplication>
#include <QMessageBox>
#include <QTest>
#include <QTimer>

#include "app/Application.h"
#include "app/GlobalLists.h"
#include "app/UiLayer.h"
#include "http/HttpClient.h"
#include "http/UrlReader.h"
#include "util/Encoding.h"
#include "util/WorkerThread.h"

using namespace velk;

namespace {

std::atomic<int> g_started{0};
std::string g_host;

void Print(const std::string& key, const std::string& value) {
    std::printf("%s: %s\n", key.c_str(), value.c_str());
    std::fflush(stdout);
}

void FlagLike(std::int32_t, const char* url, const char* row, const char*, const char*) {
    const Text address = url ? url : "";
    const int number = row ? std::atoi(row) : 0;
    ++g_started;
    const Bytes picture = UrlReader::Read(address);
    UiLayer::SetPicture(GlobalLists::Instance().Element(ControlList::FlagPictures, std::size_t(number)),
                        picture);
}

// Registered before the program's own clean-up, so it runs after it (the program ends through
// quick_exit).
void CheckCleanedUp() {
    if (GlobalLists::Instance().Count(ControlList::HotSearchLabels) != 0)
        std::_Exit(3);
}

QWidget* CloseLabel() {
    const ControlRef any = GlobalLists::Instance().Element(ControlList::HotSearchLabels, 1);
    return UiLayer::Find(ControlRef{any.window, "标签EX51"});
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 4)
        return 2;
    const std::string mode = argv[1];
    g_host = argv[2];
    std::at_quick_exit(CheckCleanedUp);
    QApplication app(argc, argv);

    MainWindow::Options options = MainWindow::Options::Program();
    options.hosts = AppConfig{mode == "notice" ? g_host : Text(), g_host, g_host, g_host};
    options.settingsFolder = QString::fromLocal8Bit(argv[3]);
    options.notice.openUrl = [](const Text& address) { Print("open", AnsiToUtf8(address)); };
    options.lists.medals = [] {
        Print("step", "medals");
        for (int row = 1; row <= 8; ++row)
            WorkerThread::StartWithArguments(FlagLike, 0,
                                             "http://" + g_host + "/flag" + std::to_string(row) + ".png",
                                             std::to_string(row));
    };
    options.lists.hotSearch = [] {};
    options.lists.openHotSearchItem = [](std::int32_t) {};
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
        if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
            Print("caption", box->windowTitle().toStdString());
            Print("text", box->text().toStdString());
            Print("buttons", std::to_string(box->buttons().size()));
            Print("window shown", CloseLabel() && CloseLabel()->isVisible() ? "yes" : "no");
            box->accept();
            return;
        }
        if (g_started < 9)
            return;
        poll.stop();
        // Give the workers a moment to be inside their requests, then close as a user does.
        QTimer::singleShot(300, [] {
            if (QWidget* close = CloseLabel())
                QTest::mouseClick(close, Qt::LeftButton);
        });
    });
    poll.start(10);
    const int status = Application::Run(std::move(options));
    Print("run returned", std::to_string(status));
    Application::EndProcess(status);
}
