#include "util/ImageConverter.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <random>
#include <thread>

#include <unistd.h>

#include <gtest/gtest.h>
#include <zlib.h>

#include <QBuffer>
#include <QByteArray>
#include <QImage>
#include <QImageReader>

#include "tests/support/RealData.h"
#include "util/Encoding.h"
#include "util/PngBmpDecoder.h"

using namespace velk;
namespace fs = std::filesystem;

namespace {

std::uint32_t Field(const Bytes& bmp, std::size_t offset, std::size_t size) {
    std::uint32_t value = 0;
    for (std::size_t i = 0; i < size; ++i)
        value |= std::uint32_t(bmp.at(offset + i)) << (8 * i);
    return value;
}

Bytes Encode(const QImage& image, const char* format) {
    QByteArray data;
    QBuffer buffer(&data);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, format);
    return Bytes(data.begin(), data.end());
}

QImage DecodeWithQt(const Bytes& bytes) {
    return QImage::fromData(QByteArray(reinterpret_cast<const char*>(bytes.data()), qsizetype(bytes.size())));
}

// A picture whose every pixel differs from its neighbours, so a shifted or flipped row shows.
QImage Pattern(int width, int height, QImage::Format format) {
    QImage image(width, height, QImage::Format_ARGB32);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x)
            image.setPixel(
                x, y, qRgba((x * 7 + y) & 0xFF, (y * 3) & 0xFF, (x + y * 5) & 0xFF, (x * 11 + y) & 0xFF));
    }
    return image.convertToFormat(format);
}

// An uncompressed bottom-up BMP written byte by byte: 8-bit images get a 256-entry palette of
// distinct colours, 16-bit ones are 5-5-5. Pixel bytes follow a pattern of row and column.
Bytes MakeBmp(std::int32_t width, std::int32_t height, std::uint16_t bits) {
    const std::size_t offset = bits == 8 ? 1078 : 54;
    const std::size_t row = ((std::size_t(width) * bits + 31) >> 5) << 2;
    Bytes bmp(offset + row * std::size_t(height), 0);
    const auto put = [&](std::size_t at, std::uint32_t value, int size) {
        for (int i = 0; i < size; ++i)
            bmp[at + i] = std::uint8_t(value >> (8 * i));
    };
    bmp[0] = 'B';
    bmp[1] = 'M';
    put(2, std::uint32_t(bmp.size()), 4);
    put(10, std::uint32_t(offset), 4);
    put(14, 40, 4);
    put(18, std::uint32_t(width), 4);
    put(22, std::uint32_t(height), 4);
    put(26, 1, 2);
    put(28, bits, 2);
    if (bits == 8) {
        for (int i = 0; i < 256; ++i)
            put(54 + 4 * std::size_t(i),
                std::uint32_t(i) | std::uint32_t(255 - i) << 8 | std::uint32_t(i * 3 & 0xFF) << 16, 4);
    }
    for (std::int32_t y = 0; y < height; ++y) {
        for (std::size_t k = 0; k < std::size_t(width) * bits / 8; ++k)
            bmp[offset + row * std::size_t(y) + k] = std::uint8_t(k * 13 + std::size_t(y) * 7 + 1);
    }
    return bmp;
}

// The cut must show what Qt's own reader sees in that rectangle of the source.
void ExpectSameRgb(const QImage& expected, const Bytes& cut) {
    const QImage actual = DecodeWithQt(cut);
    ASSERT_EQ(actual.size(), expected.size());
    for (int y = 0; y < expected.height(); ++y) {
        for (int x = 0; x < expected.width(); ++x)
            ASSERT_EQ(actual.pixel(x, y) & 0xFFFFFF, expected.pixel(x, y) & 0xFFFFFF)
                << "at " << x << "," << y;
    }
}

// An 8-bit RGBA PNG written by hand: row y uses filter filters[y % size], and the compressed
// data is split into IDAT chunks of `split` bytes.
Bytes HandmadePng(const QImage& image, const std::vector<int>& filters, std::size_t split) {
    const auto be32 = [](Bytes& out, std::uint32_t v) {
        for (int shift : {24, 16, 8, 0})
            out.push_back(std::uint8_t(v >> shift));
    };
    const std::size_t rowBytes = std::size_t(image.width()) * 4;
    Bytes raw, previous(rowBytes, 0);
    for (int y = 0; y < image.height(); ++y) {
        Bytes row;
        for (int x = 0; x < image.width(); ++x) {
            const QRgb p = image.pixel(x, y);
            row.insert(row.end(), {std::uint8_t(qRed(p)), std::uint8_t(qGreen(p)), std::uint8_t(qBlue(p)),
                                   std::uint8_t(qAlpha(p))});
        }
        const int filter = filters[std::size_t(y) % filters.size()];
        raw.push_back(std::uint8_t(filter));
        for (std::size_t i = 0; i < rowBytes; ++i) {
            const int a = i >= 4 ? row[i - 4] : 0, b = previous[i], c = i >= 4 ? previous[i - 4] : 0;
            const int p = a + b - c;
            const int paeth = std::abs(p - a) <= std::abs(p - b) && std::abs(p - a) <= std::abs(p - c) ? a
                              : std::abs(p - b) <= std::abs(p - c)                                     ? b
                                                                                                       : c;
            const int predictor[5] = {0, a, b, (a + b) / 2, paeth};
            raw.push_back(std::uint8_t(row[i] - predictor[filter]));
        }
        previous = row;
    }
    uLongf size = compressBound(uLong(raw.size()));
    Bytes compressed(size);
    compress2(compressed.data(), &size, raw.data(), uLong(raw.size()), 9);
    compressed.resize(size);

    Bytes png = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    const auto chunk = [&](const char* type, const Bytes& data) {
        be32(png, std::uint32_t(data.size()));
        const std::size_t start = png.size();
        png.insert(png.end(), type, type + 4);
        png.insert(png.end(), data.begin(), data.end());
        be32(png, std::uint32_t(crc32(0, png.data() + start, uInt(data.size() + 4))));
    };
    Bytes header;
    be32(header, std::uint32_t(image.width()));
    be32(header, std::uint32_t(image.height()));
    header.insert(header.end(), {8, 6, 0, 0, 0});
    chunk("IHDR", header);
    chunk("tEXt", ToBytes(std::string("Comment\0handmade", 16)));
    for (std::size_t at = 0; at < compressed.size(); at += split)
        chunk("IDAT",
              Bytes(compressed.begin() + at, compressed.begin() + std::min(at + split, compressed.size())));
    chunk("IEND", Bytes());
    return png;
}

class TempDir : public ::testing::Test {
protected:
    void SetUp() override {
        m_dir = fs::temp_directory_path() / ("velk_image_" + std::to_string(::getpid()) + "_" +
                                             ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(m_dir);
        fs::create_directories(m_dir);
    }
    void TearDown() override { fs::remove_all(m_dir); }
    Text PathText(const std::string& name) const { return (m_dir / name).string(); }
    std::vector<std::string> Files() const {
        std::vector<std::string> names;
        for (const auto& entry : fs::directory_iterator(m_dir))
            names.push_back(entry.path().filename().string());
        std::sort(names.begin(), names.end());
        return names;
    }
    fs::path m_dir;
};

// ---- Convert ---------------------------------------------------------------------------------

struct BmpCase {
    const char* name;
    QImage::Format sourceFormat;
    std::uint32_t bits;
    std::uint32_t pixelOffset;
};

TEST(ImageConvert, PngToBmpKeepsAlphaOpacityOrPalette) {
    const BmpCase cases[] = {
        {"rgba", QImage::Format_ARGB32, 32, 54},
        {"opaque", QImage::Format_RGB32, 24, 54},
        {"palette", QImage::Format_Indexed8, 8, 1078},
    };
    for (const BmpCase& c : cases) {
        SCOPED_TRACE(c.name);
        // Odd width so that 24-bit rows carry padding.
        const QImage source = Pattern(13, 7, c.sourceFormat);
        Bytes bmp;
        ASSERT_TRUE(ImageConverter::Convert(Encode(source, "PNG"), ImageConverter::Bmp, Text(), &bmp));
        const std::uint32_t rowSize = ((13 * c.bits + 31) >> 5) << 2;
        ASSERT_EQ(bmp.size(), c.pixelOffset + rowSize * 7);
        EXPECT_EQ(bmp[0], 'B');
        EXPECT_EQ(bmp[1], 'M');
        EXPECT_EQ(Field(bmp, 2, 4), bmp.size());
        EXPECT_EQ(Field(bmp, 10, 4), c.pixelOffset);
        EXPECT_EQ(Field(bmp, 14, 4), 40u);
        EXPECT_EQ(Field(bmp, 18, 4), 13u);
        EXPECT_EQ(Field(bmp, 22, 4), 7u);
        EXPECT_EQ(Field(bmp, 28, 2), c.bits);
        EXPECT_EQ(Field(bmp, 30, 4), 0u);
        // Qt reads our file back to the same colours.
        ExpectSameRgb(source.convertToFormat(QImage::Format_ARGB32), bmp);
        if (c.bits == 32) {
            // Bottom row first, B G R A, alpha not premultiplied.
            const QRgb topLeft = source.pixel(0, 0);
            const std::size_t topRow = 54 + rowSize * 6;
            EXPECT_EQ(bmp[topRow + 0], qBlue(topLeft));
            EXPECT_EQ(bmp[topRow + 2], qRed(topLeft));
            EXPECT_EQ(bmp[topRow + 3], qAlpha(topLeft));
            EXPECT_EQ(bmp[54 + 4 * 5 + 3], qAlpha(source.pixel(5, 6)));
        }
    }
}

TEST(ImageConvert, RgbaPngGivesQtsPixelsWhateverTheFiltersAndChunks) {
    // Alpha 0 pixels keep their colour too: the BMP holds what the file holds.
    const QImage image = Pattern(7, 11, QImage::Format_ARGB32);
    const struct {
        const char* name;
        std::vector<int> filters;
        std::size_t split;
    } cases[] = {
        {"every filter, one IDAT", {0, 1, 2, 3, 4}, 1 << 20},
        {"paeth and average, tiny IDATs", {4, 3}, 1},
        {"sub only, IDATs of 5", {1}, 5},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const Bytes png = HandmadePng(image, c.filters, c.split);
        const QImage oracle = DecodeWithQt(png).convertToFormat(QImage::Format_ARGB32);
        ASSERT_EQ(oracle.size(), image.size());
        Bytes bmp, direct;
        ASSERT_TRUE(ImageConverter::Convert(png, ImageConverter::Bmp, Text(), &bmp));
        ASSERT_TRUE(PngBmpDecoder::Decode(png, direct));
        EXPECT_EQ(direct, bmp);
        ASSERT_EQ(bmp.size(), 54u + 7 * 4 * 11);
        EXPECT_EQ(Field(bmp, 28, 2), 32u);
        for (int y = 0; y < 11; ++y) {
            EXPECT_EQ(std::memcmp(bmp.data() + 54 + 28 * (10 - y), oracle.constScanLine(y), 28), 0)
                << "row " << y;
        }
    }

    // Damage that Qt refuses is refused here as well.
    Bytes badCrc = HandmadePng(image, {0}, 1 << 20);
    badCrc[badCrc.size() - 20] ^= 0x55; // inside the IDAT data
    Bytes shortData = HandmadePng(image.copy(0, 0, 7, 5), {0}, 1 << 20);
    // Claim 11 rows for 5 rows of data: rewrite the height and the header's CRC.
    shortData[23] = 11;
    const std::uint32_t crc = std::uint32_t(crc32(0, shortData.data() + 12, 17));
    for (int i = 0; i < 4; ++i)
        shortData[29 + i] = std::uint8_t(crc >> (24 - 8 * i));
    for (const Bytes* damaged : {&badCrc, &shortData}) {
        Bytes result = ToBytes("kept");
        EXPECT_FALSE(ImageConverter::Convert(*damaged, ImageConverter::Bmp, Text(), &result));
        EXPECT_FALSE(PngBmpDecoder::Decode(*damaged, result));
        EXPECT_EQ(ToText(result), "kept");
    }
}

TEST(ImageConvert, DamagedRgbaPngsAreRefusedCleanly) {
    // Cut short anywhere, or with IDAT bytes changed under a recomputed CRC (so that inflating and
    // unfiltering see the damage), the direct decoder refuses or gives a picture of the declared
    // size; it never reads or writes outside its buffers.
    const Bytes png = HandmadePng(Pattern(9, 8, QImage::Format_ARGB32), {0, 1, 2, 3, 4}, 1 << 20);
    for (std::size_t length = 0; length < png.size(); ++length) {
        Bytes result;
        EXPECT_FALSE(PngBmpDecoder::Decode(Bytes(png.begin(), png.begin() + std::ptrdiff_t(length)), result));
    }
    const char tag[] = "IDAT";
    const std::size_t idat = std::size_t(std::search(png.begin(), png.end(), tag, tag + 4) - png.begin());
    const std::size_t dataLength = std::size_t(png[idat - 4]) << 24 | std::size_t(png[idat - 3]) << 16 |
                                   std::size_t(png[idat - 2]) << 8 | png[idat - 1];
    std::mt19937 random(7);
    for (int round = 0; round < 500; ++round) {
        Bytes damaged = png;
        for (int k = 0; k < 1 + round % 3; ++k)
            damaged[idat + 4 + random() % dataLength] = std::uint8_t(random());
        const std::uint32_t crc = std::uint32_t(crc32(0, damaged.data() + idat, uInt(dataLength + 4)));
        for (int i = 0; i < 4; ++i)
            damaged[idat + 4 + dataLength + std::size_t(i)] = std::uint8_t(crc >> (24 - 8 * i));
        Bytes result;
        if (PngBmpDecoder::Decode(damaged, result)) {
            EXPECT_EQ(result.size(), 54u + 9 * 4 * 8);
        }
    }
}

TEST(ImageConvert, OtherPngsGoThroughQt) {
    // Not 8-bit RGBA without interlacing: the direct decoder declines, Convert still succeeds.
    QImage grey(6, 4, QImage::Format_Grayscale16);
    grey.fill(Qt::gray);
    const struct {
        const char* name;
        Bytes png;
    } cases[] = {
        {"RGB", Encode(Pattern(6, 4, QImage::Format_RGB32), "PNG")},
        {"palette", Encode(Pattern(6, 4, QImage::Format_Indexed8), "PNG")},
        {"16-bit grey", Encode(grey, "PNG")},
        {"RGBA 16-bit", Encode(Pattern(6, 4, QImage::Format_RGBA64), "PNG")},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Bytes direct;
        EXPECT_FALSE(PngBmpDecoder::Decode(c.png, direct));
        EXPECT_TRUE(direct.empty());
        Bytes bmp;
        EXPECT_TRUE(ImageConverter::Convert(c.png, ImageConverter::Bmp, Text(), &bmp));
        EXPECT_EQ(Field(bmp, 18, 4), 6u);
    }
}

bool HasPluginThread() {
    for (const auto& task : fs::directory_iterator("/proc/self/task")) {
        std::string name;
        std::getline(std::ifstream(task.path() / "comm"), name);
        if (name == "velk-imageplug")
            return true;
    }
    return false;
}

TEST(ImageConvertDeathTest, ImagePluginsLiveOnAThreadThatStays) {
    // Made on a thread that ends, Qt's image plugins break the process's exit; each child below
    // starts fresh and converts on a worker thread that ends. With Prepare the plugins are the
    // calling thread's; without it a parked thread of the converter's stays behind to hold them.
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    const Bytes png = HandmadePng(Pattern(3, 3, QImage::Format_ARGB32), {0}, 1 << 20);
    const auto convertOnWorker = [&] {
        std::int32_t width = 0;
        std::thread worker([&] {
            Bytes jpeg;
            ImageConverter::Convert(png, ImageConverter::Jpeg, Text(), &jpeg);
            width = ImageConverter::GetWidth(jpeg);
        });
        worker.join();
        return width;
    };
    for (const bool prepared : {true, false}) {
        SCOPED_TRACE(prepared ? "prepared" : "not prepared");
        EXPECT_EXIT(
            {
                if (prepared)
                    ImageConverter::Prepare();
                const bool converted = convertOnWorker() == 3;
                std::exit(converted && HasPluginThread() == !prepared ? 0 : 1);
            },
            ::testing::ExitedWithCode(0), "");
    }
}

TEST(ImageConvert, EveryFormatDecodesBackToTheSameImage) {
    const QImage source = Pattern(20, 9, QImage::Format_RGB32);
    const Bytes png = Encode(source, "PNG");
    const struct {
        ImageFormat format;
        const char* qtName;
        bool lossless;
    } cases[] = {
        {ImageConverter::Bmp, "bmp", true},  {ImageConverter::Jpeg, "jpeg", false},
        {ImageConverter::Gif, "gif", false}, {ImageConverter::Tiff, "tiff", true},
        {ImageConverter::Png, "png", true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.qtName);
        Bytes out;
        ASSERT_TRUE(ImageConverter::Convert(png, c.format, Text(), &out));
        QBuffer buffer;
        buffer.setData(QByteArray(reinterpret_cast<const char*>(out.data()), qsizetype(out.size())));
        buffer.open(QIODevice::ReadOnly);
        QImageReader reader(&buffer);
        EXPECT_EQ(reader.format(), QByteArray(c.qtName));
        const QImage back = reader.read();
        ASSERT_EQ(back.size(), source.size());
        if (c.lossless) {
            EXPECT_EQ(back.convertToFormat(QImage::Format_RGB32), source);
        }
    }
}

TEST(ImageConvert, GifKeepsTransparencyAndFewColours) {
    QImage source(16, 4, QImage::Format_ARGB32);
    source.fill(qRgba(200, 10, 10, 255));
    for (int x = 0; x < 16; ++x)
        source.setPixel(x, 0, qRgba(0, 0, 0, 0));
    Bytes gif;
    ASSERT_TRUE(ImageConverter::Convert(Encode(source, "PNG"), ImageConverter::Gif, Text(), &gif));
    ASSERT_EQ(ToText(Bytes(gif.begin(), gif.begin() + 6)), "GIF89a");
    const QImage back = DecodeWithQt(gif).convertToFormat(QImage::Format_ARGB32);
    EXPECT_EQ(qAlpha(back.pixel(3, 0)), 0);
    EXPECT_EQ(back.pixel(3, 2), qRgba(200, 10, 10, 255));
}

TEST(ImageConvert, FlattenOnWhiteComposesBeforeEncoding) {
    QImage source(3, 2, QImage::Format_ARGB32);
    source.fill(qRgba(255, 0, 0, 0));
    source.setPixel(1, 1, qRgba(0, 0, 255, 255));
    Bytes bmp;
    ASSERT_TRUE(ImageConverter::Convert(Encode(source, "PNG"), ImageConverter::Bmp, Text(), &bmp, true));
    EXPECT_EQ(Field(bmp, 28, 2), 24u);
    const QImage back = DecodeWithQt(bmp);
    EXPECT_EQ(back.pixel(0, 0) & 0xFFFFFF, 0xFFFFFFu);
    EXPECT_EQ(back.pixel(1, 1) & 0xFFFFFF, 0x0000FFu);
}

TEST(ImageConvert, ResultMayBeTheSourceItself) {
    Bytes flag = Encode(Pattern(5, 5, QImage::Format_ARGB32), "PNG");
    ASSERT_TRUE(ImageConverter::Convert(flag, ImageConverter::Bmp, Text(), &flag));
    EXPECT_EQ(flag[0], 'B');
    EXPECT_EQ(flag.size(), 54u + 5 * 5 * 4);
}

TEST_F(TempDir, ConvertFailuresLeaveResultAndDiskAlone) {
    const Bytes png = Encode(Pattern(4, 4, QImage::Format_RGB32), "PNG");
    const struct {
        const char* name;
        Bytes source;
        ImageFormat format;
    } cases[] = {
        {"two bytes", Bytes{0x89, 'P'}, ImageConverter::Bmp},
        {"empty", Bytes(), ImageConverter::Png},
        {"not an image", ToBytes("<html><body>404 Not Found</body></html>"), ImageConverter::Bmp},
        {"truncated png", Bytes(png.begin(), png.begin() + 40), ImageConverter::Bmp},
        {"format 0", png, 0},
        {"format 6", png, 6},
        {"format 7", png, 7},
        {"format -1", png, -1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Bytes result = ToBytes("kept");
        EXPECT_FALSE(ImageConverter::Convert(c.source, c.format, PathText("out"), &result));
        EXPECT_EQ(ToText(result), "kept");
    }
    EXPECT_TRUE(Files().empty());
}

TEST_F(TempDir, FileNameGetsTheExtensionUnlessItEndsWithIt) {
    const Bytes png = Encode(Pattern(4, 4, QImage::Format_RGB32), "PNG");
    const struct {
        const char* fileName;
        ImageFormat format;
        const char* written; // nullptr: nothing written
    } cases[] = {
        {"flag", ImageConverter::Png, "flag.png"},
        {"flag.PNG", ImageConverter::Png, "flag.PNG"},
        {"photo.jpg", ImageConverter::Jpeg, "photo.jpg"},
        {"scan.tif", ImageConverter::Tiff, "scan.tif.tiff"},
        {" padded ", ImageConverter::Bmp, " padded .bmp"},
        {"pic.gif", ImageConverter::Bmp, "pic.gif.bmp"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.fileName);
        Bytes result;
        ASSERT_TRUE(ImageConverter::Convert(png, c.format, PathText(c.fileName), &result));
        const fs::path written = m_dir / c.written;
        ASSERT_TRUE(fs::exists(written));
        EXPECT_EQ(test::ReadFileBytes(written), ToText(result));
        fs::remove(written);
        EXPECT_TRUE(Files().empty());
    }

    // A blank name writes nothing but still converts; an existing file is replaced.
    Bytes result;
    EXPECT_TRUE(ImageConverter::Convert(png, ImageConverter::Png, "   ", &result));
    EXPECT_FALSE(result.empty());
    EXPECT_TRUE(Files().empty());
    std::ofstream(m_dir / "old.bmp") << "previous content that is longer than nothing";
    ASSERT_TRUE(ImageConverter::Convert(png, ImageConverter::Bmp, PathText("old"), &result));
    EXPECT_EQ(test::ReadFileBytes(m_dir / "old.bmp"), ToText(result));
}

// ---- GetWidth, IsExistingFile, ClsidFromText -------------------------------------------------

TEST_F(TempDir, GetWidthOfBytesOrOfTheFileTheyName) {
    const Bytes png = Encode(Pattern(37, 3, QImage::Format_ARGB32), "PNG");
    EXPECT_EQ(ImageConverter::GetWidth(png), 37);
    Bytes bmp;
    ASSERT_TRUE(ImageConverter::Convert(png, ImageConverter::Bmp, PathText("wide"), &bmp));
    EXPECT_EQ(ImageConverter::GetWidth(bmp), 37);
    EXPECT_EQ(ImageConverter::GetWidth(Bytes()), 0);
    EXPECT_EQ(ImageConverter::GetWidth(ToBytes("<html>not an image</html>")), 0);

    Bytes path = ToBytes(PathText("wide.bmp"));
    EXPECT_EQ(ImageConverter::GetWidth(path), 37);
    // The path ends at the first zero byte.
    path.insert(path.end(), {0, 'x', 'y'});
    EXPECT_EQ(ImageConverter::GetWidth(path), 37);
    EXPECT_EQ(ImageConverter::GetWidth(ToBytes(PathText("missing.bmp"))), 0);
    EXPECT_EQ(ImageConverter::GetWidth(ToBytes(m_dir.string())), 0);
}

TEST_F(TempDir, IsExistingFileWantsAFileNotADirectory) {
    std::ofstream(m_dir / "a.png") << "x";
    fs::create_directories(m_dir / "sub.d");
    // "国旗.txt" in code page 936 is looked up under its UTF-8 name on disk.
    const Text chineseName = Utf8ToAnsiText("\xE5\x9B\xBD\xE6\x97\x97.txt");
    std::ofstream(m_dir / "\xE5\x9B\xBD\xE6\x97\x97.txt") << "x";
    const struct {
        Text path;
        bool exists;
    } cases[] = {
        {PathText("a.png"), true},
        {PathText("sub.d"), false},
        {PathText("none.png"), false},
        {PathText("*.png"), true},
        {PathText("?.png"), true},
        {PathText("*.d"), false},
        {PathText("*.jpg"), false},
        {Utf8ToAnsiText(m_dir.string() + "/") + chineseName, true},
        {Text(), false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.path);
        EXPECT_EQ(ImageConverter::IsExistingFile(c.path), c.exists);
    }
}

TEST(ImageClsid, ParsesTheBracedTextForm) {
    const Clsid png = ImageConverter::ClsidFromText("{557CF406-1A04-11D3-9A73-0000F81EF32E}");
    EXPECT_EQ(png.data1, 0x557CF406u);
    EXPECT_EQ(png.data2, 0x1A04u);
    EXPECT_EQ(png.data3, 0x11D3u);
    const std::uint8_t tail[8] = {0x9A, 0x73, 0x00, 0x00, 0xF8, 0x1E, 0xF3, 0x2E};
    EXPECT_EQ(std::memcmp(png.data4, tail, 8), 0);
    EXPECT_EQ(ImageConverter::ClsidFromText("{557cf406-1a04-11d3-9a73-0000f81ef32e}"), png);
    EXPECT_NE(ImageConverter::ClsidFromText("{557CF400-1A04-11D3-9A73-0000F81EF32E}"), png);

    for (const char* bad :
         {"", "557CF406-1A04-11D3-9A73-0000F81EF32E", "{557CF406-1A04-11D3-9A73-0000F81EF32}",
          "{557CF406_1A04-11D3-9A73-0000F81EF32E}", "{557CF406-1A04-11D3-9A73-0000F81EF3ZE}"}) {
        SCOPED_TRACE(bad);
        EXPECT_TRUE(ImageConverter::ClsidFromText(bad).IsNull());
    }
}

// ---- CropBitmap ------------------------------------------------------------------------------

TEST(ImageCrop, FlagBandOfA512Square) {
    const Bytes source = MakeBmp(512, 512, 32);
    const Bytes cut = ImageConverter::CropBitmap(source, 0, 138, 512, 248);
    ASSERT_EQ(cut.size(), 54u + 2048 * 248);
    EXPECT_EQ(Field(cut, 2, 4), cut.size());
    EXPECT_EQ(Field(cut, 10, 4), 54u);
    EXPECT_EQ(Field(cut, 14, 4), 40u);
    EXPECT_EQ(Field(cut, 18, 4), 512u);
    EXPECT_EQ(Field(cut, 22, 4), 248u);
    EXPECT_EQ(Field(cut, 26, 2), 1u);
    EXPECT_EQ(Field(cut, 28, 2), 32u);
    EXPECT_EQ(Field(cut, 30, 4), 0u);
    // Top row of the cut is source row 138 from the top, stored last; its bottom row is 385.
    const auto sourceRowFromTop = [&](int r) { return source.begin() + 54 + 2048 * (511 - r); };
    EXPECT_TRUE(std::equal(cut.end() - 2048, cut.end(), sourceRowFromTop(138)));
    EXPECT_TRUE(std::equal(cut.begin() + 54, cut.begin() + 54 + 2048, sourceRowFromTop(385)));
    ExpectSameRgb(DecodeWithQt(source).copy(0, 138, 512, 248), cut);
}

TEST(ImageCrop, BandOnImagesOfEveryHeight) {
    // The flag band (top 138, height 248) on images that end before, at, inside and after it.
    const struct {
        std::int32_t height;
        std::int64_t rows; // -1: empty result
    } cases[] = {{137, -1}, {138, 0}, {139, 1}, {385, 247}, {386, 248}, {400, 248}, {512, 248}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.height);
        const Bytes source = MakeBmp(9, c.height, 24);
        const Bytes cut = ImageConverter::CropBitmap(source, 0, 138, 9, 248);
        if (c.rows < 0) {
            EXPECT_TRUE(cut.empty());
            continue;
        }
        ASSERT_EQ(cut.size(), 54u + 28 * std::size_t(c.rows));
        EXPECT_EQ(Field(cut, 22, 4), std::uint32_t(c.rows));
        if (c.rows > 0)
            ExpectSameRgb(DecodeWithQt(source).copy(0, 138, 9, int(c.rows)), cut);
    }
}

TEST(ImageCrop, OddWidthsAtEveryDepthKeepRowPadding) {
    const struct {
        std::uint16_t bits;
        std::int32_t width, left, cutWidth;
        std::size_t outRow, pixelOffset;
    } cases[] = {
        {24, 30, 1, 10, 32, 54}, // source rows of 92 bytes
        {8, 31, 3, 7, 8, 1078},  {8, 5, 0, 5, 8, 1078},   {16, 31, 5, 9, 20, 54},
        {24, 31, 2, 29, 88, 54}, {32, 31, 7, 11, 44, 54},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.bits) + " bits, width " + std::to_string(c.width));
        const Bytes source = MakeBmp(c.width, 21, c.bits);
        const Bytes cut = ImageConverter::CropBitmap(source, c.left, 4, c.cutWidth, 13);
        ASSERT_EQ(cut.size(), c.pixelOffset + c.outRow * 13);
        EXPECT_EQ(Field(cut, 10, 4), c.pixelOffset);
        EXPECT_EQ(Field(cut, 18, 4), std::uint32_t(c.cutWidth));
        EXPECT_EQ(Field(cut, 28, 2), c.bits);
        if (c.bits == 8) {
            EXPECT_TRUE(std::equal(source.begin() + 54, source.begin() + 1078, cut.begin() + 54));
        }
        ExpectSameRgb(DecodeWithQt(source).copy(c.left, 4, c.cutWidth, 13), cut);
    }
}

TEST(ImageCrop, RectangleIsClippedOrRefused) {
    const Bytes source = MakeBmp(512, 512, 32);
    const QImage decoded = DecodeWithQt(source);
    // Height cut to H - top; width to W - left; negative starts raised to 0.
    const struct {
        const char* name;
        std::int32_t left, top, width, height;
        QRect expected; // null: empty result
    } cases[] = {
        {"bottom overhang", 0, 400, 512, 248, QRect(0, 400, 512, 112)},
        {"right overhang", 500, 0, 100, 3, QRect(500, 0, 12, 3)},
        {"negative start", -5, -9, 4, 6, QRect(0, 0, 4, 6)},
        {"top beyond", 0, 600, 512, 248, QRect()},
        {"left beyond", 513, 0, 1, 1, QRect()},
        {"zero width", 0, 0, 0, 10, QRect()},
        {"negative height", 0, 0, 10, -1, QRect()},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const Bytes cut = ImageConverter::CropBitmap(source, c.left, c.top, c.width, c.height);
        if (c.expected.isNull()) {
            EXPECT_TRUE(cut.empty());
            continue;
        }
        ExpectSameRgb(decoded.copy(c.expected), cut);
    }
    // Touching the right or bottom edge exactly keeps no pixels but is still a picture.
    const Bytes edge = ImageConverter::CropBitmap(source, 512, 512, 10, 10);
    ASSERT_EQ(edge.size(), 54u);
    EXPECT_EQ(Field(edge, 18, 4), 0u);
    EXPECT_EQ(Field(edge, 22, 4), 0u);
}

TEST(ImageCrop, RefusesWhatItCannotCut) {
    const auto withField = [](Bytes bmp, std::size_t offset, std::uint32_t value, int size) {
        for (int i = 0; i < size; ++i)
            bmp[offset + i] = std::uint8_t(value >> (8 * i));
        return bmp;
    };
    const Bytes good = MakeBmp(16, 16, 24);
    const struct {
        const char* name;
        Bytes source;
    } cases[] = {
        {"run-length compressed", withField(good, 30, 1, 4)},
        {"bit fields", withField(good, 30, 3, 4)},
        {"4 bits", withField(good, 28, 4, 2)},
        {"1 bit", withField(good, 28, 1, 2)},
        {"48 bits", withField(good, 28, 48, 2)},
        {"top-down", withField(good, 22, std::uint32_t(-16), 4)},
        {"negative width", withField(good, 18, std::uint32_t(-16), 4)},
        {"empty", Bytes()},
        {"header only half there", Bytes(good.begin(), good.begin() + 20)},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_TRUE(ImageConverter::CropBitmap(c.source, 0, 0, 4, 4).empty());
    }
}

// Former bug: a source of width 0 cut with a huge height walked every one of its empty rows,
// about 2^31 of them (a minute under the sanitizers) for an 84-byte file.
TEST(ImageCrop, WidthZeroSourceWithAHugeHeight) {
    Bytes source = MakeBmp(1, 1, 32);
    for (std::size_t i = 0; i < 4; ++i) {
        source[18 + i] = 0;                                    // width 0
        source[22 + i] = std::uint8_t(0x54000000u >> (8 * i)); // height 1409286144
    }
    const Bytes cut = ImageConverter::CropBitmap(source, 0, 0, 1, INT32_MAX);
    ASSERT_EQ(cut.size(), 54u);
    EXPECT_EQ(Field(cut, 18, 4), 0u);
    EXPECT_EQ(Field(cut, 22, 4), 0x54000000u);
}

TEST(ImageCrop, NeverReadsPastAShortSource) {
    // The header claims 64 x 64 at 32 bits; only the bottom 3 rows are there. Rows the source
    // has are copied, the rest stay zero (the sanitizer build checks that nothing more is read).
    Bytes source = MakeBmp(64, 64, 32);
    source.resize(54 + 256 * 3 + 100);
    const Bytes cut = ImageConverter::CropBitmap(source, 60, 58, 64, 6);
    ASSERT_EQ(cut.size(), 54u + 16 * 6);
    // Stored first is source row 0 (the bottom one), from pixel 60.
    EXPECT_TRUE(std::equal(cut.begin() + 54, cut.begin() + 54 + 16, source.begin() + 54 + 240));
    EXPECT_TRUE(std::all_of(cut.end() - 16 * 3, cut.end(), [](std::uint8_t b) { return b == 0; }));

    // A header claiming a giant picture is refused rather than allocated for.
    Bytes liar = MakeBmp(4, 4, 32);
    for (std::size_t at : {18u, 22u}) {
        liar[at] = 0xFF, liar[at + 1] = 0xFF, liar[at + 2] = 0xFF, liar[at + 3] = 0x7F;
    }
    EXPECT_TRUE(ImageConverter::CropBitmap(liar, 0, 0, INT32_MAX, INT32_MAX).empty());
    EXPECT_TRUE(ImageConverter::CropBitmap(liar, 1 << 30, 1 << 30, INT32_MAX, INT32_MAX).empty());
}

TEST(ImageCrop, RandomHeadersGiveConsistentCutsOrNothing) {
    // Whatever the header claims, a cut is either empty or a well-formed BMP no larger than the
    // source could back (out-of-bounds reads are the sanitizer build's part).
    std::mt19937 random(20240728);
    const auto pick = [&](std::int32_t low, std::int32_t high) {
        return std::uniform_int_distribution<std::int32_t>(low, high)(random);
    };
    const std::int32_t extremes[] = {INT32_MIN, -1, 0, 1, INT32_MAX, 1 << 20};
    const auto value = [&](std::int32_t low, std::int32_t high) {
        return pick(0, 9) == 0 ? extremes[pick(0, 5)] : pick(low, high);
    };
    int cuts = 0;
    for (int round = 0; round < 3000; ++round) {
        Bytes source(std::size_t(pick(0, 4000)));
        for (auto& byte : source)
            byte = std::uint8_t(pick(0, 255));
        const std::uint16_t depths[] = {8, 16, 24, 32};
        const auto put = [&](std::size_t at, std::uint32_t v, int size) {
            for (int i = 0; i < size && at + i < source.size(); ++i)
                source[at + i] = std::uint8_t(v >> (8 * i));
        };
        put(18, std::uint32_t(value(-5, 60)), 4);
        put(22, std::uint32_t(value(-5, 60)), 4);
        put(28, depths[pick(0, 3)], 2);
        put(30, pick(0, 7) == 0 ? 1u : 0u, 4);
        const Bytes cut =
            ImageConverter::CropBitmap(source, value(-5, 70), value(-5, 70), value(-5, 70), value(-5, 70));
        if (cut.empty())
            continue;
        ++cuts;
        const std::uint32_t bits = Field(cut, 28, 2);
        const std::uint32_t width = Field(cut, 18, 4), height = Field(cut, 22, 4);
        const std::uint32_t offset = bits == 8 ? 1078 : 54;
        ASSERT_EQ(Field(cut, 10, 4), offset);
        ASSERT_EQ(Field(cut, 2, 4), cut.size());
        ASSERT_EQ(cut.size(), offset + (((std::uint64_t(width) * bits + 31) >> 5) << 2) * height);
        ASSERT_LE(cut.size(), source.size() + offset);
        ASSERT_LE(width, Field(source, 18, 4));
        ASSERT_LE(height, Field(source, 22, 4));
    }
    EXPECT_GT(cuts, 300); // the headers are not all refused
}

} // namespace
