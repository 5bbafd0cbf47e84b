#pragma once
// Shared value types. Every Text holds bytes in code page 936 (GBK, Windows mapping); an empty
// Text and a missing Text are the same thing. Bytes is a plain byte array (image files, UTF-16
// data). TextArray elements are numbered from 1 by callers: element i lives at index i - 1.

#include <cstdint>
#include <string>
#include <vector>

namespace velk {

using Text = std::string;
using Bytes = std::vector<std::uint8_t>;
using TextArray = std::vector<Text>;

inline Bytes ToBytes(const Text& text) { return Bytes(text.begin(), text.end()); }
inline Text ToText(const Bytes& bytes) { return Text(bytes.begin(), bytes.end()); }

} // namespace velk
