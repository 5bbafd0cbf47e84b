#include "medals/MedalBoard.h"

#include <string>

#include "http/HttpClient.h"
#include "http/UrlReader.h"
#include "medals/EmbeddedFlagTable.h"
#include "medals/FlagPictureSink.h"
#include "medals/FlagThreadEntry.h"
#include "medals/MedalTitleSink.h"
#include "script/JsonObject.h"
#include "util/Encoding.h"
#include "util/Guarded.h"
#include "util/ImageConverter.h"
#include "util/MessagePump.h"
#include "util/TextExtract.h"
#include "util/WorkerThread.h"
#include "util/ServiceHosts.h"

namespace velk {
namespace {

Guarded<Text> g_medalHost{VELK_MEDAL_HOST};
Guarded<Text> g_flagHost{VELK_FLAG_HOST};

// The item code is "GEN" followed by 31 hyphens.
constexpr char kFeedPath[] =
    "/olympic/getOlyMedals?serviceId=pcocean&itemcode=GEN-------------------------------"
    "&t=jsonp&cb=banomedals";
constexpr int kRowPauseMs = 50;
// A whole Games' table is some tens of kilobytes. A feed far beyond that is not read: loading it
// would hold the interface thread and take hundreds of megabytes on the way into the engine.
constexpr std::size_t kMaxFeedBytes = std::size_t{1} << 20;

// A script expression that turns the feed's JSON text into data with JSON.parse. The text goes in
// as a string literal, so a feed that is script rather than JSON (a loop, getters that loop, code
// that replaces the engine's helpers) runs nothing and simply fails to parse. The literal is
// plain ASCII, every other character written as a \u escape of its UTF-16 unit: no byte of the
// feed can then end the literal early, whatever the code page conversion makes of it.
Text JsonParseExpression(const Text& json) {
    static constexpr char kHex[] = "0123456789abcdef";
    const Bytes utf16 = AnsiToUtf16(json, true);
    Text literal = "JSON.parse(\"";
    literal.reserve(utf16.size() * 3 + 16);
    for (std::size_t i = 0; i + 1 < utf16.size(); i += 2) {
        const unsigned unit = utf16[i] | (unsigned(utf16[i + 1]) << 8);
        if (unit >= 0x20 && unit < 0x7F && unit != '\\' && unit != '"') {
            literal += char(unit);
            continue;
        }
        literal += "\\u";
        for (int shift = 12; shift >= 0; shift -= 4)
            literal += kHex[(unit >> shift) & 0xF];
    }
    literal += "\")";
    return literal;
}

// The row number as an integer the way a lenient text-to-number conversion reads it: leading
// blanks, an optional sign, then digits up to the first other character. No digits, or a number
// too large for 32 bits, gives 0, which is no row.
std::int32_t RowNumber(const Text& row) {
    std::size_t i = 0;
    while (i < row.size() && (row[i] == ' ' || row[i] == '\t'))
        ++i;
    bool negative = false;
    if (i < row.size() && (row[i] == '+' || row[i] == '-'))
        negative = row[i++] == '-';
    std::int64_t value = 0;
    for (; i < row.size() && row[i] >= '0' && row[i] <= '9'; ++i) {
        value = value * 10 + (row[i] - '0');
        if (value > INT32_MAX)
            return 0;
    }
    return std::int32_t(negative ? -value : value);
}

} // namespace

void MedalBoard::Refresh() {
    JsonObject document;
    HttpRequest request;
    request.url = FeedUrl();
    // The fetch dispatches window events while it waits (see HttpClient): a click or a tick may run
    // nested here. The window skips a refresh tick while one is running; titles are only written
    // below, each whole, so anything nested sees rows of one refresh or another, never torn ones.
    const Text feed = TextBetween(HttpClient::Send(request), "banomedals(", ");");
    // The outcome does not matter: a failed parse leaves a document whose every read is empty.
    if (feed.size() <= kMaxFeedBytes)
        document.Parse(JsonParseExpression(feed), true);

    for (std::int32_t row = 1; row <= RowCount; ++row) {
        const Text record = "data.medalsList[" + std::to_string(row - 1) + "].";
        const Text name = document.GetText(record + "countryname");
        if (name.empty())
            break;
        MedalTitleSink::Deliver(row, MedalTitleSink::Name, name);
        MedalTitleSink::Deliver(row, MedalTitleSink::Gold, document.GetText(record + "gold"));
        MedalTitleSink::Deliver(row, MedalTitleSink::Silver, document.GetText(record + "silver"));
        MedalTitleSink::Deliver(row, MedalTitleSink::Bronze, document.GetText(record + "bronze"));
        MedalTitleSink::Deliver(row, MedalTitleSink::Total, document.GetText(record + "count"));
        // The thread gets copies of the code and the row number; it is neither kept nor waited for.
        WorkerThread::StartWithArguments(FlagThreadEntry, 0, document.GetText(record + "countryid"),
                                         std::to_string(row));
        // Window events run during the pause as well, with the same nesting as during the fetch.
        MessagePump::Pause(kRowPauseMs);
    }
}

Text MedalBoard::FeedUrl() {
    return "http://" + MedalHost() + kFeedPath;
}

void MedalBoard::SetMedalHost(const Text& host) {
    g_medalHost.Set(host);
}

Text MedalBoard::MedalHost() {
    return g_medalHost.Get();
}

void MedalBoard::LoadFlag(std::int32_t, const Text& code, const Text& row) {
    Bytes flag = EmbeddedFlagTable::Find(code);
    if (flag.empty())
        flag = UrlReader::Read(FlagUrl(code));
    // On failure the bytes stay as they came, which the width and the cut below then refuse.
    ImageConverter::Convert(flag, ImageConverter::Bmp, Text(), &flag);

    const std::int32_t rowNumber = RowNumber(row);
    if (rowNumber < 1 || rowNumber > RowCount)
        return;
    const std::int32_t width = ImageConverter::GetWidth(flag);
    const Bytes band = ImageConverter::CropBitmap(flag, 0, FlagCropTop, width, FlagCropHeight);
    // The empty band too: the row must not go on showing a flag it no longer has.
    FlagPictureSink::Deliver(rowNumber, band);
}

Text MedalBoard::FlagUrl(const Text& code) {
    return "http://" + FlagHost() + "/sports/data/olympic/teamImg/" + code + ".png";
}

void MedalBoard::SetFlagHost(const Text& host) {
    g_flagHost.Set(host);
}

Text MedalBoard::FlagHost() {
    return g_flagHost.Get();
}

} // namespace velk
