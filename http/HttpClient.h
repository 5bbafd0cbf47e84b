#pragma once
// The program's one HTTP routine: one complete synchronous request per call.
//
// The caller fills an HttpRequest (only `url` is required) and reads the result, the response
// body as code page 936 Text, plus whichever output fields it needs. Failure comes back as the
// empty Text with a numbered message ("700 ..." to "713 ...") in `statusText`; nothing throws.
// Every call opens its own transport and closes it before returning. While the call waits on
// the network it runs the calling thread's MessagePump, so handlers may run nested inside it.

#include <cstdint>

#include "util/Text.h"

namespace velk {

// Request method numbers; any other number sends GET.
enum HttpMethod : std::int32_t {
    kHttpGet = 0,
    kHttpPost = 1,
    kHttpHead = 2,
    kHttpPut = 3,
    kHttpOptions = 4,
    kHttpDelete = 5,
    kHttpTrace = 6,
    kHttpConnect = 7,
};

struct HttpRequest {
    Text url;                       // in: absolute http or https address
    std::int32_t method = kHttpGet; // in: HttpMethod number
    Text postText;                  // in: body as text, used when postBytes is empty
    Text cookies;                   // in/out: "name=value; ..." to send; merged after a response
    Text responseCookies;           // in/out: cookies set by the response, appended
    Text headers;                   // in: extra header lines, CRLF-separated
    Text responseHeaders;           // out: raw response header block, status line first
    bool noRedirect = false;        // in: do not follow redirects
    Text userName;                  // in: Basic credentials for the server
    Text password;
    Text proxy;                     // in: "host:port"; empty means direct
    Text proxyUserName;             // in: Basic credentials for the proxy
    Text proxyPassword;
    std::int32_t timeoutSeconds = 0; // in: 0 or less means 30 s
    Text location;                  // out: value of the "Location: " line
    Text statusText;                // out: "200 OK", or the numbered failure message
    Bytes responseBody;             // out: the raw body
    bool mergeCookies = true;       // in: merge response cookies into `cookies`
    bool addDefaultHeaders = true;  // in: add the default header set where missing
    Bytes postBytes;                // in: body as bytes; sent instead of postText when not empty
    bool normaliseHeaderNames = true; // in: capitalise header names of the block
};

class HttpClient {
public:
    static Text Send(HttpRequest& request);
};

} // namespace velk
