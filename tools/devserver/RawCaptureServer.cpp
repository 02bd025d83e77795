// A request-recording HTTP server for wire-level client tests.
#include "tools/devserver/RawCaptureServer.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <strings.h>

namespace devserver {

RawCaptureServer::~RawCaptureServer() { Stop(); }

bool RawCaptureServer::Start(const std::string& body) {
    m_body = body;
    m_listen = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (m_listen < 0) return false;
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof addr;
    if (::bind(m_listen, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 || ::listen(m_listen, 8) != 0 ||
        ::getsockname(m_listen, reinterpret_cast<sockaddr*>(&addr), &len) != 0) {
        ::close(m_listen);
        m_listen = -1;
        return false;
    }
    m_port = ntohs(addr.sin_port);
    m_thread = std::thread([this] { serve(); });
    return true;
}

void RawCaptureServer::Stop() {
    if (m_listen >= 0) ::shutdown(m_listen, SHUT_RDWR);
    if (m_thread.joinable()) m_thread.join();
    if (m_listen >= 0) ::close(m_listen);
    m_listen = -1;
}

std::vector<std::string> RawCaptureServer::Requests() const {
    std::lock_guard guard(m_lock);
    return m_requests;
}

void RawCaptureServer::serve() {
    for (;;) {
        int fd = ::accept4(m_listen, nullptr, nullptr, SOCK_CLOEXEC);
        if (fd < 0) return; // shut down
        handle(fd);
        ::close(fd);
    }
}

void RawCaptureServer::handle(int fd) {
    std::string data;
    char buffer[4096];
    std::size_t headEnd = std::string::npos;
    std::size_t want = 0;
    for (;;) {
        pollfd p{fd, POLLIN, 0};
        if (::poll(&p, 1, 5000) <= 0) break;
        ssize_t n = ::recv(fd, buffer, sizeof buffer, 0);
        if (n <= 0) break;
        data.append(buffer, static_cast<std::size_t>(n));
        if (headEnd == std::string::npos) {
            headEnd = data.find("\r\n\r\n");
            if (headEnd == std::string::npos) continue;
            headEnd += 4;
            std::size_t length = 0;
            std::size_t pos = 0;
            while ((pos = data.find("\r\n", pos)) != std::string::npos && pos < headEnd) {
                pos += 2;
                if (strncasecmp(data.c_str() + pos, "Content-Length:", 15) == 0)
                    length = std::strtoul(data.c_str() + pos + 15, nullptr, 10);
            }
            want = headEnd + length;
        }
        if (data.size() >= want) break;
    }
    {
        std::lock_guard guard(m_lock);
        m_requests.push_back(data);
    }
    std::string answer =
        "HTTP/1.1 200 OK\r\nContent-Type: text/plain\r\nContent-Length: " + std::to_string(m_body.size()) +
        "\r\nConnection: close\r\n\r\n" + m_body;
    ::send(fd, answer.data(), answer.size(), MSG_NOSIGNAL);
}

} // namespace devserver
