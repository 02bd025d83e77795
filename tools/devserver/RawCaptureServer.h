// A minimal HTTP/1.1 server on 127.0.0.1 that records the exact bytes of each
// request and answers every one with the same canned response. For checking
// what a client puts on the wire (header order, line ends), which a full HTTP
// server parses away.
#pragma once

#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace devserver {

class RawCaptureServer {
public:
    RawCaptureServer() = default;
    ~RawCaptureServer();
    RawCaptureServer(const RawCaptureServer&) = delete;
    RawCaptureServer& operator=(const RawCaptureServer&) = delete;

    // Listens on 127.0.0.1 at a free port. body is answered with status 200.
    bool Start(const std::string& body = "ok");
    void Stop();
    int Port() const { return m_port; }

    // Each request as received: head (up to and including the blank line)
    // and the body its Content-Length announced.
    std::vector<std::string> Requests() const;

private:
    void serve();
    void handle(int fd);

    int m_listen = -1;
    int m_port = 0;
    std::string m_body;
    std::thread m_thread;
    mutable std::mutex m_lock;
    std::vector<std::string> m_requests;
};

} // namespace devserver
