#pragma once
// A scripted HTTP server on 127.0.0.1 for the tests. It binds port 0, records every request's
// raw bytes and answers each with the bytes its handler returns, byte for byte: status lines,
// header blocks and bodies are whatever the test writes, broken ones included.

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

    // A well-formed response with Content-Length and the given extra header lines (each ending CRLF).
    static ServerReply Http(int status, const std::string& body, const std::string& extraHeaders = "",
                            const std::string& reason = "");
};

class LoopbackServer {
public:
    using Handler = std::function<ServerReply(const ServerRequest&)>;

    explicit LoopbackServer(Handler handler);
    ~LoopbackServer();
    LoopbackServer(const LoopbackServer&) = delete;
    LoopbackServer& operator=(const LoopbackServer&) = delete;

    std::uint16_t Port() const { return m_port; }
    // "http://127.0.0.1:<port>" followed by path.
    std::string Url(const std::string& path = "/") const;
    // "127.0.0.1:<port>"
    std::string HostPort() const;
    std::vector<ServerRequest> Requests() const;
    void Stop();

private:
    void AcceptLoop();
    void Serve(int fd);

    Handler m_handler;
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
