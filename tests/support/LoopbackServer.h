#pragma once
// A scripted HTTP server on 127.0.0.1 for the tests. It binds port 0, records every request's
// raw bytes and answers each with the bytes its handler returns, byte for byte: status lines,
// header blocks and bodies are whatever the test writes, broken ones included.
//
// With Transport::Tls it speaks HTTPS with a certificate made when the first such server
// starts: self-signed, for the name "localhost" (not 127.0.0.1), expired, and marked for
// client use only, so a client sees an unknown issuer, a wrong name, a wrong key usage and a
// bad date at once. A reply may also hand the connection over to a relay (a proxy's forward
// or tunnel, see LoopbackProxy); relays are plain TCP only.

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace velk::test {

struct ServerRequest {
    std::string raw;     // everything received: request line, headers, body
    std::string method;  // "GET"
    std::string target;  // "/path?query"
    std::string headers; // header lines after the request line, CRLF-separated, without the blank line
    std::string body;
    // Value of the first header with this name (case-insensitive), empty when absent.
    std::string Header(const std::string& name) const;
};

struct ServerReply {
    std::string bytes;                   // sent as they are
    std::chrono::milliseconds delay{0};  // wait before sending
    bool hangAfter = false;              // keep the connection open (until Stop) after sending
    bool closeWithoutReply = false;      // close at once, sending nothing
    // After sending `bytes`: connect to 127.0.0.1:relayPort, send relayFirst there, then copy
    // bytes both ways until one side closes. 0: no relay.
    std::uint16_t relayPort = 0;
    std::string relayFirst;

    // A well-formed response with Content-Length and the given extra header lines (each ending CRLF).
    static ServerReply Http(int status, const std::string& body, const std::string& extraHeaders = "",
                            const std::string& reason = "");
};

class LoopbackServer {
public:
    using Handler = std::function<ServerReply(const ServerRequest&)>;
    enum class Transport { Plain, Tls };

    explicit LoopbackServer(Handler handler, Transport transport = Transport::Plain);
    ~LoopbackServer();
    LoopbackServer(const LoopbackServer&) = delete;
    LoopbackServer& operator=(const LoopbackServer&) = delete;

    std::uint16_t Port() const { return m_port; }
    // "http://127.0.0.1:<port>" (https for Tls) followed by path.
    std::string Url(const std::string& path = "/") const;
    // "127.0.0.1:<port>"
    std::string HostPort() const;
    std::vector<ServerRequest> Requests() const;
    void Stop();

private:
    void AcceptLoop();
    void Serve(int fd);

    Handler m_handler;
    std::shared_ptr<void> m_tls; // the TLS context when serving HTTPS
    int m_listenFd = -1;
    std::uint16_t m_port = 0;
    mutable std::mutex m_mutex;
    std::vector<ServerRequest> m_requests;
    std::vector<int> m_openFds;
    std::vector<std::thread> m_workers;
    std::thread m_acceptor;
    bool m_stopping = false;
};

// A port on 127.0.0.1 on which nothing listens (bound, then closed).
std::uint16_t UnusedPort();

} // namespace velk::test
