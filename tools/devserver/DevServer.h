// The local service and download server: signed service requests answered
// with RSA-encrypted, Ed25519-signed JSON envelopes, files from a content folder, faults on
// request, and a record of every request. Used in-process by tests and as the
// quellan-devserver program.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace devserver {

// The service's signing key: the form's "sign" is the MD5 of the parameters
// before it followed by this key.
extern const char kSigningKey[];

struct Options {
    std::string host = "127.0.0.1";
    int port = 0;              // 0: any free port
    std::string contentDir;    // files served under /files/; empty: none
    std::string publicKeyFile; // PEM public key for payloads; empty: the development key
    std::string signKeyFile;   // Ed25519 private key (PEM) answers are signed with; empty: the development key
    std::string tlsCertFile;   // both set: HTTPS
    std::string tlsKeyFile;
};

// A fault applied to requests of one path (the path without query).
struct Fault {
    int status = 0;               // answer with this status and a short text body
    bool emptyBody = false;       // answer 200 with no body at all
    int delayMs = 0;              // wait this long before answering
    bool wrongCode = false;       // envelope "code" 10002 instead of 10001
    bool badPayload = false;      // "data" that is not hex
    std::string rawData{};        // when set: "data" is this text as it is
    std::int64_t truncateAt = -1; // files: announce the full length, break the connection off before
                                  // byte N of the file (counted from the file's start, also in a range)
    int stallMs = 0;              // files: after the first chunk, wait this long between chunks
    bool gzip = false;            // files and service answers: send the body gzip-encoded
    bool corrupt = false;         // files: same length, other bytes (the digest will not match)
    std::int64_t rate = 0;        // files: at most this many bytes per second; 0: no limit
    bool changed = false;         // files: the resource was published anew: other validators, so an
                                  // If-Range naming the earlier ones gets the whole file (200)
    bool ignoreRanges = false;    // files: answer a range request with the whole file (200)
    bool wrongRange = false;      // files: answer a range request with 206 and a Content-Range (and
                                  // bytes) starting elsewhere than asked
    bool staleMap = false;        // block maps (.qbm): the map of an earlier release, its file
                                  // digest other than the file's
    bool unsignedAnswer = false;  // service: the envelope has no "sig"
    // service: sees (and may change) the envelope's "data" and "sig" before
    // it goes out, for answers spliced, forged or played back.
    std::function<void(std::string& data, std::string& sig)> tamper{};
    int times = -1; // number of requests it applies to; -1: all
};

struct RecordedRequest {
    std::string method;
    std::string path;   // without query
    std::string target; // path and query as sent
    std::vector<std::pair<std::string, std::string>> headers;
    std::string body;
    int status = 0;                                    // what the server answered
    std::string response;                              // the body answered to a service request
    std::string Header(const std::string& name) const; // first value or empty
};

class DevServer {
public:
    DevServer();
    ~DevServer();
    DevServer(const DevServer&) = delete;
    DevServer& operator=(const DevServer&) = delete;

    // Binds and starts serving on a thread of its own. False with an error
    // text when the address cannot be bound or the key or certificate fails.
    bool Start(const Options& options, std::string* error = nullptr);
    // Stops serving; waits for the thread.
    void Stop();

    int Port() const { return m_port; }
    // "http://127.0.0.1:PORT" or "https://..." without a trailing slash.
    std::string BaseUrl() const;

    // The version answer. Its "file_sha256" is the SHA-256 of the update
    // when file_url names a file of the content folder, unless set here
    // (empty: left out).
    void SetVersion(const std::string& checkCode, const std::string& fileUrl);
    void SetUpdateDigest(const std::string& sha256);
    // A configuration value; values not set default to the server's own file
    // routes (see DefaultConfig).
    void SetConfigValue(const std::string& key, const std::string& value);
    // The configuration's "serial" (default 1) and "expires" (Unix seconds;
    // default: a day after the answer).
    void SetSerial(std::int64_t serial);
    void SetExpires(std::int64_t expires);
    // Leaves key out of the configuration answer.
    void RemoveConfigKey(const std::string& key);
    // The configuration object answered by getConfig, as JSON text. Besides
    // the values set, it holds "serial", "expires" and, for every edition
    // whose list is a file of the content folder, "<edition>_file_sha256":
    // the SHA-256 of that list as it is at the time of the answer.
    std::string ConfigJson() const;
    // Instead of the configuration object, answer this text (encrypted).
    void SetConfigText(const std::string& text);

    void SetFault(const std::string& path, const Fault& fault);
    void ClearFaults();
    // GET path answers 302 with this location (absolute or relative).
    void AddRedirect(const std::string& path, const std::string& location);

    // Files are served with an ETag and a Last-Modified from the file's size
    // and modification time, and single "bytes=N-" or "bytes=N-M" ranges are
    // answered with 206 (unless an If-Range names other validators); several
    // ranges ("bytes=A-B,C-D") get a multipart/byteranges answer.

    std::vector<RecordedRequest> Requests() const;
    // Body bytes of files sent under path so far (whole or in ranges).
    std::int64_t BodyBytesSent(const std::string& path) const;
    std::vector<RecordedRequest> RequestsTo(const std::string& path) const;
    void ClearRequests();

    // Encrypts text with the payload public key in 117-byte chunks and
    // returns lower-case hex, as the service does.
    std::string EncryptPayload(const std::string& text) const;
    // The base64 Ed25519 signature the server gives an answer: over
    // "quellan-answer-1\n" + path + "\n" + nonce + "\n" + payload.
    std::string SignAnswer(const std::string& path, const std::string& nonce, const std::string& payload) const;

private:
    struct Impl;
    std::unique_ptr<Impl> m_impl;
    int m_port = 0;
};

// MD5 of text as 32 lower-case hex digits.
std::string Md5Hex(const std::string& text);
// SHA-256 of text as 64 lower-case hex digits.
std::string Sha256Hex(const std::string& text);

} // namespace devserver
