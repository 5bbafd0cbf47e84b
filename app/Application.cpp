#include "app/Application.h"

#include <atomic>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <mutex>

#include <malloc.h>

#include <QApplication>
#include <QFont>

#include "app/GlobalLists.h"
#include "util/ImageConverter.h"
#include "util/MessagePump.h"

namespace velk {
namespace {

std::atomic<bool> g_exitRequested{false};

void PumpEvents() {
    // Runs nested inside HTTP waits and pauses on the interface thread: any handler may run here.
    // The window skips refresh ticks while a refresh runs and stops its start sequence after a
    // close, which is what keeps this re-entrancy safe.
    QCoreApplication::processEvents(QEventLoop::AllEvents);
}

} // namespace

void Application::InstallFontSubstitutes() {
    QFont::insertSubstitutions(QString::fromUtf8("微软雅黑"),
                               {QStringLiteral("Microsoft YaHei"), QStringLiteral("WenQuanYi Micro Hei"),
                                QStringLiteral("Noto Sans CJK SC"), QStringLiteral("Droid Sans Fallback")});
    QFont::insertSubstitutions(QString::fromUtf8("宋体"),
                               {QStringLiteral("SimSun"), QStringLiteral("Noto Serif CJK SC"),
                                QStringLiteral("AR PL UMing CN"), QStringLiteral("WenQuanYi Micro Hei"),
                                QStringLiteral("Noto Sans CJK SC")});
}

void Application::ExitCleanup() {
    static std::once_flag once;
    std::call_once(once, [] { GlobalLists::Instance().Release(); });
}

void Application::Quit(int exitCode) {
    g_exitRequested = true;
    for (QWidget* window : QApplication::topLevelWidgets())
        window->hide();
    QCoreApplication::exit(exitCode);
}

bool Application::ExitRequested() {
    return g_exitRequested;
}

void Application::EndProcess(int exitCode) {
    std::fflush(nullptr);
    // quick_exit runs the at_quick_exit handlers (the exit clean-up) and nothing else.
    std::quick_exit(exitCode);
}

int Application::Run() {
    return Run(MainWindow::Options::Program());
}

int Application::Run(MainWindow::Options options) {
    // Response bodies of tens of megabytes make glibc raise its mmap threshold for good, after
    // which every later large buffer stays in the heap and the resident size only grows. A fixed
    // threshold hands big blocks back to the system as soon as they are freed.
    mallopt(M_MMAP_THRESHOLD, 128 * 1024);
    // A server that closes while TLS still writes must give the transfer an error, not end the
    // program (libcurl leaves SIGPIPE alone once CURLOPT_NOSIGNAL is set).
    std::signal(SIGPIPE, SIG_IGN);
    static int argc = 1;
    static char name[] = "velk";
    static char* argv[] = {name, nullptr};
    // The application object is made once and never destroyed: detached flag threads may still
    // be inside Qt's image code when Run returns, and the process ends through EndProcess
    // without tearing the libraries down. The pointer stays reachable, so it is no leak.
    static QApplication* application = nullptr;
    if (!QCoreApplication::instance())
        application = std::make_unique<QApplication>(argc, argv).release();
    Q_UNUSED(application);
    QApplication::setQuitOnLastWindowClosed(false);
    InstallFontSubstitutes();
    // Loads the image-format plugins here, on the interface thread, before any flag thread
    // decodes an image (made on a worker thread, they corrupt the heap at exit).
    ImageConverter::Prepare();

    GlobalLists::Instance().Create();
    static std::once_flag registered;
    std::call_once(registered, [] {
        std::atexit(&Application::ExitCleanup);
        std::at_quick_exit(&Application::ExitCleanup);
    });

    g_exitRequested = false;
    MessagePump::Install(PumpEvents);
    {
        MainWindow window(std::move(options));
        window.OnCreated();
        if (!ExitRequested())
            QApplication::exec();
    }
    MessagePump::Install({});
    return 0;
}

} // namespace velk
