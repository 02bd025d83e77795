// quellan-publish: makes a folder ready to be uploaded as a release: the
// file list and a block map beside every large file.
#include "tools/publish/Publish.h"

#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

const char kUsage[] = "Usage: quellan-publish DIR --list LIST [--block-size N]\n"
                      "\n"
                      "Writes LIST, the file list of every file below DIR (as the download server\n"
                      "serves it), and FILE.qbm, the block map, beside every file of at least 1 MiB,\n"
                      "so installers patch changed files instead of fetching them whole. Files that\n"
                      "are already as they should be are not rewritten; maps of files that are gone\n"
                      "are removed. Prints the list's SHA-256 for the signed configuration.\n"
                      "\n"
                      "  --block-size N   block size of every map (512 to 4194304; default: chosen\n"
                      "                   per file, about the square root of its length)\n";

} // namespace

int main(int argc, char** argv) {
    std::string dir, list;
    publish::PublishOptions options;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--help" || arg == "-h") {
            std::fputs(kUsage, stdout);
            return 0;
        }
        if ((arg == "--list" || arg == "--block-size") && i + 1 >= argc) {
            std::fprintf(stderr, "quellan-publish: %s needs a value\n", arg.c_str());
            return 2;
        }
        if (arg == "--list") {
            list = argv[++i];
        } else if (arg == "--block-size") {
            char* end = nullptr;
            const unsigned long value = std::strtoul(argv[++i], &end, 10);
            if (!end || *end || value == 0 || value > 0xffffffffUL) {
                std::fprintf(stderr, "quellan-publish: bad block size %s\n", argv[i]);
                return 2;
            }
            options.blockSize = static_cast<std::uint32_t>(value);
        } else if (dir.empty() && arg.rfind("--", 0) != 0) {
            dir = arg;
        } else {
            std::fprintf(stderr, "quellan-publish: unexpected %s (see --help)\n", arg.c_str());
            return 2;
        }
    }
    if (dir.empty() || list.empty()) {
        std::fputs(kUsage, stderr);
        return 2;
    }
    publish::PublishSummary summary;
    std::string error;
    if (!publish::PublishTree(dir, list, options, summary, error)) {
        std::fprintf(stderr, "quellan-publish: %s\n", error.c_str());
        return 1;
    }
    std::printf("%d files, %llu bytes listed in %s (%s)\n", summary.files,
                static_cast<unsigned long long>(summary.bytes), list.c_str(),
                summary.listWritten ? "written" : "unchanged");
    std::printf("maps: %d written, %d unchanged, %d removed\n", summary.mapsWritten, summary.mapsUnchanged,
                summary.mapsRemoved);
    std::printf("list sha256: %s\n", summary.listSha256.c_str());
    return 0;
}
