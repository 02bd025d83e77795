// Test support: PE files signed by osslsigncode with certificates made by
// openssl, generated once per test process in a temporary folder.
#pragma once

#include "tests/support/PeFixture.h"
#include "tests/support/ScratchFolder.h"

#include <array>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

namespace testsupport {

struct SignedFiles {
    std::filesystem::path dir;
    std::filesystem::path trusted32;  // PE32, self-signed "Orsveld网络科技有限公司", serial 7A31...
    std::filesystem::path trusted64;  // PE32+, same certificate, with a version resource
    std::filesystem::path leafA;      // signed by leaf A ("Leaf a Org", serial 008A0B0C) of a test CA
    std::filesystem::path leafB;      // signed by leaf B ("Leaf b Org", serial 0B0C); both leaves and the CA in each
    std::filesystem::path unsigned32; // never signed
    std::string error;                // why generation failed; empty when all is there
};

namespace detail {
inline bool sh(const std::filesystem::path& dir, const std::string& command, std::string& error) {
    const std::string full = "cd '" + dir.string() + "' && (" + command + ") >>tools.log 2>&1";
    if (std::system(full.c_str()) == 0) return true;
    std::ifstream log(dir / "tools.log");
    error = "failed: " + command + "\n" + std::string(std::istreambuf_iterator<char>(log), {});
    return false;
}
inline void writeBytes(const std::filesystem::path& path, const std::vector<std::uint8_t>& b) {
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(b.data()), static_cast<std::streamsize>(b.size()));
}
} // namespace detail

inline const SignedFiles& signedFiles() {
    static const SignedFiles files = [] {
        SignedFiles f;
        // Removed when the test process ends.
        static const ScratchFolder folder;
        if (folder.path().empty()) {
            f.error = "no scratch folder";
            return f;
        }
        f.dir = folder.path();
        f.trusted32 = f.dir / "trusted32.exe";
        f.trusted64 = f.dir / "trusted64.exe";
        f.leafA = f.dir / "leafA.exe";
        f.leafB = f.dir / "leafB.exe";
        f.unsigned32 = f.dir / "unsigned32.exe";
        detail::writeBytes(f.unsigned32, makePe());
        detail::writeBytes(f.dir / "in64.exe", makePe({true, std::array<std::uint16_t, 4>{6, 2, 9200, 16384}}));

        const char* steps[] = {
            // Common name last in the subject: the display name still takes it.
            "openssl req -x509 -newkey rsa:2048 -nodes -days 30 -utf8 -keyout t.key -out t.pem "
            "-subj '/C=CN/O=Orsveld Org/CN=Orsveld网络科技有限公司' -set_serial 0x7a31c9e04b82d6f15e0a93c47d28b6e1",
            // The CA and its leaves use EC keys: made in a millisecond, where RSA takes a while.
            "openssl req -x509 -newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes -days 30 -keyout ca.key -out "
            "ca.pem "
            "-subj '/CN=Quellan Test CA' -set_serial 1",
            "openssl req -new -newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes -keyout a.key -out a.csr -subj "
            "'/C=CN/O=Leaf a Org'",
            "openssl req -new -newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes -keyout b.key -out b.csr -subj "
            "'/C=CN/O=Leaf b Org'",
            "openssl x509 -req -in a.csr -CA ca.pem -CAkey ca.key -set_serial 0x8a0b0c -days 30 -out a.pem",
            "openssl x509 -req -in b.csr -CA ca.pem -CAkey ca.key -set_serial 0x0b0c -days 30 -out b.pem",
            "cat ca.pem a.pem > chainA.pem && cat ca.pem b.pem > chainB.pem",
            "osslsigncode sign -certs t.pem -key t.key -in unsigned32.exe -out trusted32.exe",
            "osslsigncode sign -certs t.pem -key t.key -in in64.exe -out trusted64.exe",
            "osslsigncode sign -certs chainA.pem -key a.key -ac b.pem -in unsigned32.exe -out leafA.exe",
            "osslsigncode sign -certs chainB.pem -key b.key -ac a.pem -in unsigned32.exe -out leafB.exe",
        };
        for (const char* step : steps)
            if (!detail::sh(f.dir, step, f.error)) break;
        return f;
    }();
    return files;
}

} // namespace testsupport
