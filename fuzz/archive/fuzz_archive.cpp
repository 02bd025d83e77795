// Fuzzes the in-memory skin archive: opening, locating entries by every name
// spelling, and extracting (decrypting, inflating, checking) them.
#include "ui/markup/SkinXml.h"
#include "ui/render/SkinSource.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    skinsource::reset();
    skinsource::setSkinArchive(data, size, "kvtp5184@");
    std::vector<std::uint8_t> out;
    for (const wchar_t* name : {L"main.xml", L"\\MAIN.XML", L"img//bk.png", L"msgbox.xml"})
        skinsource::readArchiveEntry(name, out, CSkinXml::kMaxFileSize);
    int n = 0;
    for (const std::string& entry : skinsource::archiveEntries()) {
        if (++n > 16) break;
        skinsource::readArchiveEntry(std::wstring(entry.begin(), entry.end()), out, CSkinXml::kMaxFileSize);
    }
    CSkinXml doc;
    doc.loadFromFile(L"main.xml");
    skinsource::reset();
    return 0;
}
