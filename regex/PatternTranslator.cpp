#include "regex/PatternTranslator.h"

#include <algorithm>
#include <cstdio>
#include <vector>

namespace velk {
namespace {

// Written for PCRE2_ALT_BSUX: \xhh takes exactly two hex digits, \uhhhh exactly four.
constexpr std::string_view kLineTerminators = "\\n\\r\\u2028\\u2029";
// Byte mode: one code page 936 character. A lead byte with a valid second byte is taken whole
// and atomically, so backtracking can never split it; any other byte is a character alone.
constexpr std::string_view kBytePair = "[\\x81-\\xFE][\\x40-\\x7E\\x80-\\xFE]";
constexpr std::string_view kByteAsciiSpaces = "\\t\\n\\x0B\\f\\r ";
constexpr std::string_view kByteIdeographicSpace = "\\xA1\\xA1";
constexpr std::string_view kSpaceMembers =
    "\\t\\n\\x0B\\f\\r \\xA0\\u1680\\u2000-\\u200A\\u2028\\u2029\\u202F\\u205F\\u3000\\uFEFF";
// Everything in the Basic Multilingual Plane but kSpaceMembers (a Text has nothing beyond it).
constexpr std::string_view kNonSpaceMembers = "\\x00-\\x08\\x0E-\\x1F\\x21-\\x9F\\xA1-\\u167F\\u1681-\\u1FFF"
                                              "\\u200B-\\u2027\\u202A-\\u202E\\u2030-\\u205E\\u2060-\\u2FFF"
                                              "\\u3001-\\uFEFE\\uFF00-\\uFFFF";

inline bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}
inline bool IsOctal(char c) {
    return c >= '0' && c <= '7';
}
inline bool IsHex(char c) {
    return IsDigit(c) || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}
inline bool IsLetter(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

std::string HexByte(unsigned value) {
    char buffer[8];
    std::snprintf(buffer, sizeof buffer, "\\x%02X", value & 0xFF);
    return buffer;
}

bool HexRun(std::string_view p, std::size_t from, std::size_t count) {
    if (from + count > p.size())
        return false;
    for (std::size_t k = 0; k < count; ++k)
        if (!IsHex(p[from + k]))
            return false;
    return true;
}

// Number of capturing groups in the whole pattern: a back-reference may name a later group.
std::size_t CountGroups(std::string_view p) {
    std::size_t count = 0;
    bool inClass = false;
    for (std::size_t i = 0; i < p.size(); ++i) {
        const char c = p[i];
        if (c == '\\') {
            ++i;
        } else if (inClass) {
            inClass = c != ']';
        } else if (c == '[') {
            inClass = true;
        } else if (c == '(' && (i + 1 >= p.size() || p[i + 1] != '?')) {
            ++count;
        }
    }
    return count;
}

// Legacy octal escape starting at p[i] (a digit 0..7): up to three digits with a first digit of
// 0..3, two otherwise. Returns the character and moves i past the digits.
unsigned ReadOctal(std::string_view p, std::size_t& i) {
    unsigned value = static_cast<unsigned>(p[i] - '0');
    const bool three = value <= 3;
    ++i;
    if (i < p.size() && IsOctal(p[i])) {
        value = value * 8 + static_cast<unsigned>(p[i++] - '0');
        if (three && i < p.size() && IsOctal(p[i]))
            value = value * 8 + static_cast<unsigned>(p[i++] - '0');
    }
    return value;
}

// {n}, {n,} or {n,m} at p[i]; on success sets end past the closing brace.
bool ReadBraceQuantifier(std::string_view p, std::size_t i, std::size_t& end, bool& ordered) {
    std::size_t j = i + 1;
    auto readNumber = [&](unsigned long long& value) {
        const std::size_t begin = j;
        value = 0;
        while (j < p.size() && IsDigit(p[j])) {
            if (value < 1'000'000'000ULL)
                value = value * 10 + static_cast<unsigned>(p[j] - '0');
            ++j;
        }
        return j > begin;
    };
    unsigned long long low = 0;
    unsigned long long high = 0;
    if (!readNumber(low))
        return false;
    ordered = true;
    if (j < p.size() && p[j] == ',') {
        ++j;
        if (readNumber(high))
            ordered = low <= high;
    }
    if (j >= p.size() || p[j] != '}')
        return false;
    end = j + 1;
    return true;
}

class Translator {
public:
    Translator(std::string_view pattern, bool multiline, bool bytes)
        : m_p(pattern), m_multiline(multiline), m_bytes(bytes), m_groups(CountGroups(pattern)) {}

    TranslatedPattern Run() {
        TranslatedPattern result;
        if (m_bytes) {
            for (char c : m_p)
                if (static_cast<unsigned char>(c) >= 0x80)
                    return result; // non-ASCII literals need the engine's own characters
        }
        m_out.reserve(m_p.size() * 2);
        std::size_t depth = 0;
        for (std::size_t i = 0; i < m_p.size();) {
            const char c = m_p[i];
            switch (c) {
            case '\\':
                if (!Escape(i))
                    return result;
                break;
            case '[':
                if (!Class(i))
                    return result;
                m_last = Last::Atom;
                break;
            case '(':
                if (i + 1 < m_p.size() && m_p[i + 1] == '?') {
                    if (i + 2 >= m_p.size() || (m_p[i + 2] != ':' && m_p[i + 2] != '=' && m_p[i + 2] != '!'))
                        return result;
                    m_positiveLookAhead = m_positiveLookAhead || m_p[i + 2] == '=';
                    m_out.append(m_p.substr(i, 3));
                    i += 3;
                    m_open.push_back(0);
                } else {
                    m_out.push_back('(');
                    ++i;
                    m_open.push_back(++m_opened);
                }
                ++depth;
                m_last = Last::Nothing;
                break;
            case ')':
                if (depth == 0)
                    return result;
                --depth;
                m_open.pop_back();
                m_out.push_back(')');
                ++i;
                m_last = Last::Atom;
                break;
            case '|':
                m_out.push_back('|');
                ++i;
                m_last = Last::Nothing;
                break;
            case '^':
                if (m_multiline)
                    m_out.append("(?<![^").append(Terminators()).append("])");
                else
                    m_out.push_back('^');
                ++i;
                m_last = Last::Assertion;
                break;
            case '$':
                if (m_multiline)
                    m_out.append("(?![^").append(Terminators()).append("])");
                else
                    m_out.append("\\z");
                ++i;
                m_last = Last::Assertion;
                break;
            case '.':
                if (m_bytes)
                    AnyCharacterBut("[^\\n\\r]");
                else
                    m_out.append("[^").append(kLineTerminators).append("]");
                ++i;
                m_last = Last::Atom;
                break;
            case '*':
            case '+':
            case '?':
                if (!Quantifier(i, i + 1))
                    return result;
                break;
            case '{': {
                std::size_t end = 0;
                bool ordered = true;
                if (ReadBraceQuantifier(m_p, i, end, ordered)) {
                    if (!ordered || !Quantifier(i, end))
                        return result;
                } else {
                    m_out.append("\\{");
                    ++i;
                    m_last = Last::Atom;
                }
                break;
            }
            case '}':
            case ']':
                m_out.push_back('\\');
                m_out.push_back(c);
                ++i;
                m_last = Last::Atom;
                break;
            default:
                m_out.push_back(c);
                ++i;
                m_last = Last::Atom;
                break;
            }
        }
        if (depth != 0)
            return result;
        result.ok = true;
        result.pattern = std::move(m_out);
        result.positiveLookAhead = m_positiveLookAhead;
        return result;
    }

private:
    enum class Last { Nothing, Atom, Assertion, Quantified };

    // The quantifier text p[i, end), plus a lazy "?" after it.
    bool Quantifier(std::size_t& i, std::size_t end) {
        if (m_last != Last::Atom)
            return false; // nothing to repeat, or a second quantifier (possessive in PCRE2)
        m_out.append(m_p.substr(i, end - i));
        i = end;
        if (i < m_p.size() && m_p[i] == '?') {
            m_out.push_back('?');
            ++i;
        }
        m_last = Last::Quantified;
        return true;
    }

    // An escape outside a class, at p[i] == '\\'.
    bool Escape(std::size_t& i) {
        if (i + 1 >= m_p.size())
            return false;
        const char c = m_p[i + 1];
        m_last = Last::Atom;
        if (c == 'b' || c == 'B') {
            if (m_bytes)
                return false; // whether the byte before is a whole character is not local
            m_out.push_back('\\');
            m_out.push_back(c);
            m_last = Last::Assertion;
            i += 2;
            return true;
        }
        if (c >= '1' && c <= '9') {
            std::size_t j = i + 1;
            std::size_t value = 0;
            while (j < m_p.size() && IsDigit(m_p[j])) {
                if (value < 1'000'000)
                    value = value * 10 + static_cast<std::size_t>(m_p[j] - '0');
                ++j;
            }
            if (value <= m_groups) {
                if (m_bytes)
                    return false; // ignoring case would fold second bytes of characters
                // Inside its own group a reference always meets an unset group in ECMAScript
                // (PCRE2 would fail it instead). Elsewhere it is wrapped in a group: PCRE2's JIT
                // fails a quantified reference to an unset group, such as \2{2}(a)(b), which
                // its interpreter and ECMAScript match as empty.
                if (std::find(m_open.begin(), m_open.end(), value) != m_open.end())
                    m_out.append("(?:)");
                else
                    m_out.append("(?:\\g{").append(std::to_string(value)).append("})");
                i = j;
                return true;
            }
        }
        if (c == 's') {
            if (m_bytes)
                m_out.append("(?:[")
                    .append(kByteAsciiSpaces)
                    .append("]|")
                    .append(kByteIdeographicSpace)
                    .append(")");
            else
                m_out.append("[").append(kSpaceMembers).append("]");
            i += 2;
            return true;
        }
        if (c == 'S') {
            if (m_bytes) {
                // One group, so that a quantifier repeats the look-ahead too.
                m_out.append("(?:(?!").append(kByteIdeographicSpace).append(")");
                AnyCharacterBut("[^" + std::string(kByteAsciiSpaces) + "]");
                m_out.push_back(')');
            } else {
                m_out.append("[^").append(kSpaceMembers).append("]");
            }
            i += 2;
            return true;
        }
        if (m_bytes && (c == 'D' || c == 'W')) {
            AnyCharacterBut(c == 'D' ? "\\D" : "\\W");
            i += 2;
            return true;
        }
        return CommonEscape(i, false);
    }

    // Escapes that mean the same inside and outside a class (digits here are never
    // back-references). p[i] == '\\' and a character follows.
    bool CommonEscape(std::size_t& i, bool inClass) {
        const char c = m_p[i + 1];
        switch (c) {
        case 'd':
        case 'D':
        case 'w':
        case 'W':
        case 'f':
        case 'n':
        case 'r':
        case 't':
            m_out.push_back('\\');
            m_out.push_back(c);
            i += 2;
            return true;
        case 'v':
            m_out.append("\\x0B");
            i += 2;
            return true;
        case 'c': {
            // \c and a letter (in a class also a digit or "_") is a control character; any
            // other \c is a backslash followed by c.
            const char x = i + 2 < m_p.size() ? m_p[i + 2] : '\0';
            if (IsLetter(x) || (inClass && (IsDigit(x) || x == '_'))) {
                m_out.append(HexByte(static_cast<unsigned>(x) % 32));
                i += 3;
            } else {
                m_out.append("\\\\");
                i += 1;
            }
            return true;
        }
        case 'x':
            if (HexRun(m_p, i + 2, 2)) {
                if (m_bytes && m_p[i + 2] >= '8')
                    return false; // a character beyond ASCII
                m_out.append(m_p.substr(i, 4));
                i += 4;
            } else {
                m_out.push_back('x');
                i += 2;
            }
            return true;
        case 'u':
            if (HexRun(m_p, i + 2, 4)) {
                if (m_bytes) {
                    const unsigned long value = std::stoul(std::string(m_p.substr(i + 2, 4)), nullptr, 16);
                    if (value >= 0x80)
                        return false;
                    m_out.append(HexByte(static_cast<unsigned>(value)));
                    i += 6;
                    return true;
                }
                m_out.append(m_p.substr(i, 6));
                i += 6;
            } else {
                m_out.push_back('u');
                i += 2;
            }
            return true;
        default:
            break;
        }
        if (c == '8' || c == '9') {
            m_out.push_back(c);
            i += 2;
            return true;
        }
        if (IsOctal(c)) {
            std::size_t j = i + 1;
            const unsigned value = ReadOctal(m_p, j);
            if (m_bytes && value >= 0x80)
                return false;
            m_out.append(HexByte(value));
            i = j;
            return true;
        }
        if (IsLetter(c)) {
            m_out.push_back(c); // an identity escape: the letter itself
        } else if (static_cast<unsigned char>(c) < 0x80) {
            m_out.push_back('\\');
            m_out.push_back(c);
        } else {
            m_out.push_back(c); // first byte of a non-ASCII character; the rest follows as is
        }
        i += 2;
        return true;
    }

    // A class from p[i] == '['. "]" right after "[" or "[^" closes it: [] and [^] are the empty
    // and the full class.
    bool Class(std::size_t& i) {
        ++i;
        const bool negated = i < m_p.size() && m_p[i] == '^';
        if (negated)
            ++i;
        if (!negated && i < m_p.size() && m_p[i] == ']') {
            // The empty class never matches. Written as a failing look-ahead: PCRE2 10.42 with
            // PCRE2_ALLOW_EMPTY_CLASS fails the whole pattern when "[]" is quantified ("[]*").
            m_out.append("(?:(?!))");
            ++i;
            return true;
        }
        if (m_bytes && negated) {
            // Anything but the members: a whole double-byte character, or a byte that is not one.
            m_out.append("(?>").append(kBytePair).append("|");
        }
        m_out.append(negated ? "[^" : "[");
        // Offset in m_out of a "-" that may be read as a range operator; a class escape after
        // it makes it a plain "-", as in ECMAScript ([a-\d] is a, "-" and the digits).
        std::size_t dash = std::string::npos;
        bool afterClassEscape = false;
        while (i < m_p.size()) {
            const char c = m_p[i];
            if (c == ']') {
                m_out.push_back(']');
                if (m_bytes && negated)
                    m_out.push_back(')');
                ++i;
                return true;
            }
            if (c == '\\') {
                if (i + 1 >= m_p.size())
                    return false;
                const char e = m_p[i + 1];
                const bool classEscape = e == 'd' || e == 'D' || e == 'w' || e == 'W' || e == 's' || e == 'S';
                if (m_bytes && (e == 'D' || e == 'W' || e == 's' || e == 'S'))
                    return false; // would need double-byte characters inside the class
                if (classEscape && dash != std::string::npos && dash + 1 == m_out.size())
                    m_out.insert(dash, 1, '\\');
                if (e == 's') {
                    m_out.append(kSpaceMembers);
                    i += 2;
                } else if (e == 'S') {
                    m_out.append(kNonSpaceMembers);
                    i += 2;
                } else if (e == 'b') {
                    m_out.append("\\x08");
                    i += 2;
                } else if (e == '-') {
                    m_out.append("\\-");
                    i += 2;
                } else if (!CommonEscape(i, true)) {
                    return false;
                }
                dash = std::string::npos;
                afterClassEscape = classEscape;
                continue;
            }
            if (c == '-') {
                // A "-" right after a class escape is a plain "-" too.
                if (afterClassEscape) {
                    m_out.append("\\-");
                } else {
                    dash = m_out.size();
                    m_out.push_back('-');
                }
                ++i;
                afterClassEscape = false;
                continue;
            }
            if (c == '[')
                m_out.push_back('\\'); // not a POSIX class such as [:alpha:]
            m_out.push_back(c);
            ++i;
            dash = std::string::npos;
            afterClassEscape = false;
        }
        return false; // no closing bracket
    }

    std::string_view Terminators() const { return m_bytes ? std::string_view("\\n\\r") : kLineTerminators; }

    // Byte mode: one whole character that is not a double-byte one must match `single`.
    void AnyCharacterBut(std::string_view single) {
        m_out.append("(?>").append(kBytePair).append("|").append(single).append(")");
    }

    std::string_view m_p;
    bool m_multiline;
    bool m_bytes;
    std::size_t m_groups;
    bool m_positiveLookAhead = false;
    std::size_t m_opened = 0;        // capturing groups opened so far
    std::vector<std::size_t> m_open; // groups open at this point, 0 for a non-capturing one
    std::string m_out;
    Last m_last = Last::Nothing;
};

} // namespace

TranslatedPattern TranslatePattern(std::string_view pattern, bool multiline) {
    return Translator(pattern, multiline, false).Run();
}

TranslatedPattern TranslatePatternForBytes(std::string_view pattern, bool multiline) {
    return Translator(pattern, multiline, true).Run();
}

} // namespace velk
