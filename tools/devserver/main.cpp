// quellan-devserver: the installer's web service and download server on a
// local address, for development, demos and front-end tests.
#include "tools/devserver/DevServer.h"
#include "tools/devserver/SampleContent.h"
#include "tools/publish/Publish.h"

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

namespace {

const char kUsage[] = "Usage: quellan-devserver [options]\n"
                      "\n"
                      "Serves the installer's web service and download server:\n"
                      "  POST /Speed/Config/checkVersion   version answer {\"check_code\", \"file_url\"}\n"
                      "  POST /Speed/Config/getConfig      remote configuration (file list and download prefixes)\n"
                      "  POST /Speed/Server/Report         usage report (answered, otherwise ignored)\n"
                      "  GET  /files/PATH                  files of the content folder (any ?r= query is ignored)\n"
                      "Service requests must carry the five identity headers (Userid, Clientuuid,\n"
                      "Categoryid, Version, Lang) and a valid form signature, or get 403 with a JSON\n"
                      "error. Answers are {\"code\":10001,\"data\":HEX,\"sig\":B64}, the payload\n"
                      "RSA-encrypted with the payload public key in 117-byte chunks and signed with\n"
                      "Ed25519 over \"quellan-answer-1\\n\" PATH \"\\n\" NONCE \"\\n\" PAYLOAD (NONCE: the\n"
                      "request's Nonce header). The configuration carries \"serial\", \"expires\" and\n"
                      "EDITION_file_sha256, the SHA-256 of each list found in the content folder.\n"
                      "\n"
                      "Options:\n"
                      "  --host ADDR            listen address (default 127.0.0.1)\n"
                      "  --port N               listen port (default 8680; 0 picks a free one)\n"
                      "  --content DIR          folder served under /files/\n"
                      "  --key FILE             payload public key, PEM (default: the development key)\n"
                      "  --sign-key FILE        Ed25519 private key (PEM) answers are signed with\n"
                      "                         (default: config/dev-keys/answer-signing.pem)\n"
                      "  --serial N             configuration serial (default 1)\n"
                      "  --expires T            configuration expiry, Unix seconds (default: a day\n"
                      "                         after each answer)\n"
                      "  --tls CERT KEY         serve HTTPS with this certificate and key (PEM)\n"
                      "  --check-code N         version answered by checkVersion (default 20)\n"
                      "  --file-url URL         address of the new version (default BASE/files/update/quellan)\n"
                      "  --config KEY=VALUE     a configuration value (repeatable); unset keys point at\n"
                      "                         BASE/files/: filelist_url_prefix = BASE/files/,\n"
                      "                         EDITION_file_url = EDITION/filelist.json,\n"
                      "                         EDITION_downloadurl_prefix = BASE/files/EDITION/\n"
                      "  --fault PATH:KIND[=V]  a fault for requests to PATH; KIND is status=CODE, empty,\n"
                      "                         delay=MS, wrong-code, bad-payload, truncate=BYTES,\n"
                      "                         stall=MS, gzip, corrupt (same length, other bytes),\n"
                      "                         rate=BYTES_PER_SECOND, changed (new validators),\n"
                      "                         ignore-ranges (200 to a range) or wrong-range (206 from\n"
                      "                         elsewhere than asked), stale-map (a block map of an earlier\n"
                      "                         release) (repeatable)\n"
                      "  --make-sample DIR      write demo content for all five editions into DIR (each\n"
                      "                         edition's files and DIR/EDITION/filelist.json) and exit;\n"
                      "                         then serve it with --content DIR\n"
                      "  --make-list DIR LIST   write the file list of every file below DIR to LIST and exit\n"
                      "  --help                 this text\n"
                      "\n"
                      "Point the installer at it with QUELLAN_SERVICE_BASE=http://127.0.0.1:8680 (and\n"
                      "QUELLAN_SERVICE_FALLBACK); with --tls also QUELLAN_CA_FILE=the CA of CERT.\n";

volatile std::sig_atomic_t g_stop = 0;

void onSignal(int) { g_stop = 1; }

bool parseFault(const std::string& spec, std::string& path, devserver::Fault& fault) {
    std::size_t colon = spec.rfind(':');
    if (colon == std::string::npos || colon == 0) return false;
    path = spec.substr(0, colon);
    std::string kind = spec.substr(colon + 1);
    std::string value;
    if (std::size_t eq = kind.find('='); eq != std::string::npos) {
        value = kind.substr(eq + 1);
        kind.resize(eq);
    }
    int number = value.empty() ? 0 : std::atoi(value.c_str());
    if (kind == "status" && number > 0)
        fault.status = number;
    else if (kind == "stale-map")
        fault.staleMap = true;
    else if (kind == "empty")
        fault.emptyBody = true;
    else if (kind == "delay" && number > 0)
        fault.delayMs = number;
    else if (kind == "wrong-code")
        fault.wrongCode = true;
    else if (kind == "bad-payload")
        fault.badPayload = true;
    else if (kind == "truncate" && !value.empty())
        fault.truncateAt = std::atoll(value.c_str());
    else if (kind == "stall" && number > 0)
        fault.stallMs = number;
    else if (kind == "gzip")
        fault.gzip = true;
    else if (kind == "corrupt")
        fault.corrupt = true;
    else if (kind == "rate" && number > 0)
        fault.rate = std::atoll(value.c_str());
    else if (kind == "changed")
        fault.changed = true;
    else if (kind == "ignore-ranges")
        fault.ignoreRanges = true;
    else if (kind == "wrong-range")
        fault.wrongRange = true;
    else
        return false;
    return true;
}

} // namespace

int main(int argc, char** argv) {
    devserver::Options options;
    options.port = 8680;
    std::string checkCode = "20", fileUrl;
    long long serial = 1, expires = 0;
    std::vector<std::pair<std::string, std::string>> config;
    std::vector<std::pair<std::string, devserver::Fault>> faults;

    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        auto next = [&](const char* what) -> std::string {
            if (i + 1 >= argc) {
                std::fprintf(stderr, "quellan-devserver: %s needs %s\n", arg.c_str(), what);
                std::exit(2); // NOLINT(concurrency-mt-unsafe): reading the arguments, before any thread starts
            }
            return argv[++i];
        };
        if (arg == "--help" || arg == "-h") {
            std::fputs(kUsage, stdout);
            return 0;
        } else if (arg == "--host") {
            options.host = next("an address");
        } else if (arg == "--port") {
            options.port = std::atoi(next("a number").c_str());
        } else if (arg == "--content") {
            options.contentDir = next("a folder");
        } else if (arg == "--key") {
            options.publicKeyFile = next("a file");
        } else if (arg == "--sign-key") {
            options.signKeyFile = next("a file");
        } else if (arg == "--serial") {
            serial = std::atoll(next("a number").c_str());
        } else if (arg == "--expires") {
            expires = std::atoll(next("Unix seconds").c_str());
        } else if (arg == "--tls") {
            options.tlsCertFile = next("a certificate file");
            options.tlsKeyFile = next("a key file");
        } else if (arg == "--check-code") {
            checkCode = next("a number");
        } else if (arg == "--file-url") {
            fileUrl = next("an address");
        } else if (arg == "--config") {
            std::string kv = next("KEY=VALUE");
            std::size_t eq = kv.find('=');
            if (eq == std::string::npos) {
                std::fprintf(stderr, "quellan-devserver: --config needs KEY=VALUE\n");
                return 2;
            }
            config.emplace_back(kv.substr(0, eq), kv.substr(eq + 1));
        } else if (arg == "--make-sample") {
            const std::string dir = next("a folder");
            devserver::ContentSummary summary;
            std::string error;
            if (!devserver::MakeSampleContent(dir, summary, error)) {
                std::fprintf(stderr, "quellan-devserver: %s\n", error.c_str());
                return 1;
            }
            std::printf("%d files, %llu bytes of demo content for all editions in %s\n", summary.files,
                        static_cast<unsigned long long>(summary.bytes), dir.c_str());
            return 0;
        } else if (arg == "--make-list") {
            const std::string dir = next("a folder");
            const std::string list = next("a list file");
            // The publisher's list, without block maps (quellan-publish makes those).
            publish::PublishOptions options;
            options.maps = false;
            publish::PublishSummary summary;
            std::string error;
            if (!publish::PublishTree(dir, list, options, summary, error)) {
                std::fprintf(stderr, "quellan-devserver: %s\n", error.c_str());
                return 1;
            }
            std::printf("%d files, %llu bytes listed in %s\n", summary.files,
                        static_cast<unsigned long long>(summary.bytes), list.c_str());
            return 0;
        } else if (arg == "--fault") {
            std::string path;
            devserver::Fault fault;
            if (!parseFault(next("PATH:KIND"), path, fault)) {
                std::fprintf(stderr, "quellan-devserver: bad --fault %s\n", argv[i]);
                return 2;
            }
            faults.emplace_back(path, fault);
        } else {
            std::fprintf(stderr, "quellan-devserver: unknown option %s (see --help)\n", arg.c_str());
            return 2;
        }
    }

    devserver::DevServer server;
    server.SetVersion(checkCode, fileUrl);
    server.SetSerial(serial);
    if (expires != 0) server.SetExpires(expires);
    for (auto& [key, value] : config) server.SetConfigValue(key, value);
    for (auto& [path, fault] : faults) server.SetFault(path, fault);
    std::string error;
    if (!server.Start(options, &error)) {
        std::fprintf(stderr, "quellan-devserver: %s\n", error.c_str());
        return 1;
    }
    std::signal(SIGINT, onSignal);
    std::signal(SIGTERM, onSignal);
    std::printf("quellan-devserver listening on %s\n", server.BaseUrl().c_str());
    std::fflush(stdout);
    while (!g_stop) std::this_thread::sleep_for(std::chrono::milliseconds(100));
    server.Stop();
    return 0;
}
