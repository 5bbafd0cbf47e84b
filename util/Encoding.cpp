#include "util/Encoding.h"

#include <cerrno>
#include <cstring>
#include <map>
#include <memory>
#include <utility>

#include <iconv.h>

namespace velk {
namespace {

// One iconv descriptor, closed when its owner goes.
struct IconvCloser {
    void operator()(void* cd) const { iconv_close(static_cast<iconv_t>(cd)); }
};
using IconvHandle = std::unique_ptr<void, IconvCloser>;

// Descriptors are costly to open and not shareable between threads, so each thread keeps the
// ones it has used (at most 32; a name iconv refused is not kept).
iconv_t CachedIconv(const std::string& to, const std::string& from) {
    thread_local std::map<std::pair<std::string, std::string>, IconvHandle> cache;
    auto key = std::make_pair(to, from);
    auto it = cache.find(key);
    if (it == cache.end()) {
        iconv_t cd = iconv_open(to.c_str(), from.c_str());
        if (cd == reinterpret_cast<iconv_t>(-1))
            return cd; // not remembered: the names come from web pages and are unbounded
        // A page may declare any set iconv knows; keep the cache small all the same.
        if (cache.size() >= 32)
            cache.clear();
        it = cache.emplace(std::move(key), IconvHandle(cd)).first;
    }
    return static_cast<iconv_t>(it->second.get());
}

std::string IconvName(std::int32_t codePage) {
    switch (codePage) {
    case 0:
    case 936:
        return "CP936";
    case 65001:
        return "UTF-8";
    case 1200:
        return "UTF-16LE";
    case 1201:
        return "UTF-16BE";
    case 54936:
        return "GB18030";
    case 950:
        return "BIG5";
    case 20127:
        return "ASCII";
    case 28591:
        return "ISO-8859-1";
    default:
        return "CP" + std::to_string(codePage);
    }
}

// Length of the input unit at p that iconv stopped on: a whole well-formed UTF-8 sequence or
// UTF-16 surrogate pair or a double-byte code counts as one character that the target could not hold; anything else
// is skipped one step (a byte, or a code unit for UTF-16) at a time.
std::size_t UnitLength(const char* p, std::size_t left, std::size_t inStep) {
    const auto* u = reinterpret_cast<const unsigned char*>(p);
    if (inStep == 2) {
        if (left >= 4 && (u[1] & 0xFC) == 0xD8 && (u[3] & 0xFC) == 0xDC)
            return 4;
        return std::min<std::size_t>(2, left);
    }
    if (inStep == 0) { // UTF-8
        std::size_t len = u[0] >= 0xF0 && u[0] <= 0xF4 ? 4 : u[0] >= 0xE0 && u[0] <= 0xEF ? 3 : u[0] >= 0xC2 && u[0] <= 0xDF ? 2 : 1;
        if (len > left)
            return 1;
        for (std::size_t i = 1; i < len; ++i)
            if ((u[i] & 0xC0) != 0x80)
                return 1;
        return len;
    }
    if (inStep == 3 && left >= 2 && u[0] >= 0x81 && u[0] <= 0xFE && u[1] >= 0x40 && u[1] <= 0xFE && u[1] != 0x7F)
        return 2; // a well-formed but unassigned double-byte code is one character
    return 1;
}

// Converts `in` (already cut at its terminator) from one iconv charset to another. Bytes that
// cannot be read are skipped `inStep` at a time and a replacement is written in their place;
// characters that cannot be written are replaced likewise. Returns false when iconv does not
// know one of the names.
bool Convert(std::string_view in, const std::string& from, const std::string& to, std::size_t inStep,
             std::string_view replacement, std::string& out) {
    iconv_t cd = CachedIconv(to, from);
    if (cd == reinterpret_cast<iconv_t>(-1))
        return false;
    iconv(cd, nullptr, nullptr, nullptr, nullptr);
    out.clear();
    out.resize(in.size() * 2 + 16);
    char* src = const_cast<char*>(in.data());
    std::size_t srcLeft = in.size();
    std::size_t used = 0;
    while (srcLeft > 0) {
        char* dst = out.data() + used;
        std::size_t dstLeft = out.size() - used;
        const std::size_t rc = iconv(cd, &src, &srcLeft, &dst, &dstLeft);
        used = out.size() - dstLeft;
        if (rc != static_cast<std::size_t>(-1))
            break;
        if (errno == E2BIG) {
            out.resize(out.size() * 2);
            continue;
        }
        // EILSEQ: not readable here or not writable there. EINVAL: cut short at the end.
        // Either way one unit of input becomes one replacement and the conversion goes on.
        iconv(cd, nullptr, nullptr, nullptr, nullptr);
        const std::size_t skip = errno == EINVAL ? srcLeft : UnitLength(src, srcLeft, inStep);
        src += skip;
        srcLeft -= skip;
        if (out.size() - used < replacement.size())
            out.resize(out.size() * 2 + replacement.size());
        std::memcpy(out.data() + used, replacement.data(), replacement.size());
        used += replacement.size();
    }
    // Flush any shift state (none for the charsets used here, but cheap).
    for (;;) {
        char* dst = out.data() + used;
        std::size_t dstLeft = out.size() - used;
        if (iconv(cd, nullptr, nullptr, &dst, &dstLeft) != static_cast<std::size_t>(-1)) {
            used = out.size() - dstLeft;
            break;
        }
        if (errno != E2BIG)
            break;
        out.resize(out.size() * 2);
    }
    out.resize(used);
    return true;
}

std::string_view UntilNulByte(std::string_view s) { return s.substr(0, std::min(s.find('\0'), s.size())); }

// UTF-16 input up to its first zero unit; an odd last byte is not part of any unit.
std::string_view UntilNulUnit(const Bytes& utf16) {
    const char* p = reinterpret_cast<const char*>(utf16.data());
    std::size_t units = utf16.size() / 2;
    for (std::size_t i = 0; i < units; ++i) {
        if (utf16[2 * i] == 0 && utf16[2 * i + 1] == 0) {
            units = i;
            break;
        }
    }
    return std::string_view(p, units * 2);
}

std::string_view ReplacementFor(const std::string& to) {
    if (to == "UTF-16LE")
        return std::string_view("\xFD\xFF", 2);
    if (to == "UTF-16BE")
        return std::string_view("\xFF\xFD", 2);
    if (to == "UTF-8")
        return "\xEF\xBF\xBD";
    return "?";
}

// How Convert steps over unreadable input: 2 for UTF-16, 0 for UTF-8 (by sequence), 3 for the
// double-byte Chinese code pages (by lead and trail byte), 1 otherwise.
std::size_t InStepFor(const std::string& from) {
    if (from.rfind("UTF-16", 0) == 0)
        return 2;
    if (from == "UTF-8")
        return 0;
    if (from == "CP936" || from == "GBK" || from == "GB2312" || from == "BIG5" || from == "CP950")
        return 3;
    return 1;
}

// True for the targets that can hold every character, so that iconv only stops on input it
// cannot read.
bool HoldsEveryCharacter(const std::string& to) { return to == "UTF-8" || to.rfind("UTF-16", 0) == 0; }

// Convert, for any pair of sets. When iconv stops on a character the target cannot hold it does
// not say how long that character is; the skip rules above know the lengths in UTF-8, UTF-16 and
// the double-byte code pages only, so a four-byte GB18030 character or a three-byte EUC-JP one
// would be skipped one byte at a time and its tail bytes read as characters of their own. From
// any other set the text goes through UTF-16 first, which holds everything; the second step then
// reads UTF-16, whose units it knows. (Unreadable input becomes U+FFFD there, which the target
// writes as its replacement like any other character it cannot hold.) UTF-8 to UTF-8 goes the same
// way: glibc reads sequences beyond U+10FFFF (lead bytes F5 to F7) and writes them back unchanged,
// where UTF-16 refuses them.
bool ConvertByCharacter(std::string_view in, const std::string& from, const std::string& to,
                        std::string_view replacement, std::string& out) {
    const std::size_t inStep = InStepFor(from);
    const bool sameUtf8 = from == "UTF-8" && to == "UTF-8";
    if ((inStep != 1 || HoldsEveryCharacter(to)) && !sameUtf8)
        return Convert(in, from, to, inStep, replacement, out);
    std::string utf16;
    if (!Convert(in, from, "UTF-16LE", inStep, ReplacementFor("UTF-16LE"), utf16))
        return false;
    return Convert(utf16, "UTF-16LE", to, InStepFor("UTF-16LE"), replacement, out);
}

} // namespace

Bytes CodePageToUtf16(const Bytes& input, std::int32_t codePage) {
    const std::string_view in =
        UntilNulByte(std::string_view(reinterpret_cast<const char*>(input.data()), input.size()));
    std::string out;
    const std::string from = IconvName(codePage);
    if (in.empty() || !Convert(in, from, "UTF-16LE", InStepFor(from), ReplacementFor("UTF-16LE"), out) ||
        out.empty())
        return Bytes();
    Bytes result(out.begin(), out.end());
    result.push_back(0);
    result.push_back(0);
    return result;
}

Bytes Utf16ToCodePage(const Bytes& input, std::int32_t codePage) {
    const std::string_view in = UntilNulUnit(input);
    const std::string to = IconvName(codePage);
    std::string out;
    if (in.empty() || !Convert(in, "UTF-16LE", to, 2, ReplacementFor(to), out))
        return Bytes();
    // The result is cut at its first zero byte, as the platform's converter output is read.
    return Bytes(out.begin(), out.begin() + UntilNulByte(out).size());
}

Bytes AnsiToUtf16(const Text& text, bool cut) {
    Bytes utf16 = CodePageToUtf16(ToBytes(text), 936);
    return cut ? CutAtNul(utf16, false) : utf16;
}

Text Utf16ToAnsi(const Bytes& utf16) { return Utf16ToCodePageText(utf16, 936); }

Text Utf16ToCodePageText(const Bytes& utf16, std::int32_t codePage) { return ToText(Utf16ToCodePage(utf16, codePage)); }

Bytes TextToUtf16(const Text& text, std::int32_t codePage) { return CodePageToUtf16(ToBytes(text), codePage); }

Text Utf8ToAnsi(const Text& utf8) { return Utf16ToAnsi(TextToUtf16(utf8, 65001)); }

Bytes CutAtNul(const Bytes& utf16, bool terminator) {
    if (utf16.size() < 2)
        return Bytes();
    std::size_t i = 0;
    while (i + 2 <= utf16.size() && !(utf16[i] == 0 && utf16[i + 1] == 0))
        i += 2;
    if (i == 0)
        return Bytes();
    Bytes result(utf16.begin(), utf16.begin() + i);
    if (terminator) {
        result.push_back(0);
        result.push_back(0);
    }
    return result;
}

std::string ConvertCodePage(std::string_view input, std::int32_t fromCodePage, std::int32_t toCodePage) {
    const std::string from = IconvName(fromCodePage);
    const std::string to = IconvName(toCodePage);
    std::string out;
    if (!ConvertByCharacter(UntilNulByte(input), from, to, ReplacementFor(to), out))
        return std::string();
    return out;
}

bool CharsetToAnsi(std::string_view input, const std::string& charsetName, Text& out) {
    std::string name = charsetName;
    for (char& c : name)
        c = (c >= 'a' && c <= 'z') ? static_cast<char>(c - 32) : c;
    Text converted;
    if (name.empty() || !ConvertByCharacter(input, name, "CP936", "?", converted))
        return false;
    out = std::move(converted);
    return true;
}

} // namespace velk
