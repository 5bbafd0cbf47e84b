#include "http/HttpHeaders.h"

#include <array>
#include <string_view>

#include "http/HttpClient.h"
#include "util/TextExtract.h"
#include "util/TextSearch.h"

namespace velk {
namespace {

constexpr std::string_view kCrLf = "\r\n";

struct DefaultHeader {
    std::string_view present; // searched for, ignoring case
    std::string_view line;    // appended when absent
    bool postOnly;
};

// In the order they are applied. The Content-Type search has no blank after the colon.
constexpr std::array<DefaultHeader, 6> kDefaults{{
    {"User-Agent: ", "User-Agent: Mozilla/5.0 (compatible; MSIE 9.0; Windows NT 6.1; WOW64; Trident/5.0)\r\n",
     false},
    {"Accept: ", "Accept: text/html, application/xhtml+xml, */*\r\n", false},
    {"Accept-Encoding: ", "Accept-Encoding: gbk, GB2312\r\n", false},
    {"Accept-Language: ", "Accept-Language: zh-cn\r\n", false},
    {"Content-Type:", "Content-Type: application/x-www-form-urlencoded\r\n", true},
    {"Cache-Control: ", "Cache-Control: no-cache\r\n", false},
}};

bool Contains(std::string_view text, std::string_view what, bool ignoreCase) {
    return FindForward(text, what, 0, ignoreCase) != kNotFound;
}

} // namespace

Text HttpHeaders::BuildHeaderBlock(const Text& headers, std::int32_t method, const Text& cookies,
                                   bool addDefaults, bool normaliseNames) {
    Text block = headers.empty() ? Text() : headers + "\r\n";
    if (addDefaults) {
        for (const DefaultHeader& row : kDefaults) {
            if (row.postOnly && method != kHttpPost)
                continue;
            if (!Contains(block, row.present, true))
                block += row.line;
        }
    }
    if (normaliseNames)
        block = NormaliseHeaderNames(block);
    // Only an exact "keep-alive" is dropped, and only where a CRLF follows it: a keep-alive
    // line that ends a normalised block stays.
    if (Contains(block, "Connection", false) && GetHeaderValue(block, "Connection") == "keep-alive")
        block = ReplaceAll(block, "Connection: keep-alive\r\n", "");
    if (!cookies.empty() && !Contains(block, "Cookie:", true)) {
        // A cookie text that is already a whole Cookie line goes out as it is.
        block += Contains(cookies, "Cookie:", true) ? "\r\n" : "\r\nCookie: ";
        block += cookies;
        block += kCrLf;
    }
    return block;
}

Text HttpHeaders::NormaliseHeaderNames(const Text& block) {
    Text out;
    for (const Text& line : SplitText(block, kCrLf)) {
        const std::size_t colon = FindForward(line, ":");
        if (colon == kNotFound)
            continue;
        const Text name = line.substr(0, colon);
        Text rewritten;
        if (Contains(name, "-", false)) {
            const TextArray words = SplitText(name, "-");
            for (std::size_t i = 0; i < words.size(); ++i) {
                if (i > 0)
                    rewritten += '-';
                rewritten += CapitaliseFirst(words[i]);
            }
        } else {
            rewritten = CapitaliseFirst(name);
        }
        // The rest is cut by the rewritten name's length, so a name that lost a trailing
        // hyphen in the split keeps it through the rest.
        out += rewritten;
        out.append(line, rewritten.size());
        out += kCrLf;
    }
    if (out.size() >= kCrLf.size())
        out.resize(out.size() - kCrLf.size());
    return out;
}

Text HttpHeaders::CapitaliseFirst(const Text& text) {
    Text out = text;
    if (!out.empty() && out[0] >= 'a' && out[0] <= 'z')
        out[0] = static_cast<char>(out[0] - 'a' + 'A');
    return out;
}

Text HttpHeaders::GetHeaderValue(const Text& block, const Text& name) {
    for (const Text& line : SplitText(block, kCrLf)) {
        if (line.compare(0, name.size(), name) == 0)
            return TextAfter(line, name + ": ");
    }
    return Text();
}

} // namespace velk
