// bench-http: downloads one large file from a local server, interleaving
// three clients in rounds, and prints the median throughput of each and the
// ratios:
//   quellan      CHttpClient::DownloadFile (the program's receive buffer)
//   curl-16k     plain libcurl easy transfer with libcurl's default buffer
//   curl-512k    plain libcurl easy transfer with a 512 KiB buffer
//   curl-2m      plain libcurl easy transfer with a 2 MiB buffer
//   curl-max     plain libcurl easy transfer with the largest buffer libcurl takes
// The server is nginx (sendfile) when /usr/sbin/nginx exists, else the
// devserver library in-process. Usage: bench-http [MiB=256] [rounds=5]
#include "engine/HttpClient.h"
#include "tools/devserver/DevServer.h"

#include <curl/curl.h>

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

namespace fs = std::filesystem;

namespace {

std::size_t writeFile(char* data, std::size_t size, std::size_t count, void* file) {
    return std::fwrite(data, size, count, static_cast<std::FILE*>(file)) * size;
}

bool plainCurl(const std::string& url, const std::string& target, long bufferSize) {
    std::FILE* file = std::fopen(target.c_str(), "wb");
    if (!file) return false;
    CURL* curl = curl_easy_init();
    curl_easy_setopt(curl, CURLOPT_URL, url.c_str());
    curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, writeFile);
    curl_easy_setopt(curl, CURLOPT_WRITEDATA, file);
    curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
    if (bufferSize > 0) curl_easy_setopt(curl, CURLOPT_BUFFERSIZE, bufferSize);
    CURLcode code = curl_easy_perform(curl);
    long status = 0;
    curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &status);
    curl_easy_cleanup(curl);
    std::fclose(file);
    return code == CURLE_OK && status == 200;
}

double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

// nginx on 127.0.0.1 serving root; returns its pid and port, or pid 0.
pid_t startNginx(const fs::path& root, const fs::path& work, int& port) {
    if (!fs::exists("/usr/sbin/nginx")) return 0;
    port = 20000 + static_cast<int>(getpid() % 20000);
    fs::create_directories(work / "logs");
    std::ofstream(work / "nginx.conf") << "daemon off; worker_processes 1; pid " << (work / "nginx.pid").string()
                                       << "; error_log " << (work / "logs/error.log").string()
                                       << ";\nevents {}\nhttp { access_log off; sendfile on; "
                                          "client_body_temp_path "
                                       << (work / "tmp").string() << "; server { listen 127.0.0.1:" << port << "; root "
                                       << root.string() << "; } }\n";
    pid_t pid = fork();
    if (pid == 0) {
        execl("/usr/sbin/nginx", "nginx", "-p", work.c_str(), "-c", (work / "nginx.conf").c_str(), nullptr);
        _exit(127);
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    int status = 0;
    if (waitpid(pid, &status, WNOHANG) != 0) return 0; // it did not stay up
    return pid;
}

} // namespace

int main(int argc, char** argv) {
    std::size_t mib = argc > 1 ? std::strtoul(argv[1], nullptr, 10) : 256;
    int rounds = argc > 2 ? std::atoi(argv[2]) : 5;
    CHttpClient::GlobalInit();

    char pattern[] = "/tmp/bench-http-XXXXXX";
    fs::path dir = mkdtemp(pattern);
    // nginx workers may run as another user: let them read the files.
    fs::permissions(dir, fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec | fs::perms::others_read |
                             fs::perms::others_exec);
    fs::create_directories(dir / "root");
    {
        std::ofstream out(dir / "root/big.bin", std::ios::binary);
        std::string block(1 << 20, '\0');
        for (std::size_t i = 0; i < block.size(); ++i) block[i] = static_cast<char>(i * 7 % 251);
        for (std::size_t i = 0; i < mib; ++i) out.write(block.data(), static_cast<std::streamsize>(block.size()));
    }

    int port = 0;
    pid_t nginx = startNginx(dir / "root", dir / "nginx", port);
    devserver::DevServer dev;
    std::string url;
    if (nginx) {
        url = "http://127.0.0.1:" + std::to_string(port) + "/big.bin";
    } else {
        devserver::Options options;
        options.contentDir = (dir / "root").string();
        if (!dev.Start(options)) {
            std::fprintf(stderr, "no server\n");
            return 1;
        }
        url = dev.BaseUrl() + "/files/big.bin";
    }
    std::printf("server %s, file %zu MiB, %d rounds\n", nginx ? "nginx" : "devserver", mib, rounds);

    std::string target = (dir / "out.bin").string();
    std::wstring wtarget(target.begin(), target.end());
    std::vector<double> ours, curl16, curl512, curl2m, curlMax;
    auto timed = [&](auto&& run) {
        auto start = std::chrono::steady_clock::now();
        bool ok = run();
        double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        fs::remove(target);
        return ok ? static_cast<double>(mib) / seconds : 0.0;
    };
    for (int r = 0; r < rounds; ++r) {
        CHttpClient client;
        ours.push_back(timed([&] { return client.DownloadFile(nullptr, url, wtarget); }));
        curl16.push_back(timed([&] { return plainCurl(url, target, 0); }));
        curl512.push_back(timed([&] { return plainCurl(url, target, 512 * 1024); }));
        curl2m.push_back(timed([&] { return plainCurl(url, target, 2 * 1024 * 1024); }));
        curlMax.push_back(timed([&] { return plainCurl(url, target, CURL_MAX_READ_SIZE); }));
    }

    double q = median(ours), c16 = median(curl16), c512 = median(curl512), c2m = median(curl2m), cMax = median(curlMax);
    std::printf("%-10s %9.1f MiB/s (median)\n", "quellan", q);
    std::printf("%-10s %9.1f MiB/s (median)\n", "curl-16k", c16);
    std::printf("%-10s %9.1f MiB/s (median)\n", "curl-512k", c512);
    std::printf("%-10s %9.1f MiB/s (median)\n", "curl-2m", c2m);
    std::printf("%-10s %9.1f MiB/s (median, %ld KiB)\n", "curl-max", cMax,
                static_cast<long>(CURL_MAX_READ_SIZE / 1024));
    std::printf("ratio quellan / curl-16k  = %.2f\n", c16 > 0 ? q / c16 : 0.0);
    std::printf("ratio curl-512k / curl-16k = %.2f\n", c16 > 0 ? c512 / c16 : 0.0);
    std::printf("ratio curl-2m / curl-16k   = %.2f\n", c16 > 0 ? c2m / c16 : 0.0);
    std::printf("ratio curl-max / curl-16k  = %.2f\n", c16 > 0 ? cMax / c16 : 0.0);

    if (nginx) {
        kill(nginx, SIGTERM);
        waitpid(nginx, nullptr, 0);
    }
    dev.Stop();
    fs::remove_all(dir);
    CHttpClient::GlobalCleanup();
    return 0;
}
