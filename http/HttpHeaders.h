#pragma once
// The request header block that HttpClient::Send hands to the transport, and its helpers.
//
// A block is code page 936 Text of header lines separated by CRLF. Presence tests are plain
// substring searches over the whole block (double-byte aware), not a parse of header names,
// so a search text found inside another line's value also counts as present. All routines
// are pure: Text in, Text out.

#include <cstdint>

#include "util/Text.h"

namespace velk {

class HttpHeaders {
public:
    // The caller's lines, then the default set where missing (Content-Type only for POST),
    // names capitalised when `normaliseNames` is set, "Connection: keep-alive" dropped, and
    // a Cookie line from `cookies` unless the block already carries one.
    static Text BuildHeaderBlock(const Text& headers, std::int32_t method, const Text& cookies,
                                 bool addDefaults, bool normaliseNames);

    // Every line's name with the first letter of each hyphen-separated word upper-cased;
    // lines without ":" dropped; no final CRLF.
    static Text NormaliseHeaderNames(const Text& block);

    // Upper-cases the first byte when it is an ASCII letter a to z.
    static Text CapitaliseFirst(const Text& text);

    // The value of the first line that starts with `name` (exact, case-sensitive): the text
    // after the last "name: " in that line, empty when there is none.
    static Text GetHeaderValue(const Text& block, const Text& name);
};

} // namespace velk
