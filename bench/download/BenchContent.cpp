// quellan-bench-content: writes a benchmark content set (random bytes in
// files of random size within bounds) and its file list.
#include "tools/devserver/SampleContent.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

int main(int argc, char** argv) {
    std::string dir;
    std::uint64_t total = 0, minSize = 0, maxSize = 0;
    long files = 0, perFolder = 0;
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::string opt = argv[i];
        const char* v = argv[i + 1];
        if (opt == "--dir")
            dir = v;
        else if (opt == "--total-mib")
            total = std::strtoull(v, nullptr, 10) << 20;
        else if (opt == "--files")
            files = std::strtol(v, nullptr, 10);
        else if (opt == "--min-kib")
            minSize = std::strtoull(v, nullptr, 10) << 10;
        else if (opt == "--max-kib")
            maxSize = std::strtoull(v, nullptr, 10) << 10;
        else if (opt == "--per-folder")
            perFolder = std::strtol(v, nullptr, 10);
        else {
            std::fprintf(stderr, "unknown option %s\n", argv[i]);
            return 1;
        }
    }
    if (dir.empty() || (!total && !files) || !minSize || maxSize < minSize) {
        std::fprintf(stderr,
                     "Usage: quellan-bench-content --dir DIR (--total-mib N | --files N) --min-kib A --max-kib B "
                     "[--per-folder N]\n");
        return 1;
    }
    std::filesystem::create_directories(dir);
    std::mt19937_64 rng(42);
    std::vector<std::uint64_t> block(1 << 17);
    std::uint64_t written = 0;
    for (long i = 0; files ? i < files : written < total; ++i) {
        std::uint64_t size = minSize + rng() % (maxSize - minSize + 1);
        if (total && !files) size = std::min(size, total - written);
        std::filesystem::path folder = dir;
        if (perFolder > 0) folder /= "d" + std::to_string(i / perFolder);
        std::filesystem::create_directories(folder);
        const std::string path = (folder / ("f" + std::to_string(i) + ".bin")).string();
        FILE* f = std::fopen(path.c_str(), "wb");
        if (!f) {
            std::fprintf(stderr, "cannot write %s\n", path.c_str());
            return 1;
        }
        for (std::uint64_t left = size; left > 0;) {
            for (auto& w : block) w = rng();
            const std::size_t n = static_cast<std::size_t>(std::min<std::uint64_t>(left, block.size() * 8));
            std::fwrite(block.data(), 1, n, f);
            left -= n;
        }
        std::fclose(f);
        written += size;
    }
    devserver::ContentSummary summary;
    std::string error;
    if (!devserver::WriteFileList(dir, dir + "/filelist.json", false, summary, error)) {
        std::fprintf(stderr, "%s\n", error.c_str());
        return 1;
    }
    std::printf("%d files, %llu bytes\n", summary.files, static_cast<unsigned long long>(summary.bytes));
    return 0;
}
