#pragma once
// A small HTTP proxy on 127.0.0.1 for the tests, built on LoopbackServer. It forwards
// absolute-form requests ("GET http://127.0.0.1:<port>/path") to that port and tunnels CONNECT
// to it; any target other than 127.0.0.1 gets 403. When made with credentials it wants them as
// "Proxy-Authorization: Basic ..." on every request and answers 407 otherwise. Every request
// it receives is recorded, raw, before forwarding.

#include <cstdint>
#include <string>
#include <vector>

#include "tests/support/LoopbackServer.h"

namespace velk::test {

class LoopbackProxy {
public:
    explicit LoopbackProxy(const std::string& user = "", const std::string& password = "");

    // "127.0.0.1:<port>"
    std::string HostPort() const { return m_server.HostPort(); }
    std::vector<ServerRequest> Requests() const { return m_server.Requests(); }

private:
    LoopbackServer m_server;
};

// RFC 4648 base64 of bytes, for Basic credentials.
std::string Base64(const std::string& bytes);

} // namespace velk::test
