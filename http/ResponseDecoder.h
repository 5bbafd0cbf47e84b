#pragma once
// The charset check of a response: an HTML page that declares another character set in a meta
// tag near its start is re-read in that set, so that the caller gets the same characters in
// code page 936. Bodies without such a tag (plain text, JSON, JSONP) stay as they came.

#include "util/Text.h"

namespace velk {

class ResponseDecoder {
public:
    // `result` holds the body up to its first zero byte; `body` is the whole body. Searches the
    // first 1024 bytes of `result` for <meta ... charset=NAME> (ignoring case, tag and charset
    // on one line). Unless NAME is exactly "gbk" or "gb2312", `result` becomes `body` decoded
    // from NAME, again up to its first zero. A NAME iconv does not know leaves `result` as it is.
    static void DecodeResponseText(Text& result, const Bytes& body);
};

} // namespace velk
