#include "app/UiLayer.h"

#include <memory>
#include <thread>
#include <vector>

#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

#include "app/BmpImage.h"
#include "app/LabelEx.h"
#include "app/MainWindow.h"
#include "app/PictureBoxEx.h"
#include "tests/app/QtTestApp.h"

using namespace velk;

namespace {

// A BMP file as our image converter writes it: 40-byte info header, pixels at 54 (1078 with the
// palette of an 8-bit image), rows bottom-up unless height is negative.
Bytes MakeBmp(int width, int height, int bits, const std::vector<std::uint32_t>& argbTopDown) {
    const int absHeight = std::abs(height);
    const int rowSize = ((width * bits + 31) >> 5) << 2;
    const int offset = bits == 8 ? 1078 : 54;
    Bytes b(std::size_t(offset + rowSize * absHeight), 0);
    auto put32 = [&](std::size_t at, std::uint32_t v) {
        for (int i = 0; i < 4; ++i)
            b[at + i] = std::uint8_t(v >> (8 * i));
    };
    b[0] = 'B';
    b[1] = 'M';
    put32(2, std::uint32_t(b.size()));
    put32(10, std::uint32_t(offset));
    put32(14, 40);
    put32(18, std::uint32_t(width));
    put32(22, std::uint32_t(height));
    b[26] = 1;
    b[28] = std::uint8_t(bits);
    for (int y = 0; y < absHeight; ++y) {
        const int stored = height > 0 ? absHeight - 1 - y : y;
        for (int x = 0; x < width; ++x) {
            const std::uint32_t p = argbTopDown[std::size_t(y * width + x)];
            const std::size_t at = std::size_t(offset + stored * rowSize + x * bits / 8);
            if (bits == 8) {
                b[at] = std::uint8_t(p & 0xFF); // palette index
                continue;
            }
            b[at] = std::uint8_t(p);
            b[at + 1] = std::uint8_t(p >> 8);
            b[at + 2] = std::uint8_t(p >> 16);
            if (bits == 32)
                b[at + 3] = std::uint8_t(p >> 24);
        }
    }
    if (bits == 8)
        for (int i = 0; i < 256; ++i)
            put32(std::size_t(54 + i * 4), std::uint32_t(i * 0x010101)); // grey ramp
    return b;
}

TEST(BmpImage, DecodesOurBmpFilesKeepingAlpha) {
    const std::vector<std::uint32_t> px = {0x00FF0000, 0x8000FF00, 0xFF0000FF,
                                           0xFFFFFFFF, 0x00000000, 0x40102030};
    struct Case {
        const char* name;
        Bytes file;
        std::vector<QRgb> expected;
        QImage::Format format;
    };
    const Case cases[] = {
        {"32-bit with alpha, bottom-up",
         MakeBmp(3, 2, 32, px),
         {px.begin(), px.end()},
         QImage::Format_ARGB32},
        {"32-bit with alpha, top-down",
         MakeBmp(3, -2, 32, px),
         {px.begin(), px.end()},
         QImage::Format_ARGB32},
        {"32-bit, alpha all zero: opaque",
         MakeBmp(3, 2, 32, {0xFF0000, 0xFF00, 0xFF, 0, 0x123456, 0xFFFFFF}),
         {0xFFFF0000, 0xFF00FF00, 0xFF0000FF, 0xFF000000, 0xFF123456, 0xFFFFFFFF},
         QImage::Format_RGB32},
        {"24-bit, padded rows",
         MakeBmp(3, 2, 24, {0xFF0000, 0xFF00, 0xFF, 0, 0x123456, 0xFFFFFF}),
         {0xFFFF0000, 0xFF00FF00, 0xFF0000FF, 0xFF000000, 0xFF123456, 0xFFFFFFFF},
         QImage::Format_RGB32},
        {"8-bit palette",
         MakeBmp(3, 2, 8, {0, 1, 2, 0x80, 0xFE, 0xFF}),
         {0xFF000000, 0xFF010101, 0xFF020202, 0xFF808080, 0xFFFEFEFE, 0xFFFFFFFF},
         QImage::Format_RGB32},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const QImage image = BmpImage::Decode(c.file);
        ASSERT_EQ(image.size(), QSize(3, 2));
        EXPECT_EQ(image.format(), c.format);
        for (int i = 0; i < 6; ++i)
            EXPECT_EQ(image.pixel(i % 3, i / 3), c.expected[std::size_t(i)]) << i;
    }
}

TEST(BmpImage, RefusesWhatIsNoImageWithoutReadingPastIt) {
    Bytes truncated = MakeBmp(64, 64, 32, std::vector<std::uint32_t>(64 * 64, 0xFF00FF00));
    truncated.resize(truncated.size() - 1);
    Bytes hugeClaim = MakeBmp(2, 2, 24, {0, 0, 0, 0});
    hugeClaim[18] = 0xFF; // width 255 with data for 2
    Bytes negativeWidth = MakeBmp(2, 2, 24, {0, 0, 0, 0});
    negativeWidth[21] = 0x80;
    for (const Bytes& bad :
         {Bytes(), Bytes{'B', 'M'}, Bytes{'x', 'y', 'z'}, truncated, hugeClaim, negativeWidth})
        EXPECT_TRUE(BmpImage::Decode(bad).isNull());
}

class UiLayerTest : public ::testing::Test {
protected:
    void SetUp() override {
        test::EnsureApplication();
        MainWindow::Options options;
        options.settingsFolder = m_folder.path();
        m_window = std::make_unique<MainWindow>(std::move(options));
    }
    LabelEx* Label(const char* name) { return dynamic_cast<LabelEx*>(UiLayer::Find(m_window->Ref(name))); }

    QTemporaryDir m_folder;
    std::unique_ptr<MainWindow> m_window;
};

TEST_F(UiLayerTest, TitlesAreCodePage936AndAlwaysPlainText) {
    UiLayer::SetTitle(m_window->Ref("标签EX6"),
                      "\xD6\xD0\xB9\xFA <b>x</b> <img src=\"http://127.0.0.1:1/\">");
    EXPECT_EQ(Label("标签EX6")->text(), QString::fromUtf8("中国 <b>x</b> <img src=\"http://127.0.0.1:1/\">"));
    EXPECT_EQ(Label("标签EX6")->textFormat(), Qt::PlainText);
    // Wrong kind or unknown name: nothing happens.
    UiLayer::SetTitle(m_window->Ref("图片框EX1"), "x");
    UiLayer::SetTitle(m_window->Ref("no such control"), "x");
    UiLayer::SetTitle(ControlRef{-5, "标签EX6"}, "x");
    UiLayer::SetPicture(m_window->Ref("标签EX6"), MakeBmp(1, 1, 24, {0}));
    EXPECT_EQ(Label("标签EX6")->text().left(2), QString::fromUtf8("中国"));
}

TEST_F(UiLayerTest, WorkerWritesArriveOnTheInterfaceThread) {
    const char* names[] = {"热搜1", "热搜2", "热搜3", "热搜4", "热搜5",
                           "热搜6", "热搜7", "热搜8", "热搜9", "热搜10"};
    std::vector<std::thread> workers;
    for (int k = 0; k < 10; ++k) {
        workers.emplace_back([&, k] {
            UiLayer::SetTitle(m_window->Ref(names[k]), "item " + std::to_string(k + 1));
            UiLayer::SetPicture(m_window->Ref(("图片框EX" + std::to_string(k % 8 + 1)).c_str()),
                                MakeBmp(2, 1, 32, {0x80FF0000, 0x00000000}));
        });
    }
    for (auto& t : workers)
        t.join();
    // Queued, not applied on the worker threads.
    EXPECT_EQ(Label("热搜1")->text(), QString::fromUtf8("中国"));
    QCoreApplication::processEvents();
    for (int k = 0; k < 10; ++k)
        EXPECT_EQ(Label(names[k])->text(), QStringLiteral("item %1").arg(k + 1));
    auto* box = dynamic_cast<PictureBoxEx*>(UiLayer::Find(m_window->Ref("图片框EX1")));
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(box->Image().pixel(0, 0), 0x80FF0000u);
    UiLayer::SetPicture(m_window->Ref("图片框EX1"), Bytes());
    EXPECT_TRUE(box->Image().isNull());
}

TEST_F(UiLayerTest, WritesForAWindowThatIsGoneAreDropped) {
    const ControlRef label = m_window->Ref("标签EX6");
    const ControlRef box = m_window->Ref("图片框EX1");
    // Posted before the window goes, delivered after.
    std::thread([&] {
        UiLayer::SetTitle(label, "late");
        UiLayer::SetPicture(box, MakeBmp(1, 1, 24, {0}));
    }).join();
    m_window.reset();
    QCoreApplication::processEvents();
    // Posted after the window went.
    std::thread([&] {
        UiLayer::SetTitle(label, "later");
        UiLayer::SetPicture(box, MakeBmp(1, 1, 24, {0}));
    }).join();
    QCoreApplication::processEvents();
    EXPECT_EQ(UiLayer::Find(label), nullptr);
    EXPECT_EQ(UiLayer::GetWindowBounds(label.window, UiLayer::kWidth), 0);
}

TEST_F(UiLayerTest, WindowBoundsAndPosition) {
    m_window->show();
    UiLayer::SetWindowPosition(m_window->Id(), UiLayer::kLeft, 120);
    UiLayer::SetWindowPosition(m_window->Id(), UiLayer::kTop, 80);
    EXPECT_EQ(UiLayer::GetWindowBounds(m_window->Id(), UiLayer::kLeft), 120);
    EXPECT_EQ(UiLayer::GetWindowBounds(m_window->Id(), UiLayer::kTop), 80);
    EXPECT_EQ(UiLayer::GetWindowBounds(m_window->Id(), UiLayer::kWidth), 327);
    EXPECT_EQ(UiLayer::GetWindowBounds(m_window->Id(), UiLayer::kHeight), 288);
}

} // namespace
