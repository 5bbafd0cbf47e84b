#include "regex/SubjectDecoder.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <mutex>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "util/Encoding.h"

namespace velk {
namespace {

constexpr char32_t kReplacement = 0xFFFD;
constexpr std::size_t kTrailCount = 0xFF - 0x40; // second bytes 40..FE, 7F included as a hole
constexpr std::size_t kMarkSpacing = 256;
constexpr std::size_t kKeepCapacity = 8 * 1024 * 1024;

constexpr std::size_t kBlock = 16;

// Bit k set when byte k of the 16 at p is not ASCII.
inline std::uint32_t HighBits(const unsigned char* p) {
#if defined(__SSE2__)
    return static_cast<std::uint32_t>(
        _mm_movemask_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p))));
#else
    std::uint32_t bits = 0;
    for (std::size_t k = 0; k < kBlock; ++k)
        bits |= static_cast<std::uint32_t>(p[k] >> 7) << k;
    return bits;
#endif
}

inline void StoreBlock(char* out, const unsigned char* p) {
    std::memcpy(out, p, kBlock);
}

inline bool IsTrailByte(unsigned char b) {
    return b >= 0x40 && b <= 0xFE && b != 0x7F;
}

inline std::size_t UnitLength(const unsigned char* s, std::size_t i, std::size_t n) {
    return Cp936CharLength(s, i, n);
}

inline std::size_t Utf8Length(unsigned char lead) {
    return lead < 0x80 ? 1 : lead < 0xE0 ? 2 : lead < 0xF0 ? 3 : 4;
}

// Unicode characters of code page 936's double-byte codes and of byte 80, taken from iconv once
// per process: the engine needs them for every non-ASCII character of every page, and a call
// into iconv per character would cost more than the match itself.
struct Cp936Table {
    std::array<char16_t, (0xFE - 0x81 + 1) * kTrailCount> pairs{};
    char16_t byte80 = kReplacement;
};

char16_t FirstUnit(const Bytes& utf16) {
    if (utf16.size() < 4) // one unit plus the terminator
        return kReplacement;
    const char16_t unit = static_cast<char16_t>(utf16[0] | (utf16[1] << 8));
    return unit == 0 ? kReplacement : unit;
}

const Cp936Table& Table() {
    static Cp936Table table;
    static std::once_flag once;
    std::call_once(once, [] {
        table.pairs.fill(kReplacement);
        table.byte80 = FirstUnit(CodePageToUtf16(Bytes{0x80}, 936));
        // One conversion of every well-formed code: the converter turns each into one unit,
        // U+FFFD for codes it has no character for.
        Bytes all;
        std::vector<std::size_t> slots;
        for (unsigned lead = 0x81; lead <= 0xFE; ++lead) {
            for (unsigned trail = 0x40; trail <= 0xFE; ++trail) {
                if (trail == 0x7F)
                    continue;
                all.push_back(static_cast<std::uint8_t>(lead));
                all.push_back(static_cast<std::uint8_t>(trail));
                slots.push_back((lead - 0x81) * kTrailCount + (trail - 0x40));
            }
        }
        const Bytes utf16 = CodePageToUtf16(all, 936);
        if (utf16.size() == 2 * (slots.size() + 1)) {
            for (std::size_t k = 0; k < slots.size(); ++k)
                table.pairs[slots[k]] = static_cast<char16_t>(utf16[2 * k] | (utf16[2 * k + 1] << 8));
        } else {
            // The converter split or merged something: fall back to one code at a time.
            for (std::size_t k = 0; k < slots.size(); ++k)
                table.pairs[slots[k]] = FirstUnit(CodePageToUtf16(Bytes{all[2 * k], all[2 * k + 1]}, 936));
        }
    });
    return table;
}

inline std::size_t PutUtf8(char* out, char32_t c) {
    if (c < 0x80) {
        out[0] = static_cast<char>(c);
        return 1;
    }
    if (c < 0x800) {
        out[0] = static_cast<char>(0xC0 | (c >> 6));
        out[1] = static_cast<char>(0x80 | (c & 0x3F));
        return 2;
    }
    out[0] = static_cast<char>(0xE0 | (c >> 12));
    out[1] = static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out[2] = static_cast<char>(0x80 | (c & 0x3F));
    return 3;
}

} // namespace

void DecodedSubject::Decode(std::string_view text) {
    const Cp936Table& table = Table();
    m_source = text;
    m_marks.clear();
    // Every byte gives at most three bytes of UTF-8 (a lone byte as U+FFFD); the block copy
    // below may write up to 16 bytes past the end of what it keeps.
    const std::size_t need = 3 * text.size() + kBlock + 1;
    if (need > m_capacity) {
        m_buffer = std::make_unique_for_overwrite<char[]>(need);
        m_capacity = need;
    }
    const auto* s = reinterpret_cast<const unsigned char*>(text.data());
    const std::size_t n = text.size();
    char* out = m_buffer.get();
    std::size_t o = 0;
    std::size_t nextMark = kMarkSpacing;
    std::size_t i = 0;
    while (i < n) {
        if (o >= nextMark) {
            m_marks.emplace_back(static_cast<std::uint32_t>(o), static_cast<std::uint32_t>(i));
            nextMark = o + kMarkSpacing;
        }
        // ASCII, the bulk of an HTML page, is copied a block at a time.
        if (i + kBlock <= n) {
            const std::uint32_t high = HighBits(s + i);
            StoreBlock(out + o, s + i);
            const std::size_t ascii = high == 0 ? kBlock : static_cast<std::size_t>(__builtin_ctz(high));
            i += ascii;
            o += ascii;
            if (ascii == kBlock)
                continue;
        } else if (s[i] < 0x80) {
            out[o++] = static_cast<char>(s[i++]);
            continue;
        }
        // A run of non-ASCII characters.
        while (i < n && s[i] >= 0x80) {
            if (i + 1 < n && s[i] >= 0x81 && s[i] <= 0xFE && IsTrailByte(s[i + 1])) {
                o += PutUtf8(out + o, table.pairs[(s[i] - 0x81) * kTrailCount + (s[i + 1] - 0x40)]);
                i += 2;
            } else {
                o += PutUtf8(out + o, s[i] == 0x80 ? table.byte80 : kReplacement);
                ++i;
            }
        }
    }
    out[o] = '\0';
    m_size = o;
}

std::size_t DecodedSubject::CharLength(std::size_t offset) const {
    return offset < m_size ? Utf8Length(static_cast<unsigned char>(m_buffer[offset])) : 1;
}

std::size_t DecodedSubject::ToByteOffset(std::size_t utf8Offset) const {
    auto it = std::upper_bound(m_marks.begin(), m_marks.end(), utf8Offset,
                               [](std::size_t value, const auto& mark) { return value < mark.first; });
    std::size_t u = 0;
    std::size_t b = 0;
    if (it != m_marks.begin()) {
        --it;
        u = it->first;
        b = it->second;
    }
    const auto* s = reinterpret_cast<const unsigned char*>(m_source.data());
    const std::size_t n = m_source.size();
    while (u < utf8Offset && u < m_size) {
        u += Utf8Length(static_cast<unsigned char>(m_buffer[u]));
        b += UnitLength(s, b, n);
    }
    return b;
}

void DecodedSubject::Release() {
    m_source = {};
    if (m_capacity > kKeepCapacity) {
        m_buffer.reset();
        m_capacity = 0;
        m_size = 0;
        m_marks = {};
    }
}

} // namespace velk
