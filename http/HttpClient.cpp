#include "http/HttpClient.h"

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include <curl/curl.h>

#include "http/HttpCookies.h"
#include "http/HttpHeaders.h"
#include "http/ResponseDecoder.h"
#include "util/Encoding.h"
#include "util/MessagePump.h"
#include "util/TextExtract.h"
#include "util/TextSearch.h"

namespace velk {
namespace {

using Clock = std::chrono::steady_clock;

// The failure texts, byte for byte, in code page 936.
constexpr const char* kNoTransport = "700 \xb5\xb1\xc7\xb0\xcf\xb5\xcd\xb3\xb2\xbb\xd6\xa7\xb3\xd6WinHttp\xb7\xfe\xce\xf1!";
constexpr const char* kBadUrl = "701 \xbd\xe2\xce\xf6URL\xb5\xd8\xd6\xb7\xca\xa7\xb0\xdc!";
constexpr const char* kNoSession = "702 \xb4\xb4\xbd\xa8WinHttp\xbb\xe1\xbb\xb0\xca\xa7\xb0\xdc!";
constexpr const char* kNoConnection = "703 \xb4\xb4\xbd\xa8WinHttp\xc1\xac\xbd\xd3\xca\xa7\xb0\xdc!";
constexpr const char* kNoRequest = "704 \xb4\xb4\xbd\xa8WinHttp\xc7\xeb\xc7\xf3\xca\xa7\xb0\xdc!";
constexpr const char* kTimeoutOption = "705 \xc9\xe8\xd6\xc3\xb3\xac\xca\xb1\xca\xb1\xbc\xe4\xca\xa7\xb0\xdc!";
constexpr const char* kCredentials = "707 \xc9\xe8\xd6\xc3\xb4\xfa\xc0\xed\xc6\xbe\xd6\xa4\xca\xa7\xb0\xdc!";
constexpr const char* kCertificateOption =
    "\xba\xf6\xc2\xd4\xb4\xed\xce\xf3/\xd6\xa4\xca\xe9\xb4\xed\xce\xf3  \xca\xa7\xb0\xdc\xa3\xa1";
constexpr const char* kCookieOption = "708 \xbd\xfb\xd6\xb9\xd7\xd4\xb6\xaf\xc9\xe8\xd6\xc3" "Cookies\xca\xa7\xb0\xdc!";
constexpr const char* kRedirectOption = "709 \xd6\xd8\xb6\xa8\xcf\xf2\xc9\xe8\xd6\xc3\xca\xa7\xb0\xdc!";
constexpr const char* kHeaderBlock = "710 \xc9\xe8\xd6\xc3\xd0\xad\xd2\xe9\xcd\xb7\xca\xa7\xb0\xdc!";
constexpr const char* kSendFailed = "711 \xb7\xa2\xcb\xcd\xc7\xeb\xc7\xf3\xca\xa7\xb0\xdc!";
constexpr const char* kNoResponse = "712 \xb7\xfe\xce\xf1\xc6\xf7\xce\xb4\xcf\xec\xd3\xa6!";
constexpr const char* kReadFailed = "713 \xb6\xc1\xc8\xa1\xca\xfd\xbe\xdd\xca\xa7\xb0\xdc!";

constexpr const char* kMethodNames[] = {"GET", "POST", "HEAD", "PUT", "OPTIONS", "DELETE", "TRACE", "CONNECT"};

// A body past this size ends the read as a read failure would, keeping what fits.
constexpr std::size_t kBodyCap = 32u * 1024 * 1024;
constexpr long kMaxRedirects = 10;
// Longest wait on the network between two runs of the message pump.
constexpr int kPumpIntervalMs = 20;

struct EasyCleanup {
    void operator()(CURL* h) const { curl_easy_cleanup(h); }
};
struct MultiCleanup {
    void operator()(CURLM* m) const { curl_multi_cleanup(m); }
};
struct SlistCleanup {
    void operator()(curl_slist* l) const { curl_slist_free_all(l); }
};
struct UrlCleanup {
    void operator()(CURLU* u) const { curl_url_cleanup(u); }
};
using EasyHandle = std::unique_ptr<CURL, EasyCleanup>;
using MultiHandle = std::unique_ptr<CURLM, MultiCleanup>;
using HeaderList = std::unique_ptr<curl_slist, SlistCleanup>;
using UrlHandle = std::unique_ptr<CURLU, UrlCleanup>;

// Keeps an easy handle attached to a multi handle and detaches it before either is cleaned up.
class MultiAttachment {
public:
    MultiAttachment(CURLM* multi, CURL* easy) : m_multi(multi), m_easy(easy) {
        m_attached = curl_multi_add_handle(multi, easy) == CURLM_OK;
    }
    ~MultiAttachment() {
        if (m_attached)
            curl_multi_remove_handle(m_multi, m_easy);
    }
    MultiAttachment(const MultiAttachment&) = delete;
    MultiAttachment& operator=(const MultiAttachment&) = delete;
    bool Attached() const { return m_attached; }

private:
    CURLM* m_multi;
    CURL* m_easy;
    bool m_attached = false;
};

// A URL part from curl_url_get as a std::string, empty when the part is absent.
std::string UrlPart(CURLU* url, CURLUPart part, unsigned flags = 0) {
    char* value = nullptr;
    if (curl_url_get(url, part, &value, flags) != CURLUE_OK || !value)
        return std::string();
    std::string out(value);
    curl_free(value);
    return out;
}

bool IsHttpScheme(std::string_view scheme, bool& secure) {
    secure = scheme == "https";
    return secure || scheme == "http";
}

struct TargetUrl {
    std::string url; // what curl is given: no user information, no fragment
    std::string host;
    bool secure = false;
};

// Parses an absolute http or https address. Characters outside ASCII (code page 936 in a query,
// say) go out as percent-encoded UTF-8, the way browsers send them. An address with another
// scheme, no host, a blank or control character, or a port outside 1..65535 is refused. A URL
// without a path but with a query asks for "/" and drops the query.
std::optional<TargetUrl> ParseUrl(const Text& url) {
    for (unsigned char c : url) {
        if (c <= 0x20 || c == 0x7f)
            return std::nullopt;
    }
    std::string ascii;
    for (unsigned char c : AnsiToUtf8(url)) {
        static constexpr char kHex[] = "0123456789ABCDEF";
        if (c < 0x80) {
            ascii += static_cast<char>(c);
        } else {
            ascii += '%';
            ascii += kHex[c >> 4];
            ascii += kHex[c & 15];
        }
    }
    const std::size_t authority = ascii.find("://");
    if (authority == std::string::npos)
        return std::nullopt;
    const std::size_t pathStart = ascii.find_first_of("/?#", authority + 3);
    if (pathStart == authority + 3)
        return std::nullopt; // "http:///x": curl would take x for the host
    if (pathStart != std::string::npos && ascii[pathStart] != '/')
        ascii = ascii.substr(0, pathStart) + "/";

    UrlHandle parsed(curl_url());
    if (!parsed || curl_url_set(parsed.get(), CURLUPART_URL, ascii.c_str(), 0) != CURLUE_OK)
        return std::nullopt;
    TargetUrl target;
    if (!IsHttpScheme(UrlPart(parsed.get(), CURLUPART_SCHEME), target.secure))
        return std::nullopt;
    target.host = UrlPart(parsed.get(), CURLUPART_HOST);
    if (target.host.empty())
        return std::nullopt;
    const std::string port = UrlPart(parsed.get(), CURLUPART_PORT, CURLU_DEFAULT_PORT);
    if (port.empty() || port == "0")
        return std::nullopt;
    // Credentials written into the address are not used; only the credential fields are.
    curl_url_set(parsed.get(), CURLUPART_USER, nullptr, 0);
    curl_url_set(parsed.get(), CURLUPART_PASSWORD, nullptr, 0);
    curl_url_set(parsed.get(), CURLUPART_OPTIONS, nullptr, 0);
    curl_url_set(parsed.get(), CURLUPART_FRAGMENT, nullptr, 0);
    target.url = UrlPart(parsed.get(), CURLUPART_URL);
    if (target.url.empty())
        return std::nullopt;
    return target;
}

// The header block as curl's list, with curl's own additions settled:
// - each CRLF-, CR- or LF-separated line is one entry, so no line can smuggle in another;
//   empty lines and lines without a colon are skipped;
// - "Name:" with nothing after it would tell curl to remove the header, "Name;" sends it empty;
// - curl adds "Accept: */*" and, for a body, a form Content-Type by itself: "Accept:" and
//   "Content-Type:" remove them where the block has none, so only the block's lines go out;
// - "Expect:" stops curl from waiting for "100 Continue" before a body.
// (libcurl manual, CURLOPT_HTTPHEADER.)
// With `cookieValues` given, Cookie lines are not sent as they are but handed back, so that
// they can go through curl's cookie engine (see AddCookiesToEngine).
HeaderList MakeHeaderList(const Text& block, bool hasBody, std::vector<std::string>* cookieValues, bool& ok) {
    HeaderList list;
    ok = true;
    auto append = [&](const std::string& line) {
        curl_slist* next = curl_slist_append(list.get(), line.c_str());
        if (!next) {
            ok = false;
            return;
        }
        (void)list.release();
        list.reset(next);
    };
    bool hasAccept = false;
    bool hasContentType = false;
    std::size_t start = 0;
    while (start <= block.size()) {
        std::size_t end = block.find_first_of("\r\n", start);
        if (end == std::string::npos)
            end = block.size();
        std::string line = block.substr(start, end - start);
        start = end + 1;
        const std::size_t colon = line.find(':');
        if (line.empty() || colon == std::string::npos || line.find('\0') != std::string::npos)
            continue;
        const std::string name = line.substr(0, colon);
        auto named = [&](std::string_view want) {
            return name.size() == want.size() && FindForward(name, want, 0, true) == 0;
        };
        if (cookieValues && named("Cookie")) {
            cookieValues->push_back(line.substr(colon + 1));
            continue;
        }
        hasAccept = hasAccept || named("Accept");
        hasContentType = hasContentType || named("Content-Type");
        if (line.find_first_not_of(' ', colon + 1) == std::string::npos)
            line = name + ";";
        append(line);
    }
    if (!hasAccept)
        append("Accept:");
    if (hasBody && !hasContentType)
        append("Content-Type:");
    append("Expect:");
    return list;
}

// Puts the pairs of Cookie line values into curl's cookie engine as session cookies of the
// target host only. The engine then sends them in one Cookie line together with cookies that
// a response sets on the way through a redirect chain, and not to another host the chain leads
// to. (libcurl manual, CURLOPT_COOKIELIST: the Netscape cookie file format.)
bool AddCookiesToEngine(CURL* h, const std::string& host, const std::vector<std::string>& values) {
    for (const std::string& value : values) {
        for (const Text& piece : SplitText(value, ";")) {
            const Text pair = TrimText(piece);
            if (pair.empty() || pair.find('\t') != std::string::npos)
                continue;
            const std::size_t equals = pair.find('=');
            const std::string name = equals == std::string::npos ? pair : pair.substr(0, equals);
            const std::string content = equals == std::string::npos ? std::string() : pair.substr(equals + 1);
            const std::string line = host + "\tFALSE\t/\tFALSE\t0\t" + name + "\t" + content;
            if (curl_easy_setopt(h, CURLOPT_COOKIELIST, line.c_str()) != CURLE_OK)
                return false;
        }
    }
    return true;
}

// State the transfer's callbacks share with the call. Belongs to one call on one thread.
struct Transfer {
    CURL* easy = nullptr;
    Bytes body;
    std::string headerBlock;      // the latest response's status line and header lines
    bool blockComplete = false;   // its empty line has arrived
    bool awaitingResponse = false; // a request went out after the latest block began
    bool requestSent = false;     // some request got past connecting
    bool previousSecure = false;
    bool downgradeRefused = false;
    bool capReached = false;
    curl_off_t lastUp = 0;
    curl_off_t lastDown = 0;
    Clock::time_point lastActivity = Clock::now();

    void Touch() { lastActivity = Clock::now(); }
    // The final response's headers are in and no other request followed: a failure now is
    // a failure to read the body.
    bool Reading() const { return blockComplete && !awaitingResponse; }
};

std::size_t OnHeaderLine(char* data, std::size_t size, std::size_t count, void* userdata) {
    auto* t = static_cast<Transfer*>(userdata);
    const std::size_t length = size * count;
    t->Touch();
    std::string_view line(data, length);
    while (!line.empty() && (line.back() == '\n' || line.back() == '\r'))
        line.remove_suffix(1);
    const bool statusLine = line.substr(0, 5) == "HTTP/";
    if (statusLine && (t->blockComplete || t->headerBlock.empty())) {
        // An informational or redirect response is replaced by the one that follows it.
        t->headerBlock.clear();
        t->blockComplete = false;
        t->awaitingResponse = false;
    } else if (t->blockComplete) {
        return length; // trailer fields after a chunked body are not part of the block
    }
    t->headerBlock.append(line);
    t->headerBlock += "\r\n";
    if (line.empty())
        t->blockComplete = true;
    return length;
}

std::size_t OnBody(char* data, std::size_t size, std::size_t count, void* userdata) {
    auto* t = static_cast<Transfer*>(userdata);
    const std::size_t length = size * count;
    t->Touch();
    if (t->body.empty()) {
        curl_off_t announced = -1;
        if (curl_easy_getinfo(t->easy, CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &announced) == CURLE_OK && announced > 0)
            t->body.reserve(std::min<std::size_t>(static_cast<std::size_t>(announced), kBodyCap));
    }
    const std::size_t room = kBodyCap - t->body.size();
    if (length > room) {
        t->body.insert(t->body.end(), data, data + room);
        t->capReached = true;
        return 0; // ends the transfer with CURLE_WRITE_ERROR
    }
    t->body.insert(t->body.end(), data, data + length);
    return length;
}

// Called once a connection stands, before each request goes out, redirects included
// (libcurl manual, CURLOPT_PREREQFUNCTION). A redirect from https to http is not followed:
// the redirect response itself becomes the result.
int OnRequestReady(void* userdata, char*, char*, int, int) {
    auto* t = static_cast<Transfer*>(userdata);
    char* url = nullptr;
    curl_easy_getinfo(t->easy, CURLINFO_EFFECTIVE_URL, &url);
    const bool secure = url && std::string_view(url).substr(0, 6) == "https:";
    if (t->requestSent && t->previousSecure && !secure) {
        t->downgradeRefused = true;
        return CURL_PREREQFUNC_ABORT;
    }
    t->previousSecure = secure;
    t->requestSent = true;
    t->awaitingResponse = true;
    return CURL_PREREQFUNC_OK;
}

// Counts request bytes going out as activity, so a slow upload is not a stall.
int OnProgress(void* userdata, curl_off_t, curl_off_t downloaded, curl_off_t, curl_off_t uploaded) {
    auto* t = static_cast<Transfer*>(userdata);
    if (downloaded != t->lastDown || uploaded != t->lastUp) {
        t->lastDown = downloaded;
        t->lastUp = uploaded;
        t->Touch();
    }
    return 0;
}

// How a failed transfer maps onto the numbered messages; nullptr for a failure while the
// body was read, after which the call goes on with what it has.
const char* FailureMessage(CURLcode code, const Transfer& t) {
    switch (code) {
    case CURLE_TOO_MANY_REDIRECTS:
        return kNoResponse;
    case CURLE_SEND_ERROR:
        return t.Reading() ? nullptr : kSendFailed;
    case CURLE_OUT_OF_MEMORY:
        return t.Reading() ? nullptr : kNoResponse;
    default:
        // Resolving, connecting, the TLS handshake and the proxy all come before the first
        // request goes out: the send step failed. Then the response is awaited, then read.
        if (!t.requestSent)
            return kSendFailed;
        return t.Reading() ? nullptr : kNoResponse;
    }
}

// Runs the transfer on a multi handle so that the calling thread's message pump runs while
// the network is waited on. The pump runs here, between curl calls, never inside a curl
// callback: a handler it runs may start another Send, which has its own handles.
CURLcode RunTransfer(CURLM* multi, Transfer& t, std::chrono::milliseconds stallLimit) {
    int running = 1;
    while (running) {
        if (curl_multi_perform(multi, &running) != CURLM_OK)
            return CURLE_RECV_ERROR;
        if (!running)
            break;
        // One limit for resolving, connecting, sending and a receive that stalls. Checked
        // right after curl has taken in whatever arrived, so a handler that kept the pump
        // busy for long does not count as silence of the server.
        if (Clock::now() - t.lastActivity > stallLimit)
            return CURLE_OPERATION_TIMEDOUT;
        MessagePump::ProcessPendingMessages();
        if (curl_multi_poll(multi, nullptr, 0, kPumpIntervalMs, nullptr) != CURLM_OK)
            return CURLE_RECV_ERROR;
    }
    int left = 0;
    CURLcode result = CURLE_RECV_ERROR;
    while (CURLMsg* message = curl_multi_info_read(multi, &left)) {
        if (message->msg == CURLMSG_DONE)
            result = message->data.result;
    }
    return result;
}

// The transport can speak HTTP at all (curl built without it cannot).
bool TransportUsable() {
    const curl_version_info_data* info = curl_version_info(CURLVERSION_NOW);
    if (!info || !info->protocols)
        return false;
    for (const char* const* p = info->protocols; *p; ++p) {
        if (std::string_view(*p) == "http")
            return true;
    }
    return false;
}

// A step failed: the message, then the closing steps.
Text Fail(HttpRequest& request, const char* message) {
    request.statusText = message;
    MessagePump::ProcessPendingMessages();
    return Text();
}

// An option could not be set: the message and nothing else, at once.
Text Abort(HttpRequest& request, const char* message) {
    request.statusText = message;
    return Text();
}

// Every setopt of one step succeeded.
struct OptionStep {
    CURL* h;
    bool ok = true;
    template <typename T> OptionStep& Set(CURLoption option, T value) {
        ok = ok && curl_easy_setopt(h, option, value) == CURLE_OK;
        return *this;
    }
};

bool BothGiven(const Text& a, const Text& b) { return !a.empty() && !b.empty(); }

Text StatusText(const Text& block) {
    constexpr std::size_t kStart = 9; // after "HTTP/1.1 "
    if (block.size() <= kStart)
        return Text();
    const std::size_t end = block.find("\r\n", kStart);
    return block.substr(kStart, end == std::string::npos ? std::string::npos : end - kStart);
}

} // namespace

Text HttpClient::Send(HttpRequest& request) {
    if (!TransportUsable())
        return Fail(request, kNoTransport);
    const std::optional<TargetUrl> target = ParseUrl(request.url);
    if (!target)
        return Fail(request, kBadUrl);
    MessagePump::ProcessPendingMessages();

    // One easy handle stands for the session, the connection and the request; it is never
    // reused, so nothing outlives the call. A multi handle drives it (see RunTransfer).
    EasyHandle easy(curl_easy_init());
    if (!easy)
        return Fail(request, kNoSession);
    CURL* h = easy.get();
    Transfer transfer;
    transfer.easy = h;

    // An empty proxy string also keeps curl from taking one from the environment.
    OptionStep session{h};
    session.Set(CURLOPT_NOSIGNAL, 1L)
        .Set(CURLOPT_PROTOCOLS_STR, "http,https")
        .Set(CURLOPT_PROXY, request.proxy.c_str());
    if (!request.proxy.empty())
        session.Set(CURLOPT_PROXYTYPE, static_cast<long>(CURLPROXY_HTTP));
    if (!session.ok)
        return Fail(request, kNoSession);

    const std::int64_t timeoutMs = request.timeoutSeconds > 0 ? std::int64_t{request.timeoutSeconds} * 1000 : 30000;
    if (!OptionStep{h}.Set(CURLOPT_CONNECTTIMEOUT_MS, static_cast<long>(timeoutMs)).ok)
        return Fail(request, kTimeoutOption);

    MultiHandle multi(curl_multi_init());
    if (!multi)
        return Fail(request, kNoConnection);

    const std::int32_t method = request.method;
    const char* methodName = method >= 0 && method <= kHttpConnect ? kMethodNames[method] : "GET";
    const std::string_view body = !request.postBytes.empty()
                                      ? std::string_view(reinterpret_cast<const char*>(request.postBytes.data()),
                                                         request.postBytes.size())
                                      : std::string_view(request.postText);
    const bool sendsBody = method != kHttpHead && (!body.empty() || method == kHttpPost);
    // HTTP/1.1 always, so the status line reads "HTTP/1.1 ..." as the status text expects.
    OptionStep open{h};
    open.Set(CURLOPT_URL, target->url.c_str())
        .Set(CURLOPT_HTTP_VERSION, static_cast<long>(CURL_HTTP_VERSION_1_1))
        .Set(CURLOPT_HEADERFUNCTION, OnHeaderLine)
        .Set(CURLOPT_HEADERDATA, &transfer)
        .Set(CURLOPT_WRITEFUNCTION, OnBody)
        .Set(CURLOPT_WRITEDATA, &transfer)
        .Set(CURLOPT_PREREQFUNCTION, OnRequestReady)
        .Set(CURLOPT_PREREQDATA, &transfer)
        .Set(CURLOPT_XFERINFOFUNCTION, OnProgress)
        .Set(CURLOPT_XFERINFODATA, &transfer)
        .Set(CURLOPT_NOPROGRESS, 0L)
        .Set(CURLOPT_SUPPRESS_CONNECT_HEADERS, 1L);
    if (method == kHttpHead)
        open.Set(CURLOPT_NOBODY, 1L);
    else if (method == kHttpPost)
        open.Set(CURLOPT_POST, 1L);
    else if (method != kHttpGet || sendsBody)
        open.Set(CURLOPT_CUSTOMREQUEST, methodName);
    if (!open.ok)
        return Fail(request, kNoRequest);

    if (BothGiven(request.userName, request.password)) {
        OptionStep server{h};
        server.Set(CURLOPT_HTTPAUTH, static_cast<unsigned long>(CURLAUTH_BASIC))
            .Set(CURLOPT_USERNAME, request.userName.c_str())
            .Set(CURLOPT_PASSWORD, request.password.c_str());
        if (!server.ok)
            return Abort(request, kCredentials);
    }
    if (BothGiven(request.proxyUserName, request.proxyPassword)) {
        OptionStep proxy{h};
        proxy.Set(CURLOPT_PROXYAUTH, static_cast<unsigned long>(CURLAUTH_BASIC))
            .Set(CURLOPT_PROXYUSERNAME, request.proxyUserName.c_str())
            .Set(CURLOPT_PROXYPASSWORD, request.proxyPassword.c_str());
        if (!proxy.ok)
            return Abort(request, kCredentials);
    }

    // An unknown issuer, a wrong key usage, a name mismatch and an expired certificate are
    // all accepted, which turning off peer and host verification covers. Revocation is not
    // checked either way: curl over OpenSSL checks none without a CRL file.
    if (!OptionStep{h}.Set(CURLOPT_SSL_VERIFYPEER, 0L).Set(CURLOPT_SSL_VERIFYHOST, 0L).ok)
        return Abort(request, kCertificateOption);

    // curl's cookie engine is off unless a cookie file is named; "" turns it on in memory
    // only, so cookies set during a redirect chain go along to the next hop.
    const bool cookieEngine = !request.cookies.empty();
    if (cookieEngine && !OptionStep{h}.Set(CURLOPT_COOKIEFILE, "").ok)
        return Abort(request, kCookieOption);

    OptionStep redirects{h};
    redirects.Set(CURLOPT_FOLLOWLOCATION, request.noRedirect ? 0L : 1L);
    if (!request.noRedirect)
        redirects.Set(CURLOPT_MAXREDIRS, kMaxRedirects).Set(CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
    if (!redirects.ok)
        return Abort(request, kRedirectOption);

    const Text block = HttpHeaders::BuildHeaderBlock(request.headers, method, request.cookies,
                                                     request.addDefaultHeaders, request.normaliseHeaderNames);
    bool listOk = false;
    std::vector<std::string> cookieValues;
    const HeaderList headerList = MakeHeaderList(block, sendsBody, cookieEngine ? &cookieValues : nullptr, listOk);
    if (!listOk || !OptionStep{h}.Set(CURLOPT_HTTPHEADER, headerList.get()).ok ||
        !AddCookiesToEngine(h, target->host, cookieValues))
        return Fail(request, kHeaderBlock);

    // The body is sent from the caller's own bytes, which outlive the transfer.
    if (sendsBody) {
        OptionStep send{h};
        send.Set(CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(body.size()))
            .Set(CURLOPT_POSTFIELDS, body.empty() ? "" : body.data());
        if (!send.ok)
            return Fail(request, kSendFailed);
    }
    MessagePump::ProcessPendingMessages();

    CURLcode result;
    {
        MultiAttachment attachment(multi.get(), h);
        if (!attachment.Attached())
            return Fail(request, kSendFailed);
        transfer.Touch();
        result = RunTransfer(multi.get(), transfer, std::chrono::milliseconds(timeoutMs));
    }
    const bool complete = result == CURLE_OK || (result == CURLE_ABORTED_BY_CALLBACK && transfer.downgradeRefused);
    if (!complete) {
        if (const char* message = FailureMessage(result, transfer))
            return Fail(request, message);
        // A read that fails keeps the bytes read so far; the status line replaces the
        // message below whenever the headers are there.
        request.statusText = kReadFailed;
    }
    if (transfer.headerBlock.empty()) {
        MessagePump::ProcessPendingMessages();
        return Text();
    }

    const std::string_view rawHeaders(transfer.headerBlock);
    request.responseHeaders = Text(rawHeaders.substr(0, rawHeaders.find('\0')));
    request.statusText = StatusText(request.responseHeaders);
    for (const Text& line : SplitText(request.responseHeaders, "\r\n")) {
        if (TextBefore(line, ": ") == "Set-Cookie") {
            request.responseCookies += HttpCookies::ExtractSetCookie(line);
            request.responseCookies += "; ";
        }
        constexpr std::string_view kLocation = "Location: ";
        if (FindForward(std::string_view(line).substr(0, kLocation.size()), kLocation, 0, true) == 0)
            request.location = line.substr(kLocation.size());
        MessagePump::ProcessPendingMessages();
    }
    if (request.responseCookies.size() >= 2 &&
        request.responseCookies.compare(request.responseCookies.size() - 2, 2, "; ") == 0)
        request.responseCookies.resize(request.responseCookies.size() - 2);
    if (request.mergeCookies && !request.cookies.empty())
        request.responseCookies = HttpCookies::MergeCookies(request.cookies, request.responseCookies);

    request.responseBody = std::move(transfer.body);
    const std::string_view bodyText(reinterpret_cast<const char*>(request.responseBody.data()),
                                    request.responseBody.size());
    Text text(bodyText.substr(0, bodyText.find('\0')));
    ResponseDecoder::DecodeResponseText(text, request.responseBody);
    MessagePump::ProcessPendingMessages();
    MessagePump::ProcessPendingMessages();
    return text;
}

} // namespace velk
