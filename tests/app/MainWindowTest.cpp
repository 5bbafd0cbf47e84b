#include "app/MainWindow.h"

#include <atomic>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include <QFontInfo>
#include <QTemporaryDir>
#include <QFontMetrics>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include "app/GlobalLists.h"
#include "app/LabelEx.h"
#include "app/PictureBoxEx.h"
#include "app/SelectthefolderEx.h"
#include "app/UiLayer.h"
#include "app/WindowEx.h"
#include "medals/FlagPictureSink.h"
#include "tests/app/QtTestApp.h"

using namespace velk;

namespace {

// Everything the window did to the outside, in order.
struct Recorder {
    std::vector<std::string> calls;
    Text noticeBody = "0";
};

MainWindow::Options RecordingOptions(Recorder& rec, const QString& settingsFolder) {
    MainWindow::Options o;
    o.hosts = AppConfig{"notice.test", "medal.test", "flag.test", "weibo.test"};
    o.settingsFolder = settingsFolder;
    o.notice.fetch = [&rec](const Text& url) {
        rec.calls.push_back("fetch " + url.substr(0, url.find('?')));
        return rec.noticeBody;
    };
    o.notice.showMessage = [&rec](const Text& body) { rec.calls.push_back("message " + body); };
    o.notice.openUrl = [&rec](const Text& address) { rec.calls.push_back("open " + address); };
    o.notice.tickCount = [] { return 1u; };
    o.quit = [&rec](int code) { rec.calls.push_back("quit " + std::to_string(code)); };
    o.lists.medals = [&rec] { rec.calls.push_back("medals"); };
    o.lists.hotSearch = [&rec] { rec.calls.push_back("hotsearch"); };
    o.lists.hotSearchAtStart = [] {};
    o.lists.openHotSearchItem = [&rec](std::int32_t item) {
        rec.calls.push_back("item " + std::to_string(item));
    };
    return o;
}

class MainWindowTest : public ::testing::Test {
protected:
    void SetUp() override {
        test::EnsureApplication();
        GlobalLists::Instance().Create();
        ASSERT_TRUE(m_folder.isValid());
    }
    QString Folder() const { return m_folder.path(); }

    template <typename T> T* Control(const MainWindow& w, const char* name) {
        return dynamic_cast<T*>(UiLayer::Find(w.Ref(name)));
    }

    QTemporaryDir m_folder;
};

enum class K { Label, Picture, Folder, Skin };
enum class P { Window, Page0, Page1 };

struct Expected {
    const char* name;
    K kind;
    P parent;
    QRect place;
    const char* title; // nullptr: no title shown
    const char* face;  // nullptr: no text
};

// The template as the window must show it after creation (frame lines already placed for the
// 327 by 288 window).
std::vector<Expected> ExpectedControls() {
    const char* yh = "微软雅黑";
    std::vector<Expected> e = {
        {"标签EX1", K::Label, P::Window, {16, 8, 80, 16}, "奥运金牌榜", yh},
        {"标签EX50", K::Label, P::Window, {98, 8, 80, 16}, "微博热搜", yh},
        {"标签EX51", K::Label, P::Window, {275, 6, 40, 16}, "关闭", yh},
        {"选择夹EX1", K::Folder, P::Window, {9, 23, 311, 255}, nullptr, nullptr},
        {"标签EX3", K::Label, P::Window, {1, 1, 327, 1}, nullptr, nullptr},
        {"标签EX4", K::Label, P::Window, {1, 2, 1, 500}, nullptr, nullptr},
        {"标签EX2", K::Label, P::Window, {0, 287, 327, 1}, nullptr, nullptr},
        {"标签EX5", K::Label, P::Window, {326, 1, 1, 500}, nullptr, nullptr},
        {"窗口EX1", K::Skin, P::Window, {4, 4, 24, 24}, nullptr, nullptr},
        {"标签EX49", K::Label, P::Page0, {146, 8, 30, 16}, "金", yh},
        {"标签EX48", K::Label, P::Page0, {185, 8, 30, 16}, "银", yh},
        {"标签EX47", K::Label, P::Page0, {225, 8, 30, 16}, "铜", yh},
        {"标签EX46", K::Label, P::Page0, {264, 8, 30, 16}, "总", yh},
    };
    struct Row {
        int flagTop;
        int nameTop;
        int countTop;
        const char* gold;
        const char* silver;
        const char* bronze;
        const char* total;
    };
    const Row rows[8] = {{27, 29, 29, "21", "29", "45", "37"},    {56, 58, 58, "20", "28", "44", "36"},
                         {83, 85, 85, "19", "27", "43", "35"},    {111, 113, 112, "18", "26", "42", "34"},
                         {138, 140, 139, "17", "25", "41", "33"}, {167, 169, 168, "16", "24", "40", "32"},
                         {197, 199, 197, "15", "23", "39", "31"}, {226, 228, 226, "14", "22", "38", "30"}};
    static std::vector<std::string> names; // keeps the built names alive for the table
    names.clear();
    names.reserve(100);
    auto keep = [](std::string s) {
        names.push_back(std::move(s));
        return names.back().c_str();
    };
    for (int r = 0; r < 8; ++r) {
        const Row& row = rows[r];
        e.push_back({keep("图片框EX" + std::to_string(r + 1)),
                     K::Picture,
                     P::Page0,
                     {8, row.flagTop, 30, 18},
                     nullptr,
                     nullptr});
        e.push_back({keep("标签EX" + std::to_string(r + 6)),
                     K::Label,
                     P::Page0,
                     {43, row.nameTop, 100, 16},
                     "中国",
                     yh});
        const char* counts[4] = {row.gold, row.silver, row.bronze, row.total};
        const int lefts[4] = {150, 189, 229, 268};
        for (int i = 0; i < 4; ++i)
            e.push_back({keep(std::string("标签EX") + counts[i]),
                         K::Label,
                         P::Page0,
                         {lefts[i], row.countTop, 30, 16},
                         "100",
                         yh});
    }
    struct Hot {
        int itemTop;
        const char* rank;
        int rankTop;
    };
    const Hot hot[10] = {{12, "91", 13},   {38, "101", 39},  {63, "12", 64},   {87, "11", 87},
                         {111, "16", 111}, {134, "15", 135}, {159, "14", 160}, {183, "13", 184},
                         {208, "19", 209}, {232, "18", 233}};
    for (int k = 0; k < 10; ++k) {
        e.push_back({keep("热搜" + std::to_string(k + 1)),
                     K::Label,
                     P::Page1,
                     {27, hot[k].itemTop, 186, 16},
                     "中国",
                     yh});
        e.push_back({keep(std::string("热搜") + hot[k].rank),
                     K::Label,
                     P::Page1,
                     {3, hot[k].rankTop, 24, 16},
                     keep(std::to_string(k + 1)),
                     "宋体"});
    }
    return e;
}

TEST_F(MainWindowTest, EveryControlHasItsKindPlaceTitleAndFont) {
    Recorder rec;
    MainWindow w(RecordingOptions(rec, Folder()));
    EXPECT_EQ(w.geometry(), QRect(50, 50, 327, 288));
    EXPECT_TRUE(w.windowFlags() & Qt::FramelessWindowHint);
    auto* folder = Control<SelectthefolderEx>(w, "选择夹EX1");
    ASSERT_NE(folder, nullptr);
    ASSERT_EQ(folder->count(), 2);
    EXPECT_EQ(folder->currentIndex(), 0);
    EXPECT_EQ(folder->widget(0)->objectName(), QString::fromUtf8("默认子夹"));
    EXPECT_EQ(folder->widget(1)->objectName(), QString::fromUtf8("热搜"));

    const auto expected = ExpectedControls();
    EXPECT_EQ(expected.size(), 9u + 4u + 48u + 20u);
    for (const Expected& e : expected) {
        SCOPED_TRACE(e.name);
        QWidget* widget = UiLayer::Find(w.Ref(e.name));
        ASSERT_NE(widget, nullptr);
        switch (e.kind) {
        case K::Label:
            EXPECT_NE(dynamic_cast<LabelEx*>(widget), nullptr);
            break;
        case K::Picture:
            EXPECT_NE(dynamic_cast<PictureBoxEx*>(widget), nullptr);
            break;
        case K::Folder:
            EXPECT_NE(dynamic_cast<SelectthefolderEx*>(widget), nullptr);
            break;
        case K::Skin:
            EXPECT_NE(dynamic_cast<WindowEx*>(widget), nullptr);
            break;
        }
        QWidget* expectedParent =
            e.parent == P::Window ? static_cast<QWidget*>(&w) : folder->widget(e.parent == P::Page0 ? 0 : 1);
        EXPECT_EQ(widget->parentWidget(), expectedParent);
        const QPoint origin = e.parent == P::Window ? widget->pos() : widget->mapTo(folder, QPoint(0, 0));
        EXPECT_EQ(QRect(origin, widget->size()), e.place);
        if (auto* label = dynamic_cast<LabelEx*>(widget)) {
            EXPECT_EQ(label->text(), QString::fromUtf8(e.title ? e.title : ""));
            EXPECT_EQ(label->textFormat(), Qt::PlainText);
            if (e.face) {
                EXPECT_EQ(label->font().family(), QString::fromUtf8(e.face));
                // The face resolves to an installed font that has the Chinese characters.
                QFontMetrics metrics(label->font());
                for (QChar c : label->text())
                    EXPECT_TRUE(metrics.inFont(c)) << QFontInfo(label->font()).family().toStdString();
                EXPECT_TRUE(metrics.inFont(QChar(0x4E2D)));
            }
        }
    }
    // Nothing beyond the template: 9 window controls, 52 on the medal page, 20 on the hot-search page.
    EXPECT_EQ(folder->widget(0)->findChildren<QWidget*>().size(), 52);
    EXPECT_EQ(folder->widget(1)->findChildren<QWidget*>().size(), 20);

    auto* t1 = w.findChild<QTimer*>(QString::fromUtf8("时钟1"));
    auto* t2 = w.findChild<QTimer*>(QString::fromUtf8("时钟2"));
    ASSERT_TRUE(t1 && t2);
    EXPECT_EQ(t1->interval(), 60000);
    EXPECT_EQ(t2->interval(), 10000);
    EXPECT_TRUE(t1->isActive() && t2->isActive());
}

TEST_F(MainWindowTest, CreatedHandlerFillsTheControlListsInOrder) {
    Recorder rec;
    MainWindow w(RecordingOptions(rec, Folder()));
    w.OnCreated();
    auto names = [&](ControlList list) {
        std::vector<std::string> out;
        for (const ControlRef& ref : GlobalLists::Instance().List(list)) {
            EXPECT_EQ(ref.window, w.Id());
            out.push_back(ref.control);
        }
        return out;
    };
    using V = std::vector<std::string>;
    const std::pair<ControlList, V> expected[] = {
        {ControlList::FlagPictures,
         {"图片框EX1", "图片框EX2", "图片框EX3", "图片框EX4", "图片框EX5", "图片框EX6", "图片框EX7",
          "图片框EX8"}},
        {ControlList::SilverLabels,
         {"标签EX29", "标签EX28", "标签EX27", "标签EX26", "标签EX25", "标签EX24", "标签EX23", "标签EX22"}},
        {ControlList::GoldLabels,
         {"标签EX21", "标签EX20", "标签EX19", "标签EX18", "标签EX17", "标签EX16", "标签EX15", "标签EX14"}},
        {ControlList::BronzeLabels,
         {"标签EX45", "标签EX44", "标签EX43", "标签EX42", "标签EX41", "标签EX40", "标签EX39", "标签EX38"}},
        {ControlList::TotalLabels,
         {"标签EX37", "标签EX36", "标签EX35", "标签EX34", "标签EX33", "标签EX32", "标签EX31", "标签EX30"}},
        {ControlList::MedalNameLabels,
         {"标签EX6", "标签EX7", "标签EX8", "标签EX9", "标签EX10", "标签EX11", "标签EX12", "标签EX13"}},
        {ControlList::HotSearchLabels,
         {"热搜1", "热搜2", "热搜3", "热搜4", "热搜5", "热搜6", "热搜7", "热搜8", "热搜9", "热搜10"}},
    };
    for (const auto& [list, controls] : expected)
        EXPECT_EQ(names(list), controls) << int(list);
    EXPECT_TRUE(GlobalLists::Instance().HotSearchLinks().empty());
}

TEST_F(MainWindowTest, StartSequenceRunsInOrderOrStopsAtANotice) {
    {
        Recorder rec;
        MainWindow w(RecordingOptions(rec, Folder()));
        w.OnCreated();
        EXPECT_EQ(rec.calls, (std::vector<std::string>{"fetch http://notice.test/velk1.txt", "medals"}));
        EXPECT_TRUE(w.Settings().Restored());
        EXPECT_TRUE(w.isVisible());
    }
    {
        GlobalLists::Instance().Create();
        Recorder rec;
        rec.noticeBody = "closed {{http://maker.test/}}";
        std::atomic<bool> threadRan{false};
        auto options = RecordingOptions(rec, Folder());
        options.lists.hotSearchAtStart = [&threadRan] { threadRan = true; };
        MainWindow w(std::move(options));
        w.OnCreated();
        EXPECT_EQ(rec.calls, (std::vector<std::string>{"fetch http://notice.test/velk1.txt",
                                                       "message closed {{http://maker.test/}}",
                                                       "open http://maker.test/", "quit 0"}));
        EXPECT_FALSE(w.Settings().Restored());
        EXPECT_FALSE(w.isVisible());
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        EXPECT_FALSE(threadRan);
    }
}

TEST_F(MainWindowTest, TabHeadersSwitchColoursAndPagesOnPress) {
    Recorder rec;
    MainWindow w(RecordingOptions(rec, Folder()));
    w.show();
    auto* medal = Control<LabelEx>(w, "标签EX1");
    auto* hot = Control<LabelEx>(w, "标签EX50");
    auto* folder = Control<SelectthefolderEx>(w, "选择夹EX1");
    ASSERT_TRUE(medal && hot && folder);
    EXPECT_EQ(medal->Colour(), 0xFF58A320u);
    EXPECT_EQ(hot->Colour(), 0xFFFFFFFFu);

    struct Step {
        LabelEx* header;
        std::uint32_t medalColour;
        std::uint32_t hotColour;
        int page;
    };
    const Step steps[] = {
        {hot, 0xFFFFFFFF, 0xFF58A320, 1},
        {hot, 0xFFFFFFFF, 0xFF58A320, 1},
        {medal, 0xFF58A320, 0xFFFFFFFF, 0},
        {medal, 0xFF58A320, 0xFFFFFFFF, 0},
    };
    for (const Step& s : steps) {
        QTest::mousePress(s.header, Qt::LeftButton);
        QTest::mouseRelease(s.header, Qt::LeftButton);
        EXPECT_EQ(medal->Colour(), s.medalColour);
        EXPECT_EQ(hot->Colour(), s.hotColour);
        EXPECT_EQ(folder->currentIndex(), s.page);
        // The selected header's text stays readable: light text on green, dark text on white.
        for (LabelEx* header : {medal, hot}) {
            const QColor bg = header->palette().color(QPalette::Window);
            const QColor fg = header->palette().color(QPalette::WindowText);
            EXPECT_GT(std::abs(qGray(bg.rgb()) - qGray(fg.rgb())), 100) << header->objectName().toStdString();
        }
    }
    EXPECT_TRUE(rec.calls.empty());
}

TEST_F(MainWindowTest, HotSearchItemClicksReachTheirItem) {
    Recorder rec;
    MainWindow w(RecordingOptions(rec, Folder()));
    w.show();
    w.OnHotSearchTabHeader();
    for (int item : {1, 7, 10})
        QTest::mouseClick(Control<LabelEx>(w, ("热搜" + std::to_string(item)).c_str()), Qt::LeftButton);
    // A rank label is no item: nothing.
    QTest::mouseClick(Control<LabelEx>(w, "热搜91"), Qt::LeftButton);
    EXPECT_EQ(rec.calls, (std::vector<std::string>{"item 1", "item 7", "item 10"}));
}

TEST_F(MainWindowTest, DraggingTheBackgroundMovesTheWindow) {
    Recorder rec;
    MainWindow w(RecordingOptions(rec, Folder()));
    w.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&w));
    // A count label has no handler: the press goes through to the window.
    QWidget* count = UiLayer::Find(w.Ref("标签EX21"));
    const QPoint start = w.pos();
    QTest::mousePress(count, Qt::LeftButton, {}, QPoint(5, 5));
    QTest::mouseMove(count, QPoint(45, 25));
    QTest::mouseRelease(count, Qt::LeftButton, {}, QPoint(45, 25));
    EXPECT_EQ(w.pos(), start + QPoint(40, 20));
    EXPECT_TRUE(rec.calls.empty());
}

TEST_F(MainWindowTest, CloseLabelClickQuitsWithZero) {
    Recorder rec;
    MainWindow w(RecordingOptions(rec, Folder()));
    w.show();
    auto* close = Control<LabelEx>(w, "标签EX51");
    ASSERT_NE(close, nullptr);
    QTest::mousePress(close, Qt::LeftButton);
    EXPECT_TRUE(rec.calls.empty()); // event 0 is the whole click
    QTest::mouseRelease(close, Qt::LeftButton);
    EXPECT_EQ(rec.calls, std::vector<std::string>{"quit 0"});
    EXPECT_TRUE(w.Ending());
}

TEST_F(MainWindowTest, HotSearchItemClickOpensThatItem) {
    Recorder rec;
    auto options = RecordingOptions(rec, Folder());
    options.lists.openHotSearchItem = [&rec](std::int32_t item) {
        rec.calls.push_back("item " + std::to_string(item));
    };
    MainWindow w(std::move(options));
    w.show();
    std::vector<std::string> expected;
    for (int k = 10; k >= 1; --k) {
        auto* item = Control<LabelEx>(w, ("热搜" + std::to_string(k)).c_str());
        ASSERT_NE(item, nullptr);
        QTest::mouseClick(item, Qt::LeftButton);
        expected.push_back("item " + std::to_string(k));
    }
    EXPECT_EQ(rec.calls, expected);
}

TEST_F(MainWindowTest, FrameLinesFollowTheWindowSize) {
    Recorder rec;
    MainWindow w(RecordingOptions(rec, Folder()));
    w.show();
    for (const QSize size : {QSize(400, 300), QSize(200, 150), QSize(327, 288)}) {
        w.resize(size);
        QCoreApplication::processEvents();
        const int W = w.width(), H = w.height();
        EXPECT_EQ(UiLayer::Find(w.Ref("标签EX3"))->geometry(), QRect(1, 1, W, 1));
        EXPECT_EQ(UiLayer::Find(w.Ref("标签EX2"))->geometry(), QRect(0, H - 1, W, 1));
        EXPECT_EQ(UiLayer::Find(w.Ref("标签EX5"))->geometry(), QRect(W - 1, 1, 1, 500));
        EXPECT_EQ(UiLayer::Find(w.Ref("标签EX4"))->geometry(), QRect(1, 2, 1, 500));
    }
}

// Calls the refresh tick until one runs (the start-up hot-search thread ends on its own time).
void TickUntilARefreshRuns(MainWindow& w, Recorder& rec) {
    for (int i = 0; i < 5000 && rec.calls.empty(); ++i) {
        w.OnRefreshTimer();
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
}

TEST_F(MainWindowTest, RefreshTickRunsBothListsAndIsSkippedWhileARefreshRuns) {
    Recorder rec;
    auto options = RecordingOptions(rec, Folder());
    MainWindow* window = nullptr;
    // The notice fetch and the medal refresh dispatch events, as their fetches and pauses do; a
    // tick arrives inside each.
    options.notice.fetch = [&](const Text&) {
        rec.calls.push_back("fetch");
        window->OnRefreshTimer();
        return Text("0");
    };
    int depth = 0;
    options.lists.medals = [&] {
        rec.calls.push_back("medals");
        if (depth++ == 0)
            window->OnRefreshTimer();
        --depth;
    };
    MainWindow w(std::move(options));
    window = &w;
    w.OnCreated();
    EXPECT_EQ(rec.calls, (std::vector<std::string>{"fetch", "medals"}));
    rec.calls.clear();
    TickUntilARefreshRuns(w, rec);
    EXPECT_EQ(rec.calls, (std::vector<std::string>{"medals", "hotsearch"}));
}

TEST_F(MainWindowTest, RefreshTickIsSkippedWhileTheStartupHotSearchRuns) {
    Recorder rec;
    auto options = RecordingOptions(rec, Folder());
    std::atomic<bool> release{false};
    std::atomic<bool> finished{false};
    options.lists.hotSearchAtStart = [&] {
        while (!release)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        finished = true;
    };
    MainWindow w(std::move(options));
    w.OnCreated();
    rec.calls.clear();
    w.OnRefreshTimer();
    EXPECT_TRUE(rec.calls.empty());
    release = true;
    // Once the start-up refresh has ended, the next tick runs.
    TickUntilARefreshRuns(w, rec);
    EXPECT_TRUE(finished);
    EXPECT_EQ(rec.calls, (std::vector<std::string>{"medals", "hotsearch"}));
}

TEST_F(MainWindowTest, TimersDriveTheirHandlers) {
    Recorder rec;
    auto options = RecordingOptions(rec, Folder());
    options.refreshIntervalMs = 5;
    options.saveIntervalMs = 5;
    MainWindow w(std::move(options));
    w.OnCreated();
    w.move(120, 80);
    rec.calls.clear();
    const auto ticked = [&] {
        return std::count(rec.calls.begin(), rec.calls.end(), "hotsearch") >= 1 &&
               w.Settings().ReadInt(QStringLiteral("pos"), QStringLiteral("y")) == 80;
    };
    EXPECT_TRUE(QTest::qWaitFor(ticked, 10000));
    EXPECT_EQ(w.Settings().ReadInt(QStringLiteral("pos"), QStringLiteral("x")), 120);
}

TEST_F(MainWindowTest, FlagBoxesStartWithTheChinaFlagAndTakeFlagsByRowFromWorkers) {
    Recorder rec;
    auto options = RecordingOptions(rec, Folder());
    options.lists.placeholderFlag = ListRefresh::Program(options.hosts).placeholderFlag;
    MainWindow w(std::move(options));
    w.OnCreated();
    auto box = [&](int row) { return Control<PictureBoxEx>(w, ("图片框EX" + std::to_string(row)).c_str()); };
    for (int row = 1; row <= 8; ++row)
        EXPECT_EQ(box(row)->Image().size(), QSize(512, 512)) << row;

    // A 1 x 1 32-bit BMP, half-transparent red.
    Bytes bmp(58, 0);
    bmp[0] = 'B', bmp[1] = 'M', bmp[10] = 54, bmp[14] = 40, bmp[18] = 1, bmp[22] = 1, bmp[26] = 1,
    bmp[28] = 32;
    bmp[56] = 0xFF, bmp[57] = 0x80;
    std::thread([&] {
        FlagPictureSink::Deliver(3, bmp);
        FlagPictureSink::Deliver(5, Bytes());
        FlagPictureSink::Deliver(9, bmp);
        FlagPictureSink::Deliver(0, bmp);
        FlagPictureSink::Deliver(-1, bmp);
    }).join();
    QCoreApplication::processEvents();
    EXPECT_EQ(box(3)->Image().pixel(0, 0), 0x80FF0000u);
    EXPECT_TRUE(box(5)->Image().isNull());
    for (int row : {1, 2, 4, 6, 7, 8})
        EXPECT_EQ(box(row)->Image().size(), QSize(512, 512)) << row;
}

} // namespace
