#include "tests/support/LoopbackProxy.h"

#include <cstdlib>

namespace velk::test {
namespace {

constexpr std::string_view kLoopback = "127.0.0.1:";

// The port of "127.0.0.1:<port>" at the start of `target`, 0 for any other host.
std::uint16_t LoopbackPort(std::string_view target, std::size_t& end) {
    if (target.substr(0, kLoopback.size()) != kLoopback)
        return 0;
    end = kLoopback.size();
    unsigned long port = 0;
    while (end < target.size() && target[end] >= '0' && target[end] <= '9' && port < 65536)
        port = port * 10 + static_cast<unsigned long>(target[end++] - '0');
    return port > 0 && port < 65536 ? static_cast<std::uint16_t>(port) : 0;
}

// The request as the origin should see it: origin-form target, no proxy header lines.
std::string OriginRequest(const ServerRequest& r, const std::string& path) {
    const std::size_t lineEnd = r.raw.find("\r\n");
    const std::string line = r.raw.substr(0, lineEnd);
    std::string out = r.method + " " + path + line.substr(line.rfind(' ')) + "\r\n";
    std::size_t start = 0;
    while (start < r.headers.size()) {
        std::size_t end = r.headers.find("\r\n", start);
        if (end == std::string::npos)
            end = r.headers.size();
        const std::string header = r.headers.substr(start, end - start);
        if (header.rfind("Proxy-", 0) != 0)
            out += header + "\r\n";
        start = end + 2;
    }
    return out + "\r\n" + r.body;
}

ServerReply Forward(const ServerRequest& r) {
    std::size_t end = 0;
    if (r.method == "CONNECT") {
        const std::uint16_t port = LoopbackPort(r.target, end);
        if (port == 0 || end != r.target.size())
            return ServerReply::Http(403, "loopback only");
        ServerReply reply;
        reply.bytes = "HTTP/1.1 200 Connection established\r\n\r\n";
        reply.relayPort = port;
        return reply;
    }
    constexpr std::string_view kScheme = "http://";
    const std::string_view target(r.target);
    const std::uint16_t port =
        target.substr(0, kScheme.size()) == kScheme ? LoopbackPort(target.substr(kScheme.size()), end) : 0;
    if (port == 0)
        return ServerReply::Http(403, "loopback only");
    std::string path(target.substr(kScheme.size() + end));
    if (path.empty() || path[0] != '/')
        path.insert(0, "/");
    ServerReply reply;
    reply.relayPort = port;
    reply.relayFirst = OriginRequest(r, path);
    return reply;
}

} // namespace

std::string Base64(const std::string& bytes) {
    static constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string out;
    for (std::size_t i = 0; i < bytes.size(); i += 3) {
        std::uint32_t n = static_cast<unsigned char>(bytes[i]) << 16;
        if (i + 1 < bytes.size())
            n |= static_cast<unsigned char>(bytes[i + 1]) << 8;
        if (i + 2 < bytes.size())
            n |= static_cast<unsigned char>(bytes[i + 2]);
        out += kAlphabet[(n >> 18) & 63];
        out += kAlphabet[(n >> 12) & 63];
        out += i + 1 < bytes.size() ? kAlphabet[(n >> 6) & 63] : '=';
        out += i + 2 < bytes.size() ? kAlphabet[n & 63] : '=';
    }
    return out;
}

LoopbackProxy::LoopbackProxy(const std::string& user, const std::string& password)
    : m_server([expected = user.empty() ? std::string() : "Basic " + Base64(user + ":" + password)](
                   const ServerRequest& r) {
          if (!expected.empty() && r.Header("Proxy-Authorization") != expected)
              return ServerReply::Http(407, "proxy credentials wanted",
                                       "Proxy-Authenticate: Basic realm=\"loopback\"\r\n");
          return Forward(r);
      }) {}

} // namespace velk::test
