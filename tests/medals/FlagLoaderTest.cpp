#include "medals/MedalBoard.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstring>
#include <condition_variable>
#include <map>
#include <mutex>
#include <thread>

#include <gtest/gtest.h>

#include <QBuffer>
#include <QByteArray>
#include <QImage>

#include "medals/EmbeddedFlagTable.h"
#include "medals/FlagPictureSink.h"
#include "medals/FlagThreadEntry.h"
#include "tests/support/LoopbackServer.h"
#include "util/WorkerThread.h"

using namespace velk;
using velk::test::LoopbackServer;
using velk::test::ServerReply;
using velk::test::ServerRequest;

namespace {

const std::string kFlagPath = "/sports/data/olympic/teamImg/";

std::int32_t Field(const Bytes& bmp, std::size_t offset, std::size_t size) {
    std::uint32_t value = 0;
    for (std::size_t i = 0; i < size; ++i)
        value |= std::uint32_t(bmp.at(offset + i)) << (8 * i);
    return size == 4 ? std::int32_t(value) : std::int32_t(value & 0xFFFF);
}

QImage Decode(std::span<const std::uint8_t> bytes) {
    return QImage::fromData(QByteArray(reinterpret_cast<const char*>(bytes.data()), qsizetype(bytes.size())))
        .convertToFormat(QImage::Format_ARGB32);
}

std::string EncodePng(const QImage& image) {
    QByteArray data;
    QBuffer buffer(&data);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return data.toStdString();
}

// The band must be the picture's rows 138 to 385 (as far as it has them), pixel for pixel, in a
// 32-bit BMP stored bottom row first.
void ExpectBandOf(const QImage& picture, const Bytes& band) {
    const int rows = std::clamp(picture.height() - 138, 0, 248);
    ASSERT_EQ(band.size(), 54u + std::size_t(picture.width()) * 4 * rows);
    EXPECT_EQ(Field(band, 18, 4), picture.width());
    EXPECT_EQ(Field(band, 22, 4), rows);
    EXPECT_EQ(Field(band, 28, 2), 32);
    const std::size_t rowSize = std::size_t(picture.width()) * 4;
    for (int j = 0; j < rows; ++j) {
        const std::uint8_t* stored = band.data() + 54 + rowSize * std::size_t(rows - 1 - j);
        ASSERT_EQ(std::memcmp(stored, picture.constScanLine(138 + j), rowSize), 0)
            << "picture row " << 138 + j;
    }
}

// Records what the loader hands to the picture sink and answers flag downloads with a picture
// whose height is named by the code ("H400" is 400 rows high, 40 wide).
class FlagLoader : public ::testing::Test {
protected:
    void SetUp() override {
        FlagPictureSink::Install([this](std::int32_t row, const Bytes& picture) {
            std::lock_guard lock(m_mutex);
            m_pictures.emplace_back(row, picture);
            m_changed.notify_all();
        });
        MedalBoard::SetFlagHost(m_server.HostPort());
    }
    void TearDown() override {
        FlagPictureSink::Install(nullptr);
        MedalBoard::SetFlagHost(m_savedHost);
    }

    // The PNGs are made on the test's thread before the server starts: image work on the
    // server's threads would create Qt's image plugins there (see ImageConverter), which only
    // the converter may decide.
    static const std::map<std::string, std::string>& Files() {
        static const std::map<std::string, std::string> files = [] {
            std::map<std::string, std::string> made;
            for (int height : {137, 138, 139, 200, 300, 385, 400})
                made[kFlagPath + "H" + std::to_string(height) + ".png"] = EncodePng(Picture(height));
            for (const char* name : {"chn.png", "CAN.png", ".png"})
                made[kFlagPath + name] = EncodePng(Picture(512));
            return made;
        }();
        return files;
    }
    static ServerReply Serve(const ServerRequest& request) {
        const auto file = Files().find(request.target);
        if (file != Files().end())
            return ServerReply::Http(200, file->second, "Content-Type: image/png\r\n");
        return ServerReply::Http(404, "<html><body>404 Not Found</body></html>",
                                 "Content-Type: text/html\r\n");
    }
    static QImage Picture(int height) {
        QImage image(40, height, QImage::Format_ARGB32);
        for (int y = 0; y < height; ++y) {
            for (int x = 0; x < 40; ++x)
                image.setPixel(x, y, qRgba(x * 6, y & 0xFF, (y >> 8) * 60, 255));
        }
        return image;
    }

    void Clear() {
        std::lock_guard lock(m_mutex);
        m_pictures.clear();
    }
    std::vector<std::pair<std::int32_t, Bytes>> Pictures() {
        std::lock_guard lock(m_mutex);
        return m_pictures;
    }
    // Only the single picture delivered so far, for the given row.
    Bytes OnlyPicture(std::int32_t row) {
        const auto pictures = Pictures();
        EXPECT_EQ(pictures.size(), 1u);
        if (pictures.size() != 1)
            return Bytes();
        EXPECT_EQ(pictures[0].first, row);
        return pictures[0].second;
    }
    std::vector<std::string> Targets() const {
        std::vector<std::string> targets;
        for (const ServerRequest& request : m_server.Requests())
            targets.push_back(request.target);
        return targets;
    }

    const Text m_savedHost = MedalBoard::FlagHost();
    const bool m_filesMade = !Files().empty();
    LoopbackServer m_server{Serve};
    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::vector<std::pair<std::int32_t, Bytes>> m_pictures;
};

// ---- The embedded table ----------------------------------------------------------------------

struct FlagShape {
    const char* code;
    int size;
    int top, bottom, left, right; // the non-transparent rows and columns
    bool partlyTransparent;       // every row of the band has some see-through pixels
};

const FlagShape kShapes[] = {
    {"ROC", 512, 98, 413, 0, 511, true},     {"USA", 512, 129, 384, 0, 511, false},
    {"KOR", 512, 128, 383, 0, 511, false},   {"GBR", 512, 128, 383, 0, 511, false},
    {"AUS", 512, 128, 383, 0, 511, false},   {"KOS", 500, 71, 427, 0, 499, true},
    {"RCAN", 512, 128, 383, 0, 511, false},  {"CHN", 512, 128, 383, 0, 511, false},
    {"JPN", 512, 128, 383, 0, 511, false},   {"HUN", 512, 128, 383, 0, 511, false},
    {"NED", 512, 128, 383, 0, 511, false},   {"ITA", 512, 128, 383, 0, 511, false},
    {"GER", 512, 128, 383, 0, 511, false},   {"FRA", 512, 128, 383, 0, 511, false},
    {"SUI", 512, 104, 403, 106, 405, false},
};

TEST(EmbeddedFlags, EveryEntryMatchesItsShape) {
    const auto entries = EmbeddedFlagTable::Entries();
    ASSERT_EQ(entries.size(), std::size(kShapes));
    for (std::size_t i = 0; i < entries.size(); ++i) {
        const FlagShape& shape = kShapes[i];
        SCOPED_TRACE(shape.code);
        ASSERT_EQ(entries[i].code, shape.code);
        // An 8-bit RGBA PNG (colour type 6), not interlaced: bytes 24, 25 and 28 of the header.
        const auto png = entries[i].png;
        ASSERT_GT(png.size(), 33u);
        EXPECT_EQ(png[24], 8);
        EXPECT_EQ(png[25], 6);
        EXPECT_EQ(png[28], 0);

        const QImage image = Decode(png);
        ASSERT_EQ(image.width(), shape.size);
        ASSERT_EQ(image.height(), shape.size);
        int top = -1, bottom = -1, left = shape.size, right = -1;
        for (int y = 0; y < image.height(); ++y) {
            const auto* line = reinterpret_cast<const QRgb*>(image.constScanLine(y));
            int seen = 0, opaque = 0;
            for (int x = 0; x < image.width(); ++x) {
                const int alpha = qAlpha(line[x]);
                if (alpha > 0) {
                    ++seen;
                    left = std::min(left, x);
                    right = std::max(right, x);
                }
                opaque += alpha == 255;
            }
            if (seen > 0) {
                top = top < 0 ? y : top;
                bottom = y;
            }
            if (y >= shape.top && y <= shape.bottom) {
                if (shape.partlyTransparent) {
                    EXPECT_LT(opaque, image.width()) << "row " << y;
                    EXPECT_GT(seen, 0) << "row " << y;
                } else {
                    EXPECT_EQ(opaque, shape.right - shape.left + 1) << "row " << y;
                }
            }
        }
        EXPECT_EQ(top, shape.top);
        EXPECT_EQ(bottom, shape.bottom);
        EXPECT_EQ(left, shape.left);
        EXPECT_EQ(right, shape.right);
    }
}

TEST(EmbeddedFlags, CodesMatchExactly) {
    const Bytes chn = EmbeddedFlagTable::Find("CHN");
    ASSERT_FALSE(chn.empty());
    const auto entry = EmbeddedFlagTable::Entries()[7];
    EXPECT_TRUE(std::equal(chn.begin(), chn.end(), entry.png.begin(), entry.png.end()));
    EXPECT_FALSE(EmbeddedFlagTable::Find("RCAN").empty());
    for (const char* code : {"chn", "CAN", "CHN ", "", "RCA", "RCANX"}) {
        SCOPED_TRACE(code);
        EXPECT_TRUE(EmbeddedFlagTable::Find(code).empty());
    }
}

// ---- LoadFlag --------------------------------------------------------------------------------

TEST_F(FlagLoader, EmbeddedFlagsGiveTheirBandWithoutTheNetwork) {
    for (const auto& entry : EmbeddedFlagTable::Entries()) {
        SCOPED_TRACE(std::string(entry.code));
        Clear();
        MedalBoard::LoadFlag(0, Text(entry.code), "3");
        ExpectBandOf(Decode(entry.png), OnlyPicture(3));
    }
    EXPECT_TRUE(m_server.Requests().empty());
}

TEST_F(FlagLoader, BandEdgesOfChinaKosovoAndSwitzerland) {
    // China: 246 rows of flag, then image rows 384 and 385 below the band, transparent.
    MedalBoard::LoadFlag(0, "CHN", "1");
    const Bytes chn = OnlyPicture(1);
    ASSERT_EQ(chn.size(), 54u + 2048 * 248);
    const auto alphaAt = [](const Bytes& bmp, int x, int rowFromTop) {
        const int width = Field(bmp, 18, 4), height = Field(bmp, 22, 4);
        return bmp[54 + std::size_t(height - 1 - rowFromTop) * width * 4 + std::size_t(x) * 4 + 3];
    };
    EXPECT_EQ(alphaAt(chn, 0, 245), 255);
    EXPECT_EQ(alphaAt(chn, 0, 246), 0);
    EXPECT_EQ(alphaAt(chn, 511, 247), 0);

    Clear();
    MedalBoard::LoadFlag(0, "KOS", "2");
    const Bytes kos = OnlyPicture(2);
    EXPECT_EQ(Field(kos, 18, 4), 500);
    EXPECT_EQ(Field(kos, 22, 4), 248);

    // Switzerland: the square's middle rows, with the transparent margins at both sides.
    Clear();
    MedalBoard::LoadFlag(0, "SUI", "4");
    const Bytes sui = OnlyPicture(4);
    ASSERT_EQ(Field(sui, 18, 4), 512);
    for (int row : {0, 123, 247}) {
        EXPECT_EQ(alphaAt(sui, 105, row), 0);
        EXPECT_EQ(alphaAt(sui, 106, row), 255);
        EXPECT_EQ(alphaAt(sui, 405, row), 255);
        EXPECT_EQ(alphaAt(sui, 406, row), 0);
    }
}

TEST_F(FlagLoader, OtherCodesAreDownloadedUnderTheirOwnName) {
    const struct {
        const char* code;
        const char* target;
    } cases[] = {
        {"chn", "/sports/data/olympic/teamImg/chn.png"},
        {"CAN", "/sports/data/olympic/teamImg/CAN.png"},
        {"", "/sports/data/olympic/teamImg/.png"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.code);
        Clear();
        const std::size_t before = m_server.Requests().size();
        MedalBoard::LoadFlag(0, c.code, "5");
        ExpectBandOf(Picture(512), OnlyPicture(5));
        const auto requests = m_server.Requests();
        ASSERT_EQ(requests.size(), before + 1);
        EXPECT_EQ(requests.back().target, c.target);
        EXPECT_EQ(requests.back().raw.substr(0, requests.back().raw.find("\r\n")),
                  std::string("GET ") + c.target + " HTTP/1.0");
        EXPECT_EQ(requests.back().Header("Accept"), "*/*");
    }
}

TEST_F(FlagLoader, DownloadedPicturesOfEveryHeight) {
    // Shorter than the band's top: nothing to show; exactly 138 rows: a picture with no rows.
    for (int height : {137, 138, 139, 300, 385, 400}) {
        SCOPED_TRACE(height);
        Clear();
        MedalBoard::LoadFlag(0, "H" + std::to_string(height), "6");
        const Bytes band = OnlyPicture(6);
        if (height < 138) {
            EXPECT_TRUE(band.empty());
            continue;
        }
        ExpectBandOf(Picture(height), band);
    }
}

TEST_F(FlagLoader, FailedDownloadsClearTheRow) {
    // A page that is no image, and a server that is not there: the row gets the empty picture.
    MedalBoard::LoadFlag(0, "XYZ", "7");
    EXPECT_TRUE(OnlyPicture(7).empty());
    EXPECT_EQ(Targets(), std::vector<std::string>{kFlagPath + "XYZ.png"});

    Clear();
    MedalBoard::SetFlagHost("127.0.0.1:" + std::to_string(velk::test::UnusedPort()));
    MedalBoard::LoadFlag(0, "BRA", "8");
    EXPECT_TRUE(OnlyPicture(8).empty());
}

TEST_F(FlagLoader, OnlyRowsOneToEightGetAPicture) {
    const struct {
        const char* row;
        std::int32_t delivered; // 0: nothing delivered
    } cases[] = {{"1", 1}, {"8", 8}, {"9", 0}, {"0", 0}, {"-1", 0}, {"", 0}, {"row", 0}, {"99999999999", 0}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.row);
        Clear();
        MedalBoard::LoadFlag(0, "FRA", c.row);
        const auto pictures = Pictures();
        if (c.delivered == 0) {
            EXPECT_TRUE(pictures.empty());
            continue;
        }
        ASSERT_EQ(pictures.size(), 1u);
        EXPECT_EQ(pictures[0].first, c.delivered);
        EXPECT_EQ(pictures[0].second.size(), 54u + 2048 * 248);
    }
}

TEST_F(FlagLoader, ThreadEntryLoadsOnItsOwnThread) {
    // As the medal refresh starts it: a worker per row, never waited for.
    WorkerThread::StartWithArguments(FlagThreadEntry, 0, "JPN", "2");
    WorkerThread::StartWithArguments(FlagThreadEntry, 0, "H200", "3");
    // An empty code arrives as a null pointer and is downloaded as ".png".
    WorkerThread::StartWithArguments(FlagThreadEntry, 0, "", "4");
    std::unique_lock lock(m_mutex);
    ASSERT_TRUE(m_changed.wait_for(lock, std::chrono::seconds(30), [&] { return m_pictures.size() == 3; }));
    std::map<std::int32_t, Bytes> byRow(m_pictures.begin(), m_pictures.end());
    lock.unlock();
    ExpectBandOf(Decode(EmbeddedFlagTable::Entries()[8].png), byRow[2]);
    ExpectBandOf(Picture(200), byRow[3]);
    ExpectBandOf(Picture(512), byRow[4]);

    // A null row is no row.
    FlagThreadEntry(0, "ITA", nullptr, nullptr, nullptr);
    EXPECT_EQ(Pictures().size(), 3u);
}

TEST(FlagSink, ReplacingTheSinkWhileFlagsArrive) {
    std::atomic<int> first{0}, second{0};
    FlagPictureSink::Install([&](std::int32_t, const Bytes&) { ++first; });
    std::thread deliverer([] {
        for (int i = 0; i < 2000; ++i)
            FlagPictureSink::Deliver(1, Bytes());
    });
    FlagPictureSink::Install([&](std::int32_t, const Bytes&) { ++second; });
    deliverer.join();
    EXPECT_EQ(first + second, 2000);
    FlagPictureSink::Install(nullptr);
    FlagPictureSink::Deliver(1, Bytes()); // no sink: nothing happens
    EXPECT_EQ(first + second, 2000);
}

TEST(FlagUrl, HostPathCodeAndExtension) {
    const Text saved = MedalBoard::FlagHost();
    MedalBoard::SetFlagHost("img.example:8080");
    EXPECT_EQ(MedalBoard::FlagUrl("CHN"), "http://img.example:8080/sports/data/olympic/teamImg/CHN.png");
    EXPECT_EQ(MedalBoard::FlagUrl(""), "http://img.example:8080/sports/data/olympic/teamImg/.png");
    MedalBoard::SetFlagHost(saved);
}

} // namespace
