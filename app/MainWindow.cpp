#include "app/MainWindow.h"

#include <algorithm>
#include <utility>

#include <QFont>
#include <QMouseEvent>
#include <QWindow>

#include "app/Application.h"
#include "app/GlobalLists.h"
#include "app/LabelEx.h"
#include "app/PictureBoxEx.h"
#include "app/SelectthefolderEx.h"
#include "app/UiLayer.h"
#include "app/WindowEx.h"
#include "medals/FlagPictureSink.h"
#include "medals/MedalBoard.h"
#include "util/WorkerThread.h"

namespace velk {
namespace {

enum class Kind { Label, Picture, Folder, Skin };
enum class Parent { Window, MedalPage, HotSearchPage };
enum class Face { None, YaHei, SongTi };

// The window template. Places are relative to the parent; controls on a page are placed relative
// to the tab container.
struct ControlTemplate {
    const char* name;
    Kind kind;
    Parent parent;
    int left, top, width, height;
    const char* title;
    Face face;
    Qt::Alignment align;
};

constexpr Qt::Alignment kCentre = Qt::AlignCenter;
constexpr Qt::Alignment kLeftAlign = Qt::AlignLeft | Qt::AlignVCenter;

// clang-format off
const ControlTemplate kWindowControls[] = {
    {"窗口EX1", Kind::Skin, Parent::Window, 4, 4, 24, 24, nullptr, Face::None, {}},
    {"选择夹EX1", Kind::Folder, Parent::Window, 9, 23, 311, 255, nullptr, Face::None, {}},
    {"标签EX1", Kind::Label, Parent::Window, 16, 8, 80, 16, "奥运金牌榜", Face::YaHei, kCentre},
    {"标签EX50", Kind::Label, Parent::Window, 98, 8, 80, 16, "微博热搜", Face::YaHei, kCentre},
    {"标签EX51", Kind::Label, Parent::Window, 275, 6, 40, 16, "关闭", Face::YaHei, kCentre},
    {"标签EX3", Kind::Label, Parent::Window, 1, 1, 500, 1, nullptr, Face::None, {}},
    {"标签EX4", Kind::Label, Parent::Window, 1, 2, 1, 500, nullptr, Face::None, {}},
    {"标签EX2", Kind::Label, Parent::Window, 0, 281, 500, 1, nullptr, Face::None, {}},
    {"标签EX5", Kind::Label, Parent::Window, 379, 1, 1, 500, nullptr, Face::None, {}},
    {"标签EX49", Kind::Label, Parent::MedalPage, 146, 8, 30, 16, "金", Face::YaHei, kCentre},
    {"标签EX48", Kind::Label, Parent::MedalPage, 185, 8, 30, 16, "银", Face::YaHei, kCentre},
    {"标签EX47", Kind::Label, Parent::MedalPage, 225, 8, 30, 16, "铜", Face::YaHei, kCentre},
    {"标签EX46", Kind::Label, Parent::MedalPage, 264, 8, 30, 16, "总", Face::YaHei, kCentre},
};

// One medal row: picture box, name label and the four counts, with their tops.
struct MedalRowTemplate {
    const char* flag; int flagTop;
    const char* name; int nameTop;
    const char* gold; const char* silver; const char* bronze; const char* total; int countTop;
};

const MedalRowTemplate kMedalRows[8] = {
    {"图片框EX1", 27, "标签EX6", 29, "标签EX21", "标签EX29", "标签EX45", "标签EX37", 29},
    {"图片框EX2", 56, "标签EX7", 58, "标签EX20", "标签EX28", "标签EX44", "标签EX36", 58},
    {"图片框EX3", 83, "标签EX8", 85, "标签EX19", "标签EX27", "标签EX43", "标签EX35", 85},
    {"图片框EX4", 111, "标签EX9", 113, "标签EX18", "标签EX26", "标签EX42", "标签EX34", 112},
    {"图片框EX5", 138, "标签EX10", 140, "标签EX17", "标签EX25", "标签EX41", "标签EX33", 139},
    {"图片框EX6", 167, "标签EX11", 169, "标签EX16", "标签EX24", "标签EX40", "标签EX32", 168},
    {"图片框EX7", 197, "标签EX12", 199, "标签EX15", "标签EX23", "标签EX39", "标签EX31", 197},
    {"图片框EX8", 226, "标签EX13", 228, "标签EX14", "标签EX22", "标签EX38", "标签EX30", 226},
};

// One hot-search item: the item label and its rank label, with their tops.
struct HotSearchRowTemplate {
    const char* item; int itemTop;
    const char* rank; int rankTop;
    const char* rankTitle;
};

const HotSearchRowTemplate kHotSearchRows[10] = {
    {"热搜1", 12, "热搜91", 13, "1"},   {"热搜2", 38, "热搜101", 39, "2"}, {"热搜3", 63, "热搜12", 64, "3"},
    {"热搜4", 87, "热搜11", 87, "4"},   {"热搜5", 111, "热搜16", 111, "5"}, {"热搜6", 134, "热搜15", 135, "6"},
    {"热搜7", 159, "热搜14", 160, "7"}, {"热搜8", 183, "热搜13", 184, "8"}, {"热搜9", 208, "热搜19", 209, "9"},
    {"热搜10", 232, "热搜18", 233, "10"},
};
// clang-format on

const char* const kMedalTabHeader = "标签EX1";
const char* const kHotSearchTabHeader = "标签EX50";
const char* const kCloseLabel = "标签EX51";
const char* const kTabContainer = "选择夹EX1";
const char* const kTopLine = "标签EX3";
const char* const kBottomLine = "标签EX2";
const char* const kLeftLine = "标签EX4";
const char* const kRightLine = "标签EX5";
constexpr std::uint32_t kFrameLineColour = 0xFF8DB86B;
constexpr int kFontPixels = 12;

QFont FontFor(Face face) {
    QFont font(QString::fromUtf8(face == Face::SongTi ? "宋体" : "微软雅黑"));
    font.setPixelSize(kFontPixels);
    return font;
}

LabelEx* MakeLabel(QWidget* parent, const char* name, int left, int top, int width, int height,
                   const char* title, Face face, Qt::Alignment align) {
    auto* label = new LabelEx(parent); // owned by its parent, as every Qt child
    label->setObjectName(QString::fromUtf8(name));
    label->setGeometry(left, top, width, height);
    if (title)
        label->setText(QString::fromUtf8(title));
    if (face != Face::None)
        label->setFont(FontFor(face));
    label->setAlignment(align);
    return label;
}

PictureBoxEx* MakePicture(QWidget* parent, const char* name, int left, int top, int width, int height) {
    auto* box = new PictureBoxEx(parent);
    box->setObjectName(QString::fromUtf8(name));
    box->setGeometry(left, top, width, height);
    return box;
}

// Ownership moves to the thread that runs the start-up hot-search refresh.
struct StartupRefreshJob {
    std::function<void()> run;
    std::shared_ptr<std::atomic<bool>> running;
};

void StartupRefreshThread(std::uintptr_t parameter) {
    std::unique_ptr<StartupRefreshJob> job(reinterpret_cast<StartupRefreshJob*>(parameter));
    if (job->run)
        job->run();
    job->running->store(false);
}

} // namespace

MainWindow::Options MainWindow::Options::Program() {
    Options options;
    options.hosts = AppConfig::FromBuild();
    options.notice = StartupNotice::Program();
    options.quit = Application::Quit;
    options.lists = ListRefresh::Program(options.hosts);
    return options;
}

MainWindow::MainWindow(Options options)
    : QWidget(nullptr, Qt::Window | Qt::FramelessWindowHint), m_options(std::move(options)),
      m_settings(m_options.settingsFolder) {
    setWindowTitle(QStringLiteral("velk"));
    setGeometry(50, 50, 327, 288);
    m_id = UiLayer::RegisterWindow(this);
    BuildControls();
    OnSizeChanged();

    // Flags arrive on their loaders' worker threads; row r goes to element r of FlagPictures. The
    // function holds nothing of this window: a flag that comes after the window is gone is dropped.
    FlagPictureSink::Install([](std::int32_t row, const Bytes& picture) {
        UiLayer::SetPicture(
            GlobalLists::Instance().Element(ControlList::FlagPictures, std::size_t(std::max(row, 0))),
            picture);
    });
    if (!m_options.hosts.flagHost.empty())
        MedalBoard::SetFlagHost(m_options.hosts.flagHost);

    m_refreshTimer.setObjectName(QString::fromUtf8("时钟1"));
    m_saveTimer.setObjectName(QString::fromUtf8("时钟2"));
    m_refreshTimer.setParent(this);
    m_saveTimer.setParent(this);
    connect(&m_refreshTimer, &QTimer::timeout, this, [this] { OnRefreshTimer(); });
    connect(&m_saveTimer, &QTimer::timeout, this, [this] { OnSavePositionTimer(); });
    m_refreshTimer.start(m_options.refreshIntervalMs);
    m_saveTimer.start(m_options.saveIntervalMs);
}

MainWindow::~MainWindow() {
    // From here on, writes from workers to this window are dropped.
    UiLayer::UnregisterWindow(m_id);
    FlagPictureSink::Install({});
}

void MainWindow::BuildControls() {
    auto* skin = new WindowEx(this);
    skin->setObjectName(QString::fromUtf8("窗口EX1"));
    skin->setGeometry(4, 4, 24, 24);
    auto* folder = new SelectthefolderEx(this);
    folder->setObjectName(QString::fromUtf8(kTabContainer));
    QWidget* medalPage = folder->AddPage(QString::fromUtf8("默认子夹"));
    QWidget* hotSearchPage = folder->AddPage(QString::fromUtf8("热搜"));
    folder->setGeometry(9, 23, 311, 255);

    for (const auto& c : kWindowControls) {
        if (c.kind != Kind::Label)
            continue;
        QWidget* parent = c.parent == Parent::MedalPage ? medalPage : this;
        MakeLabel(parent, c.name, c.left, c.top, c.width, c.height, c.title, c.face, c.align);
    }
    for (const auto& row : kMedalRows) {
        MakePicture(medalPage, row.flag, 8, row.flagTop, 30, 18);
        MakeLabel(medalPage, row.name, 43, row.nameTop, 100, 16, "中国", Face::YaHei, kLeftAlign);
        const char* counts[4] = {row.gold, row.silver, row.bronze, row.total};
        const int lefts[4] = {150, 189, 229, 268};
        for (int i = 0; i < 4; ++i)
            MakeLabel(medalPage, counts[i], lefts[i], row.countTop, 30, 16, "100", Face::YaHei, kCentre);
    }
    for (const auto& row : kHotSearchRows) {
        MakeLabel(hotSearchPage, row.rank, 3, row.rankTop, 24, 16, row.rankTitle, Face::SongTi, kCentre);
        MakeLabel(hotSearchPage, row.item, 27, row.itemTop, 186, 16, "中国", Face::YaHei, kLeftAlign);
    }

    for (const char* line : {kTopLine, kBottomLine, kLeftLine, kRightLine})
        UiLayer::SetColour(Ref(line), kFrameLineColour);
    UiLayer::SetColour(Ref(kMedalTabHeader), kSelectedTabColour);
    UiLayer::SetColour(Ref(kHotSearchTabHeader), kUnselectedTabColour);
    UiLayer::SelectPage(Ref(kTabContainer), 0);

    if (m_options.lists.placeholderFlag) {
        const Bytes flag = m_options.lists.placeholderFlag();
        for (const auto& row : kMedalRows)
            UiLayer::SetPicture(Ref(row.flag), flag);
    }

    auto handler = [this](const char* name, LabelEx::Event event, void (MainWindow::*method)()) {
        if (auto* label = findChild<LabelEx*>(QString::fromUtf8(name)))
            label->SetEventHandler(event, [this, method] { (this->*method)(); });
    };
    handler(kCloseLabel, LabelEx::kClick, &MainWindow::OnCloseClicked);
    handler(kMedalTabHeader, LabelEx::kPress, &MainWindow::OnMedalTabHeader);
    handler(kHotSearchTabHeader, LabelEx::kPress, &MainWindow::OnHotSearchTabHeader);
    // Event 0 of hot-search item k opens the search page of its entry.
    for (std::int32_t item = 1; item <= std::int32_t(std::size(kHotSearchRows)); ++item) {
        if (auto* label = findChild<LabelEx*>(QString::fromUtf8(kHotSearchRows[item - 1].item)))
            label->SetEventHandler(LabelEx::kClick, [this, item] {
                if (m_options.lists.openHotSearchItem)
                    m_options.lists.openHotSearchItem(item);
            });
    }
}

void MainWindow::FillControlLists() {
    auto& lists = GlobalLists::Instance();
    // The medal columns in the order the lists are filled, each from the top row down.
    const std::pair<ControlList, const char * MedalRowTemplate::*> columns[] = {
        {ControlList::FlagPictures, &MedalRowTemplate::flag},
        {ControlList::SilverLabels, &MedalRowTemplate::silver},
        {ControlList::GoldLabels, &MedalRowTemplate::gold},
        {ControlList::BronzeLabels, &MedalRowTemplate::bronze},
        {ControlList::TotalLabels, &MedalRowTemplate::total},
        {ControlList::MedalNameLabels, &MedalRowTemplate::name},
    };
    for (const auto& [list, member] : columns)
        for (const auto& row : kMedalRows)
            lists.Append(list, Ref(row.*member));
    for (const auto& row : kHotSearchRows)
        lists.Append(ControlList::HotSearchLabels, Ref(row.item));
}

void MainWindow::OnCreated() {
    FillControlLists();

    StartupNotice::Seams notice = m_options.notice;
    notice.exit = [this](int exitCode) {
        m_ending = true;
        if (m_options.quit)
            m_options.quit(exitCode);
    };
    if (!StartupNotice::Check(m_options.hosts.noticeHost, notice) || m_ending)
        return;

    m_settings.RestorePosition(m_id);
    show();
    if (m_ending)
        return;

    m_refreshing = true;
    if (m_options.lists.medals)
        m_options.lists.medals();
    m_refreshing = false;
    if (m_ending)
        return;

    StartHotSearchThread();
    m_started = true;
}

void MainWindow::StartHotSearchThread() {
    auto job = std::make_unique<StartupRefreshJob>();
    job->run = m_options.lists.hotSearchAtStart;
    job->running = m_startupRefreshRunning;
    m_startupRefreshRunning->store(true);
    auto* raw = job.release();
    if (WorkerThread::Start(StartupRefreshThread, reinterpret_cast<std::uintptr_t>(raw)) == 0) {
        job.reset(raw); // no thread: the job comes back and is freed here
        m_startupRefreshRunning->store(false);
    }
}

void MainWindow::OnCloseClicked() {
    m_ending = true;
    if (m_options.quit)
        m_options.quit(0);
}

void MainWindow::OnMedalTabHeader() {
    UiLayer::SetColour(Ref(kMedalTabHeader), kSelectedTabColour);
    UiLayer::SetColour(Ref(kHotSearchTabHeader), kUnselectedTabColour);
    UiLayer::SelectPage(Ref(kTabContainer), 0);
}

void MainWindow::OnHotSearchTabHeader() {
    UiLayer::SetColour(Ref(kHotSearchTabHeader), kSelectedTabColour);
    UiLayer::SetColour(Ref(kMedalTabHeader), kUnselectedTabColour);
    UiLayer::SelectPage(Ref(kTabContainer), 1);
}

void MainWindow::OnSizeChanged() {
    UiLayer::SetControlBounds(Ref(kTopLine), UiLayer::kWidth,
                              UiLayer::GetWindowBounds(m_id, UiLayer::kWidth));
    UiLayer::SetControlBounds(Ref(kBottomLine), UiLayer::kWidth,
                              UiLayer::GetWindowBounds(m_id, UiLayer::kWidth));
    UiLayer::SetControlBounds(Ref(kBottomLine), UiLayer::kTop,
                              UiLayer::GetWindowBounds(m_id, UiLayer::kHeight) - 1);
    UiLayer::SetControlBounds(Ref(kRightLine), UiLayer::kLeft,
                              UiLayer::GetWindowBounds(m_id, UiLayer::kWidth) - 1);
}

void MainWindow::OnPositionChanged() {}

void MainWindow::OnRefreshTimer() {
    // Skipped until the start sequence has run (its own fetches dispatch events, and the lists
    // must not be fetched before the notice has let the start go on), while a refresh runs
    // further out on this thread, and while the start-up hot-search refresh is on its worker.
    if (!m_started || m_refreshing || m_startupRefreshRunning->load())
        return;
    m_refreshing = true;
    if (m_options.lists.medals)
        m_options.lists.medals();
    if (!m_ending && m_options.lists.hotSearch)
        m_options.lists.hotSearch();
    m_refreshing = false;
}

void MainWindow::OnSavePositionTimer() {
    m_settings.SavePosition(m_id);
}

void MainWindow::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    OnSizeChanged();
}

void MainWindow::moveEvent(QMoveEvent* event) {
    QWidget::moveEvent(event);
    OnPositionChanged();
}

void MainWindow::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton)
        return QWidget::mousePressEvent(event);
    // The platform's own move keeps working where a program cannot place its windows (Wayland);
    // elsewhere the window follows the pointer itself.
    if (windowHandle() && windowHandle()->startSystemMove())
        return;
    m_dragging = true;
    m_dragOffset = event->globalPosition().toPoint() - frameGeometry().topLeft();
}

void MainWindow::mouseMoveEvent(QMouseEvent* event) {
    if (m_dragging && (event->buttons() & Qt::LeftButton))
        move(event->globalPosition().toPoint() - m_dragOffset);
}

void MainWindow::mouseReleaseEvent(QMouseEvent* event) {
    m_dragging = false;
    QWidget::mouseReleaseEvent(event);
}

} // namespace velk
