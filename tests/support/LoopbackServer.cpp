#include "tests/support/LoopbackServer.h"

#include <algorithm>
#include <cstring>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace velk::test {
namespace {

std::string Lower(std::string s) {
    for (char& c : s)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

bool SendAll(int fd, const std::string& bytes) {
    std::size_t sent = 0;
    while (sent < bytes.size()) {
        const ssize_t n = ::send(fd, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
        if (n <= 0)
            return false;
        sent += static_cast<std::size_t>(n);
    }
    return true;
}

const char* ReasonFor(int status) {
    switch (status) {
    case 200: return "OK";
    case 301: return "Moved Permanently";
    case 302: return "Found";
    case 304: return "Not Modified";
    case 401: return "Unauthorized";
    case 403: return "Forbidden";
    case 404: return "Not Found";
    case 407: return "Proxy Authentication Required";
    case 500: return "Internal Server Error";
    default: return "Status";
    }
}

int BindLoopback(std::uint16_t& port) {
    int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return -1;
    int one = 1;
    ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    addr.sin_port = 0;
    if (::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) {
        ::close(fd);
        return -1;
    }
    socklen_t len = sizeof addr;
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &len);
    port = ntohs(addr.sin_port);
    return fd;
}

} // namespace

std::string ServerRequest::Header(const std::string& name) const {
    const std::string want = Lower(name) + ":";
    std::size_t start = 0;
    while (start < headers.size()) {
        std::size_t end = headers.find("\r\n", start);
        if (end == std::string::npos)
            end = headers.size();
        const std::string line = headers.substr(start, end - start);
        if (Lower(line.substr(0, want.size())) == want) {
            std::string value = line.substr(want.size());
            value.erase(0, value.find_first_not_of(' '));
            return value;
        }
        start = end + 2;
    }
    return std::string();
}

ServerReply ServerReply::Http(int status, const std::string& body, const std::string& extraHeaders,
                              const std::string& reason) {
    ServerReply reply;
    reply.bytes = "HTTP/1.1 " + std::to_string(status) + " " + (reason.empty() ? ReasonFor(status) : reason) +
                  "\r\nContent-Length: " + std::to_string(body.size()) + "\r\nConnection: close\r\n" +
                  extraHeaders + "\r\n" + body;
    return reply;
}

LoopbackServer::LoopbackServer(Handler handler) : m_handler(std::move(handler)) {
    m_listenFd = BindLoopback(m_port);
    if (m_listenFd >= 0 && ::listen(m_listenFd, 64) == 0)
        m_acceptor = std::thread([this] { AcceptLoop(); });
}

LoopbackServer::~LoopbackServer() { Stop(); }

std::string LoopbackServer::Url(const std::string& path) const { return "http://" + HostPort() + path; }

std::string LoopbackServer::HostPort() const { return "127.0.0.1:" + std::to_string(m_port); }

std::vector<ServerRequest> LoopbackServer::Requests() const {
    std::lock_guard lock(m_mutex);
    return m_requests;
}

void LoopbackServer::Stop() {
    {
        std::lock_guard lock(m_mutex);
        if (m_stopping)
            return;
        m_stopping = true;
        for (int fd : m_openFds)
            ::shutdown(fd, SHUT_RDWR);
    }
    if (m_listenFd >= 0)
        ::shutdown(m_listenFd, SHUT_RDWR);
    if (m_acceptor.joinable())
        m_acceptor.join();
    if (m_listenFd >= 0)
        ::close(m_listenFd);
    std::vector<std::thread> workers;
    {
        std::lock_guard lock(m_mutex);
        workers.swap(m_workers);
    }
    for (auto& t : workers)
        t.join();
}

void LoopbackServer::AcceptLoop() {
    for (;;) {
        pollfd p{m_listenFd, POLLIN, 0};
        const int ready = ::poll(&p, 1, 100);
        {
            std::lock_guard lock(m_mutex);
            if (m_stopping)
                return;
        }
        if (ready <= 0)
            continue;
        const int fd = ::accept4(m_listenFd, nullptr, nullptr, SOCK_CLOEXEC);
        if (fd < 0)
            continue;
        std::lock_guard lock(m_mutex);
        if (m_stopping) {
            ::close(fd);
            return;
        }
        m_openFds.push_back(fd);
        m_workers.emplace_back([this, fd] { Serve(fd); });
    }
}

void LoopbackServer::Serve(int fd) {
    ServerRequest request;
    std::string& raw = request.raw;
    char buf[65536];
    std::size_t headerEnd = std::string::npos;
    std::size_t wanted = std::string::npos;
    while (wanted == std::string::npos || raw.size() < wanted) {
        const ssize_t n = ::recv(fd, buf, sizeof buf, 0);
        if (n <= 0)
            break;
        raw.append(buf, static_cast<std::size_t>(n));
        if (headerEnd == std::string::npos && (headerEnd = raw.find("\r\n\r\n")) != std::string::npos) {
            const std::size_t lineEnd = raw.find("\r\n");
            const std::string line = raw.substr(0, lineEnd);
            const std::size_t sp1 = line.find(' ');
            const std::size_t sp2 = line.find(' ', sp1 + 1);
            request.method = line.substr(0, sp1);
            if (sp1 != std::string::npos)
                request.target = line.substr(sp1 + 1, sp2 == std::string::npos ? std::string::npos : sp2 - sp1 - 1);
            request.headers = lineEnd < headerEnd ? raw.substr(lineEnd + 2, headerEnd - lineEnd - 2) : "";
            const std::string length = request.Header("Content-Length");
            wanted = headerEnd + 4 + (length.empty() ? 0 : std::stoul(length));
        }
    }
    if (headerEnd != std::string::npos)
        request.body = raw.substr(headerEnd + 4);
    {
        std::lock_guard lock(m_mutex);
        m_requests.push_back(request);
    }
    const ServerReply reply = m_handler(request);
    if (reply.delay.count() > 0) {
        pollfd p{fd, POLLIN, 0};
        ::poll(&p, 1, static_cast<int>(reply.delay.count())); // ends early when Stop shuts the socket
    }
    if (!reply.closeWithoutReply) {
        SendAll(fd, reply.bytes);
        if (reply.hangAfter) {
            // Wait until the client goes or Stop shuts the socket down.
            while (::recv(fd, buf, sizeof buf, 0) > 0) {
            }
        }
    }
    std::lock_guard lock(m_mutex);
    m_openFds.erase(std::remove(m_openFds.begin(), m_openFds.end(), fd), m_openFds.end());
    ::shutdown(fd, SHUT_RDWR);
    ::close(fd);
}

std::uint16_t UnusedPort() {
    std::uint16_t port = 0;
    const int fd = BindLoopback(port);
    if (fd >= 0)
        ::close(fd);
    return port;
}

} // namespace velk::test
