#include "tests/support/LoopbackServer.h"

#include <algorithm>
#include <csignal>
#include <cstring>

#include <arpa/inet.h>
#include <openssl/err.h>
#include <openssl/ssl.h>
#include <openssl/x509v3.h>
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

// One accepted connection, plain or TLS.
class Connection {
public:
    Connection(int fd, SSL* ssl) : m_fd(fd), m_ssl(ssl) {}
    ssize_t Recv(char* buffer, std::size_t size) {
        if (!m_ssl)
            return ::recv(m_fd, buffer, size, 0);
        const int n = SSL_read(m_ssl, buffer, static_cast<int>(size));
        return n > 0 ? n : -1;
    }
    bool Send(const std::string& bytes) {
        if (!m_ssl)
            return SendAll(m_fd, bytes);
        return bytes.empty() || SSL_write(m_ssl, bytes.data(), static_cast<int>(bytes.size())) > 0;
    }

private:
    int m_fd;
    SSL* m_ssl;
};

// A server context with a freshly made key and a certificate that fails every check a client
// makes: self-signed, for "localhost", expired yesterday, for client authentication only.
std::shared_ptr<void> MakeTlsContext() {
    std::unique_ptr<EVP_PKEY, decltype(&EVP_PKEY_free)> key(EVP_EC_gen("P-256"), EVP_PKEY_free);
    std::unique_ptr<X509, decltype(&X509_free)> cert(X509_new(), X509_free);
    if (!key || !cert)
        return nullptr;
    X509_set_version(cert.get(), 2);
    ASN1_INTEGER_set(X509_get_serialNumber(cert.get()), 1);
    X509_gmtime_adj(X509_getm_notBefore(cert.get()), -2 * 86400);
    X509_gmtime_adj(X509_getm_notAfter(cert.get()), -86400);
    X509_set_pubkey(cert.get(), key.get());
    X509_NAME* name = X509_get_subject_name(cert.get());
    X509_NAME_add_entry_by_txt(name, "CN", MBSTRING_ASC, reinterpret_cast<const unsigned char*>("localhost"), -1,
                               -1, 0);
    X509_set_issuer_name(cert.get(), name);
    if (X509_EXTENSION* usage = X509V3_EXT_conf_nid(nullptr, nullptr, NID_ext_key_usage, "clientAuth")) {
        X509_add_ext(cert.get(), usage, -1);
        X509_EXTENSION_free(usage);
    }
    if (X509_sign(cert.get(), key.get(), EVP_sha256()) == 0)
        return nullptr;
    std::shared_ptr<SSL_CTX> context(SSL_CTX_new(TLS_server_method()), SSL_CTX_free);
    if (!context || SSL_CTX_use_certificate(context.get(), cert.get()) != 1 ||
        SSL_CTX_use_PrivateKey(context.get(), key.get()) != 1)
        return nullptr;
    return context;
}

int ConnectLoopback(std::uint16_t port) {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return -1;
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    addr.sin_port = htons(port);
    if (::connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

// Copies bytes both ways between two plain sockets until one side closes.
void Relay(int client, std::uint16_t port, const std::string& first) {
    const int origin = ConnectLoopback(port);
    if (origin < 0 || !SendAll(origin, first)) {
        if (origin >= 0)
            ::close(origin);
        return;
    }
    char buf[65536];
    for (;;) {
        pollfd p[2] = {{client, POLLIN, 0}, {origin, POLLIN, 0}};
        if (::poll(p, 2, 1000) < 0)
            break;
        bool done = false;
        for (int i = 0; i < 2 && !done; ++i) {
            if (!p[i].revents)
                continue;
            const ssize_t n = ::recv(p[i].fd, buf, sizeof buf, 0);
            done = n <= 0 || !SendAll(p[1 - i].fd, std::string(buf, static_cast<std::size_t>(n)));
        }
        if (done)
            break;
    }
    ::shutdown(origin, SHUT_RDWR);
    ::close(origin);
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

LoopbackServer::LoopbackServer(Handler handler, Transport transport) : m_handler(std::move(handler)) {
    // Server and client share the test process: a write to a peer that has gone (from the TLS
    // layer on either side) must fail with EPIPE, not end the process.
    std::signal(SIGPIPE, SIG_IGN);
    if (transport == Transport::Tls && !(m_tls = MakeTlsContext()))
        return;
    m_listenFd = BindLoopback(m_port);
    if (m_listenFd >= 0 && ::listen(m_listenFd, 64) == 0)
        m_acceptor = std::thread([this] { AcceptLoop(); });
}

LoopbackServer::~LoopbackServer() { Stop(); }

std::string LoopbackServer::Url(const std::string& path) const {
    return (m_tls ? "https://" : "http://") + HostPort() + path;
}

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
    std::unique_ptr<SSL, decltype(&SSL_free)> ssl(nullptr, SSL_free);
    if (m_tls) {
        ssl.reset(SSL_new(static_cast<SSL_CTX*>(m_tls.get())));
        if (ssl)
            SSL_set_fd(ssl.get(), fd);
        if (!ssl || SSL_accept(ssl.get()) != 1)
            ssl.reset(); // a failed handshake: the request below reads nothing
        ERR_clear_error();
    }
    Connection connection(fd, ssl.get());
    const bool broken = m_tls && !ssl;
    ServerRequest request;
    std::string& raw = request.raw;
    char buf[65536];
    std::size_t headerEnd = std::string::npos;
    std::size_t wanted = std::string::npos;
    while (!broken && (wanted == std::string::npos || raw.size() < wanted)) {
        const ssize_t n = connection.Recv(buf, sizeof buf);
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
    if (broken || raw.empty()) { // a connection that sent nothing is no request
        std::lock_guard lock(m_mutex);
        m_openFds.erase(std::remove(m_openFds.begin(), m_openFds.end(), fd), m_openFds.end());
        ::close(fd);
        return;
    }
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
        connection.Send(reply.bytes);
        if (reply.relayPort != 0 && !ssl) {
            Relay(fd, reply.relayPort, reply.relayFirst);
        } else if (reply.hangAfter) {
            // Wait until the client goes or Stop shuts the socket down.
            while (connection.Recv(buf, sizeof buf) > 0) {
            }
        }
    }
    if (ssl && !reply.closeWithoutReply)
        SSL_shutdown(ssl.get()); // close_notify, so a body that ends with the connection ends cleanly
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
