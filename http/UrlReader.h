#pragma once
// The simple URL reader: a plain HTTP/1.0 GET with "Accept: */*" and no cache that returns the
// body whatever the status. The empty Bytes on any failure. A body is capped at 32 MiB and the
// whole read at 30 s, so readers on worker threads cannot pile up behind a server that never
// answers or never stops.

#include "util/Text.h"

namespace velk {

class UrlReader {
public:
    static Bytes Read(const Text& url);
};

} // namespace velk
