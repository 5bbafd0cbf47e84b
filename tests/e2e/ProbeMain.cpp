// velk_probe: runs the real widget against the given hosts and reports what it shows.
//
//   velk_probe --config DIR [--medal-host H] [--flag-host H] [--weibo-host H] [--notice-host H]
//              [--timeout-ms N] [--quiet-ms N] [--refresh-interval-ms N] [--save-interval-ms N]
//              [--click NAME | --tick]... [--screenshot FILE] [--idle-ms N]
//
// DIR becomes $XDG_CONFIG_HOME, so velk.ini is read and written there. The window runs on the
// offscreen platform unless QT_QPA_PLATFORM says otherwise. After the start sequence and the
// first refreshes have settled (nothing on the window changed for --quiet-ms, or --timeout-ms
// passed), the probe takes a snapshot, then runs the actions in order, each followed by settling
// and a snapshot: --click clicks a control by name, --tick runs the refresh timer's handler once.
// Addresses the program opens are recorded, not opened. Then the optional screenshot, the
// optional idle measurement (processor time over --idle-ms with nothing to do), and one line of
// JSON on stdout:
//
//   {"settled":true,"ended":false,"populatedMs":512.0,"peakRssKb":41234,"idleCpuMs":3.1,
//    "notices":[],"steps":[{"action":"start","titles":{"标签EX6":"美国",...},
//    "pictures":{"图片框EX1":{"width":512,"height":248},...},"hotSearchLinks":[...],"opened":[]}]}
//
// populatedMs counts from the kernel's start of the process to the moment the window first
// held eight cut flags and the start-up hot-search titles (-1: never). Exit status 0, or 2 for
// a bad command line.

#include <cstdio>
#include <optional>
#include <string>
#include <vector>

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QJsonArray>
#include <QJsonDocument>
#include <QTimer>

#include "app/Application.h"
#include "tests/e2e/ProbeSession.h"
#include "tests/e2e/ProcessStats.h"

using namespace velk;
using velk::test::ProbeSession;
using velk::test::ProcessStats;

namespace {

struct Action {
    enum Kind { Click, Tick } kind;
    QString control;
};

struct CommandLine {
    ProbeSession::Settings settings;
    QString config;
    int timeoutMs = 20000;
    int quietMs = 500;
    std::vector<Action> actions;
    QString screenshot;
    int idleMs = 0;
};

std::optional<CommandLine> Parse(int argc, char** argv) {
    CommandLine line;
    for (int i = 1; i < argc; ++i) {
        const std::string option = argv[i];
        if (option == "--tick") {
            line.actions.push_back({Action::Tick, {}});
            continue;
        }
        if (i + 1 >= argc)
            return std::nullopt;
        const char* value = argv[++i];
        if (ProbeSession::TakeOption(option, value, line.settings, line.config))
            continue;
        if (option == "--timeout-ms")
            line.timeoutMs = std::atoi(value);
        else if (option == "--quiet-ms")
            line.quietMs = std::atoi(value);
        else if (option == "--click")
            line.actions.push_back({Action::Click, QString::fromUtf8(value)});
        else if (option == "--screenshot")
            line.screenshot = QString::fromLocal8Bit(value);
        else if (option == "--idle-ms")
            line.idleMs = std::atoi(value);
        else
            return std::nullopt;
    }
    if (line.config.isEmpty())
        return std::nullopt;
    return line;
}

class Probe {
public:
    explicit Probe(CommandLine line) : m_line(std::move(line)), m_session(m_line.settings) {}

    MainWindow::Options Options() { return m_session.Options(); }

    // Watches the start from inside the program's own event handling; the script runs from the
    // main event loop once the start-up refresh is done (or the time is up).
    void Start() {
        m_clock.start();
        m_poll.setInterval(5);
        QObject::connect(&m_poll, &QTimer::timeout, [this] { Poll(); });
        m_poll.start();
    }

    // Prints the report once, however the run ends.
    void Report(bool ended) {
        if (m_reported)
            return;
        m_reported = true;
        m_result.insert(QStringLiteral("settled"), m_settled);
        m_result.insert(QStringLiteral("ended"), ended);
        m_result.insert(QStringLiteral("populatedMs"), m_populatedMs);
        m_result.insert(QStringLiteral("peakRssKb"), double(ProcessStats::PeakRssKb()));
        m_result.insert(QStringLiteral("notices"), QJsonArray::fromStringList(m_session.Notices()));
        m_result.insert(QStringLiteral("steps"), m_steps);
        ProbeSession::Print(m_result);
    }

private:
    void Poll() {
        if (m_populatedMs < 0 && m_session.Populated())
            m_populatedMs = ProcessStats::MsSinceProcessStart();
        if (m_driving)
            return;
        // The start-up refresh is reported through the event queue, so once it is seen here the
        // start sequence has returned and this call comes from the main event loop.
        if (!m_session.StartupHotSearchDone() && m_clock.elapsed() < m_line.timeoutMs)
            return;
        m_driving = true;
        RunScript();
    }

    void RunScript() {
        m_settled = m_session.StartupHotSearchDone();
        Step(QStringLiteral("start"));
        for (const Action& action : m_line.actions) {
            if (action.kind == Action::Tick) {
                if (MainWindow* window = m_session.Window())
                    window->OnRefreshTimer();
                Step(QStringLiteral("tick"));
            } else {
                const bool found = m_session.Click(action.control);
                Step(QStringLiteral("click ") + action.control + (found ? QString() : QStringLiteral(" (missing)")));
            }
        }
        if (!m_line.screenshot.isEmpty())
            m_result.insert(QStringLiteral("screenshot"), m_session.Screenshot(m_line.screenshot));
        if (m_line.idleMs > 0) {
            // Nothing of the probe's own runs meanwhile: the poll timer stops first.
            m_poll.stop();
            const double before = ProcessStats::CpuMs();
            ProbeSession::Wait(m_line.idleMs);
            m_result.insert(QStringLiteral("idleCpuMs"), ProcessStats::CpuMs() - before);
            m_result.insert(QStringLiteral("idleMs"), m_line.idleMs);
        }
        Report(false);
        Application::Quit(0);
    }

    void Step(const QString& action) {
        m_settled = WaitQuiet() && m_settled;
        QJsonObject step = m_session.Snapshot();
        step.insert(QStringLiteral("action"), action);
        step.insert(QStringLiteral("opened"), QJsonArray::fromStringList(m_session.TakeOpened()));
        m_steps.append(step);
    }

    // Waits until the window has not changed for the quiet time with no refresh running.
    bool WaitQuiet() {
        QElapsedTimer total;
        total.start();
        QElapsedTimer stable;
        stable.start();
        QByteArray last;
        while (total.elapsed() < m_line.timeoutMs) {
            ProbeSession::Wait(10);
            const QByteArray now = QJsonDocument(m_session.Snapshot()).toJson(QJsonDocument::Compact);
            if (now != last || m_session.RefreshRunning()) {
                last = now;
                stable.restart();
            } else if (stable.elapsed() >= m_line.quietMs) {
                return true;
            }
        }
        return false;
    }

    CommandLine m_line;
    ProbeSession m_session;
    QTimer m_poll;
    QElapsedTimer m_clock;
    bool m_driving = false;
    bool m_settled = false;
    bool m_reported = false;
    double m_populatedMs = -1;
    QJsonArray m_steps;
    QJsonObject m_result;
};

} // namespace

int main(int argc, char** argv) {
    std::optional<CommandLine> line = Parse(argc, argv);
    if (!line) {
        std::fprintf(stderr, "usage: velk_probe --config DIR [--medal-host H] [--flag-host H] [--weibo-host H]\n"
                             "       [--notice-host H] [--timeout-ms N] [--quiet-ms N] [--refresh-interval-ms N]\n"
                             "       [--save-interval-ms N] [--click NAME | --tick]... [--screenshot FILE]\n"
                             "       [--idle-ms N]\n");
        return 2;
    }
    ProbeSession::PrepareEnvironment(line->config);
    QApplication app(argc, argv);

    Probe probe(std::move(*line));
    probe.Start();
    const int status = Application::Run(probe.Options());
    // Reached without a report when the program ended on its own (the start-up notice).
    probe.Report(true);
    return status;
}
