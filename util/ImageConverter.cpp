#include "util/ImageConverter.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <fstream>
#include <future>
#include <memory>
#include <mutex>
#include <string_view>
#include <thread>

#include <csignal>

#include <dirent.h>
#include <gif_lib.h>
#include <pthread.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QBuffer>
#include <QByteArray>
#include <QImage>
#include <QImageReader>
#include <QImageWriter>
#include <QPainter>
#include <QString>

#include "util/BmpFormat.h"
#include "util/Encoding.h"
#include "util/PngBmpDecoder.h"

namespace velk {
namespace {

struct EncoderInfo {
    ImageFormat format;
    std::string_view clsidText;
    std::string_view extension;
};

// The encoders by their class identifiers. Convert goes from the format number to the text, from
// the text to the identifier and from the identifier to the encoder, so a number without a row
// here ends with the null identifier and no encoder.
constexpr std::array<EncoderInfo, 5> kEncoders = {{
    {ImageConverter::Bmp, "{557CF400-1A04-11D3-9A73-0000F81EF32E}", ".bmp"},
    {ImageConverter::Jpeg, "{557CF401-1A04-11D3-9A73-0000F81EF32E}", ".jpg"},
    {ImageConverter::Gif, "{557CF402-1A04-11D3-9A73-0000F81EF32E}", ".gif"},
    {ImageConverter::Tiff, "{557CF405-1A04-11D3-9A73-0000F81EF32E}", ".tiff"},
    {ImageConverter::Png, "{557CF406-1A04-11D3-9A73-0000F81EF32E}", ".png"},
}};

// Qt creates its image-format plugin objects (JPEG, GIF, TIFF, ...) on whichever thread first
// reads or writes an image without naming a built-in format, and they live until the process
// exits. Created on a flag thread, they outlive that thread, and Qt 6.4 then frees the thread's
// data one time too many while destroying them at exit (a use-after-free that shows as heap
// corruption after main returns). So they are created once, either on the thread that calls
// ImageConverter::Prepare (the interface thread, which lives to the end) or, failing that, on a
// thread of our own that never ends.
std::once_flag g_pluginsOnce;

void CreateImagePlugins() {
    // No image: Qt asks every plugin whether it can read this, which creates them all.
    QByteArray probe("velk", 4);
    QBuffer buffer(&probe);
    buffer.open(QIODevice::ReadOnly);
    QImageReader(&buffer).canRead();
}

void EnsureImagePlugins() {
    std::call_once(g_pluginsOnce, [] {
        std::promise<void> created;
        std::future<void> done = created.get_future();
        std::thread keeper([&created] {
            // Named so that whoever lists the process's threads can tell what it is.
            pthread_setname_np(pthread_self(), "velk-imageplug");
            CreateImagePlugins();
            created.set_value();
            // Park for good, taking no signals away from the rest of the process.
            sigset_t all;
            sigfillset(&all);
            pthread_sigmask(SIG_BLOCK, &all, nullptr);
            for (;;)
                pause();
        });
        keeper.detach();
        done.wait();
    });
}

bool IsPaletteImage(const QImage& image) {
    switch (image.format()) {
    case QImage::Format_Indexed8:
    case QImage::Format_Mono:
    case QImage::Format_MonoLSB:
        return true;
    default:
        return false;
    }
}

// Encodes `image` as a BMP: 8 bits with a 256-entry palette for palette images, 32 bits (BGRA,
// alpha not premultiplied) for images with an alpha channel, 24 bits (BGR) otherwise. Qt's own
// BMP writer cannot serve: it drops the alpha channel.
Bytes EncodeBmp(const QImage& source) {
    QImage image;
    std::uint16_t bits;
    if (IsPaletteImage(source)) {
        image = source.convertToFormat(QImage::Format_Indexed8);
        bits = 8;
    } else if (source.hasAlphaChannel()) {
        image = source.convertToFormat(QImage::Format_ARGB32);
        bits = 32;
    } else {
        image = source.convertToFormat(QImage::Format_RGB32);
        bits = 24;
    }
    if (image.isNull())
        return Bytes();
    const std::int64_t width = image.width();
    const std::int64_t height = image.height();
    const std::int64_t rowSize = BmpFormat::RowSize(width, bits);
    const std::size_t pixelOffset = BmpFormat::HeaderSize + (bits == 8 ? BmpFormat::PaletteSize : 0);
    const std::int64_t fileSize = std::int64_t(pixelOffset) + rowSize * height;
    if (fileSize > INT32_MAX)
        return Bytes();

    Bytes out(std::size_t(fileSize), 0);
    BmpFormat::WriteHeaders(out.data(), std::uint32_t(fileSize), std::uint32_t(pixelOffset),
                            std::int32_t(width), std::int32_t(height), bits, std::uint32_t(rowSize * height),
                            bits == 8 ? 256 : 0);
    if (bits == 8) {
        const QList<QRgb> colours = image.colorTable();
        for (qsizetype i = 0; i < colours.size() && i < 256; ++i) {
            std::uint8_t* entry = out.data() + BmpFormat::HeaderSize + 4 * i;
            entry[0] = std::uint8_t(qBlue(colours[i]));
            entry[1] = std::uint8_t(qGreen(colours[i]));
            entry[2] = std::uint8_t(qRed(colours[i]));
        }
    }
    for (std::int64_t y = 0; y < height; ++y) {
        // Rows are stored bottom row first.
        const std::uint8_t* line = image.constScanLine(int(height - 1 - y));
        std::uint8_t* row = out.data() + pixelOffset + rowSize * y;
        if (bits == 24) {
            // RGB32 pixels are 0xffRRGGBB words: bytes B, G, R, 0xff in memory.
            const auto* pixels = reinterpret_cast<const QRgb*>(line);
            for (std::int64_t x = 0; x < width; ++x) {
                row[3 * x] = std::uint8_t(qBlue(pixels[x]));
                row[3 * x + 1] = std::uint8_t(qGreen(pixels[x]));
                row[3 * x + 2] = std::uint8_t(qRed(pixels[x]));
            }
        } else {
            // ARGB32 on a little-endian machine is B, G, R, A in memory, as BMP wants it.
            std::memcpy(row, line, std::size_t(width * bits / 8));
        }
    }
    return out;
}

Bytes FromQByteArray(const QByteArray& data) {
    return Bytes(reinterpret_cast<const std::uint8_t*>(data.constData()),
                 reinterpret_cast<const std::uint8_t*>(data.constData()) + data.size());
}

// JPEG, PNG and TIFF through Qt's writers (TIFF comes from the image-formats plugin).
Bytes EncodeWithQt(const QImage& image, const char* format) {
    EnsureImagePlugins();
    QByteArray data;
    QBuffer buffer(&data);
    if (!buffer.open(QIODevice::WriteOnly))
        return Bytes();
    QImageWriter writer(&buffer, format);
    if (!writer.write(image))
        return Bytes();
    return FromQByteArray(data);
}

struct GifCloser {
    void operator()(GifFileType* gif) const { EGifCloseFile(gif, nullptr); }
};
struct ColorMapFreer {
    void operator()(ColorMapObject* map) const { GifFreeMapObject(map); }
};

int AppendGifBytes(GifFileType* gif, const GifByteType* data, int size) {
    auto* out = static_cast<Bytes*>(gif->UserData);
    out->insert(out->end(), data, data + size);
    return size;
}

// GIF through giflib, since Qt has no GIF writer: the colours are reduced to 256 (255 and a
// transparent index when some pixels are less than half opaque) with giflib's median-cut
// quantizer.
Bytes EncodeGif(const QImage& source) {
    const QImage image = source.convertToFormat(QImage::Format_ARGB32);
    if (image.isNull() || image.width() > 0xFFFF || image.height() > 0xFFFF)
        return Bytes();
    const unsigned width = unsigned(image.width());
    const unsigned height = unsigned(image.height());
    const std::size_t count = std::size_t(width) * height;
    std::vector<GifByteType> red(count), green(count), blue(count), indices(count);
    std::vector<bool> transparent(count);
    bool anyTransparent = false;
    for (unsigned y = 0; y < height; ++y) {
        const auto* pixels = reinterpret_cast<const QRgb*>(image.constScanLine(int(y)));
        for (unsigned x = 0; x < width; ++x) {
            const std::size_t i = std::size_t(y) * width + x;
            red[i] = GifByteType(qRed(pixels[x]));
            green[i] = GifByteType(qGreen(pixels[x]));
            blue[i] = GifByteType(qBlue(pixels[x]));
            transparent[i] = qAlpha(pixels[x]) < 128;
            anyTransparent = anyTransparent || transparent[i];
        }
    }
    const int transparentIndex = 255;
    int colourCount = anyTransparent ? 255 : 256;
    std::array<GifColorType, 256> colours{};
    if (GifQuantizeBuffer(width, height, &colourCount, red.data(), green.data(), blue.data(), indices.data(),
                          colours.data()) != GIF_OK)
        return Bytes();
    // The quantizer works on 5 bits per channel and hands back cell centres; the mean of the
    // pixels that went to each entry gives the exact colours back for images with few colours.
    std::array<std::array<std::uint64_t, 4>, 256> sums{};
    for (std::size_t i = 0; i < count; ++i) {
        if (transparent[i]) {
            indices[i] = GifByteType(transparentIndex);
            continue;
        }
        auto& sum = sums[indices[i]];
        sum[0] += red[i], sum[1] += green[i], sum[2] += blue[i], sum[3] += 1;
    }
    for (std::size_t k = 0; k < colours.size(); ++k) {
        const auto& sum = sums[k];
        if (sum[3] == 0)
            continue;
        colours[k].Red = GifByteType((sum[0] + sum[3] / 2) / sum[3]);
        colours[k].Green = GifByteType((sum[1] + sum[3] / 2) / sum[3]);
        colours[k].Blue = GifByteType((sum[2] + sum[3] / 2) / sum[3]);
    }
    std::unique_ptr<ColorMapObject, ColorMapFreer> map(GifMakeMapObject(256, colours.data()));
    if (!map)
        return Bytes();

    Bytes out;
    int error = 0;
    std::unique_ptr<GifFileType, GifCloser> gif(EGifOpen(&out, AppendGifBytes, &error));
    if (!gif)
        return Bytes();
    EGifSetGifVersion(gif.get(), anyTransparent);
    if (EGifPutScreenDesc(gif.get(), int(width), int(height), 8, 0, map.get()) != GIF_OK)
        return Bytes();
    if (anyTransparent) {
        GraphicsControlBlock control{};
        control.DisposalMode = DISPOSAL_UNSPECIFIED;
        control.DelayTime = 0;
        control.TransparentColor = transparentIndex;
        GifByteType extension[4];
        const std::size_t length = EGifGCBToExtension(&control, extension);
        if (EGifPutExtension(gif.get(), GRAPHICS_EXT_FUNC_CODE, int(length), extension) != GIF_OK)
            return Bytes();
    }
    if (EGifPutImageDesc(gif.get(), 0, 0, int(width), int(height), false, nullptr) != GIF_OK)
        return Bytes();
    for (unsigned y = 0; y < height; ++y) {
        if (EGifPutLine(gif.get(), indices.data() + std::size_t(y) * width, int(width)) != GIF_OK)
            return Bytes();
    }
    // Closing writes the trailer; it frees the handle whatever it returns.
    if (EGifCloseFile(gif.release(), &error) != GIF_OK)
        return Bytes();
    return out;
}

QImage Decode(const Bytes& source) {
    EnsureImagePlugins();
    const QByteArray data =
        QByteArray::fromRawData(reinterpret_cast<const char*>(source.data()), qsizetype(source.size()));
    QBuffer buffer;
    buffer.setData(data);
    if (!buffer.open(QIODevice::ReadOnly))
        return QImage();
    QImageReader reader(&buffer);
    return reader.read();
}

QImage FlattenOnWhite(const QImage& image) {
    QImage flat(image.size(), QImage::Format_RGB32);
    flat.fill(Qt::white);
    QPainter painter(&flat);
    painter.drawImage(0, 0, image);
    painter.end();
    return flat;
}

bool IsBlank(const Text& text) {
    return std::all_of(text.begin(), text.end(), [](char c) { return c == ' '; });
}

bool EndsWithIgnoringCase(const Text& text, std::string_view suffix) {
    if (text.size() < suffix.size())
        return false;
    const std::string_view tail(text.data() + text.size() - suffix.size(), suffix.size());
    return std::equal(tail.begin(), tail.end(), suffix.begin(), [](char a, char b) {
        const auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c; };
        return lower(a) == lower(b);
    });
}

void WriteFile(const Text& path, const Bytes& data) {
    std::ofstream file(AnsiToUtf8(path), std::ios::binary | std::ios::trunc);
    file.write(reinterpret_cast<const char*>(data.data()), std::streamsize(data.size()));
}

bool IsRegularFile(const std::string& path) {
    struct stat info;
    return ::stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode);
}

// '*' matches any run of characters, '?' one character (one UTF-8 sequence); nothing else is
// special, as in a Windows file pattern.
bool MatchesPattern(std::string_view pattern, std::string_view name) {
    const auto nextChar = [](std::string_view s, std::size_t i) {
        ++i;
        while (i < s.size() && (std::uint8_t(s[i]) & 0xC0) == 0x80)
            ++i;
        return i;
    };
    std::size_t p = 0, n = 0;
    std::size_t starP = std::string_view::npos, starN = 0;
    while (n < name.size()) {
        if (p < pattern.size() && pattern[p] == '*') {
            starP = p++;
            starN = n;
        } else if (p < pattern.size() && pattern[p] == '?') {
            ++p;
            n = nextChar(name, n);
        } else if (p < pattern.size() && pattern[p] == name[n]) {
            ++p;
            ++n;
        } else if (starP != std::string_view::npos) {
            p = starP + 1;
            n = nextChar(name, starN);
            starN = n;
        } else {
            return false;
        }
    }
    while (p < pattern.size() && pattern[p] == '*')
        ++p;
    return p == pattern.size();
}

// Writes the encoded file when a name is given and hands the bytes to the caller.
void Finish(const Text& fileName, const Text& extension, Bytes& encoded, Bytes* result) {
    if (!IsBlank(fileName))
        WriteFile(EndsWithIgnoringCase(fileName, extension) ? fileName : fileName + extension, encoded);
    if (result)
        *result = std::move(encoded);
}

struct DirCloser {
    void operator()(DIR* dir) const { closedir(dir); }
};

} // namespace

void ImageConverter::Prepare() {
    std::call_once(g_pluginsOnce, CreateImagePlugins);
}

bool ImageConverter::Convert(const Bytes& source, ImageFormat format, const Text& fileName, Bytes* result,
                             bool flattenOnWhite) {
    if (source.size() < 3)
        return false;
    Text clsidText;
    Text extension;
    for (const EncoderInfo& info : kEncoders) {
        if (info.format == format) {
            clsidText = info.clsidText;
            extension = info.extension;
        }
    }
    const Clsid encoder = ClsidFromText(clsidText);
    const EncoderInfo* selected = nullptr;
    for (const EncoderInfo& info : kEncoders) {
        if (!encoder.IsNull() && ClsidFromText(Text(info.clsidText)) == encoder)
            selected = &info;
    }

    if (!selected)
        return false;
    Bytes encoded;
    if (selected->format == Bmp && !flattenOnWhite && PngBmpDecoder::Decode(source, encoded)) {
        Finish(fileName, extension, encoded, result);
        return true;
    }

    QImage image = Decode(source);
    if (image.isNull())
        return false;
    if (flattenOnWhite)
        image = FlattenOnWhite(image);

    switch (selected->format) {
    case Bmp:
        encoded = EncodeBmp(image);
        break;
    case Jpeg:
        encoded = EncodeWithQt(image, "jpeg");
        break;
    case Gif:
        encoded = EncodeGif(image);
        break;
    case Tiff:
        encoded = EncodeWithQt(image, "tiff");
        break;
    case Png:
        encoded = EncodeWithQt(image, "png");
        break;
    }
    if (encoded.empty())
        return false;

    Finish(fileName, extension, encoded, result);
    return true;
}

std::int32_t ImageConverter::GetWidth(const Bytes& image) {
    EnsureImagePlugins();
    const auto zero = std::find(image.begin(), image.end(), std::uint8_t(0));
    const Text path(image.begin(), zero);
    QSize size;
    if (IsExistingFile(path)) {
        QImageReader reader(QString::fromUtf8(AnsiToUtf8(path)));
        size = reader.size();
        if (!size.isValid())
            size = reader.read().size();
    } else {
        const QByteArray data =
            QByteArray::fromRawData(reinterpret_cast<const char*>(image.data()), qsizetype(image.size()));
        QBuffer buffer;
        buffer.setData(data);
        if (!buffer.open(QIODevice::ReadOnly))
            return 0;
        QImageReader reader(&buffer);
        size = reader.size();
        if (!size.isValid()) {
            // Some handlers only know the size after decoding.
            buffer.seek(0);
            QImageReader again(&buffer);
            size = again.read().size();
        }
    }
    return size.isValid() ? size.width() : 0;
}

Bytes ImageConverter::CropBitmap(std::span<const std::uint8_t> source, std::int32_t left, std::int32_t top,
                                 std::int32_t width, std::int32_t height) {
    const std::int64_t W = std::int32_t(BmpFormat::ReadField(source, 18, 4));
    const std::int64_t H = std::int32_t(BmpFormat::ReadField(source, 22, 4));
    const std::uint32_t bits = BmpFormat::ReadField(source, 28, 2);
    const std::uint32_t compression = BmpFormat::ReadField(source, 30, 4);
    if (compression != 0)
        return Bytes();
    std::size_t dataOffset;
    std::int64_t bytesPerPixel;
    switch (bits) {
    case 32:
        dataOffset = BmpFormat::HeaderSize, bytesPerPixel = 4;
        break;
    case 24:
        dataOffset = BmpFormat::HeaderSize, bytesPerPixel = 3;
        break;
    case 16:
        dataOffset = BmpFormat::HeaderSize, bytesPerPixel = 2;
        break;
    case 8:
        dataOffset = BmpFormat::HeaderSize + BmpFormat::PaletteSize, bytesPerPixel = 1;
        break;
    default:
        // Below 8 bits, and the rare depths above it that are not 16, 24 or 32.
        return Bytes();
    }

    std::int64_t x = std::max<std::int64_t>(left, 0);
    std::int64_t y = std::max<std::int64_t>(top, 0);
    std::int64_t w = width;
    std::int64_t h = height;
    if (x > W || y > H || w <= 0 || h <= 0)
        return Bytes();
    w = std::min(w, W - x);
    h = std::min(h, H - y);

    const std::int64_t sourceRow = BmpFormat::RowSize(W, bits);
    const std::int64_t outRow = BmpFormat::RowSize(w, bits);
    // A valid source holds at least the pixel bytes of any cut of it. A header that claims more
    // than the whole source could hold must not make us allocate for it.
    if (h > 0 && outRow > std::int64_t(source.size()) / h)
        return Bytes();

    const std::size_t fileSize = dataOffset + std::size_t(outRow * h);
    Bytes out(fileSize, 0);
    BmpFormat::WriteHeaders(out.data(), std::uint32_t(fileSize), std::uint32_t(dataOffset), std::int32_t(w),
                            std::int32_t(h), std::uint16_t(bits), 0, 0);
    if (bits == 8 && source.size() > BmpFormat::HeaderSize) {
        const std::size_t available = std::min(BmpFormat::PaletteSize, source.size() - BmpFormat::HeaderSize);
        std::memcpy(out.data() + BmpFormat::HeaderSize, source.data() + BmpFormat::HeaderSize, available);
    }

    // Rows are stored bottom row first: the first stored row of the cut is source row H - y - h.
    // With a lying header that offset can overflow 64 bits, hence the wide arithmetic.
    const __int128 start = __int128(dataOffset) + __int128(sourceRow) * (H - y - h) + x * bytesPerPixel;
    // A cut of width 0 has rows of no bytes: nothing to copy, however many rows a header claims.
    for (std::int64_t i = 0; outRow > 0 && i < h; ++i) {
        const __int128 from = start + __int128(sourceRow) * i;
        if (from >= __int128(source.size()))
            break;
        const std::int64_t available = std::int64_t(source.size()) - std::int64_t(from);
        std::memcpy(out.data() + dataOffset + outRow * i, source.data() + std::int64_t(from),
                    std::size_t(std::min(outRow, available)));
    }
    return out;
}

Clsid ImageConverter::ClsidFromText(const Text& text) {
    // "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}": 38 characters, hex digits in either case.
    if (text.size() != 38 || text.front() != '{' || text.back() != '}')
        return Clsid();
    std::array<std::uint8_t, 16> bytes{};
    std::size_t byte = 0;
    for (std::size_t i = 1; i < 37;) {
        if (i == 9 || i == 14 || i == 19 || i == 24) {
            if (text[i] != '-')
                return Clsid();
            ++i;
            continue;
        }
        const auto digit = [](char c) -> int {
            if (c >= '0' && c <= '9')
                return c - '0';
            if (c >= 'a' && c <= 'f')
                return c - 'a' + 10;
            if (c >= 'A' && c <= 'F')
                return c - 'A' + 10;
            return -1;
        };
        const int high = digit(text[i]);
        const int low = digit(text[i + 1]);
        if (high < 0 || low < 0)
            return Clsid();
        bytes[byte++] = std::uint8_t(high * 16 + low);
        i += 2;
    }
    Clsid id;
    id.data1 = std::uint32_t(bytes[0]) << 24 | std::uint32_t(bytes[1]) << 16 | std::uint32_t(bytes[2]) << 8 |
               bytes[3];
    id.data2 = std::uint16_t(bytes[4] << 8 | bytes[5]);
    id.data3 = std::uint16_t(bytes[6] << 8 | bytes[7]);
    std::copy(bytes.begin() + 8, bytes.end(), id.data4);
    return id;
}

bool ImageConverter::IsExistingFile(const Text& path) {
    if (path.empty())
        return false;
    const std::string utf8 = AnsiToUtf8(path);
    const std::size_t slash = utf8.rfind('/');
    const std::string name = slash == std::string::npos ? utf8 : utf8.substr(slash + 1);
    if (name.find_first_of("*?") == std::string::npos)
        return IsRegularFile(utf8);

    const std::string directory = slash == std::string::npos ? std::string(".") : utf8.substr(0, slash + 1);
    std::unique_ptr<DIR, DirCloser> dir(opendir(directory.empty() ? "/" : directory.c_str()));
    if (!dir)
        return false;
    while (const dirent* entry = readdir(dir.get())) {
        if (MatchesPattern(name, entry->d_name))
            return IsRegularFile((slash == std::string::npos ? std::string() : directory) + entry->d_name);
    }
    return false;
}

} // namespace velk
