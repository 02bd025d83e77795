// File digest speed: CMd5A::GetMd5File against the same digest fed in
// 512-byte reads and against md5sum, on one file in the page cache,
// interleaved in rounds. Usage: bench-md5 [megabytes=128] [rounds=5]
#include "platform/system/System.h"
#include "platform/system/Text.h"
#include "util/Text.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

double seconds(const std::chrono::steady_clock::time_point& start) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

std::string digestSmallReads(const std::string& path) {
    FILE* f = std::fopen(path.c_str(), "rb");
    if (!f) return {};
    CMd5Stream md5;
    char buffer[512];
    size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, f)) > 0) md5.Update(buffer, n);
    std::fclose(f);
    return md5.Finish();
}

std::string digestMd5sum(const std::string& path) {
    const std::string command = "md5sum '" + path + "'";
    FILE* p = popen(command.c_str(), "r");
    if (!p) return {};
    char line[256] = {};
    const bool ok = std::fgets(line, sizeof line, p) != nullptr;
    pclose(p);
    return ok ? std::string(line, 32) : std::string();
}

double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

} // namespace

int main(int argc, char** argv) {
    const long megabytes = argc > 1 ? std::atol(argv[1]) : 128;
    const int rounds = argc > 2 ? std::atoi(argv[2]) : 5;
    const std::string path = platform::toUtf8(platform::tempFolder()) + "bench-md5-" + std::to_string(getpid());
    {
        FILE* f = std::fopen(path.c_str(), "wb");
        if (!f) return 1;
        std::vector<unsigned char> block(1 << 20);
        for (size_t i = 0; i < block.size(); ++i) block[i] = static_cast<unsigned char>(i * 2654435761u >> 13);
        for (long i = 0; i < megabytes; ++i) {
            block[0] = static_cast<unsigned char>(i);
            std::fwrite(block.data(), 1, block.size(), f);
        }
        std::fclose(f);
    }
    CMd5A md5;
    const std::string expected = md5.GetMd5File(platform::fromUtf8(path)); // also warms the page cache
    std::vector<double> ours, small, tool;
    bool agree = true;
    for (int r = 0; r < rounds; ++r) {
        auto t = std::chrono::steady_clock::now();
        agree &= md5.GetMd5File(platform::fromUtf8(path)) == expected;
        ours.push_back(seconds(t));
        t = std::chrono::steady_clock::now();
        agree &= digestSmallReads(path) == expected;
        small.push_back(seconds(t));
        t = std::chrono::steady_clock::now();
        agree &= digestMd5sum(path) == expected;
        tool.push_back(seconds(t));
    }
    std::remove(path.c_str());
    const double mb = static_cast<double>(megabytes) * 1.048576;
    std::printf("file %ld MiB, %d rounds, median MB/s (digests agree: %s)\n", megabytes, rounds, agree ? "yes" : "NO");
    std::printf("  CMd5A::GetMd5File (64 KiB reads) %8.0f\n", mb / median(ours));
    std::printf("  EVP MD5, 512-byte reads          %8.0f\n", mb / median(small));
    std::printf("  md5sum                           %8.0f\n", mb / median(tool));
    std::printf("  ratio ours / md5sum              %8.2f\n", median(tool) / median(ours));
    return agree ? 0 : 1;
}
