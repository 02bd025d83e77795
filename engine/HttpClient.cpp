// HTTP(S) transfers over libcurl. The only file that includes libcurl.
#include "engine/HttpClient.h"

#include "engine/CancelFlag.h"
#include "engine/DeploymentData.h"
#include "engine/EngineLog.h"
#include "platform/system/System.h"
#include "platform/system/Text.h"

#include <curl/curl.h>
#include <openssl/pem.h>
#include <openssl/ssl.h>
#include <openssl/x509.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <memory>
#include <string_view>

namespace {

// Receive buffer for every transfer. libcurl's default of 16 KiB costs a
// read, a callback and a file write per 16 KiB; with 512 KiB a large local
// download runs about 1.3 to 1.6 times as fast (bench/http). Larger buffers
// (2 MiB, libcurl's 10 MiB limit) gained nothing beyond the noise while
// costing memory per worker.
constexpr long kReceiveBufferSize = 512 * 1024;

const char* const kNoHandle = "InitLibCurl is not invoked";

// libcurl's trace goes to stderr, for developers only (QUELLAN_DEBUG).
bool debugTrace() { return platform::debugOutputEnabled(); }

struct CurlSlistDeleter {
    void operator()(curl_slist* list) const { curl_slist_free_all(list); }
};
using HeaderList = std::unique_ptr<curl_slist, CurlSlistDeleter>;

// Owners of libcurl's handles.
struct CurlEasyDeleter {
    void operator()(CURL* curl) const { curl_easy_cleanup(curl); }
};
struct CurlMultiDeleter {
    void operator()(CURLM* multi) const { curl_multi_cleanup(multi); }
};
struct CurlShareDeleter {
    void operator()(CURLSH* share) const { curl_share_cleanup(share); }
};
using EasyHandle = std::unique_ptr<CURL, CurlEasyDeleter>;
using MultiHandle = std::unique_ptr<CURLM, CurlMultiDeleter>;
using ShareHandle = std::unique_ptr<CURLSH, CurlShareDeleter>;

struct FileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
};

void deleteFile(const std::wstring& path) {
    if (!path.empty()) ::unlink(platform::toUtf8(path).c_str());
}

bool pathExists(const std::wstring& path) {
    struct stat st;
    return !path.empty() && ::lstat(platform::toUtf8(path).c_str(), &st) == 0;
}

// The directory part of path before its last "/" or "\", or nothing.
bool parentOf(const std::wstring& path, std::wstring& parent) {
    std::size_t pos = path.find_last_of(L"/\\");
    if (pos == std::wstring::npos) return false;
    parent = path.substr(0, pos);
    return true;
}

// --- Trust ---

// Adds every certificate of a PEM text to the store; duplicates are harmless.
void addPemCertificates(X509_STORE* store, const std::string& pem) {
    if (pem.empty()) return;
    BIO* bio = BIO_new_mem_buf(pem.data(), static_cast<int>(pem.size()));
    if (!bio) return;
    STACK_OF(X509_INFO)* infos = PEM_X509_INFO_read_bio(bio, nullptr, nullptr, nullptr);
    BIO_free(bio);
    if (!infos) return;
    for (int i = 0; i < sk_X509_INFO_num(infos); ++i) {
        X509_INFO* info = sk_X509_INFO_value(infos, i);
        if (info->x509) X509_STORE_add_cert(store, info->x509);
    }
    sk_X509_INFO_pop_free(infos, X509_INFO_free);
}

std::string readRuntimeCaFile() {
    const char* path = std::getenv("QUELLAN_CA_FILE");
    if (!path || !*path) return {};
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// Runs before each TLS handshake, after libcurl has loaded the system store:
// trust the deployment's CA and the one named at run time as well, so that a
// service with a private CA (and its IP-address fallback) verifies.
CURLcode addTrustedCas(CURL*, void* sslCtx, void*) {
    X509_STORE* store = SSL_CTX_get_cert_store(static_cast<SSL_CTX*>(sslCtx));
    if (store) {
        addPemCertificates(store, deployment::kExtraCaPem);
        addPemCertificates(store, readRuntimeCaFile());
    }
    return CURLE_OK;
}

// Redirects are followed, but never from https to anything else: what was
// asked for over TLS must not arrive over plain text.
void setRedirectRule(CURL* curl, std::string_view url) {
    std::size_t start = 0;
    while (start < url.size() && (url[start] == ' ' || url[start] == '\t')) ++start;
    const bool tls = url.size() - start >= 8 &&
                     std::equal(url.begin() + static_cast<std::ptrdiff_t>(start),
                                url.begin() + static_cast<std::ptrdiff_t>(start) + 8, "https://",
                                [](char a, char b) { return std::tolower(static_cast<unsigned char>(a)) == b; });
    curl_easy_setopt(curl, CURLOPT_REDIR_PROTOCOLS_STR, tls ? "https" : "http,https");
}

void setSecurity(CURL* curl) {
    curl_easy_setopt(curl, CURLOPT_SSL_VERIFYPEER, 1L);
    curl_easy_setopt(curl, CURLOPT_SSL_VERIFYHOST, 2L);
    curl_easy_setopt(curl, CURLOPT_SSL_CTX_FUNCTION, addTrustedCas);
}

// --- Cancellable perform ---

// Performs the transfer of an easy handle, returning early with
// CURLE_ABORTED_BY_CALLBACK when the flag is set. The handle is driven by a
// private multi handle so that a cancel can wake it out of its wait at once
// instead of at libcurl's next progress call (up to a second when idle).
// A caller that performs many transfers may pass a multi handle of its own,
// which is kept (it costs a wake-up socket pair to make).
CURLcode performCancellable(CURL* curl, CCancelFlag* flag, CURLM* reuse = nullptr) {
    if (flag && flag->IsCancelled()) return CURLE_ABORTED_BY_CALLBACK;
    MultiHandle own(reuse ? nullptr : curl_multi_init());
    CURLM* multi = reuse ? reuse : own.get();
    if (!multi) return CURLE_OUT_OF_MEMORY;
    if (curl_multi_add_handle(multi, curl) != CURLM_OK) return CURLE_FAILED_INIT;
    int waker = flag ? flag->AddWaker([multi] { curl_multi_wakeup(multi); }) : 0;

    CURLcode result = CURLE_OK;
    for (;;) {
        int running = 0;
        CURLMcode mc = curl_multi_perform(multi, &running);
        if (mc != CURLM_OK) {
            result = CURLE_RECV_ERROR;
            break;
        }
        if (running == 0) {
            int left = 0;
            result = CURLE_RECV_ERROR;
            while (CURLMsg* msg = curl_multi_info_read(multi, &left)) {
                if (msg->msg == CURLMSG_DONE && msg->easy_handle == curl) result = msg->data.result;
            }
            break;
        }
        if (flag && flag->IsCancelled()) {
            result = CURLE_ABORTED_BY_CALLBACK;
            break;
        }
        curl_multi_poll(multi, nullptr, 0, 1000, nullptr);
    }

    if (flag) flag->RemoveWaker(waker);
    curl_multi_remove_handle(multi, curl);
    return result;
}

// --- DownloadFile helpers ---

bool startsWithNoCase(std::string_view text, std::string_view prefix) {
    if (text.size() < prefix.size()) return false;
    for (std::size_t i = 0; i < prefix.size(); ++i) {
        if (std::tolower(static_cast<unsigned char>(text[i])) != std::tolower(static_cast<unsigned char>(prefix[i])))
            return false;
    }
    return true;
}

std::string_view trimmed(std::string_view text) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t' || text.back() == '\r' || text.back() == '\n'))
        text.remove_suffix(1);
    return text;
}

// A decimal number of at most 18 digits (so it cannot overflow); false for
// anything else.
bool parseCount(std::string_view text, std::int64_t& out) {
    if (text.empty() || text.size() > 18) return false;
    std::int64_t n = 0;
    for (char c : text) {
        if (c < '0' || c > '9') return false;
        n = n * 10 + (c - '0');
    }
    out = n;
    return true;
}

// The headers of the response whose body is arriving (a redirect's headers
// are dropped when the next status line comes).
struct ResponseHeaders {
    std::string etag, lastModified, contentEncoding;
    std::int64_t contentLength = -1;
    bool haveRange = false;
    std::int64_t rangeStart = -1, rangeEnd = -1, rangeTotal = -1; // total -1: "*"
    bool rangeValid = false;

    void add(std::string_view line) {
        if (startsWithNoCase(line, "HTTP/")) {
            *this = ResponseHeaders();
            return;
        }
        const std::size_t colon = line.find(':');
        if (colon == std::string_view::npos) return;
        const std::string_view name = line.substr(0, colon);
        const std::string_view value = trimmed(line.substr(colon + 1));
        auto is = [&name](std::string_view n) { return name.size() == n.size() && startsWithNoCase(name, n); };
        if (is("ETag")) {
            etag = value;
        } else if (is("Last-Modified")) {
            lastModified = value;
        } else if (is("Content-Encoding")) {
            contentEncoding = value;
        } else if (is("Content-Length")) {
            if (!parseCount(value, contentLength)) contentLength = -1;
        } else if (is("Content-Range")) {
            haveRange = true;
            rangeValid = parseRange(value);
        }
    }

    // "bytes START-END/TOTAL" with TOTAL a number or "*".
    bool parseRange(std::string_view value) {
        if (!startsWithNoCase(value, "bytes ")) return false;
        value.remove_prefix(6);
        const std::size_t dash = value.find('-');
        const std::size_t slash = value.find('/');
        if (dash == std::string_view::npos || slash == std::string_view::npos || slash < dash) return false;
        if (!parseCount(value.substr(0, dash), rangeStart) ||
            !parseCount(value.substr(dash + 1, slash - dash - 1), rangeEnd))
            return false;
        const std::string_view total = value.substr(slash + 1);
        if (total == "*")
            rangeTotal = -1;
        else if (!parseCount(total, rangeTotal))
            return false;
        return rangeEnd >= rangeStart && (rangeTotal < 0 || rangeEnd < rangeTotal);
    }
};

std::size_t collectHeader(char* data, std::size_t size, std::size_t count, void* p) {
    static_cast<ResponseHeaders*>(p)->add(std::string_view(data, size * count));
    return size * count;
}

// The target of one DownloadFile and what happened to it.
struct FileSink {
    CURL* curl;
    std::FILE* file;
    IDownloadObserver* observer;
    std::int64_t resumeFrom;
    ResponseHeaders headers;
    DownloadOutcome outcome;

    // Decides, at the first byte of the body (or at the end of an empty
    // one), whether the bytes continue the target or replace it.
    bool begin() {
        outcome.bodyStarted = true;
        long status = 0;
        curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &status);
        ResponseValidators validators{headers.etag, headers.lastModified, -1};
        if (status == 206) {
            // Only the range asked for continues the part: a range from
            // elsewhere (or one we never asked for) would splice foreign
            // bytes into it.
            if (resumeFrom <= 0 || !headers.rangeValid || headers.rangeStart != resumeFrom) {
                outcome.rangeMismatch = true;
                return false;
            }
            outcome.kept = resumeFrom;
            validators.length = headers.rangeTotal;
        } else {
            // The whole resource: the part starts over.
            if (resumeFrom > 0) {
                if (std::fflush(file) != 0 || ::ftruncate(::fileno(file), 0) != 0 || std::fseek(file, 0, SEEK_SET) != 0)
                    return false;
            }
            if (headers.contentEncoding.empty() || headers.contentEncoding == "identity")
                validators.length = headers.contentLength;
        }
        return !observer || observer->OnBodyStart(outcome.kept, validators);
    }
};

std::size_t writeToFile(char* data, std::size_t size, std::size_t count, void* p) {
    auto* sink = static_cast<FileSink*>(p);
    if (!sink->outcome.bodyStarted && !sink->begin()) return 0;
    const std::size_t written = std::fwrite(data, size, count, sink->file) * size;
    sink->outcome.received += static_cast<std::int64_t>(written);
    if (sink->observer && written > 0) sink->observer->OnChunk(data, written);
    return written;
}

struct ProgressRecord {
    void* userData;
    CURL* curl;
    ProgressFunc progress;
    const DownloadOutcome* outcome; // a continued range counts the kept bytes in
};

int onTransferInfo(void* p, curl_off_t total, curl_off_t now, curl_off_t, curl_off_t) {
    auto* record = static_cast<ProgressRecord*>(p);
    double speed = 0;
    curl_off_t speedBytes = 0;
    if (curl_easy_getinfo(record->curl, CURLINFO_SPEED_DOWNLOAD_T, &speedBytes) == CURLE_OK)
        speed = static_cast<double>(speedBytes);
    const std::int64_t kept = record->outcome->kept;
    return record->progress(record->userData, total > 0 ? total + kept : total, now + kept, speed) ? 0 : 1;
}

} // namespace

std::atomic<long> g_downloadStallSeconds{60};

// --- CHttpClient ---

// Released in reverse order of declaration: the request handle, the multi
// handle, then the share, which no easy handle may use any more by then.
struct CHttpClient::Handles {
    ShareHandle share;         // DownloadFile's connections, kept for the next call
    MultiHandle downloadMulti; // drives DownloadFile's transfers
    EasyHandle request;        // made by InitLibCurl, released by Cleanup
};

void CHttpClient::HandlesDeleter::operator()(Handles* handles) const { delete handles; }

CHttpClient::CHttpClient() : m_handles(new Handles) {}

CHttpClient::~CHttpClient() { Cleanup(); }

bool CHttpClient::GlobalInit() { return curl_global_init(CURL_GLOBAL_ALL) == CURLE_OK; }

void CHttpClient::GlobalCleanup() { curl_global_cleanup(); }

bool CHttpClient::InitLibCurl(const char* cookieFile) {
    m_errorText.clear();
    Cleanup();
    m_handles->request.reset(curl_easy_init());
    CURL* curl = m_handles->request.get();
    if (!curl) return false;
    setSecurity(curl);
    curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, &CHttpClient::onBody);
    curl_easy_setopt(curl, CURLOPT_WRITEDATA, this);
    curl_easy_setopt(curl, CURLOPT_HEADERFUNCTION, &CHttpClient::onHeader);
    curl_easy_setopt(curl, CURLOPT_HEADERDATA, &m_headerText);
    curl_easy_setopt(curl, CURLOPT_HEADER, 0L);
    curl_easy_setopt(curl, CURLOPT_VERBOSE, debugTrace() ? 1L : 0L);
    curl_easy_setopt(curl, CURLOPT_FOLLOWLOCATION, 1L);
    curl_easy_setopt(curl, CURLOPT_BUFFERSIZE, kReceiveBufferSize);
    if (cookieFile && *cookieFile) {
        curl_easy_setopt(curl, CURLOPT_COOKIEFILE, cookieFile);
        curl_easy_setopt(curl, CURLOPT_COOKIEJAR, cookieFile);
    }
    SetTimeLimits(30, 30);
    return true;
}

bool CHttpClient::SetTimeLimits(long totalSeconds, long connectSeconds) {
    if (CURL* curl = m_handles->request.get()) {
        curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
        curl_easy_setopt(curl, CURLOPT_TIMEOUT, totalSeconds);
        curl_easy_setopt(curl, CURLOPT_CONNECTTIMEOUT, connectSeconds);
    }
    return true;
}

void CHttpClient::SetStallLimit(long seconds) {
    if (CURL* curl = m_handles->request.get()) {
        curl_easy_setopt(curl, CURLOPT_LOW_SPEED_LIMIT, seconds > 0 ? 1L : 0L);
        curl_easy_setopt(curl, CURLOPT_LOW_SPEED_TIME, seconds > 0 ? seconds : 0L);
    }
}

void CHttpClient::SetPostFields(const std::string& text) {
    CURL* curl = m_handles->request.get();
    if (!curl || text.empty()) return;
    curl_easy_setopt(curl, CURLOPT_POST, 1L);
    curl_easy_setopt(curl, CURLOPT_POSTFIELDS, text.data());
    curl_easy_setopt(curl, CURLOPT_POSTFIELDSIZE, static_cast<long>(text.size()));
}

long CHttpClient::Request(const std::string& url, int kind, std::string& response, const char* extraHeaders,
                          const std::wstring& targetFile) {
    m_targetFile = targetFile;
    deleteFile(targetFile);
    if (url.empty()) return 0;
    std::wstring parent;
    if (parentOf(targetFile, parent) && !parent.empty()) CreateMultiDirectory(parent);

    std::string address = url;
    if (address.find("http://") == std::string::npos && address.find("https://") == std::string::npos)
        address = "http://" + address;

    bool ok = sendRequest(address, kind, extraHeaders);
    long status = GetResponseCode();
    if (ok)
        response = m_bodyText;
    else if (!m_handles->request)
        response = kNoHandle;
    else
        response = m_errorText;
    return status;
}

bool CHttpClient::sendRequest(const std::string& url, int kind, const char* extraHeaders) {
    m_headerText.clear();
    m_bodyText.clear();
    m_errorText.clear();
    CURL* curl = m_handles->request.get();
    if (!curl) return false;

    std::string trimmed = url;
    trimmed.erase(0, trimmed.find_first_not_of(" \t\r\n"));
    trimmed.erase(trimmed.find_last_not_of(" \t\r\n") + 1);
    std::string hostHeader;
    if (std::size_t scheme = trimmed.find("://"); scheme != std::string::npos) {
        std::size_t start = scheme + 3;
        std::size_t end = trimmed.find('/', start);
        hostHeader = "Host: " + trimmed.substr(start, end == std::string::npos ? std::string::npos : end - start);
    }

    curl_slist* raw = nullptr;
    auto append = [&raw](const std::string& line) {
        if (curl_slist* next = curl_slist_append(raw, line.c_str())) raw = next;
    };
    append("Accept: */*");
    append("Accept-Language: zh-CN");
    append("User-Agent: Mozilla/5.0 (compatible; MSIE 9.0; Windows NT 6.1; WOW64; Trident/5.0)");
    append("Accept-Encoding: gzip, deflate");
    append(hostHeader); // an empty line adds nothing to the request
    append("Connection: Keep-Alive");
    if (kind == kRequestPatch) append("X-HTTP-Method-Override: PATCH");
    if (extraHeaders) {
        // Only the first 1023 bytes count, as the header text always fitted a
        // fixed buffer; each piece of two or more bytes is one line.
        std::string text(extraHeaders, strnlen(extraHeaders, 1023));
        std::size_t start = 0;
        while (start <= text.size()) {
            std::size_t end = text.find_first_of("\r\n;", start);
            if (end == std::string::npos) end = text.size();
            if (end - start >= 2) append(text.substr(start, end - start));
            start = end + 1;
        }
    }
    HeaderList headers(raw);
    curl_easy_setopt(curl, CURLOPT_HTTPHEADER, headers.get());
    curl_easy_setopt(curl, CURLOPT_ACCEPT_ENCODING, "gzip");

    if (kind == kRequestGet) {
        curl_easy_setopt(curl, CURLOPT_HTTPGET, 1L);
    } else if (kind == kRequestPatch) {
        curl_easy_setopt(curl, CURLOPT_CUSTOMREQUEST, "PATCH");
    }
    curl_easy_setopt(curl, CURLOPT_URL, url.c_str());
    setRedirectRule(curl, url);
    m_bodyBytes = 0;

    CURLcode code = performCancellable(curl, cancelFlag());
    if (m_targetStream) {
        if (std::fclose(m_targetStream) != 0 && code == CURLE_OK) code = CURLE_WRITE_ERROR;
        m_targetStream = nullptr;
    }
    curl_easy_setopt(curl, CURLOPT_HTTPHEADER, nullptr);
    if (code != CURLE_OK) {
        m_errorText = curl_easy_strerror(code);
        return false;
    }
    return true;
}

CCancelFlag* CHttpClient::cancelFlag() const { return m_cancel ? m_cancel : CCancelFlag::Current(); }

std::size_t CHttpClient::onBody(char* data, std::size_t size, std::size_t count, void* p) {
    auto* self = static_cast<CHttpClient*>(p);
    std::size_t bytes = size * count;
    self->m_bodyBytes += static_cast<std::int64_t>(bytes);
    if (self->m_bodyLimit > 0 && self->m_bodyBytes > self->m_bodyLimit) return 0; // too large: fail
    if (self->m_targetFile.empty()) {
        self->m_bodyText.append(data, bytes);
        return bytes;
    }
    // The file stays open for the whole transfer. Request deleted the name
    // before, so the file is created here, exclusively: a file (or link) that
    // appeared under the name meanwhile is not ours to write into. A file
    // that cannot be created or a short write (disk full) fails the transfer
    // rather than leaving a shortened file that looks complete.
    if (!self->m_targetStream) self->m_targetStream = std::fopen(platform::toUtf8(self->m_targetFile).c_str(), "wbxe");
    if (!self->m_targetStream) return 0;
    return std::fwrite(data, 1, bytes, self->m_targetStream);
}

std::size_t CHttpClient::onHeader(char* data, std::size_t size, std::size_t count, void* text) {
    static_cast<std::string*>(text)->append(data, size * count);
    return size * count;
}

long CHttpClient::GetResponseCode() const {
    long code = 0;
    CURL* curl = m_handles->request.get();
    if (!curl || curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &code) != CURLE_OK) return 0;
    return code;
}

void CHttpClient::Cleanup() { m_handles->request.reset(); }

bool CHttpClient::DownloadFile(void* userData, const std::string& url, const std::wstring& targetFile,
                               ProgressFunc progress, const DownloadOptions& options) {
    m_lastDownload = DownloadOutcome();
    const bool resume = options.resumeFrom > 0;
    const bool ownFile = options.targetFd >= 0;
    if (!resume && !ownFile) deleteFile(targetFile);
    if (url.empty()) return false;
    std::wstring parent;
    if (!ownFile && parentOf(targetFile, parent) && !parent.empty()) CreateMultiDirectory(parent);

    auto fail = [&] {
        if (!options.keepOnFailure && !ownFile) deleteFile(targetFile);
        return false;
    };
    // A continued target must hold the bytes it claims to; anything past them
    // is cut off (it would otherwise end up after the rest of the file).
    std::unique_ptr<std::FILE, FileCloser> file;
    if (ownFile) {
        const int fd = ::fcntl(options.targetFd, F_DUPFD_CLOEXEC, 0);
        if (fd >= 0) {
            file.reset(::fdopen(fd, resume ? "r+b" : "ab"));
            if (!file) ::close(fd);
        }
        if (file && !resume && ::ftruncate(fd, 0) != 0) file.reset();
    } else {
        file.reset(std::fopen(platform::toUtf8(targetFile).c_str(), resume ? "r+be" : "abe"));
    }
    if (!file) return fail();
    if (resume) {
        struct stat st;
        if (::fstat(::fileno(file.get()), &st) != 0 || !S_ISREG(st.st_mode) || st.st_size < options.resumeFrom ||
            ::ftruncate(::fileno(file.get()), options.resumeFrom) != 0 || std::fseek(file.get(), 0, SEEK_END) != 0) {
            file.reset();
            return fail();
        }
    }
    EasyHandle curl(curl_easy_init());
    if (!curl) {
        file.reset();
        return fail();
    }

    // Many small files in a row: keeping the connections between calls saves
    // a connection set-up per file.
    if (!m_handles->share) {
        m_handles->share.reset(curl_share_init());
        if (CURLSH* share = m_handles->share.get()) {
            curl_share_setopt(share, CURLSHOPT_SHARE, CURL_LOCK_DATA_CONNECT);
            curl_share_setopt(share, CURLSHOPT_SHARE, CURL_LOCK_DATA_DNS);
        }
    }
    if (CURLSH* share = m_handles->share.get()) curl_easy_setopt(curl.get(), CURLOPT_SHARE, share);

    std::string escaped = UrlEscape(url);
    curl_easy_setopt(curl.get(), CURLOPT_URL, escaped.c_str());
    setRedirectRule(curl.get(), escaped);
    setSecurity(curl.get());
    curl_easy_setopt(curl.get(), CURLOPT_HEADER, 0L);
    FileSink sink{curl.get(), file.get(), options.observer, options.resumeFrom, {}, {}};
    curl_easy_setopt(curl.get(), CURLOPT_WRITEFUNCTION, writeToFile);
    curl_easy_setopt(curl.get(), CURLOPT_WRITEDATA, &sink);
    curl_easy_setopt(curl.get(), CURLOPT_HEADERFUNCTION, collectHeader);
    curl_easy_setopt(curl.get(), CURLOPT_HEADERDATA, &sink.headers);
    HeaderList extra;
    std::string range;
    if (resume) {
        range = std::to_string(options.resumeFrom) + "-";
        curl_easy_setopt(curl.get(), CURLOPT_RANGE, range.c_str());
        // Without If-Range a changed resource would answer with the new
        // bytes from offset N, spliced onto the old ones.
        std::string ifRange = "If-Range: " + options.ifRange;
        if (!options.ifRange.empty() && ifRange.find_first_of("\r\n") == std::string::npos)
            extra.reset(curl_slist_append(nullptr, ifRange.c_str()));
        if (!extra) {
            file.reset();
            return fail();
        }
        curl_easy_setopt(curl.get(), CURLOPT_HTTPHEADER, extra.get());
    }
    curl_easy_setopt(curl.get(), CURLOPT_VERBOSE, debugTrace() ? 1L : 0L);
    curl_easy_setopt(curl.get(), CURLOPT_FOLLOWLOCATION, 1L);
    curl_easy_setopt(curl.get(), CURLOPT_BUFFERSIZE, kReceiveBufferSize);
    ProgressRecord record{userData, curl.get(), progress, &sink.outcome};
    if (progress) {
        curl_easy_setopt(curl.get(), CURLOPT_NOPROGRESS, 0L);
        curl_easy_setopt(curl.get(), CURLOPT_XFERINFOFUNCTION, onTransferInfo);
        curl_easy_setopt(curl.get(), CURLOPT_XFERINFODATA, &record);
        curl_easy_setopt(curl.get(), CURLOPT_FAILONERROR, 1L);
    }
    curl_easy_setopt(curl.get(), CURLOPT_NOSIGNAL, 1L);
    if (long stall = g_downloadStallSeconds.load(); stall > 0) {
        curl_easy_setopt(curl.get(), CURLOPT_LOW_SPEED_LIMIT, 1L);
        curl_easy_setopt(curl.get(), CURLOPT_LOW_SPEED_TIME, stall);
    }

    if (!m_handles->downloadMulti) m_handles->downloadMulti.reset(curl_multi_init());
    CURLcode code = performCancellable(curl.get(), cancelFlag(), m_handles->downloadMulti.get());
    long status = 0;
    curl_easy_getinfo(curl.get(), CURLINFO_RESPONSE_CODE, &status);
    // An empty body never reached the write callback: settle it now.
    bool settled = code != CURLE_OK || sink.outcome.bodyStarted || sink.begin();
    // "Range not satisfiable": the part is not a beginning of what the server
    // has now; asking again the same way would fail the same way.
    if (resume && status == 416) sink.outcome.rangeMismatch = true;
    curl.reset();
    bool closed = std::fclose(file.release()) == 0;
    m_lastDownload = sink.outcome;

    if (code == CURLE_OK && settled && closed && status >= 200 && status <= 399) return true;
    return fail();
}

// --- Fetch ---

namespace {

// Header lines of the answer whose body is arriving, and whether the sink
// has been told about it yet.
struct FetchState {
    CURL* curl;
    IFetchSink* sink;
    std::vector<std::string> headers;
    bool started = false;

    bool begin() {
        started = true;
        long status = 0;
        curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &status);
        return sink->OnResponse(status, headers);
    }
};

std::size_t fetchHeader(char* data, std::size_t size, std::size_t count, void* p) {
    auto* state = static_cast<FetchState*>(p);
    std::string_view line(data, size * count);
    if (startsWithNoCase(line, "HTTP/")) {
        state->headers.clear(); // a redirect's or an interim answer's headers
    } else {
        while (!line.empty() && (line.back() == '\r' || line.back() == '\n')) line.remove_suffix(1);
        if (!line.empty() && state->headers.size() < 200) state->headers.emplace_back(line);
    }
    return size * count;
}

std::size_t fetchBody(char* data, std::size_t size, std::size_t count, void* p) {
    auto* state = static_cast<FetchState*>(p);
    if (!state->started && !state->begin()) return 0;
    return state->sink->OnData(data, size * count) ? size * count : 0;
}

} // namespace

bool CHttpClient::Fetch(const std::string& url, const std::vector<std::string>& headerLines, IFetchSink& sink) {
    EasyHandle curl(curl_easy_init());
    if (!curl || url.empty()) return false;
    if (!m_handles->share) {
        m_handles->share.reset(curl_share_init());
        if (CURLSH* share = m_handles->share.get()) {
            curl_share_setopt(share, CURLSHOPT_SHARE, CURL_LOCK_DATA_CONNECT);
            curl_share_setopt(share, CURLSHOPT_SHARE, CURL_LOCK_DATA_DNS);
        }
    }
    if (CURLSH* share = m_handles->share.get()) curl_easy_setopt(curl.get(), CURLOPT_SHARE, share);
    const std::string escaped = UrlEscape(url);
    curl_easy_setopt(curl.get(), CURLOPT_URL, escaped.c_str());
    setSecurity(curl.get());
    HeaderList headers;
    for (const std::string& line : headerLines) {
        if (line.find_first_of("\r\n") != std::string::npos) return false;
        curl_slist* next = curl_slist_append(headers.get(), line.c_str());
        if (!next) return false;
        // next heads the same list, one entry longer: no entry is freed here.
        static_cast<void>(headers.release());
        headers.reset(next);
    }
    if (headers) curl_easy_setopt(curl.get(), CURLOPT_HTTPHEADER, headers.get());
    FetchState state{curl.get(), &sink, {}};
    curl_easy_setopt(curl.get(), CURLOPT_WRITEFUNCTION, fetchBody);
    curl_easy_setopt(curl.get(), CURLOPT_WRITEDATA, &state);
    curl_easy_setopt(curl.get(), CURLOPT_HEADERFUNCTION, fetchHeader);
    curl_easy_setopt(curl.get(), CURLOPT_HEADERDATA, &state);
    curl_easy_setopt(curl.get(), CURLOPT_VERBOSE, debugTrace() ? 1L : 0L);
    curl_easy_setopt(curl.get(), CURLOPT_FOLLOWLOCATION, 1L);
    curl_easy_setopt(curl.get(), CURLOPT_BUFFERSIZE, kReceiveBufferSize);
    curl_easy_setopt(curl.get(), CURLOPT_NOSIGNAL, 1L);
    if (long stall = g_downloadStallSeconds.load(); stall > 0) {
        curl_easy_setopt(curl.get(), CURLOPT_LOW_SPEED_LIMIT, 1L);
        curl_easy_setopt(curl.get(), CURLOPT_LOW_SPEED_TIME, stall);
    }
    if (!m_handles->downloadMulti) m_handles->downloadMulti.reset(curl_multi_init());
    const CURLcode code = performCancellable(curl.get(), cancelFlag(), m_handles->downloadMulti.get());
    // An empty body never reached the write callback.
    return code == CURLE_OK && (state.started || state.begin());
}

// --- Free functions ---

std::string UrlEscape(const std::string& text) {
    static const char kHex[] = "0123456789ABCDEF";
    std::string out;
    out.reserve(text.size());
    for (unsigned char c : text) {
        bool keep = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '/' ||
                    c == '.' || c == ':' || c == '?' || c == '=';
        if (keep) {
            out += static_cast<char>(c);
        } else {
            out += '%';
            out += kHex[c >> 4];
            out += kHex[c & 15];
        }
    }
    return out;
}

bool CreateMultiDirectory(const std::wstring& path) {
    struct stat st;
    std::string native = platform::toUtf8(path);
    if (!native.empty() && ::stat(native.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) return true;
    std::wstring parent;
    if (!parentOf(path, parent)) return false;
    // An empty parent is the root of an absolute path, which exists.
    if (!parent.empty() && !CreateMultiDirectory(parent)) return false;
    return ::mkdir(native.c_str(), 0777) == 0 || errno == EEXIST;
}

bool HttpDownloadFile(const std::string& url, const std::wstring& targetFile, bool overwrite, std::int64_t maxBytes) {
    if (url.empty()) return false;
    if (pathExists(targetFile)) {
        if (!overwrite) return true;
        deleteFile(targetFile);
    }
    CHttpClient client;
    long status = 0;
    bool complete = false;
    if (client.InitLibCurl()) {
        client.SetTimeLimits(3600, 300);
        client.SetStallLimit(g_downloadStallSeconds.load());
        client.SetBodyLimit(maxBytes);
        std::string response;
        status = client.Request(url, kRequestGet, response, nullptr, targetFile);
        // A transfer that broke off after the status line leaves a partial
        // file: it counts as a failure like a bad status.
        complete = client.ErrorText().empty();
    }
    bool ok = complete && status >= 200 && status <= 300;
    if (!ok) deleteFile(targetFile);
    client.Cleanup();
    if (ok && pathExists(targetFile)) return true;
    // A transfer taken down by cancellation is no failure worth a log entry.
    if (!JobCancelled()) engine_log::DownloadFailed(url, targetFile, status);
    return false;
}
