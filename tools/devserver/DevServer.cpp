// The local service and download server over cpp-httplib.
#include "tools/devserver/DevServer.h"

#include "tools/devserver/MultiRange.h"

#include <httplib.h>
#include <json/json.h>
#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/rsa.h>
#include <zlib.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <chrono>
#include <condition_variable>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>
#include <thread>

#ifndef QUELLAN_DEV_PUBLIC_KEY
#define QUELLAN_DEV_PUBLIC_KEY ""
#endif
#ifndef QUELLAN_DEV_ANSWER_KEY
#define QUELLAN_DEV_ANSWER_KEY ""
#endif

namespace devserver {

const char kSigningKey[] = "Rb4TqL8wXz2MnK7v";

namespace {

const char* const kEditions[] = {"alder", "birch", "cedar", "dogwood", "elm"};

std::string readFile(const std::string& path, bool* ok = nullptr) {
    std::ifstream in(path, std::ios::binary);
    if (ok) *ok = static_cast<bool>(in);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::string toHex(const unsigned char* data, std::size_t size) {
    static const char kHex[] = "0123456789abcdef";
    std::string out;
    out.reserve(size * 2);
    for (std::size_t i = 0; i < size; ++i) {
        out += kHex[data[i] >> 4];
        out += kHex[data[i] & 15];
    }
    return out;
}

std::string jsonText(const Json::Value& value) {
    Json::StreamWriterBuilder builder;
    builder["indentation"] = "";
    builder["emitUTF8"] = true;
    return Json::writeString(builder, value);
}

std::string errorJson(int code, const std::string& message) {
    Json::Value value;
    value["code"] = code;
    value["msg"] = message;
    return jsonText(value);
}

std::string gzipText(const std::string& text) {
    z_stream zs{};
    if (deflateInit2(&zs, Z_BEST_SPEED, Z_DEFLATED, 31, 8, Z_DEFAULT_STRATEGY) != Z_OK) return {};
    std::string out(deflateBound(&zs, text.size()) + 32, '\0');
    zs.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(text.data()));
    zs.avail_in = static_cast<uInt>(text.size());
    zs.next_out = reinterpret_cast<Bytef*>(out.data());
    zs.avail_out = static_cast<uInt>(out.size());
    deflate(&zs, Z_FINISH);
    out.resize(zs.total_out);
    deflateEnd(&zs);
    return out;
}

bool isLowerHex(const std::string& text, std::size_t length) {
    return text.size() == length && std::all_of(text.begin(), text.end(), [](char c) {
               return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f');
           });
}

bool isDigits(const std::string& text) {
    return !text.empty() && std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

} // namespace

std::string Sha256Hex(const std::string& text) {
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int size = 0;
    EVP_Digest(text.data(), text.size(), digest, &size, EVP_sha256(), nullptr);
    return toHex(digest, size);
}

std::string Md5Hex(const std::string& text) {
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int size = 0;
    EVP_Digest(text.data(), text.size(), digest, &size, EVP_md5(), nullptr);
    return toHex(digest, size);
}

std::string RecordedRequest::Header(const std::string& name) const {
    for (const auto& [key, value] : headers) {
        if (strcasecmp(key.c_str(), name.c_str()) == 0) return value;
    }
    return {};
}

// --- Impl ---

struct DevServer::Impl {
    Options options;
    std::unique_ptr<httplib::Server> server;
    std::thread thread;
    EVP_PKEY* publicKey = nullptr;
    EVP_PKEY* signKey = nullptr;
    std::int64_t serial = 1;
    std::int64_t expires = 0; // 0: a day after each answer

    mutable std::mutex lock;
    std::condition_variable stopping; // wakes delayed and stalled answers on Stop
    bool stopped = false;
    std::vector<RecordedRequest> requests;
    std::map<std::string, Fault> faults;
    std::map<std::string, std::int64_t> sent; // body bytes of files per path
    std::map<std::string, std::string> config;
    std::set<std::string> removed;
    std::map<std::string, std::string> redirects;
    std::string configText;
    bool haveConfigText = false;
    std::string checkCode = "20";
    std::string fileUrl;
    std::string fileSha256;
    bool fileSha256Set = false;
    std::string baseUrl;

    ~Impl() {
        if (publicKey) EVP_PKEY_free(publicKey);
        if (signKey) EVP_PKEY_free(signKey);
    }

    std::string sign(const std::string& path, const std::string& nonce, const std::string& payload) const {
        const std::string message = "quellan-answer-1\n" + path + "\n" + nonce + "\n" + payload;
        unsigned char signature[64];
        std::size_t size = sizeof signature;
        EVP_MD_CTX* ctx = EVP_MD_CTX_new();
        bool ok = ctx && EVP_DigestSignInit(ctx, nullptr, nullptr, nullptr, signKey) == 1 &&
                  EVP_DigestSign(ctx, signature, &size, reinterpret_cast<const unsigned char*>(message.data()),
                                 message.size()) == 1;
        EVP_MD_CTX_free(ctx);
        if (!ok) return {};
        unsigned char text[128];
        const int length = EVP_EncodeBlock(text, signature, static_cast<int>(size));
        return std::string(reinterpret_cast<const char*>(text), static_cast<std::size_t>(length));
    }

    // Sleeps unless the server stops first. True when the time passed.
    bool pause(int ms) {
        std::unique_lock guard(lock);
        return !stopping.wait_for(guard, std::chrono::milliseconds(ms), [this] { return stopped; });
    }

    // The fault for path, consuming one use of it.
    Fault takeFault(const std::string& path) {
        std::lock_guard guard(lock);
        auto it = faults.find(path);
        if (it == faults.end()) return {};
        Fault fault = it->second;
        if (it->second.times > 0 && --it->second.times == 0) faults.erase(it);
        return fault;
    }

    void record(const httplib::Request& req, int status, const std::string& response = {}) {
        RecordedRequest r;
        r.response = response;
        r.method = req.method;
        r.path = req.path;
        r.target = req.target;
        for (const auto& [key, value] : req.headers) r.headers.emplace_back(key, value);
        r.body = req.body;
        r.status = status;
        std::lock_guard guard(lock);
        requests.push_back(std::move(r));
    }

    std::string encrypt(const std::string& text) const {
        std::string hex;
        EVP_PKEY_CTX* ctx = EVP_PKEY_CTX_new(publicKey, nullptr);
        if (!ctx) return hex;
        if (EVP_PKEY_encrypt_init(ctx) > 0 && EVP_PKEY_CTX_set_rsa_padding(ctx, RSA_PKCS1_PADDING) > 0) {
            // PKCS #1 v1.5 leaves 117 bytes of a 128-byte block for data.
            for (std::size_t pos = 0; pos < text.size(); pos += 117) {
                std::size_t n = std::min<std::size_t>(117, text.size() - pos);
                unsigned char out[512];
                std::size_t outSize = sizeof out;
                if (EVP_PKEY_encrypt(ctx, out, &outSize, reinterpret_cast<const unsigned char*>(text.data() + pos),
                                     n) <= 0)
                    break;
                hex += toHex(out, outSize);
            }
        }
        EVP_PKEY_CTX_free(ctx);
        return hex;
    }

    std::string configJson() {
        std::lock_guard guard(lock);
        if (haveConfigText) return configText;
        Json::Value value(Json::objectValue);
        value["filelist_url_prefix"] = baseUrl + "/files/";
        for (const char* edition : kEditions) {
            value[std::string(edition) + "_file_url"] = std::string(edition) + "/filelist.json";
            value[std::string(edition) + "_downloadurl_prefix"] = baseUrl + "/files/" + edition + "/";
        }
        value["serial"] = static_cast<Json::Int64>(serial);
        value["expires"] = static_cast<Json::Int64>(
            expires != 0
                ? expires
                : std::chrono::duration_cast<std::chrono::seconds>(std::chrono::system_clock::now().time_since_epoch())
                          .count() +
                      86400);
        for (const auto& [key, text] : config) value[key] = text;
        // Each list's digest, from the list as it is now, unless set.
        const std::string files = baseUrl + "/files/";
        for (const char* edition : kEditions) {
            const std::string key = std::string(edition) + "_file_sha256";
            if (config.count(key) || options.contentDir.empty()) continue;
            const std::string address =
                value["filelist_url_prefix"].asString() + value[std::string(edition) + "_file_url"].asString();
            if (address.rfind(files, 0) != 0) continue;
            bool ok = false;
            const std::string list = readFile(options.contentDir + "/" + address.substr(files.size()), &ok);
            if (ok && std::filesystem::is_regular_file(options.contentDir + "/" + address.substr(files.size())))
                value[key] = Sha256Hex(list);
        }
        for (const auto& key : removed) value.removeMember(key);
        return jsonText(value);
    }

    std::string versionJson() {
        std::lock_guard guard(lock);
        Json::Value value;
        value["check_code"] = checkCode;
        const std::string url = fileUrl.empty() ? baseUrl + "/files/update/quellan" : fileUrl;
        value["file_url"] = url;
        // The update's digest: as set, or from the content folder's file.
        const std::string files = baseUrl + "/files/";
        if (fileSha256Set) {
            if (!fileSha256.empty()) value["file_sha256"] = fileSha256;
        } else if (!options.contentDir.empty() && url.rfind(files, 0) == 0) {
            const std::string path = options.contentDir + "/" + url.substr(files.size());
            bool ok = false;
            const std::string bytes = readFile(path, &ok);
            if (ok && std::filesystem::is_regular_file(path)) value["file_sha256"] = Sha256Hex(bytes);
        }
        return jsonText(value);
    }

    // Checks the identity headers and the form signature. Empty when good,
    // else the reason.
    static std::string checkSigned(const httplib::Request& req) {
        if (req.get_header_value("Userid") != "0") return "bad Userid";
        if (!isLowerHex(req.get_header_value("Clientuuid"), 32)) return "bad Clientuuid";
        if (req.get_header_value("Categoryid") != "6") return "bad Categoryid";
        if (!isDigits(req.get_header_value("Version"))) return "bad Version";
        if (req.get_header_value("Lang") != "zh-cn") return "bad Lang";
        std::size_t at = req.body.rfind("&sign=");
        if (at == std::string::npos) return "no signature";
        std::string params = req.body.substr(0, at);
        std::string sign = req.body.substr(at + 6);
        if (params.find("ts=") == std::string::npos) return "no time stamp";
        if (sign != Md5Hex(params + kSigningKey)) return "bad signature";
        return {};
    }

    void answerService(const httplib::Request& req, httplib::Response& res, const std::string& payload,
                       const std::string& signedPath) {
        Fault fault = takeFault(req.path);
        if (fault.delayMs > 0 && !pause(fault.delayMs)) return;
        if (std::string reason = checkSigned(req); !reason.empty()) {
            res.status = 403;
            res.set_content(errorJson(403, reason), "application/json");
        } else if (fault.status) {
            res.status = fault.status;
            res.set_content("fault", "text/plain");
        } else if (fault.emptyBody) {
            res.status = 200;
        } else {
            Json::Value envelope;
            envelope["code"] = fault.wrongCode ? 10002 : 10001;
            std::string data;
            if (!fault.rawData.empty())
                data = fault.rawData;
            else if (fault.badPayload)
                data = std::string(300, 'z');
            else
                data = payload.empty() ? std::string() : encrypt(payload);
            // The signature binds the payload to this request: its path and
            // its nonce (none for the report, whose answer nobody checks).
            // Raw "data" stands for itself as the plain text it carries.
            std::string sig =
                sign(signedPath, req.get_header_value("Nonce"), fault.rawData.empty() ? payload : fault.rawData);
            if (fault.tamper) fault.tamper(data, sig);
            envelope["data"] = data;
            if (!fault.unsignedAnswer) envelope["sig"] = sig;
            res.status = 200;
            if (fault.gzip) {
                res.set_header("Content-Encoding", "gzip");
                res.set_content(gzipText(jsonText(envelope)), "application/json");
            } else {
                res.set_content(jsonText(envelope), "application/json");
            }
        }
        record(req, res.status, res.body);
    }

    void countSent(const std::string& path, std::size_t n) {
        std::lock_guard guard(lock);
        sent[path] += static_cast<std::int64_t>(n);
    }

    // Validators of a file from its size and modification time, as common
    // servers make them; a "changed" fault stands for a file published anew.
    static void validators(const struct stat& st, bool changed, std::string& etag, std::string& lastModified) {
        char text[96];
        std::snprintf(text, sizeof text, "\"%llx-%llx%s\"",
                      static_cast<unsigned long long>(st.st_mtim.tv_sec) * 1000000000ull +
                          static_cast<unsigned long long>(st.st_mtim.tv_nsec),
                      static_cast<unsigned long long>(st.st_size), changed ? "-2" : "");
        etag = text;
        std::time_t when = st.st_mtim.tv_sec + (changed ? 1 : 0);
        std::tm tm{};
        gmtime_r(&when, &tm);
        std::strftime(text, sizeof text, "%a, %d %b %Y %H:%M:%S GMT", &tm);
        lastModified = text;
    }

    // A single "bytes=N-" or "bytes=N-M" range within size; false for
    // anything else (which is then answered with the whole file).
    static bool parseRange(const std::string& header, std::int64_t size, std::int64_t& first, std::int64_t& last) {
        if (header.rfind("bytes=", 0) != 0) return false;
        std::string spec = header.substr(6);
        std::size_t dash = spec.find('-');
        if (dash == std::string::npos || dash == 0 || spec.find(',') != std::string::npos) return false;
        if (!isDigits(spec.substr(0, dash)) || dash > 18) return false;
        first = std::stoll(spec.substr(0, dash));
        std::string end = spec.substr(dash + 1);
        last = size - 1;
        if (!end.empty()) {
            if (!isDigits(end) || end.size() > 18) return false;
            last = std::min<std::int64_t>(last, std::stoll(end));
        }
        return first <= last && first < size;
    }

    void answerFile(const httplib::Request& req, httplib::Response& res, const std::string& relative) {
        // Ranges are answered here, with the faults applied to them, not by
        // the library.
        const_cast<httplib::Request&>(req).ranges.clear();
        Fault fault = takeFault(req.path);
        if (fault.delayMs > 0 && !pause(fault.delayMs)) return;
        std::filesystem::path base = options.contentDir;
        std::filesystem::path file = (base / relative).lexically_normal();
        std::string rel = file.lexically_relative(base).string();
        int fd = -1;
        struct stat st {};
        if (!options.contentDir.empty() && !rel.empty() && rel.rfind("..", 0) != 0 &&
            std::filesystem::is_regular_file(file)) {
            fd = ::open(file.c_str(), O_RDONLY | O_CLOEXEC);
            if (fd >= 0 && ::fstat(fd, &st) != 0) {
                ::close(fd);
                fd = -1;
            }
        }
        auto handle = std::shared_ptr<int>(new int(fd), [](int* p) {
            if (*p >= 0) ::close(*p);
            delete p;
        });
        if (fault.status) {
            res.status = fault.status;
            res.set_content("fault", "text/plain");
        } else if (fd < 0) {
            res.status = 404;
            res.set_content("not found", "text/plain");
        } else if (fault.emptyBody) {
            res.status = 200;
        } else if (fault.gzip) {
            std::string content(static_cast<std::size_t>(st.st_size), '\0');
            if (::pread(fd, content.data(), content.size(), 0) != static_cast<ssize_t>(content.size())) content.clear();
            if (fault.corrupt && !content.empty()) content[0] = static_cast<char>(content[0] ^ 0x5A);
            res.set_header("Content-Encoding", "gzip");
            res.status = 200;
            res.set_content(gzipText(content), "application/octet-stream");
            countSent(req.path, res.body.size());
        } else if (st.st_size == 0) {
            // A provider of zero bytes would leave the length unsaid and the
            // client waiting for the connection to close.
            res.status = 200;
            res.set_content("", "application/octet-stream");
        } else {
            const std::int64_t size = st.st_size;
            std::string etag, lastModified;
            validators(st, fault.changed, etag, lastModified);
            res.set_header("ETag", etag);
            res.set_header("Last-Modified", lastModified);
            res.set_header("Accept-Ranges", "bytes");
            std::int64_t first = 0, last = size - 1;
            const std::string ifRange = req.get_header_value("If-Range");
            const bool rangeApplies = req.has_header("Range") && !fault.ignoreRanges &&
                                      (ifRange.empty() || ifRange == etag || ifRange == lastModified);
            bool ranged = rangeApplies && parseRange(req.get_header_value("Range"), size, first, last);
            if (rangeApplies && !ranged && first >= size) {
                res.status = 416; // the range starts at or past the end
                res.set_header("Content-Range", "bytes */" + std::to_string(size));
                res.set_content("range not satisfiable", "text/plain");
                record(req, res.status);
                return;
            }
            // --- Several ranges in one answer.
            std::vector<FileRange> ranges;
            if (rangeApplies && !ranged && ParseMultiRange(req.get_header_value("Range"), size, ranges)) {
                answerMultiRange(req, res, handle, size, fault, std::move(ranges));
                record(req, res.status);
                return;
            }
            if (!ranged) first = 0, last = size - 1;
            if (ranged && fault.wrongRange) first = first >= 4096 ? first - 4096 : first + 1;
            if (ranged) {
                res.set_header("Content-Range", "bytes " + std::to_string(first) + "-" + std::to_string(last) + "/" +
                                                    std::to_string(size));
            }
            std::int64_t limit = fault.truncateAt;
            int stall = fault.stallMs;
            std::int64_t rate = fault.rate;
            bool corrupt = fault.corrupt;
            bool stale = fault.staleMap;
            std::string path = req.path;
            auto started = std::make_shared<std::chrono::steady_clock::time_point>(std::chrono::steady_clock::now());
            res.status = ranged ? 206 : 200;
            res.set_content_provider(
                static_cast<std::size_t>(last - first + 1), "application/octet-stream",
                [this, handle, first, limit, stall, rate, corrupt, stale, started,
                 path](std::size_t offset, std::size_t length, httplib::DataSink& sink) {
                    const std::int64_t at = first + static_cast<std::int64_t>(offset);
                    if (limit >= 0 && at >= limit) return false; // break the connection off mid-body
                    if (stall > 0 && offset > 0 && !pause(stall)) return false;
                    std::size_t n = std::min<std::size_t>(length, 256 * 1024);
                    if (limit >= 0) n = std::min<std::size_t>(n, static_cast<std::size_t>(limit - at));
                    if (rate > 0) {
                        // Pace the body: byte N leaves no earlier than N / rate seconds in.
                        n = std::min<std::size_t>(n, static_cast<std::size_t>(std::max<std::int64_t>(1, rate / 20)));
                        auto due = *started + std::chrono::microseconds(static_cast<std::int64_t>(
                                                  static_cast<double>(offset + n) * 1e6 / static_cast<double>(rate)));
                        auto wait = std::chrono::duration_cast<std::chrono::milliseconds>(
                            due - std::chrono::steady_clock::now());
                        if (wait.count() > 0 && !pause(static_cast<int>(wait.count()))) return false;
                    }
                    std::string buffer(n, '\0');
                    const ssize_t got = ::pread(*handle, buffer.data(), n, at);
                    if (got <= 0) return false;
                    if (corrupt && at == 0) buffer[0] = static_cast<char>(buffer[0] ^ 0x5A);
                    // A map's file digest lies at bytes 20 to 35.
                    if (stale && at <= 20 && at + got > 20) buffer[20 - at] = static_cast<char>(buffer[20 - at] ^ 0x5A);
                    if (!sink.write(buffer.data(), static_cast<std::size_t>(got))) return false;
                    countSent(path, static_cast<std::size_t>(got));
                    return true;
                });
        }
        record(req, res.status);
    }

    // A multipart/byteranges answer; wrongRange shifts the first part, and
    // truncateAt breaks the connection off before that byte of the file.
    void answerMultiRange(const httplib::Request& req, httplib::Response& res, const std::shared_ptr<int>& handle,
                          std::int64_t size, const Fault& fault, std::vector<FileRange> ranges) {
        if (fault.wrongRange) {
            FileRange& r = ranges.front();
            const std::int64_t shift = r.first >= 4096 ? -4096 : 1;
            r.first += shift;
            r.last = std::min(size - 1, r.last + shift);
        }
        auto layout = std::make_shared<MultipartLayout>(LayOutMultipart(ranges, size));
        const std::int64_t limit = fault.truncateAt;
        // corrupt: the first byte of the first part is another.
        const std::int64_t corruptAt = fault.corrupt ? ranges.front().first : -1;
        const std::string path = req.path;
        res.status = 206;
        res.set_content_provider(
            static_cast<std::size_t>(layout->length), "multipart/byteranges; boundary=" + layout->boundary,
            [this, handle, layout, limit, corruptAt, path](std::size_t offset, std::size_t, httplib::DataSink& sink) {
                std::size_t part;
                std::int64_t at, left;
                bool inHead;
                layout->Locate(static_cast<std::int64_t>(offset), part, at, inHead, left);
                if (inHead) {
                    const std::string& text = part < layout->heads.size() ? layout->heads[part] : layout->tail;
                    return sink.write(text.data() + at, static_cast<std::size_t>(left));
                }
                if (limit >= 0 && at >= limit) return false;
                std::size_t n = static_cast<std::size_t>(std::min<std::int64_t>(left, 256 * 1024));
                if (limit >= 0) n = std::min<std::size_t>(n, static_cast<std::size_t>(limit - at));
                std::string buffer(n, '\0');
                const ssize_t got = ::pread(*handle, buffer.data(), n, at);
                if (got > 0 && at == corruptAt) buffer[0] = static_cast<char>(buffer[0] ^ 0x5A);
                if (got <= 0 || !sink.write(buffer.data(), static_cast<std::size_t>(got))) return false;
                countSent(path, static_cast<std::size_t>(got));
                return true;
            });
    }

    void routes() {
        httplib::Server& s = *server;
        s.Post("/Speed/Config/checkVersion", [this](const httplib::Request& req, httplib::Response& res) {
            answerService(req, res, versionJson(), "/Speed/Config/checkVersion");
        });
        s.Post("/Speed/Config/getConfig", [this](const httplib::Request& req, httplib::Response& res) {
            answerService(req, res, configJson(), "/Speed/Config/getConfig");
        });
        s.Post("/Speed/Server/Report", [this](const httplib::Request& req, httplib::Response& res) {
            answerService(req, res, "{}", "/Speed/Server/Report");
        });
        s.Get("/files/(.*)",
              [this](const httplib::Request& req, httplib::Response& res) { answerFile(req, res, req.matches[1]); });
        s.Get("(.*)", [this](const httplib::Request& req, httplib::Response& res) {
            std::string location;
            {
                std::lock_guard guard(lock);
                auto it = redirects.find(req.path);
                if (it != redirects.end()) location = it->second;
            }
            if (location.empty()) {
                res.status = 404;
                res.set_content("not found", "text/plain");
            } else {
                res.set_redirect(location, 302);
            }
            record(req, res.status);
        });
        s.set_error_handler([this](const httplib::Request& req, httplib::Response& res) {
            // Our own routes always answer errors with a body; an empty one
            // means no route took the request.
            if (!res.body.empty()) return;
            res.set_content(errorJson(res.status, "no such route"), "application/json");
            record(req, res.status);
        });
    }
};

// --- DevServer ---

DevServer::DevServer() : m_impl(std::make_unique<Impl>()) {}

DevServer::~DevServer() { Stop(); }

bool DevServer::Start(const Options& options, std::string* error) {
    Impl& d = *m_impl;
    d.options = options;
    auto fail = [error](const std::string& text) {
        if (error) *error = text;
        return false;
    };

    std::string keyFile = options.publicKeyFile.empty() ? QUELLAN_DEV_PUBLIC_KEY : options.publicKeyFile;
    bool ok = false;
    std::string pem = readFile(keyFile, &ok);
    if (!ok) return fail("cannot read the payload public key " + keyFile);
    BIO* bio = BIO_new_mem_buf(pem.data(), static_cast<int>(pem.size()));
    if (d.publicKey) EVP_PKEY_free(d.publicKey); // started again after a Stop
    d.publicKey = PEM_read_bio_PUBKEY(bio, nullptr, nullptr, nullptr);
    BIO_free(bio);
    if (!d.publicKey) return fail("not a PEM public key: " + keyFile);

    const std::string signFile = options.signKeyFile.empty() ? QUELLAN_DEV_ANSWER_KEY : options.signKeyFile;
    pem = readFile(signFile, &ok);
    if (!ok) return fail("cannot read the answer signing key " + signFile);
    bio = BIO_new_mem_buf(pem.data(), static_cast<int>(pem.size()));
    if (d.signKey) EVP_PKEY_free(d.signKey);
    d.signKey = PEM_read_bio_PrivateKey(bio, nullptr, nullptr, nullptr);
    BIO_free(bio);
    if (!d.signKey || EVP_PKEY_get_base_id(d.signKey) != EVP_PKEY_ED25519)
        return fail("not an Ed25519 private key (PEM): " + signFile);

    bool tls = !options.tlsCertFile.empty() && !options.tlsKeyFile.empty();
    if (tls)
        d.server = std::make_unique<httplib::SSLServer>(options.tlsCertFile.c_str(), options.tlsKeyFile.c_str());
    else
        d.server = std::make_unique<httplib::Server>();
    if (!d.server->is_valid()) return fail("cannot load the TLS certificate or key");
    d.routes();

    if (options.port == 0) {
        m_port = d.server->bind_to_any_port(options.host);
        if (m_port <= 0) return fail("cannot bind " + options.host);
    } else {
        if (!d.server->bind_to_port(options.host, options.port))
            return fail("cannot bind " + options.host + ":" + std::to_string(options.port));
        m_port = options.port;
    }
    d.baseUrl = std::string(tls ? "https://" : "http://") + options.host + ":" + std::to_string(m_port);
    {
        std::lock_guard guard(d.lock);
        d.stopped = false;
    }
    d.thread = std::thread([&d] { d.server->listen_after_bind(); });
    // stop() does nothing until the server runs: wait for that, so that a
    // quick Stop cannot leave the thread blocked in accept.
    while (!d.server->is_running()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    return true;
}

void DevServer::Stop() {
    Impl& d = *m_impl;
    {
        std::lock_guard guard(d.lock);
        d.stopped = true;
    }
    d.stopping.notify_all();
    if (d.server) d.server->stop();
    if (d.thread.joinable()) d.thread.join();
}

std::string DevServer::BaseUrl() const { return m_impl->baseUrl; }

void DevServer::SetVersion(const std::string& checkCode, const std::string& fileUrl) {
    std::lock_guard guard(m_impl->lock);
    m_impl->checkCode = checkCode;
    m_impl->fileUrl = fileUrl;
}

void DevServer::SetConfigValue(const std::string& key, const std::string& value) {
    std::lock_guard guard(m_impl->lock);
    m_impl->config[key] = value;
    m_impl->removed.erase(key);
}

void DevServer::SetUpdateDigest(const std::string& sha256) {
    std::lock_guard guard(m_impl->lock);
    m_impl->fileSha256 = sha256;
    m_impl->fileSha256Set = true;
}

void DevServer::SetSerial(std::int64_t serial) {
    std::lock_guard guard(m_impl->lock);
    m_impl->serial = serial;
}

void DevServer::SetExpires(std::int64_t expires) {
    std::lock_guard guard(m_impl->lock);
    m_impl->expires = expires;
}

void DevServer::RemoveConfigKey(const std::string& key) {
    std::lock_guard guard(m_impl->lock);
    m_impl->config.erase(key);
    m_impl->removed.insert(key);
}

std::string DevServer::ConfigJson() const { return m_impl->configJson(); }

void DevServer::SetConfigText(const std::string& text) {
    std::lock_guard guard(m_impl->lock);
    m_impl->configText = text;
    m_impl->haveConfigText = true;
}

void DevServer::SetFault(const std::string& path, const Fault& fault) {
    std::lock_guard guard(m_impl->lock);
    m_impl->faults[path] = fault;
}

void DevServer::ClearFaults() {
    std::lock_guard guard(m_impl->lock);
    m_impl->faults.clear();
}

void DevServer::AddRedirect(const std::string& path, const std::string& location) {
    std::lock_guard guard(m_impl->lock);
    m_impl->redirects[path] = location;
}

std::vector<RecordedRequest> DevServer::Requests() const {
    std::lock_guard guard(m_impl->lock);
    return m_impl->requests;
}

std::vector<RecordedRequest> DevServer::RequestsTo(const std::string& path) const {
    std::vector<RecordedRequest> out;
    for (auto& r : Requests()) {
        if (r.path == path) out.push_back(r);
    }
    return out;
}

std::int64_t DevServer::BodyBytesSent(const std::string& path) const {
    std::lock_guard guard(m_impl->lock);
    auto it = m_impl->sent.find(path);
    return it == m_impl->sent.end() ? 0 : it->second;
}

void DevServer::ClearRequests() {
    std::lock_guard guard(m_impl->lock);
    m_impl->requests.clear();
}

std::string DevServer::EncryptPayload(const std::string& text) const { return m_impl->encrypt(text); }

std::string DevServer::SignAnswer(const std::string& path, const std::string& nonce, const std::string& payload) const {
    return m_impl->sign(path, nonce, payload);
}

} // namespace devserver
