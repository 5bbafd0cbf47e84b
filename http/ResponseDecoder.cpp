#include "http/ResponseDecoder.h"

#include <algorithm>
#include <string_view>

#include "regex/RegexObject.h"
#include "util/Encoding.h"
#include "util/TextSearch.h"

namespace velk {
namespace {

constexpr std::size_t kSearchedBytes = 1024;
constexpr const char* kCharsetPattern = "<meta.+?charset=[^\\w]?([-\\w]+)";

// Names that stand for code page 936 itself. Browsers and the Windows converters read every
// one of them as code page 936; iconv's GB2312 is the strict 1980 set and would turn the GBK
// extensions that such pages carry into "?".
bool IsCodePage936(const Text& name) {
    for (std::string_view alias : {"gbk", "gb2312", "x-gbk", "cp936", "gb_2312-80"}) {
        if (name.size() == alias.size() && FindForward(name, alias, 0, true) == 0)
            return true;
    }
    return false;
}

} // namespace

void ResponseDecoder::DecodeResponseText(Text& result, const Bytes& body) {
    RegexObject regex;
    // The cut may fall inside a double-byte character; the search converts it as a broken one.
    if (!regex.Search(kCharsetPattern, result.substr(0, kSearchedBytes)))
        return;
    const Text name = regex.SubMatchText(1, 1);
    if (name.empty() || name == "gbk" || name == "gb2312")
        return;
    const std::string_view bytes(reinterpret_cast<const char*>(body.data()), body.size());
    Text decoded;
    if (!CharsetToAnsi(bytes, IsCodePage936(name) ? "CP936" : name, decoded))
        return;
    // The caller's Text ends at its first zero, as the decoded string would read.
    decoded.resize(std::min(decoded.find('\0'), decoded.size()));
    result = std::move(decoded);
}

} // namespace velk
