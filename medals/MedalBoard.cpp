#include "medals/MedalBoard.h"

#include <mutex>

#include "http/UrlReader.h"
#include "medals/EmbeddedFlagTable.h"
#include "medals/FlagPictureSink.h"
#include "util/ImageConverter.h"

#ifndef VELK_FLAG_HOST
#define VELK_FLAG_HOST "p1.img.cctvpic.com"
#endif

namespace velk {
namespace {

std::mutex g_hostMutex;
Text g_flagHost = VELK_FLAG_HOST;

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
    std::lock_guard lock(g_hostMutex);
    g_flagHost = host;
}

Text MedalBoard::FlagHost() {
    std::lock_guard lock(g_hostMutex);
    return g_flagHost;
}

} // namespace velk
