#pragma once
// DecodedSubject: a code page 936 Text decoded to UTF-8 for the regular-expression engine, with
// the way back from UTF-8 offsets to byte offsets in the Text.
//
// Each character of the Text becomes exactly one code point: ASCII as itself, a two-byte
// character (lead 81..FE, second byte 40..FE but not 7F) as its Unicode character or U+FFFD
// when it has none, byte 80 as the euro sign, and any other byte (FF, or a lead byte without a
// valid second byte, which then stays a character of its own) as U+FFFD. So the UTF-8 is always
// valid and an offset at a code point maps to exactly one byte offset.
//
// The buffers are meant to be reused across searches on one thread: large pages would
// otherwise fault in fresh memory on every search.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string_view>
#include <utility>
#include <vector>

namespace velk {

// Bytes the character at offset i of a code page 936 text of n bytes takes, by the rules above:
// 2 for a lead byte with a valid second byte, 1 otherwise.
inline std::size_t Cp936CharLength(const unsigned char* s, std::size_t i, std::size_t n) {
    return (s[i] >= 0x81 && s[i] <= 0xFE && i + 1 < n && s[i + 1] >= 0x40 && s[i + 1] <= 0xFE &&
            s[i + 1] != 0x7F)
               ? 2
               : 1;
}

class DecodedSubject {
public:
    // Decodes text. The Text must outlive the offset mapping (ToByteOffset reads it).
    void Decode(std::string_view text);
    // The UTF-8, zero-terminated, and its size in bytes.
    const char* Data() const { return m_buffer.get(); }
    std::size_t Size() const { return m_size; }
    // Length in bytes of the UTF-8 character at offset; 1 at or past the end.
    std::size_t CharLength(std::size_t offset) const;
    // The engine in UTF mode only ever matches at code point starts.
    bool IsCharStart(std::size_t) const { return true; }
    // Byte offset in the Text of the character that starts at the given UTF-8 offset (or of the
    // end, for the UTF-8 size).
    std::size_t ToByteOffset(std::size_t utf8Offset) const;
    // Frees the buffers when they have grown large, so one huge page does not stay resident.
    void Release();

private:
    std::unique_ptr<char[]> m_buffer;
    std::size_t m_capacity = 0;
    std::size_t m_size = 0;
    std::string_view m_source;
    // (UTF-8 offset, byte offset) at character starts, every few hundred bytes of output.
    std::vector<std::pair<std::uint32_t, std::uint32_t>> m_marks;
};

} // namespace velk
