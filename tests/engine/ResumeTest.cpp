// Continuing broken-off transfers against the real local server: the record
// beside a part, what the server's answer decides, records that do not fit,
// corrupted parts, and a 200 MiB file completed by its last 50 MiB.
#include "engine/DownloadWorker.h"
#include "engine/EngineEvents.h"
#include "engine/PointerArg.h"
#include "engine/ResumeRecord.h"
#include "platform/system/Text.h"
#include "tests/engine/EngineTestSupport.h"
#include "util/Text.h"

#include <gtest/gtest.h>

#include <fstream>
#include <mutex>

namespace {

using namespace enginetest;
namespace fs = std::filesystem;

// --- The record file ---

TEST(ResumeRecordTest, OnlyWellFormedRecordsParse) {
    const std::string md5 = "0123456789abcdef0123456789ABCDEF";
    const std::string head = "quellan-resume 1\naddress http://h/f.bin\nmd5 " + md5 + "\n";
    struct Case {
        const char* name;
        std::string text;
        bool parses;
        std::string validator;
    } cases[] = {
        {"etag and date", head + "etag \"abc\"\nlast-modified Mon, 01 Jan 2024 00:00:00 GMT\nlength 5\n", true,
         "\"abc\""},
        {"date only", head + "last-modified Mon, 01 Jan 2024 00:00:00 GMT\n", true, "Mon, 01 Jan 2024 00:00:00 GMT"},
        {"weak etag gives way to the date", head + "etag W/\"abc\"\nlast-modified D\n", true, "D"},
        {"weak etag alone is no validator", head + "etag W/\"abc\"\n", false, ""},
        {"no validator", head, false, ""},
        {"a patch's part", head + "etag \"abc\"\nkind patch\n", true, "\"abc\""},
        {"unknown kind", head + "etag \"abc\"\nkind other\n", false, ""},
        {"cut short", head + "etag \"abc\"", false, ""},
        {"other version", "quellan-resume 2\naddress a\nmd5 " + md5 + "\netag \"x\"\n", false, ""},
        {"no header", "address a\nmd5 " + md5 + "\netag \"x\"\n", false, ""},
        {"no address", "quellan-resume 1\nmd5 " + md5 + "\netag \"x\"\n", false, ""},
        {"short digest", "quellan-resume 1\naddress a\nmd5 0123\netag \"x\"\n", false, ""},
        {"key twice", head + "etag \"x\"\netag \"y\"\n", false, ""},
        {"unknown key", head + "etag \"x\"\ncolour red\n", false, ""},
        {"empty value", head + "etag \"x\"\nlength \n", false, ""},
        {"length not a number", head + "etag \"x\"\nlength -5\n", false, ""},
        {"length too long", head + "etag \"x\"\nlength 1234567890123456789\n", false, ""},
        {"header injection", head + "etag \"x\"\r\nX-Evil: 1\n", false, ""},
        {"nul byte", head + std::string("etag \"x\0\"\n", 10), false, ""},
        {"oversized", head + "etag \"" + std::string(5000, 'x') + "\"\n", false, ""},
        {"empty", "", false, ""},
    };
    for (const Case& c : cases) {
        ResumeRecord record;
        EXPECT_EQ(ParseResumeRecord(c.text, record), c.parses) << c.name;
        if (c.parses) {
            EXPECT_EQ(record.IfRangeValidator(), c.validator) << c.name;
        }
    }

    ResumeRecord original{"http://127.0.0.1:1/files/a b.bin", md5, "\"e\"", "Tue, 02 Jan 2024 10:00:00 GMT", 123, true};
    ResumeRecord back;
    ASSERT_TRUE(ParseResumeRecord(FormatResumeRecord(original), back));
    EXPECT_EQ(back.address, original.address);
    EXPECT_EQ(back.md5, original.md5);
    EXPECT_EQ(back.etag, original.etag);
    EXPECT_EQ(back.lastModified, original.lastModified);
    EXPECT_EQ(back.length, 123);
    EXPECT_TRUE(back.patch);
    EXPECT_EQ(ResumeRecordPath(L"/g/Data/x.MPQ.quellan-part"), L"/g/Data/.x.MPQ.quellan-part.resume");
}

// --- Resuming against the server ---

// The largest total a transfer in progress reported.
class TotalsSeen : public IEngineEvents {
public:
    void OnDownloadProgress(EventArg, EventArg a2) override {
        const ProgressValues v = ArgPointer<const CProgressRecord>(a2)->Snapshot();
        std::lock_guard lock(m_lock);
        if (v.state == kStateDownloading) m_maxTotal = std::max(m_maxTotal, v.total);
    }
    std::int64_t maxTotal() const {
        std::lock_guard lock(m_lock);
        return m_maxTotal;
    }

private:
    mutable std::mutex m_lock;
    std::int64_t m_maxTotal = 0;
};

class ResumeTest : public ServerFixture {
protected:
    void SetUp() override {
        ServerFixture::SetUp();
        m_install = m_dir / "install/";
        fs::create_directories(m_install);
        m_pass.queue = &m_queue;
        m_pass.failed = &m_failed;
        m_pass.installDir = platform::fromUtf8(m_install);
        m_pass.prefix = url("/files/birch/");
        m_pass.endWaitMs = 0;
    }

    // Writes a file of size bytes (byte i is i % 251 + seed) to the server;
    // returns its digest.
    std::string serve(const std::string& name, std::int64_t size, int seed = 0) {
        const std::string path = content("birch/" + name);
        fs::create_directories(fs::path(path).parent_path());
        std::ofstream out(path, std::ios::binary | std::ios::trunc);
        std::string chunk(1 << 20, '\0');
        for (std::int64_t at = 0; at < size; at += static_cast<std::int64_t>(chunk.size())) {
            const std::size_t n = static_cast<std::size_t>(std::min<std::int64_t>(size - at, chunk.size()));
            for (std::size_t i = 0; i < n; ++i) chunk[i] = static_cast<char>((at + i) % 251 + seed);
            out.write(chunk.data(), static_cast<std::streamsize>(n));
        }
        out.close();
        return CMd5A().GetMd5File(platform::fromUtf8(path));
    }
    void cutOnce(const std::string& name, std::int64_t at) {
        devserver::Fault cut;
        cut.truncateAt = at;
        cut.times = 1;
        m_server.SetFault("/files/birch/" + name, cut);
    }
    // One pass over the given entries.
    void pass(const std::vector<DownloadItem>& items) {
        m_failed = false;
        for (const auto& item : items) m_queue.Push(item);
        RunDownloadWorker(m_pass, 77, 3, m_events);
    }
    std::string local(const std::string& name) const { return m_install + name; }
    std::string part(const std::string& name) const { return m_install + name + ".quellan-part"; }
    std::string record(const std::string& name) const { return m_install + "." + name + ".quellan-part.resume"; }
    std::int64_t sent(const std::string& name) const { return m_server.BodyBytesSent("/files/birch/" + name); }
    std::vector<devserver::RecordedRequest> requests(const std::string& name) const {
        return m_server.RequestsTo("/files/birch/" + name);
    }
    std::string localMd5(const std::string& name) const { return CMd5A().GetMd5File(platform::fromUtf8(local(name))); }

    std::string m_install;
    CDownloadQueue m_queue;
    std::atomic<bool> m_failed{false};
    DownloadPass m_pass;
    TotalsSeen m_events;
};

constexpr std::int64_t kMiB = 1 << 20;

TEST_F(ResumeTest, LargeFileCutOffIsCompletedByFetchingOnlyTheRest) {
    const std::int64_t size = 200 * kMiB, cutAt = 150 * kMiB;
    const std::string digest = serve("big.bin", size);
    cutOnce("big.bin", cutAt);

    pass({{"big.bin", digest}});
    EXPECT_TRUE(m_failed);
    EXPECT_FALSE(fs::exists(local("big.bin")));
    ASSERT_TRUE(fs::exists(part("big.bin")));
    EXPECT_EQ(static_cast<std::int64_t>(fs::file_size(part("big.bin"))), cutAt);
    EXPECT_TRUE(fs::exists(record("big.bin")));

    const std::int64_t sentBefore = sent("big.bin");
    const std::int64_t resumedBefore = g_transferTotals.resumedBytes;
    pass({{"big.bin", digest}});
    EXPECT_FALSE(m_failed);
    EXPECT_EQ(localMd5("big.bin"), digest);
    EXPECT_EQ(sent("big.bin") - sentBefore, size - cutAt); // 50 MiB, not 200
    EXPECT_EQ(g_transferTotals.resumedBytes - resumedBefore, cutAt);
    const auto asked = requests("big.bin");
    ASSERT_EQ(asked.size(), 2u);
    EXPECT_EQ(asked[1].Header("Range"), "bytes=157286400-");
    EXPECT_EQ(asked[1].Header("If-Range").front(), '"'); // the ETag of the first answer
    EXPECT_EQ(asked[1].status, 206);
    EXPECT_FALSE(fs::exists(part("big.bin")));
    EXPECT_FALSE(fs::exists(record("big.bin")));
    EXPECT_EQ(m_events.maxTotal(), size); // the bar shows the whole file, not the rest
}

TEST_F(ResumeTest, TheServersAnswerDecidesWhetherThePartIsContinued) {
    const std::int64_t size = 3 * kMiB, cutAt = 2 * kMiB;
    struct Case {
        const char* name;
        devserver::Fault fault;
        bool continued;
        std::size_t requests; // in the second pass
    } cases[] = {
        {"range honoured", {}, true, 1},
        {"resource changed",
         [] {
             devserver::Fault f;
             f.changed = true;
             return f;
         }(),
         false, 1},
        {"ranges ignored",
         [] {
             devserver::Fault f;
             f.ignoreRanges = true;
             return f;
         }(),
         false, 1},
        // The bytes of a range from elsewhere are never spliced in: the file
        // is fetched again whole at once.
        {"wrong Content-Range",
         [] {
             devserver::Fault f;
             f.wrongRange = true;
             return f;
         }(),
         false, 2},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string name = std::string(c.name) + ".bin";
        const std::string digest = serve(name, size);
        cutOnce(name, cutAt);
        pass({{name, digest}});
        ASSERT_TRUE(fs::exists(record(name)));

        m_server.SetFault("/files/birch/" + name, c.fault);
        const std::int64_t resumedBefore = g_transferTotals.resumedBytes;
        pass({{name, digest}});
        EXPECT_FALSE(m_failed);
        EXPECT_EQ(localMd5(name), digest);
        const auto asked = requests(name);
        ASSERT_EQ(asked.size(), 1 + c.requests);
        EXPECT_EQ(asked[1].Header("Range"), "bytes=2097152-"); // always asked to continue
        EXPECT_EQ(asked.back().status, c.continued ? 206 : 200);
        EXPECT_EQ(g_transferTotals.resumedBytes - resumedBefore, c.continued ? cutAt : 0);
        if (c.requests == 2) {
            EXPECT_EQ(asked.back().Header("Range"), "");
        }
        EXPECT_FALSE(fs::exists(part(name)));
        EXPECT_FALSE(fs::exists(record(name)));
    }
}

TEST_F(ResumeTest, PartsWhoseRecordDoesNotFitStartOver) {
    const std::int64_t size = 3 * kMiB, cutAt = 2 * kMiB;
    auto editRecord = [this](const std::string& name, const std::function<void(ResumeRecord&)>& edit) {
        ResumeRecord r;
        ASSERT_TRUE(ReadResumeRecord(platform::fromUtf8(record(name)), r));
        edit(r);
        writeFile(record(name), FormatResumeRecord(r));
    };
    struct Case {
        const char* name;
        std::function<void(const std::string& name, std::string& digest)> change;
        bool continued;
    } cases[] = {
        {"intact", [](const std::string&, std::string&) {}, true},
        {"record missing", [this](const std::string& n, std::string&) { fs::remove(record(n)); }, false},
        {"record unreadable", [this](const std::string& n, std::string&) { writeFile(record(n), "\x01garbage"); },
         false},
        {"record cut short",
         [this](const std::string& n, std::string&) {
             const std::string text = readFile(record(n));
             writeFile(record(n), text.substr(0, text.size() - 3));
         },
         false},
        {"other address",
         [&](const std::string& n, std::string&) { editRecord(n, [](ResumeRecord& r) { r.address += "x"; }); }, false},
        {"expected digest changed", [this](const std::string& n, std::string& digest) { digest = serve(n, size, 7); },
         false},
        {"part under 1 MiB", [this](const std::string& n, std::string&) { fs::resize_file(part(n), kMiB - 1); }, false},
        {"part as long as the resource",
         [&](const std::string& n, std::string&) { editRecord(n, [](ResumeRecord& r) { r.length = cutAt; }); }, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::string name = c.name;
        std::replace(name.begin(), name.end(), ' ', '-');
        std::string digest = serve(name, size);
        cutOnce(name, cutAt);
        pass({{name, digest}});
        ASSERT_TRUE(fs::exists(record(name)));

        c.change(name, digest);
        const std::int64_t sentBefore = sent(name);
        pass({{name, digest}});
        EXPECT_FALSE(m_failed);
        EXPECT_EQ(localMd5(name), digest);
        const auto asked = requests(name);
        ASSERT_EQ(asked.size(), 2u);
        EXPECT_EQ(asked[1].Header("Range").empty(), !c.continued);
        EXPECT_EQ(asked[1].Header("If-Range").empty(), !c.continued);
        EXPECT_EQ(sent(name) - sentBefore, c.continued ? size - cutAt : size);
        EXPECT_FALSE(fs::exists(part(name)));
        EXPECT_FALSE(fs::exists(record(name)));
    }
}

TEST_F(ResumeTest, AnUnsatisfiableRangeFetchesTheFileWholeAtOnce) {
    // The part is as long as the file, the record claims more: the server
    // answers 416, and asking the same again would never end.
    const std::int64_t size = 3 * kMiB;
    const std::string digest = serve("whole.bin", size);
    cutOnce("whole.bin", 2 * kMiB);
    pass({{"whole.bin", digest}});
    ResumeRecord r;
    ASSERT_TRUE(ReadResumeRecord(platform::fromUtf8(record("whole.bin")), r));
    r.length = size + 1;
    writeFile(record("whole.bin"), FormatResumeRecord(r));
    fs::copy_file(content("birch/whole.bin"), part("whole.bin"), fs::copy_options::overwrite_existing);

    pass({{"whole.bin", digest}});
    EXPECT_FALSE(m_failed);
    EXPECT_EQ(localMd5("whole.bin"), digest);
    const auto asked = requests("whole.bin");
    ASSERT_EQ(asked.size(), 3u);
    EXPECT_EQ(asked[1].status, 416);
    EXPECT_EQ(asked[2].Header("Range"), "");
    EXPECT_FALSE(fs::exists(record("whole.bin")));
}

TEST_F(ResumeTest, CorruptedPartFailsTheFileAndTheNextPassIsClean) {
    const std::int64_t size = 3 * kMiB, cutAt = 2 * kMiB;
    const std::string digest = serve("flip.bin", size);
    cutOnce("flip.bin", cutAt);
    pass({{"flip.bin", digest}});
    ASSERT_EQ(static_cast<std::int64_t>(fs::file_size(part("flip.bin"))), cutAt);
    {
        std::fstream f(part("flip.bin"), std::ios::in | std::ios::out | std::ios::binary);
        f.seekg(123456);
        char c = 0;
        f.read(&c, 1);
        c = static_cast<char>(c ^ 0x01);
        f.seekp(123456);
        f.write(&c, 1);
    }

    // Continued, but the digest over the whole file does not match: a
    // failed file, and nothing of it is kept.
    pass({{"flip.bin", digest}});
    EXPECT_TRUE(m_failed);
    EXPECT_EQ(requests("flip.bin").back().Header("Range"), "bytes=2097152-");
    EXPECT_FALSE(fs::exists(local("flip.bin")));
    EXPECT_FALSE(fs::exists(part("flip.bin")));
    EXPECT_FALSE(fs::exists(record("flip.bin")));

    pass({{"flip.bin", digest}});
    EXPECT_FALSE(m_failed);
    EXPECT_EQ(localMd5("flip.bin"), digest);
    EXPECT_EQ(requests("flip.bin").back().Header("Range"), "");
    EXPECT_EQ(requests("flip.bin").back().status, 200);
}

} // namespace
