#pragma once
// One run of the real main window for the end-to-end probe and the soak: the program's own
// options (its refresh code, position file and URL opening) with the hosts, the configuration
// folder and the timer intervals of the run, plus counters around the refresh calls so that a
// driver knows when the start sequence and each refresh have finished.
//
// The session outlives the window (create it before Application::Run). Everything here runs on
// the interface thread, except where a comment says otherwise.

#include <cstdint>
#include <functional>
#include <string>

#include <QJsonObject>
#include <QString>
#include <QStringList>

#include "app/AppConfig.h"
#include "app/MainWindow.h"
#include "tests/e2e/UrlRecorder.h"

namespace velk::test {

class ProbeSession {
public:
    struct Settings {
        AppConfig hosts;
        int refreshIntervalMs = 60000;
        int saveIntervalMs = 10000;
    };

    explicit ProbeSession(Settings settings);

    // Before the QApplication exists: `configFolder` becomes $XDG_CONFIG_HOME (where velk.ini
    // lives) and the offscreen platform is chosen unless QT_QPA_PLATFORM names one.
    static void PrepareEnvironment(const QString& configFolder);
    // The options both command lines share: --config DIR, --medal-host, --flag-host,
    // --weibo-host, --notice-host H, --refresh-interval-ms, --save-interval-ms N. False when
    // `option` is none of them.
    static bool TakeOption(const std::string& option, const char* value, Settings& settings, QString& configFolder);
    // Runs the event loop for `ms` milliseconds.
    static void Wait(int ms);
    // One line of compact JSON on stdout.
    static void Print(const QJsonObject& report);

    // The options to hand to Application::Run. A notice that is not "0" is recorded (see
    // Notices) instead of shown in a message box.
    MainWindow::Options Options();

    // Called on the interface thread before each medal refresh and after each hot-search refresh
    // that runs there (the start-up one runs on its worker thread and is only counted).
    std::function<void()> beforeMedals;
    std::function<void()> afterHotSearch;

    int MedalRefreshes() const { return m_medalRefreshes; }
    int HotSearchRefreshes() const { return m_hotSearchRefreshes; }
    // True once the start-up hot-search refresh has returned and the titles it queued for the
    // window have been applied.
    bool StartupHotSearchDone() const { return m_startupHotSearchDone; }
    bool RefreshRunning() const { return m_medalsRunning || m_hotSearchRunning; }

    MainWindow* Window() const;
    // Every label's title and every picture box's picture size by control name, and the
    // hot-search links.
    QJsonObject Snapshot() const;
    // Start sequence done and the table full: eight flags cut to their band, ten titles set.
    bool Populated() const;

    // A left click on the control `name` of the window; false when there is no such control.
    bool Click(const QString& name);
    bool Screenshot(const QString& file) const;
    // Addresses the program opened since the last call, and notices it would have shown.
    QStringList TakeOpened() { return m_urls.Take(); }
    QStringList Notices() const { return m_notices; }

private:
    Settings m_settings;
    UrlRecorder m_urls;
    QStringList m_notices;
    int m_medalRefreshes = 0;
    int m_hotSearchRefreshes = 0;
    bool m_medalsRunning = false;
    bool m_hotSearchRunning = false;
    bool m_startupHotSearchDone = false;
};

} // namespace velk::test
