// How much one copy fewer is worth: fetches the same files three ways on one
// thread and reports the CPU seconds each needs per GB, MD5 included.
//
//   libcurl          the installer's own client (CHttpClient::DownloadFile,
//                    hashing what it writes): libcurl receives into its
//                    buffer, the file write copies into the page cache
//   socket + write   plain HTTP on a socket, received into a buffer, hashed,
//                    written: the same copies without libcurl
//   socket + mapped  received straight into the output file's mapped pages
//                    and hashed there: no copy after the receive
//
// Only plain HTTP/1.1 with a Content-Length is understood: this measures
// the copies, it is not a client. Usage:
//   quellan-bench-receive --out DIR [--rounds N] URL...
#include "engine/HttpClient.h"
#include "util/Text.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <sys/mman.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

namespace {

constexpr std::size_t kBuffer = 512 * 1024; // what the installer asks libcurl for

struct Address {
    std::string host;
    int port = 80;
    std::string path;
};

bool parseAddress(const std::string& url, Address& out) {
    const std::string scheme = "http://";
    if (url.rfind(scheme, 0) != 0) return false;
    const std::size_t slash = url.find('/', scheme.size());
    const std::string authority = url.substr(scheme.size(), slash - scheme.size());
    out.path = slash == std::string::npos ? "/" : url.substr(slash);
    const std::size_t colon = authority.find(':');
    out.host = authority.substr(0, colon);
    if (colon != std::string::npos) out.port = std::atoi(authority.c_str() + colon + 1);
    return true;
}

// A socket with the response head read; `pending` holds body bytes that came with it.
struct Response {
    int fd = -1;
    long long length = -1;
    std::string pending;
    ~Response() {
        if (fd >= 0) close(fd);
    }
};

bool request(const Address& a, Response& r) {
    r.fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in sa{};
    sa.sin_family = AF_INET;
    sa.sin_port = htons(static_cast<uint16_t>(a.port));
    if (r.fd < 0 || inet_pton(AF_INET, a.host.c_str(), &sa.sin_addr) != 1 ||
        connect(r.fd, reinterpret_cast<sockaddr*>(&sa), sizeof sa) != 0)
        return false;
    const std::string head = "GET " + a.path + " HTTP/1.1\r\nHost: " + a.host + "\r\nConnection: close\r\n\r\n";
    if (send(r.fd, head.data(), head.size(), 0) != static_cast<ssize_t>(head.size())) return false;
    std::string got;
    char chunk[4096];
    std::size_t end = std::string::npos;
    while ((end = got.find("\r\n\r\n")) == std::string::npos) {
        const ssize_t n = recv(r.fd, chunk, sizeof chunk, 0);
        if (n <= 0 || got.size() > 64 * 1024) return false;
        got.append(chunk, static_cast<std::size_t>(n));
    }
    if (got.rfind("HTTP/1.", 0) != 0 || got.compare(9, 4, "200 ") != 0) return false;
    std::string lower = got.substr(0, end);
    std::transform(lower.begin(), lower.end(), lower.begin(), [](unsigned char c) { return std::tolower(c); });
    const std::size_t field = lower.find("\r\ncontent-length:");
    if (field == std::string::npos) return false;
    r.length = std::atoll(lower.c_str() + field + 17);
    r.pending = got.substr(end + 4);
    return r.length >= 0 && static_cast<long long>(r.pending.size()) <= r.length;
}

// Receive into a buffer, hash it, write it.
std::string viaWrite(const Address& a, const std::string& target) {
    Response r;
    if (!request(a, r)) return {};
    const int out = open(target.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (out < 0) return {};
    CMd5Stream md5;
    md5.Update(r.pending.data(), r.pending.size());
    bool ok = write(out, r.pending.data(), r.pending.size()) == static_cast<ssize_t>(r.pending.size());
    std::vector<char> buffer(kBuffer);
    long long left = r.length - static_cast<long long>(r.pending.size());
    while (ok && left > 0) {
        const ssize_t n = recv(r.fd, buffer.data(), std::min<long long>(left, kBuffer), 0);
        if (n <= 0) {
            ok = false;
            break;
        }
        md5.Update(buffer.data(), static_cast<std::size_t>(n));
        ok = write(out, buffer.data(), static_cast<std::size_t>(n)) == n;
        left -= n;
    }
    close(out);
    return ok ? md5.Finish() : std::string();
}

// Receive straight into the file's mapped pages and hash them there.
std::string viaMapping(const Address& a, const std::string& target) {
    Response r;
    if (!request(a, r)) return {};
    const int out = open(target.c_str(), O_RDWR | O_CREAT | O_TRUNC, 0644);
    if (out < 0) return {};
    CMd5Stream md5;
    bool ok = r.length == 0 || ftruncate(out, r.length) == 0;
    char* map = nullptr;
    if (ok && r.length > 0) {
        void* p = mmap(nullptr, static_cast<std::size_t>(r.length), PROT_READ | PROT_WRITE, MAP_SHARED, out, 0);
        ok = p != MAP_FAILED;
        if (ok) map = static_cast<char*>(p);
    }
    long long at = 0;
    if (ok && !r.pending.empty()) {
        std::memcpy(map, r.pending.data(), r.pending.size());
        md5.Update(map, r.pending.size());
        at = static_cast<long long>(r.pending.size());
    }
    while (ok && at < r.length) {
        const ssize_t n = recv(r.fd, map + at, std::min<long long>(r.length - at, kBuffer), 0);
        if (n <= 0) {
            ok = false;
            break;
        }
        md5.Update(map + at, static_cast<std::size_t>(n));
        at += n;
    }
    if (map) munmap(map, static_cast<std::size_t>(r.length));
    close(out);
    return ok ? md5.Finish() : std::string();
}

// The installer's client, hashing what it writes as the download worker does.
class HashingObserver : public IDownloadObserver {
public:
    bool OnBodyStart(std::int64_t, const ResponseValidators&) override { return true; }
    void OnChunk(const char* bytes, std::size_t length) override { m_md5.Update(bytes, length); }
    std::string Finish() { return m_md5.Finish(); }

private:
    CMd5Stream m_md5;
};

std::string viaLibcurl(const std::string& url, const std::string& target) {
    CHttpClient client;
    HashingObserver observer;
    DownloadOptions options;
    options.observer = &observer;
    if (!client.DownloadFile(nullptr, url, Utf8ToUnicode(target), nullptr, options)) return {};
    return observer.Finish();
}

double cpuSeconds() {
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return static_cast<double>(u.ru_utime.tv_sec + u.ru_stime.tv_sec) +
           static_cast<double>(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

struct Way {
    const char* name;
    std::function<std::string(const std::string& url, const Address&, const std::string& target)> fetch;
    double bestCpu = 1e30, bestWall = 1e30;
};

} // namespace

int main(int argc, char** argv) {
    std::string outDir;
    int rounds = 3;
    std::vector<std::string> urls;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--out" && i + 1 < argc)
            outDir = argv[++i];
        else if (arg == "--rounds" && i + 1 < argc)
            rounds = std::max(1, std::atoi(argv[++i]));
        else
            urls.push_back(arg);
    }
    if (outDir.empty() || urls.empty()) {
        std::fprintf(stderr, "usage: quellan-bench-receive --out DIR [--rounds N] URL...\n");
        return 2;
    }
    std::vector<Address> addresses(urls.size());
    for (std::size_t i = 0; i < urls.size(); ++i)
        if (!parseAddress(urls[i], addresses[i])) {
            std::fprintf(stderr, "not a plain http address: %s\n", urls[i].c_str());
            return 2;
        }

    Way ways[] = {
        {"libcurl, write",
         [](const std::string& url, const Address&, const std::string& t) { return viaLibcurl(url, t); }},
        {"socket, write", [](const std::string&, const Address& a, const std::string& t) { return viaWrite(a, t); }},
        {"socket, mapped", [](const std::string&, const Address& a, const std::string& t) { return viaMapping(a, t); }},
    };
    // The digests of the first way are the reference the others must match.
    std::vector<std::string> reference(urls.size());
    long long bytes = 0;
    for (int round = 0; round < rounds; ++round)
        for (Way& way : ways) {
            std::filesystem::remove_all(outDir);
            std::filesystem::create_directories(outDir);
            const double cpu0 = cpuSeconds();
            const auto wall0 = std::chrono::steady_clock::now();
            for (std::size_t i = 0; i < urls.size(); ++i) {
                const std::string target = outDir + "/" + std::to_string(i);
                const std::string digest = way.fetch(urls[i], addresses[i], target);
                if (digest.empty() || (!reference[i].empty() && digest != reference[i])) {
                    std::fprintf(stderr, "%s: %s came out wrong\n", way.name, urls[i].c_str());
                    return 1;
                }
                reference[i] = digest;
                if (round == 0 && &way == &ways[0]) bytes += static_cast<long long>(std::filesystem::file_size(target));
            }
            const double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - wall0).count();
            way.bestCpu = std::min(way.bestCpu, cpuSeconds() - cpu0);
            way.bestWall = std::min(way.bestWall, wall);
        }
    std::filesystem::remove_all(outDir);

    const double gb = static_cast<double>(bytes) / 1e9;
    std::printf("Receive and hash on one thread, %lld MB in %zu files, best of %d\n", bytes / 1000000, urls.size(),
                rounds);
    std::printf("%-18s %10s %14s %10s\n", "", "seconds", "cpu-s per GB", "MB/s");
    for (const Way& way : ways)
        std::printf("%-18s %10.3f %14.3f %10.1f\n", way.name, way.bestWall, way.bestCpu / gb,
                    static_cast<double>(bytes) / way.bestWall / 1e6);
    std::printf("ratios: mapped over write %.2f (cpu), %.2f (time); libcurl over socket write %.2f (cpu)\n",
                ways[2].bestCpu / ways[1].bestCpu, ways[2].bestWall / ways[1].bestWall,
                ways[0].bestCpu / ways[1].bestCpu);
    return 0;
}
