// Patching changed files: the block map format, the rolling checksum, the
// multipart/byteranges parser, the publisher's maps, and whole patches
// against the real local server, with every way back to a whole download.
#include "engine/BlockMap.h"
#include "engine/ByteRanges.h"
#include "engine/DownloadWorker.h"
#include "engine/EngineEvents.h"
#include "engine/Patcher.h"
#include "engine/ResumeRecord.h"
#include "engine/RollingChecksum.h"
#include "platform/system/Text.h"
#include "tests/engine/EngineTestSupport.h"
#include "tools/publish/Publish.h"
#include "util/Text.h"

#include <gtest/gtest.h>
#include <json/json.h>

#include <random>

namespace {

using namespace enginetest;
namespace fs = std::filesystem;

constexpr std::int64_t kMiB = 1 << 20;

std::string randomBytes(std::size_t n, std::uint64_t seed) {
    std::mt19937_64 rng(seed);
    std::string text(n, '\0');
    for (std::size_t i = 0; i + 8 <= n; i += 8) {
        const std::uint64_t v = rng();
        std::memcpy(text.data() + i, &v, 8);
    }
    for (std::size_t i = n & ~std::size_t(7); i < n; ++i) text[i] = static_cast<char>(rng());
    return text;
}

const unsigned char* bytes(const std::string& text) { return reinterpret_cast<const unsigned char*>(text.data()); }

// --- Block maps and checksums ---

TEST(BlockMapTest, RollingSumEqualsAFreshSumAtEveryOffset) {
    const std::string data = randomBytes(10000, 1);
    const std::size_t window = 777;
    CRollingChecksum sum;
    sum.Reset(bytes(data), window);
    for (std::size_t at = 0;; ++at) {
        ASSERT_EQ(sum.Value(), WeakChecksum(bytes(data) + at, window)) << at;
        if (at + window >= data.size()) break;
        sum.Roll(bytes(data)[at], bytes(data)[at + window]);
    }
}

// Published maps must keep meaning the same: the strong sum of a known input
// is pinned. Every bit of a block counts, and so does its length (a short
// tail is padded with zeros inside).
TEST(BlockMapTest, StrongSumIsStableAndSeesEveryBitAndTheLength) {
    auto hex = [](const std::array<unsigned char, 16>& sum) {
        std::string text;
        for (unsigned char c : sum) text += "0123456789abcdef"[c >> 4], text += "0123456789abcdef"[c & 15];
        return text;
    };
    const std::string known = "The quick brown fox jumps over the lazy dog";
    EXPECT_EQ(hex(StrongChecksum(bytes(known), known.size())), "d2d0a6e5ea7be9c99931a04f1543c541");
    const std::string block = randomBytes(4096, 11);
    const auto original = StrongChecksum(bytes(block), block.size());
    for (std::size_t bit = 0; bit < block.size() * 8; bit += 7) {
        std::string flipped = block;
        flipped[bit / 8] = static_cast<char>(flipped[bit / 8] ^ (1 << (bit % 8)));
        ASSERT_NE(StrongChecksum(bytes(flipped), flipped.size()), original) << bit;
    }
    const std::string padded = block.substr(0, 4000) + std::string(5, '\0');
    EXPECT_NE(StrongChecksum(bytes(padded), 4000), StrongChecksum(bytes(padded), 4005));
    EXPECT_NE(StrongChecksum(bytes(padded), 0), StrongChecksum(bytes(padded), 1));
}

TEST(BlockMapTest, FormatRoundTripsAndOnlyWellFormedMapsParse) {
    const std::string data = randomBytes(100000, 2);
    const BlockMap map = MakeBlockMap(bytes(data), data.size(), 4096);
    ASSERT_EQ(map.BlockCount(), 25u);
    EXPECT_EQ(map.BlockLength(24), 100000 - 24 * 4096);
    const std::string text = FormatBlockMap(map);
    BlockMap back;
    ASSERT_TRUE(ParseBlockMap(text, back));
    EXPECT_EQ(back.length, map.length);
    EXPECT_EQ(back.md5, map.md5);
    EXPECT_EQ(back.weak, map.weak);
    EXPECT_EQ(back.strong, map.strong);
    EXPECT_EQ(back.Md5Hex(), devserver::Md5Hex(data));

    auto with = [&](std::size_t at, std::string bytes) {
        std::string t = text;
        t.replace(at, bytes.size(), bytes);
        return t;
    };
    auto u32 = [](std::uint32_t v) { return std::string(reinterpret_cast<const char*>(&v), 4); };
    auto u64 = [](std::uint64_t v) { return std::string(reinterpret_cast<const char*>(&v), 8); };
    const struct {
        const char* name;
        std::string text;
    } bad[] = {
        {"empty", ""},
        {"header only", text.substr(0, 40)},
        {"cut short", text.substr(0, text.size() - 1)},
        {"trailing byte", text + "x"},
        {"magic", with(0, "QBX")},
        {"earlier version", with(4, "\x01")},
        {"later version", with(4, "\x03")},
        {"weak bytes", with(5, "\x02")},
        {"strong bytes too few", with(6, "\x03")},
        {"strong bytes too many", with(6, "\x11")},
        {"reserved byte", with(7, "\x01")},
        {"block size too small", with(8, u32(256))},
        {"block size too large", with(8, u32(8u << 20))},
        {"length for more blocks", with(12, u64(200000))},
        {"length for fewer blocks", with(12, u64(50000))},
        {"huge length", with(12, u64(~0ull))},
        {"count off by one", with(36, u32(26))},
        {"count over the limit", with(36, u32(kMaxBlockCount + 1))},
    };
    for (const auto& c : bad) {
        BlockMap out;
        EXPECT_FALSE(ParseBlockMap(c.text, out)) << c.name;
    }

    // A longer file carries the MD5's chaining values after every interval
    // (version 3); they are the file's own, and read just as strictly.
    const std::string longer = randomBytes(200000, 3);
    const BlockMap chained = MakeBlockMap(bytes(longer), longer.size(), 4096, 0, 64 << 10);
    ASSERT_EQ(chained.chain.size(), 3u);
    for (std::size_t i = 0; i < chained.chain.size(); ++i) {
        CMd5Stream md5;
        md5.Update(longer.data(), (i + 1) * (64 << 10));
        Md5State state;
        ASSERT_TRUE(md5.State(state));
        EXPECT_EQ(chained.chain[i], state) << i;
    }
    const std::string chainedText = FormatBlockMap(chained);
    ASSERT_TRUE(ParseBlockMap(chainedText, back));
    EXPECT_EQ(back.chainInterval, 64u << 10);
    EXPECT_EQ(back.chain, chained.chain);
    EXPECT_EQ(back.Md5Hex(), devserver::Md5Hex(longer));
    const std::size_t blocksEnd = chainedText.size() - 4 - 3 * 16;
    auto chainedWith = [&](std::size_t at, std::string bytes) {
        std::string t = chainedText;
        t.replace(at, bytes.size(), bytes);
        return t;
    };
    const struct {
        const char* name;
        std::string text;
    } badChains[] = {
        {"no chain after the blocks", chainedText.substr(0, blocksEnd)},
        {"a value missing", chainedText.substr(0, chainedText.size() - 16)},
        {"a value too many", chainedText + std::string(16, 'v')},
        {"interval no multiple of 64", chainedWith(blocksEnd, u32((64 << 10) + 32))},
        {"interval too short", chainedWith(blocksEnd, u32(32 << 10))},
        {"interval as long as the file: no value", chainedText.substr(0, blocksEnd) + u32(200000)},
        {"version 2 with a chain", chainedWith(4, "\x02")},
    };
    for (const auto& c : badChains) {
        BlockMap out;
        EXPECT_FALSE(ParseBlockMap(c.text, out)) << c.name;
    }
    // A file no longer than one interval has no values: version 2.
    EXPECT_TRUE(MakeBlockMap(bytes(longer), 64 << 10, 4096, 0, 64 << 10).chain.empty());
    EXPECT_TRUE(MakeBlockMap(bytes(longer), longer.size(), 4096, 0, 0).chain.empty());

    BlockMap empty;
    ASSERT_TRUE(ParseBlockMap(FormatBlockMap(MakeBlockMap(nullptr, 0, 4096)), empty));
    EXPECT_EQ(empty.BlockCount(), 0u);
    EXPECT_EQ(ChooseBlockSize(kMiB), 2048u);
    EXPECT_EQ(ChooseBlockSize(256 * kMiB), 16384u);
    EXPECT_EQ(ChooseBlockSize(8ll << 30), 65536u);
}

TEST(BlockMapTest, PlanFindsMovedBlocksAndGivesUpOnNewContent) {
    const std::string old = randomBytes(600000, 3);
    std::string changed = old;
    changed.insert(1000, randomBytes(333, 4)); // every later offset moves
    changed.replace(300000, 5000, randomBytes(5000, 5));
    changed += randomBytes(7000, 6);
    const BlockMap map = MakeBlockMap(bytes(changed), changed.size(), 2048);
    // The scan tells once that old is not the new file, as soon as a
    // block's own offset holds other bytes; of an equal file, never.
    int told = 0;
    const auto differs = [&told] { ++told; };
    const PatchPlan plan = PlanPatch(map, bytes(old), old.size(), {}, differs);
    EXPECT_EQ(told, 1);
    std::int64_t toFetch = 0;
    for (const ByteRange& r : MissingRanges(map, plan)) toFetch += r.Length();
    EXPECT_EQ(plan.reusedBytes + toFetch, map.length);
    // What changed plus at most the blocks it touches.
    EXPECT_GE(toFetch, 333 + 5000 + 7000);
    EXPECT_LE(toFetch, 333 + 5000 + 7000 + 6 * 2048);
    for (std::size_t b = 0; b < map.BlockCount(); ++b) {
        if (plan.source[b] < 0) continue;
        ASSERT_EQ(old.compare(plan.source[b], map.BlockLength(b), changed, map.BlockOffset(b), map.BlockLength(b)), 0);
    }
    const std::vector<ByteRange> tail = MissingRanges(map, plan, map.length - 10);
    ASSERT_EQ(tail.size(), 1u);
    EXPECT_EQ(tail[0].first, map.length - 10);

    // An old file large enough to be scanned in two halves at once: blocks
    // moved from one half into the other and a change across the middle are
    // found as by one scan.
    const std::string big = randomBytes(40 * kMiB, 9);
    std::string moved = big.substr(0, 5 * kMiB) + big.substr(30 * kMiB, kMiB) + big.substr(6 * kMiB, 24 * kMiB) +
                        big.substr(5 * kMiB, kMiB) + big.substr(31 * kMiB);
    moved.insert(20 * kMiB - 100, randomBytes(333, 10));
    const BlockMap bigMap = MakeBlockMap(bytes(moved), moved.size(), 16384);
    told = 0;
    const PatchPlan bigPlan = PlanPatch(bigMap, bytes(big), big.size(), {}, differs);
    EXPECT_EQ(told, 1);
    std::int64_t bigFetch = 0;
    for (const ByteRange& r : MissingRanges(bigMap, bigPlan)) bigFetch += r.Length();
    EXPECT_EQ(bigPlan.reusedBytes + bigFetch, bigMap.length);
    // The insertion's two blocks, and the two that, shifted by it, straddle
    // where the moved megabytes meet.
    EXPECT_LE(bigFetch, 4 * 16384);
    for (std::size_t b = 0; b < bigMap.BlockCount(); ++b) {
        if (bigPlan.source[b] < 0) continue;
        ASSERT_EQ(
            big.compare(bigPlan.source[b], bigMap.BlockLength(b), moved, bigMap.BlockOffset(b), bigMap.BlockLength(b)),
            0);
    }

    // Equal files, one scanned in two halves (the second starting between
    // two blocks' offsets): every block found in place, nothing told.
    told = 0;
    const std::string odd = big.substr(0, big.size() - 12345);
    for (const std::string* same : {&old, &odd}) {
        const BlockMap sameMap = MakeBlockMap(bytes(*same), same->size(), 16384);
        EXPECT_EQ(PlanPatch(sameMap, bytes(*same), same->size(), {}, differs).reusedBytes, sameMap.length);
    }
    EXPECT_EQ(told, 0);

    const std::string large = randomBytes(20 * kMiB, 7);
    const std::string other = randomBytes(20 * kMiB, 8);
    const BlockMap otherMap = MakeBlockMap(bytes(other), other.size());
    const PatchPlan none = PlanPatch(otherMap, bytes(large), large.size());
    EXPECT_TRUE(none.gaveUp);
    EXPECT_EQ(none.reusedBytes, 0);
}

// --- multipart/byteranges ---

class Collect : public CByteRangesParser::IHandler {
public:
    bool OnPart(const ByteRange& range, std::int64_t total) override {
        text +=
            "[" + std::to_string(range.first) + "-" + std::to_string(range.last) + "/" + std::to_string(total) + "]";
        return true;
    }
    bool OnPartData(const char* data, std::size_t length) override {
        text.append(data, length);
        return true;
    }
    std::string text;
};

TEST(ByteRangesTest, StrictMultipartParsing) {
    std::string boundary;
    EXPECT_TRUE(MultipartBoundary("multipart/byteranges; boundary=abc123", boundary));
    EXPECT_EQ(boundary, "abc123");
    EXPECT_TRUE(MultipartBoundary("Multipart/ByteRanges;boundary=\"a b\"", boundary));
    EXPECT_EQ(boundary, "a b");
    EXPECT_FALSE(MultipartBoundary("multipart/mixed; boundary=x", boundary));
    EXPECT_FALSE(MultipartBoundary("multipart/byteranges", boundary));
    EXPECT_FALSE(MultipartBoundary("multipart/byteranges; boundary=" + std::string(71, 'x'), boundary));
    EXPECT_FALSE(MultipartBoundary("multipart/byteranges; boundary=a\rb", boundary));
    EXPECT_EQ(FormatRangeHeader({{0, 9}, {20, 29}}), "bytes=0-9,20-29");

    ByteRange range;
    std::int64_t total;
    EXPECT_TRUE(ParseContentRange("bytes 5-9/10", range, total));
    for (const char* bad : {"bytes 5-10/10", "bytes 9-5/10", "bytes 5-9/*", "bytes -5-9/10", "5-9/10", "bytes 5-9"})
        EXPECT_FALSE(ParseContentRange(bad, range, total)) << bad;

    const std::string good = "\r\n--B\r\nContent-Type: application/octet-stream\r\nContent-Range: bytes 0-3/20\r\n\r\n"
                             "abcd\r\n--B\r\nContent-Range: bytes 10-12/20\r\n\r\nxyz\r\n--B--\r\n";
    // Any split of the body parses the same.
    for (std::size_t piece : {std::size_t(1), std::size_t(3), std::size_t(7), good.size()}) {
        Collect out;
        CByteRangesParser parser("B", out);
        for (std::size_t at = 0; at < good.size(); at += piece)
            ASSERT_TRUE(parser.Feed(good.data() + at, std::min(piece, good.size() - at))) << piece;
        EXPECT_TRUE(parser.Finish());
        EXPECT_EQ(out.text, "[0-3/20]abcd[10-12/20]xyz");
    }
    const struct {
        const char* name;
        std::string body;
    } bad[] = {
        {"no parts", "--B--\r\n"},
        {"other boundary", "--C\r\nContent-Range: bytes 0-3/20\r\n\r\nabcd\r\n--C--\r\n"},
        {"preamble text", "hello\r\n--B\r\nContent-Range: bytes 0-3/20\r\n\r\nabcd\r\n--B--\r\n"},
        {"bare line feeds", "--B\nContent-Range: bytes 0-3/20\n\nabcd\n--B--\n"},
        {"no range", "--B\r\nContent-Type: x\r\n\r\nabcd\r\n--B--\r\n"},
        {"two ranges", "--B\r\nContent-Range: bytes 0-3/20\r\nContent-Range: bytes 0-3/20\r\n\r\nabcd\r\n--B--\r\n"},
        {"totals differ",
         "--B\r\nContent-Range: bytes 0-0/20\r\n\r\na\r\n--B\r\nContent-Range: bytes 1-1/21\r\n\r\nb\r\n--B--"},
        {"longer data", "--B\r\nContent-Range: bytes 0-3/20\r\n\r\nabcde\r\n--B--\r\n"},
        {"cut short", "--B\r\nContent-Range: bytes 0-3/20\r\n\r\nab"},
        {"no closing", "--B\r\nContent-Range: bytes 0-3/20\r\n\r\nabcd\r\n"},
        {"epilogue", "--B\r\nContent-Range: bytes 0-3/20\r\n\r\nabcd\r\n--B--\r\nmore"},
        {"long header", "--B\r\nX: " + std::string(2000, 'x') + "\r\nContent-Range: bytes 0-3/20\r\n\r\nabcd\r\n--B--"},
        {"bad header name", "--B\r\nA B: c\r\nContent-Range: bytes 0-3/20\r\n\r\nabcd\r\n--B--"},
    };
    for (const auto& c : bad) {
        Collect out;
        CByteRangesParser parser("B", out);
        const bool fed = parser.Feed(c.body.data(), c.body.size());
        EXPECT_FALSE(fed && parser.Finish()) << c.name;
    }
}

// --- Publishing ---

TEST(PublishTest, ListAndMapsRoundTripAndAnUnchangedTreeIsNotRewritten) {
    ScratchFolder dir;
    const std::string root = dir / "release";
    writeFile(root + "/Data/big.MPQ", randomBytes(3 * kMiB + 5, 9));
    writeFile(root + "/small.txt", "hello");
    writeFile(root + "/Data/stale.bin.qbm", "left from an earlier release");
    publish::PublishSummary first;
    std::string error;
    ASSERT_TRUE(publish::PublishTree(root, root + "/filelist.json", {}, first, error)) << error;
    EXPECT_EQ(first.files, 2);
    EXPECT_EQ(first.mapsWritten, 1);
    EXPECT_EQ(first.mapsRemoved, 1);
    EXPECT_TRUE(first.listWritten);
    EXPECT_EQ(first.listSha256.size(), 64u);
    EXPECT_FALSE(fs::exists(root + "/Data/stale.bin.qbm"));

    std::vector<DownloadItem> items;
    ASSERT_TRUE(ParseFileList(readFile(root + "/filelist.json"), items));
    ASSERT_EQ(items.size(), 2u); // maps are never listed
    EXPECT_EQ(items[0].file, "Data\\big.MPQ");
    EXPECT_EQ(items[1].file, "small.txt");
    EXPECT_EQ(items[1].md5, devserver::Md5Hex("hello"));
    BlockMap map;
    ASSERT_TRUE(ParseBlockMap(readFile(root + "/Data/big.MPQ.qbm"), map));
    EXPECT_EQ(map.Md5Hex(), items[0].md5);
    EXPECT_EQ(map.Md5Hex(), devserver::Md5Hex(readFile(root + "/Data/big.MPQ")));
    EXPECT_EQ(map.length, 3 * kMiB + 5);

    const auto mapTime = fs::last_write_time(root + "/Data/big.MPQ.qbm");
    publish::PublishSummary again;
    ASSERT_TRUE(publish::PublishTree(root, root + "/filelist.json", {}, again, error)) << error;
    EXPECT_EQ(again.mapsWritten, 0);
    EXPECT_EQ(again.mapsUnchanged, 1);
    EXPECT_FALSE(again.listWritten);
    EXPECT_EQ(again.listSha256, first.listSha256);
    EXPECT_EQ(fs::last_write_time(root + "/Data/big.MPQ.qbm"), mapTime);

    publish::PublishOptions bad;
    bad.blockSize = 100;
    EXPECT_FALSE(publish::PublishTree(root, root + "/filelist.json", bad, again, error));
}

// --- Patches against the server ---

class QuietEvents : public IEngineEvents {
public:
    void OnDownloadProgress(EventArg, EventArg a2) override {
        const ProgressValues v = reinterpret_cast<const CProgressRecord*>(a2)->Snapshot();
        if (v.state == kStateDownloading && v.total > 1) maxReceived = std::max(maxReceived, v.received);
        if (states.empty() || states.back() != v.state) states.push_back(v.state);
    }
    std::int64_t maxReceived = 0;
    std::vector<int> states; // as the file went through them
};

class PatchTest : public ServerFixture {
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

    // Publishes content under name (file and map) and puts old in place.
    void stage(const std::string& name, const std::string& old, const std::string& content,
               std::uint32_t chainInterval = kChainInterval) {
        writeFile(this->content("birch/" + name), content);
        const BlockMap map = MakeBlockMap(bytes(content), content.size(), 0, 0, chainInterval);
        writeFile(this->content("birch/" + name + ".qbm"), FormatBlockMap(map));
        writeFile(m_install + name, old);
        m_server.ClearRequests();
        m_sentBefore = m_server.BodyBytesSent("/files/birch/" + name);
        m_mapSentBefore = m_server.BodyBytesSent("/files/birch/" + name + ".qbm");
    }
    bool pass(const std::string& name, const std::string& content) {
        m_failed = false;
        m_queue.Push({name, devserver::Md5Hex(content)});
        RunDownloadWorker(m_pass, 78, 3, m_events);
        return !m_failed;
    }
    // Bytes of the file (or its map) sent since it was staged.
    std::int64_t sent(const std::string& name) const {
        const bool map = name.size() > 4 && name.substr(name.size() - 4) == ".qbm";
        return m_server.BodyBytesSent("/files/birch/" + name) - (map ? m_mapSentBefore : m_sentBefore);
    }
    // Requests for the file itself without a Range header.
    int wholeRequests(const std::string& name) const {
        int n = 0;
        for (const auto& r : m_server.RequestsTo("/files/birch/" + name)) n += r.Header("Range").empty();
        return n;
    }

    std::string m_install;
    CDownloadQueue m_queue;
    std::atomic<bool> m_failed{false};
    DownloadPass m_pass;
    QuietEvents m_events;
    std::int64_t m_sentBefore = 0, m_mapSentBefore = 0;
};

TEST_F(PatchTest, EachKindOfChangeIsPatchedFetchingAboutWhatChanged) {
    const std::string old = randomBytes(4 * kMiB, 10);
    const std::uint32_t block = ChooseBlockSize(4 * kMiB);
    struct Case {
        const char* name;
        std::string content;
        std::int64_t changed; // bytes that are new
        int places;
        std::uint32_t chainInterval = kChainInterval; // of the new file's MD5 checked in pieces
    };
    std::string a = old;
    for (std::int64_t at : {std::int64_t(100 * 1024), 2 * kMiB, 4 * kMiB - 20000})
        a.replace(at, 14000, randomBytes(14000, at)); // 1% in three places
    std::string b = old;
    b.insert(50000, randomBytes(4096, 11));
    const std::string c = old + randomBytes(kMiB / 4, 12);
    const std::string d = randomBytes(4 * kMiB, 13);
    const Case cases[] = {
        {"a: three places", a, 3 * 14000, 3},
        {"b: inserted near the start", b, 4096, 1},
        {"c: appended", c, kMiB / 4, 1},
        // The digest checked in one piece, and in pieces shorter than the
        // builder's buffers (the last one shorter still).
        {"a, map without chaining values", a, 3 * 14000, 3, 0},
        {"c, chaining values every 64 KiB", c, kMiB / 4, 1, 64 << 10},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.name);
        stage("game.MPQ", old, k.content, k.chainInterval);
        ASSERT_EQ(readFile(content("birch/game.MPQ.qbm"))[4], k.chainInterval ? 3 : 2);
        const auto before = g_transferTotals.patchedFiles.load();
        const auto fetchedBefore = g_transferTotals.fetchedBytes.load();
        const auto reusedBefore = g_transferTotals.reusedBytes.load();
        m_events.maxReceived = 0;
        ASSERT_TRUE(pass("game.MPQ", k.content));
        EXPECT_EQ(readFile(m_install + "game.MPQ"), k.content);
        EXPECT_FALSE(fs::exists(m_install + "game.MPQ.quellan-part"));
        EXPECT_EQ(g_transferTotals.patchedFiles.load(), before + 1);
        EXPECT_EQ(wholeRequests("game.MPQ"), 0);
        // The bytes that changed and at most the blocks around each place.
        EXPECT_GE(sent("game.MPQ"), k.changed);
        EXPECT_LE(sent("game.MPQ"), k.changed + 2 * k.places * block);
        const std::int64_t mapBytes = static_cast<std::int64_t>(readFile(content("birch/game.MPQ.qbm")).size());
        EXPECT_EQ(sent("game.MPQ.qbm"), mapBytes);
        // Maps and range answers (framing included) count as fetched.
        EXPECT_GE(g_transferTotals.fetchedBytes.load() - fetchedBefore, mapBytes + sent("game.MPQ"));
        EXPECT_EQ(g_transferTotals.reusedBytes.load() - reusedBefore,
                  static_cast<std::int64_t>(k.content.size()) - sent("game.MPQ"));
        // The percentage counts the new file's bytes produced.
        EXPECT_EQ(m_events.maxReceived, static_cast<std::int64_t>(k.content.size()));
    }

    // d: nothing in common: the scan gives up and the file comes whole.
    stage("game.MPQ", old, d);
    const auto before = g_transferTotals.patchedFiles.load();
    ASSERT_TRUE(pass("game.MPQ", d));
    EXPECT_EQ(readFile(m_install + "game.MPQ"), d);
    EXPECT_EQ(g_transferTotals.patchedFiles.load(), before);
    EXPECT_EQ(wholeRequests("game.MPQ"), 1);
    EXPECT_EQ(sent("game.MPQ"), 4 * kMiB);
}

TEST_F(PatchTest, EveryFaultFallsBackToTheWholeFileInTheSamePass) {
    const std::string old = randomBytes(2 * kMiB, 20);
    std::string content = old;
    content.replace(0, 3000, randomBytes(3000, 21)); // the first range starts at byte 0
    content.replace(kMiB, 3000, randomBytes(3000, 22));
    struct Row {
        const char* name;
        const char* path; // the fault's target below /files/birch/
        devserver::Fault fault;
        bool removeMap;
        bool wrongChain = false; // a chaining value in the map is not the file's
    };
    auto fault = [](auto set) {
        devserver::Fault f;
        set(f);
        return f;
    };
    const Row rows[] = {
        {"no map", "x.MPQ.qbm", {}, true},
        {"map answer 500", "x.MPQ.qbm", fault([](devserver::Fault& f) { f.status = 500; }), false},
        {"corrupt map", "x.MPQ.qbm", fault([](devserver::Fault& f) { f.corrupt = true; }), false},
        {"stale map", "x.MPQ.qbm", fault([](devserver::Fault& f) { f.staleMap = true; }), false},
        {"wrong chaining value", "x.MPQ.qbm", {}, false, true},
        {"ranges ignored", "x.MPQ", fault([](devserver::Fault& f) { f.ignoreRanges = true; }), false},
        {"wrong Content-Range", "x.MPQ", fault([](devserver::Fault& f) { f.wrongRange = true; }), false},
        {"wrong bytes", "x.MPQ", fault([](devserver::Fault& f) {
             f.corrupt = true;
             f.times = 1;
         }),
         false},
    };
    // Each row with the old file's MD5 known first, and with the patch
    // started beside it.
    for (const Row& row : rows)
        for (const std::int64_t early : {std::int64_t(-1), kMiB}) {
            SCOPED_TRACE(row.name);
            SCOPED_TRACE(early > 0 ? "patched early" : "MD5 first");
            m_pass.earlyPatchBytes = early;
            stage("x.MPQ", old, content);
            if (row.removeMap) fs::remove(this->content("birch/x.MPQ.qbm"));
            if (row.wrongChain) {
                BlockMap map;
                ASSERT_TRUE(ParseBlockMap(readFile(this->content("birch/x.MPQ.qbm")), map));
                ASSERT_EQ(map.chain.size(), 1u);
                map.chain[0][7] ^= 0x10;
                writeFile(this->content("birch/x.MPQ.qbm"), FormatBlockMap(map));
            }
            m_server.ClearFaults();
            m_server.SetFault(std::string("/files/birch/") + row.path, row.fault);
            const auto before = g_transferTotals.patchedFiles.load();
            ASSERT_TRUE(pass("x.MPQ", content));
            EXPECT_EQ(readFile(m_install + "x.MPQ"), content);
            EXPECT_EQ(g_transferTotals.patchedFiles.load(), before);
            EXPECT_EQ(wholeRequests("x.MPQ"), 1);
            EXPECT_FALSE(fs::exists(m_install + "x.MPQ.quellan-part"));
            EXPECT_FALSE(fs::exists(m_install + ".x.MPQ.quellan-part.resume"));
        }
}

TEST_F(PatchTest, TheOldFilesOwnDigestDecidesWhenTheMapCannotTell) {
    // The old file's MD5 runs beside the map's fetch and the scan; a file
    // the map finds whole is in place only by its MD5, and a map that lies
    // about its file costs at most the whole download.
    const std::string old = randomBytes(3 * kMiB, 40);
    std::string changed = old;
    changed.replace(kMiB, 5000, randomBytes(5000, 41));
    auto mapOf = [](const std::string& described, const std::string& claimed) {
        BlockMap map = MakeBlockMap(bytes(described), described.size());
        const std::string hex = devserver::Md5Hex(claimed);
        for (std::size_t i = 0; i < map.md5.size(); ++i)
            map.md5[i] = static_cast<unsigned char>(std::stoi(hex.substr(2 * i, 2), nullptr, 16));
        return FormatBlockMap(map);
    };
    auto wrongChain = [](const std::string& text) {
        BlockMap map;
        EXPECT_TRUE(ParseBlockMap(text, map));
        EXPECT_EQ(map.chain.size(), 2u);
        map.chain[1][0] ^= 1;
        return FormatBlockMap(map);
    };
    std::string oldBlocksNewValues;
    {
        BlockMap map = MakeBlockMap(bytes(old), old.size());
        const BlockMap next = MakeBlockMap(bytes(changed), changed.size());
        map.md5 = next.md5;
        map.chain = next.chain;
        oldBlocksNewValues = FormatBlockMap(map);
    }
    // A map that lies meets the old file's MD5 in a race: done first, the
    // MD5 finds the file in place; stopped first, the file is patched or
    // fetched and the new file's MD5 decides. Either way the file is right.
    struct Row {
        const char* name;
        std::string content; // what the list names
        std::string map;     // what the map says
        bool early;          // patched without waiting for its MD5 (a large file)
        bool verifyOnly, lies;
        int wholeRequests;  // to the file (at most, for a map that lies)
        bool rangeRequests; // to the file
        std::vector<int> states;
    };
    const int checking = kStateChecking, verified = kStateVerified, downloading = kStateDownloading,
              downloaded = kStateDownloaded;
    const std::vector<int> fetched{checking, downloading, downloaded};
    const Row rows[] = {
        {"unchanged, true map", old, mapOf(old, old), true, false, false, 0, false, {checking, verified}},
        {"unchanged, map of other content",
         old,
         mapOf(randomBytes(3 * kMiB, 42), old),
         true,
         false,
         true,
         1,
         false,
         {}},
        {"unchanged, map of a changed file", old, mapOf(changed, old), true, false, true, 1, false, {}},
        // Another length tells the change without the MD5: a map that lies
        // so costs the patch and then the whole file.
        {"unchanged, map of a longer file", old, mapOf(old + randomBytes(9000, 43), old), true, false, false, 1, true,
         fetched},
        // The old file's MD5 checked in pieces against the map's chaining
        // values: one that is not the file's gives no digest, so the file
        // is not taken as in place, and the new file's check fails as well.
        {"unchanged, a chaining value not the file's", old, wrongChain(mapOf(old, old)), true, false, false, 1, false,
         fetched},
        // Blocks that describe the old file, with the new file's digest and
        // chaining values: every block is in place, so the MD5 decides, and
        // the piece that changed does not arrive at its value.
        {"changed, map of the old blocks and the new values", changed, oldBlocksNewValues, true, false, false, 1, false,
         fetched},
        {"changed, true map", changed, mapOf(changed, changed), true, false, false, 0, true, fetched},
        {"changed, verification only", changed, mapOf(changed, changed), true, true, false, 0, false, {checking}},
        {"smaller file, unchanged", old, mapOf(old, old), false, false, false, 0, false, {checking, verified}},
        {"smaller file, changed", changed, mapOf(changed, changed), false, false, false, 0, true, fetched},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        m_pass.earlyPatchBytes = row.early ? 2 * kMiB : -1;
        stage("u.MPQ", old, row.content);
        writeFile(content("birch/u.MPQ.qbm"), row.map);
        std::vector<FileProblem> problems;
        if (row.verifyOnly) m_pass.verifyOnly = [&](const DownloadItem&, FileProblem p) { problems.push_back(p); };
        m_events.states.clear();
        const bool ok = pass("u.MPQ", row.content);
        m_pass.verifyOnly = nullptr;
        EXPECT_EQ(ok, !row.verifyOnly);
        EXPECT_EQ(readFile(m_install + "u.MPQ"), row.verifyOnly ? old : row.content);
        EXPECT_FALSE(fs::exists(m_install + "u.MPQ.quellan-part"));
        int ranges = 0;
        for (const auto& r : m_server.RequestsTo("/files/birch/u.MPQ")) ranges += !r.Header("Range").empty();
        if (row.lies) {
            EXPECT_LE(wholeRequests("u.MPQ"), row.wholeRequests);
            const bool inPlace = m_events.states == std::vector<int>{checking, verified};
            EXPECT_TRUE(inPlace || m_events.states == fetched);
            if (inPlace) {
                EXPECT_EQ(wholeRequests("u.MPQ") + ranges, 0);
            }
        } else {
            EXPECT_EQ(wholeRequests("u.MPQ"), row.wholeRequests);
            EXPECT_EQ(ranges > 0, row.rangeRequests);
            EXPECT_EQ(m_events.states, row.states);
        }
        // Only an install pass asks for maps, for a smaller file only once
        // its MD5 differs.
        EXPECT_EQ(m_server.RequestsTo("/files/birch/u.MPQ.qbm").empty(),
                  row.verifyOnly || (!row.early && row.content == old));
        if (row.verifyOnly) {
            EXPECT_EQ(problems, std::vector<FileProblem>{FileProblem::Differs});
        }
    }
}

TEST_F(PatchTest, ABrokenPatchIsContinuedByTheNextPass) {
    const std::string old = randomBytes(4 * kMiB, 30);
    std::string content = old;
    for (std::int64_t at : {kMiB / 2, 2 * kMiB, 3 * kMiB + kMiB / 2})
        content.replace(at, 20000, randomBytes(20000, at));
    stage("y.MPQ", old, content);
    devserver::Fault cut;
    cut.truncateAt = 3 * kMiB;
    cut.times = 1;
    m_server.SetFault("/files/birch/y.MPQ", cut);
    EXPECT_FALSE(pass("y.MPQ", content));
    // The old file stays in place; the part is the new file's beginning.
    EXPECT_EQ(readFile(m_install + "y.MPQ"), old);
    const std::string part = readFile(m_install + "y.MPQ.quellan-part");
    ASSERT_GE(part.size(), static_cast<std::size_t>(2 * kMiB));
    EXPECT_EQ(content.compare(0, part.size(), part), 0);
    ResumeRecord record;
    ASSERT_TRUE(ReadResumeRecord(platform::fromUtf8(m_install + ".y.MPQ.quellan-part.resume"), record));
    EXPECT_TRUE(record.patch);

    m_server.ClearRequests();
    m_sentBefore = m_server.BodyBytesSent("/files/birch/y.MPQ");
    const auto resumed = g_transferTotals.resumedFiles.load();
    ASSERT_TRUE(pass("y.MPQ", content));
    EXPECT_EQ(readFile(m_install + "y.MPQ"), content);
    EXPECT_EQ(g_transferTotals.resumedFiles.load(), resumed + 1);
    EXPECT_EQ(wholeRequests("y.MPQ"), 0);
    EXPECT_LE(sent("y.MPQ"), 20000 + 2 * 2048);
    for (const auto& r : m_server.RequestsTo("/files/birch/y.MPQ")) EXPECT_FALSE(r.Header("If-Range").empty());
    EXPECT_FALSE(fs::exists(m_install + ".y.MPQ.quellan-part.resume"));
}

} // namespace
