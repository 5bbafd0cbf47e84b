// velk_soak: the real widget refreshing back to back against the sample server while the server
// misbehaves in turn, and whether the widget stays healthy.
//
//   velk_soak --config DIR --medal-host H --flag-host H --weibo-host H --fault-url URL
//             [--cycles N] [--warmup N] [--window N] [--hang-every N] [--no-hang]
//             [--refresh-interval-ms N] [--save-interval-ms N] [--move-window]
//             [--max-rss-growth-kb N] [--max-gap-ms N]
//
// One cycle is one run of the refresh timer's handler: the medal table with its flags, then the
// hot-search list. Before cycle i the soak sets the server's fault modes (URL is the server's
// "/_fault" address): the medal feed rotates through none, refuse, cut, 500, garbage and huge,
// the hot-search page through the same with a period six times longer (so every pair occurs),
// the flags through the same plus hang. With --hang-every N the medal feed hangs in cycles
// N/2, N/2 + N, ... and the hot-search page in cycles N, 2N, ...: each such cycle waits out the
// client's 30 s timeout. --no-hang leaves hang out entirely.
//
// Checks, printed as one line of JSON and reflected in the exit status (0 all passed, 1 not):
// every cycle ran; every cycle in which a server behaved refilled its list; the median resident
// size over the last --window cycles exceeds the median over the --window cycles after --warmup
// by at most --max-rss-growth-kb; no gap between two beats of a 50 ms heartbeat timer exceeded
// --max-gap-ms; and at the end a click on the hot-search tab header still switches the page.
// With --move-window the window moves one pixel per cycle, so
// that every save tick has a new position to write to DIR/velk.ini.

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>
#include <QStackedWidget>
#include <QTimer>

#include "app/Application.h"
#include "app/GlobalLists.h"
#include "app/UiLayer.h"
#include "http/UrlReader.h"
#include "tests/e2e/ProbeSession.h"
#include "tests/e2e/ProcessStats.h"

using namespace velk;
using velk::test::ProbeSession;
using velk::test::ProcessStats;

namespace {

struct CommandLine {
    ProbeSession::Settings settings;
    QString config;
    Text faultUrl;
    int cycles = 1000;
    int warmup = 100;
    int window = 60;
    int hangEvery = 250;
    bool hang = true;
    bool moveWindow = false;
    std::int64_t maxRssGrowthKb = 2048;
    qint64 maxGapMs = 3000;
};

std::optional<CommandLine> Parse(int argc, char** argv) {
    CommandLine line;
    line.settings.refreshIntervalMs = 1;
    line.settings.saveIntervalMs = 50;
    for (int i = 1; i < argc; ++i) {
        const std::string option = argv[i];
        if (option == "--no-hang") {
            line.hang = false;
            continue;
        }
        if (option == "--move-window") {
            line.moveWindow = true;
            continue;
        }
        if (i + 1 >= argc)
            return std::nullopt;
        const char* value = argv[++i];
        if (ProbeSession::TakeOption(option, value, line.settings, line.config))
            continue;
        if (option == "--fault-url")
            line.faultUrl = value;
        else if (option == "--cycles")
            line.cycles = std::atoi(value);
        else if (option == "--warmup")
            line.warmup = std::atoi(value);
        else if (option == "--window")
            line.window = std::atoi(value);
        else if (option == "--hang-every")
            line.hangEvery = std::atoi(value);
        else if (option == "--max-rss-growth-kb")
            line.maxRssGrowthKb = std::atoll(value);
        else if (option == "--max-gap-ms")
            line.maxGapMs = std::atoll(value);
        else
            return std::nullopt;
    }
    if (line.config.isEmpty() || line.faultUrl.empty() || line.cycles < 1 || line.window < 1)
        return std::nullopt;
    return line;
}

// ASCII, so the same bytes in code page 936 and in UTF-8.
const char* const kMark = "-soak-";

const char* const kModes[] = {"none", "refuse", "cut", "500", "garbage", "huge"};
constexpr int kModeCount = 6;

struct CycleFaults {
    const char* medals;
    const char* hot;
    const char* flags;
};

CycleFaults FaultsFor(int cycle, const CommandLine& line) {
    if (cycle == 0)
        return {"none", "none", "none"};
    CycleFaults faults{kModes[cycle % kModeCount], kModes[(cycle / kModeCount) % kModeCount], nullptr};
    const int flagSlot = (cycle + 3) % (kModeCount + (line.hang ? 1 : 0));
    faults.flags = flagSlot < kModeCount ? kModes[flagSlot] : "hang";
    if (line.hang && line.hangEvery > 0) {
        if (cycle % line.hangEvery == line.hangEvery / 2)
            faults.medals = "hang";
        if (cycle % line.hangEvery == 0)
            faults.hot = "hang";
    }
    return faults;
}

std::int64_t Median(std::vector<std::int64_t> values) {
    if (values.empty())
        return -1;
    std::nth_element(values.begin(), values.begin() + std::ptrdiff_t(values.size() / 2), values.end());
    return values[values.size() / 2];
}

class Soak {
public:
    explicit Soak(CommandLine line) : m_line(std::move(line)), m_session(m_line.settings) {
        m_session.beforeMedals = [this] { BeforeCycle(); };
        m_session.afterHotSearch = [this] { AfterCycle(); };
    }

    MainWindow::Options Options() { return m_session.Options(); }

    void Start() {
        m_clock.start();
        m_beatClock.start();
        m_heartbeat.setInterval(50);
        QObject::connect(&m_heartbeat, &QTimer::timeout, [this] {
            const qint64 gap = m_beatClock.restart();
            if (gap > m_maxGapMs) {
                m_maxGapMs = gap;
                m_maxGapCycle = m_cycle;
            }
        });
        m_heartbeat.start();
    }

    bool Passed() const { return m_passed; }

private:
    // Tells the server, unless the route already has that mode.
    void SetFault(const std::string& route, const char* mode) {
        if (m_faults[route] == mode)
            return;
        m_faults[route] = mode;
        UrlReader::Read(m_line.faultUrl + "?route=" + route + "&mode=" + mode);
    }

    // A medal refresh is about to run: the start sequence's (cycle 0), or that of timer cycle i,
    // after the start's and i - 1 timer refreshes.
    void BeforeCycle() {
        const int cycle = m_session.MedalRefreshes();
        m_faultsNow = FaultsFor(cycle, m_line);
        SetFault("medals", m_faultsNow.medals);
        SetFault("hot", m_faultsNow.hot);
        SetFault("flags", m_faultsNow.flags);
        // A mark in the first row of each list: a cycle whose server behaves must replace it, so
        // a soak in which nothing ever loads cannot pass.
        UiLayer::SetTitle(FirstRow(ControlList::MedalNameLabels), kMark);
        UiLayer::SetTitle(FirstRow(ControlList::HotSearchLabels), kMark);
        if (m_line.moveWindow && cycle > 0) {
            if (MainWindow* window = m_session.Window())
                window->move(window->pos() + QPoint(1, 0));
        }
    }

    // The hot-search refresh of a timer cycle has returned.
    void AfterCycle() {
        m_rssKb.push_back(ProcessStats::RssKb());
        if (std::string(m_faultsNow.medals) == "none" && Shown(ControlList::MedalNameLabels) == kMark)
            ++m_missedRefreshes;
        if (std::string(m_faultsNow.hot) == "none" && Shown(ControlList::HotSearchLabels) == kMark)
            ++m_missedRefreshes;
        m_fewestThreads = std::min(m_fewestThreads, ProcessStats::ThreadCount());
        ++m_cycle;
        if (m_cycle >= m_line.cycles && !m_finishing) {
            m_finishing = true;
            MainWindow* window = m_session.Window();
            if (auto* timer = window ? window->findChild<QTimer*>(QString::fromUtf8("时钟1")) : nullptr)
                timer->stop();
            // Out of the refresh, from the event loop.
            QTimer::singleShot(0, [this] { Finish(); });
        }
    }

    static ControlRef FirstRow(ControlList list) { return GlobalLists::Instance().Element(list, 1); }
    static Text Shown(ControlList list) {
        const auto* label = dynamic_cast<const QLabel*>(UiLayer::Find(FirstRow(list)));
        return label ? label->text().toStdString() : Text();
    }

    void Finish() {
        MainWindow* window = m_session.Window();
        m_faults.clear();
        SetFault("all", "none");
        m_heartbeat.stop();
        const int cyclesRun = m_cycle;

        // Flag downloads still hung on the server end within the reader's 30 s; wait for them (down
        // to the fewest threads seen at the end of a cycle), so the sanitizers see a quiet process
        // at exit.
        QElapsedTimer settle;
        settle.start();
        while (ProcessStats::ThreadCount() > m_fewestThreads && settle.elapsed() < 40000)
            ProbeSession::Wait(100);
        // The count can reach that floor while a flag thread still converts its picture (a pool
        // thread of Qt's ended meanwhile), and a worker inside Qt's image code when the
        // application object goes away at exit can crash; give those a moment more.
        ProbeSession::Wait(2000);

        // Responsive: a click on the hot-search header is handled and shows page 1.
        bool responsive = false;
        if (window && m_session.Click(QString::fromUtf8("标签EX50"))) {
            ProbeSession::Wait(50);
            auto* folder = window->findChild<QStackedWidget*>(QString::fromUtf8("选择夹EX1"));
            responsive = folder && folder->currentIndex() == 1;
        }

        const std::size_t w = std::size_t(m_line.window);
        const std::size_t from = std::min(std::size_t(m_line.warmup), m_rssKb.size());
        const std::vector<std::int64_t> baseline(m_rssKb.begin() + std::ptrdiff_t(from),
                                                 m_rssKb.begin() + std::ptrdiff_t(std::min(from + w, m_rssKb.size())));
        const std::vector<std::int64_t> last(m_rssKb.end() - std::ptrdiff_t(std::min(w, m_rssKb.size())),
                                             m_rssKb.end());
        const std::int64_t growth = Median(last) - Median(baseline);
        const bool enoughCycles = m_rssKb.size() >= from + 2 * w;

        m_passed = cyclesRun == m_line.cycles && m_missedRefreshes == 0 && responsive && m_maxGapMs <= m_line.maxGapMs &&
                   enoughCycles && growth <= m_line.maxRssGrowthKb;
        const QJsonObject report{
            {QStringLiteral("passed"), m_passed},
            {QStringLiteral("cycles"), cyclesRun},
            {QStringLiteral("seconds"), double(m_clock.elapsed()) / 1000.0},
            {QStringLiteral("rssBaselineKb"), double(Median(baseline))},
            {QStringLiteral("rssFinalKb"), double(Median(last))},
            {QStringLiteral("rssGrowthKb"), double(growth)},
            {QStringLiteral("rssWindowComplete"), enoughCycles},
            {QStringLiteral("peakRssKb"), double(ProcessStats::PeakRssKb())},
            {QStringLiteral("maxGapMs"), double(m_maxGapMs)},
            {QStringLiteral("maxGapCycle"), m_maxGapCycle},
            {QStringLiteral("responsive"), responsive},
            {QStringLiteral("missedRefreshes"), m_missedRefreshes},
            {QStringLiteral("threadsLeft"), double(ProcessStats::ThreadCount() - m_fewestThreads)},
        };
        ProbeSession::Print(report);
        Application::Quit(0);
    }

    CommandLine m_line;
    ProbeSession m_session;
    QTimer m_heartbeat;
    QElapsedTimer m_clock;
    QElapsedTimer m_beatClock;
    qint64 m_maxGapMs = 0;
    int m_maxGapCycle = -1;
    int m_cycle = 0; // timer cycles done
    bool m_finishing = false;
    bool m_passed = false;
    std::int64_t m_fewestThreads = INT64_MAX;
    std::vector<std::int64_t> m_rssKb;
    std::map<std::string, std::string> m_faults;
    CycleFaults m_faultsNow{"none", "none", "none"};
    int m_missedRefreshes = 0;
};

} // namespace

int main(int argc, char** argv) {
    std::optional<CommandLine> line = Parse(argc, argv);
    if (!line) {
        std::fprintf(stderr, "usage: velk_soak --config DIR --medal-host H --flag-host H --weibo-host H --fault-url URL\n"
                             "       [--cycles N] [--warmup N] [--window N] [--hang-every N] [--no-hang]\n"
                             "       [--refresh-interval-ms N] [--save-interval-ms N] [--move-window]\n"
                             "       [--max-rss-growth-kb N] [--max-gap-ms N]\n");
        return 2;
    }
    ProbeSession::PrepareEnvironment(line->config);
    QApplication app(argc, argv);

    Soak soak(std::move(*line));
    soak.Start();
    Application::Run(soak.Options());
    return soak.Passed() ? 0 : 1;
}
