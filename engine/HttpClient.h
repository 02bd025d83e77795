// HTTP(S) transfers: CHttpClient over the libcurl easy interface, whole-file
// downloads (HttpDownloadFile) and the small path and address helpers they use.
#pragma once

#include <atomic>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

class CCancelFlag;

// Request kinds of CHttpClient::Request.
enum : int {
    kRequestDefault = 0, // POST when SetPostFields gave a body, otherwise GET
    kRequestGet = 1,
    kRequestPatch = 3,
};

// Progress of DownloadFile: user data, total and received bytes as libcurl
// reports them, average download speed in bytes per second. Returning false
// aborts the transfer.
using ProgressFunc = bool (*)(void* userData, std::int64_t total, std::int64_t received, double speed);

// What the server said about the resource a DownloadFile body belongs to.
struct ResponseValidators {
    std::string etag;         // ETag as sent, quotes included; empty when none
    std::string lastModified; // Last-Modified as sent; empty when none
    std::int64_t length = -1; // the whole resource's length; -1 when not said
};

// Sees what DownloadFile writes to its target, in order (to hash a file while
// it arrives instead of reading it again afterwards, and to note where it
// came from before its first byte lands).
class IDownloadObserver {
public:
    virtual ~IDownloadObserver() = default;
    // The body begins: the first `kept` bytes already in the target stay (a
    // range continued them); 0 means the target starts empty. Called once per
    // transfer, before the first chunk (also for an empty body). False
    // aborts the transfer.
    virtual bool OnBodyStart(std::int64_t kept, const ResponseValidators& response) = 0;
    virtual void OnChunk(const char* bytes, std::size_t length) = 0;
};

// How DownloadFile treats its target.
struct DownloadOptions {
    // More than 0: the target holds at least this many bytes of the resource
    // already; ask for the rest (Range, with ifRange as If-Range) and keep
    // them when the server answers 206 from exactly there. A 200 starts the
    // target over; a 206 from anywhere else, or a 416, fails the transfer
    // (DownloadOutcome::rangeMismatch).
    std::int64_t resumeFrom = 0;
    std::string ifRange;
    // Leave the target as it is when the transfer fails (the caller decides
    // whether to keep it); otherwise a failure deletes it.
    bool keepOnFailure = false;
    IDownloadObserver* observer = nullptr;
    // 0 or more: write into this open file (the caller made it, for example
    // without following links) instead of opening the target by its name;
    // the name is then left alone, whatever happens.
    int targetFd = -1;
};

// What the last DownloadFile did.
struct DownloadOutcome {
    std::int64_t kept = 0;      // bytes of the target a 206 continued (0: fetched from the start)
    std::int64_t received = 0;  // body bytes written by this transfer
    bool bodyStarted = false;   // the body began (OnBodyStart was called)
    bool rangeMismatch = false; // a 206 that did not continue where asked, or a 416
};

// Receives the answer of CHttpClient::Fetch as it arrives.
class IFetchSink {
public:
    virtual ~IFetchSink() = default;
    // The final answer begins (after any redirects; also for an empty
    // body): its status and header lines ("Name: value", line ends removed).
    // False aborts the transfer.
    virtual bool OnResponse(long status, const std::vector<std::string>& headers) = 0;
    // The next body bytes, as sent (no content decoding). False aborts.
    virtual bool OnData(const char* data, std::size_t length) = 0;
};

// One transfer handle and the results of its last transfer. Owned by one job
// on one thread, never shared. Lifecycle: InitLibCurl, optionally
// SetTimeLimits and SetPostFields, Request (may repeat, settings persist),
// Cleanup. Transfers verify the server's certificate and host name against
// the system's CA store plus the deployment's extra CAs (and QUELLAN_CA_FILE)
// and stop promptly when the job's cancellation flag is set. Every transfer
// follows redirects, but one that started on https follows them to https
// only: a redirect must not take a transfer off TLS.
class CHttpClient {
public:
    CHttpClient();
    ~CHttpClient();
    CHttpClient(const CHttpClient&) = delete;
    CHttpClient& operator=(const CHttpClient&) = delete;

    // Process-wide libcurl set-up and tear-down; call once each, on the main
    // thread, around every use of clients.
    static bool GlobalInit();
    static void GlobalCleanup();

    // Creates the transfer handle and sets its defaults (30 s total and
    // connect limits). A non-empty cookie file is both cookie source and jar.
    bool InitLibCurl(const char* cookieFile = nullptr);
    // Total and connect time limits in seconds (0: none). Always true.
    bool SetTimeLimits(long totalSeconds, long connectSeconds);
    // Gives a transfer up as failed when it receives nothing for this many
    // seconds (0: never), whatever its time limits.
    void SetStallLimit(long seconds);
    // Fails a transfer whose body (after content decoding) grows past this
    // many bytes, so a hostile answer cannot fill memory or disk; 0: no
    // limit. Applies to Request, in memory or to a target file.
    void SetBodyLimit(std::int64_t bytes) { m_bodyLimit = bytes; }
    // Makes the next requests POST text. The text is not copied: keep it
    // alive until the last Request that uses it has returned. Empty text
    // changes nothing.
    void SetPostFields(const std::string& text);

    // Performs one transfer. With a target file the body goes to that file
    // (an existing file of that name is deleted first, whatever happens
    // next, and the file is then created exclusively: should something take
    // the name meanwhile, the transfer fails rather than write into it),
    // otherwise into response. extraHeaders: lines separated by CR, LF
    // or ";" (at most the first 1023 bytes are used). Returns the HTTP status
    // (0 when there was none); on failure response holds the error text, or
    // "InitLibCurl is not invoked" when there is no handle.
    long Request(const std::string& url, int kind, std::string& response, const char* extraHeaders = nullptr,
                 const std::wstring& targetFile = {});

    // The last response code, or 0 when it cannot be read.
    long GetResponseCode() const;
    void Cleanup();

    // Downloads url into targetFile on a handle of its own, without time
    // limits, reporting progress when a function is given (then HTTP errors
    // fail the transfer; a continued range reports the whole file's total and
    // received bytes). True when the transfer completed with a status of 200
    // to 399; on failure no file is left behind unless options say to keep
    // it. Successive calls on one client reuse its open connections.
    [[nodiscard]] bool DownloadFile(void* userData, const std::string& url, const std::wstring& targetFile,
                                    ProgressFunc progress = nullptr, const DownloadOptions& options = {});
    const DownloadOutcome& LastDownload() const { return m_lastDownload; }

    // GETs url (escaped like DownloadFile's) with extra request header lines
    // on DownloadFile's connections and stall limit, handing the answer to
    // sink. True when the transfer completed, whatever the status.
    [[nodiscard]] bool Fetch(const std::string& url, const std::vector<std::string>& headerLines, IFetchSink& sink);

    // The job's flag by default (see CCancelFlag::Current); a client used
    // outside jobs may be given one. Null: the calling thread's job flag.
    void SetCancelFlag(CCancelFlag* flag) { m_cancel = flag; }

    const std::string& HeaderText() const { return m_headerText; }
    // Empty after a transfer that completed; libcurl's description of the
    // failure otherwise.
    const std::string& ErrorText() const { return m_errorText; }

private:
    bool sendRequest(const std::string& url, int kind, const char* extraHeaders);
    CCancelFlag* cancelFlag() const;
    static std::size_t onBody(char* data, std::size_t size, std::size_t count, void* p);
    static std::size_t onHeader(char* data, std::size_t size, std::size_t count, void* text);

    // libcurl's handles of this client, each held by an owner type that
    // releases it; defined in HttpClient.cpp, the only file that sees libcurl.
    struct Handles;
    struct HandlesDeleter {
        void operator()(Handles* handles) const;
    };

    std::string m_headerText;
    std::string m_bodyText;
    std::unique_ptr<Handles, HandlesDeleter> m_handles;
    std::string m_errorText;
    std::wstring m_targetFile;
    std::FILE* m_targetStream = nullptr; // open while a transfer writes the target file
    CCancelFlag* m_cancel = nullptr;
    DownloadOutcome m_lastDownload;
    std::int64_t m_bodyLimit = 0;
    std::int64_t m_bodyBytes = 0;
};

// DownloadFile and HttpDownloadFile give up a transfer that receives nothing
// for this many seconds, so a dead connection cannot hold a job for ever
// (DownloadFile has no other time limit). 60 in the program; tests shorten
// it; 0 waits for ever.
extern std::atomic<long> g_downloadStallSeconds;

// Escapes every byte of text except ASCII letters, digits and "/.:?=" as
// "%XX" (upper-case hex).
std::string UrlEscape(const std::string& text);

// Creates path and any missing parents ("/" and "\" both separate).
// True when path is a directory afterwards.
bool CreateMultiDirectory(const std::wstring& path);

// Downloads url to targetFile (GET, 3600 s total, 300 s connect, and failed
// after g_downloadStallSeconds without data). An existing target is kept and
// reported as success when overwrite is false, otherwise replaced by a file
// the download creates itself. True only when the whole body arrived with a
// status of 200 to 300 (and, with maxBytes above 0, held at most that many
// bytes); any failure deletes the partial file, logs "%s下载失败%s,%ld"
// (unless the job was cancelled) and answers false.
[[nodiscard]] bool HttpDownloadFile(const std::string& url, const std::wstring& targetFile, bool overwrite,
                                    std::int64_t maxBytes = 0);
