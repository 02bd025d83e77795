// File list parsing, the queue under concurrent workers, addresses and local paths.
#include "engine/LocalPath.h"
#include "engine/Manifest.h"

#include <gtest/gtest.h>

#include <set>
#include <thread>

namespace {

TEST(FileList, ArrayEntriesInOrderWithMissingKeysEmpty) {
    std::vector<DownloadItem> items;
    ASSERT_TRUE(ParseFileList(R"([
        {"file": "Data\\b.bin", "md5": "0123456789abcdef0123456789abcdef", "size": 5},
        {"file": "a.txt"},
        "not an entry",
        {"md5": "ffffffffffffffffffffffffffffffff", "file": 7}
    ])",
                              items));
    ASSERT_EQ(items.size(), 3u);
    EXPECT_EQ(items[0].file, "Data\\b.bin");
    EXPECT_EQ(items[0].md5, "0123456789abcdef0123456789abcdef");
    EXPECT_EQ(items[1].file, "a.txt");
    EXPECT_EQ(items[1].md5, "");
    EXPECT_EQ(items[2].file, "");
    EXPECT_EQ(items[2].md5, "ffffffffffffffffffffffffffffffff");
}

TEST(FileList, ObjectMembersKeepDocumentOrderNotNameOrder) {
    std::vector<DownloadItem> items;
    ASSERT_TRUE(
        ParseFileList(R"({"zz": {"file": "first"}, "aa": {"file": "second"}, "mm": {"file": "third"}})", items));
    ASSERT_EQ(items.size(), 3u);
    EXPECT_EQ(items[0].file, "first");
    EXPECT_EQ(items[1].file, "second");
    EXPECT_EQ(items[2].file, "third");
}

TEST(FileList, EmptyInvalidAndScalarDocuments) {
    std::vector<DownloadItem> items{{"stale", ""}};
    EXPECT_TRUE(ParseFileList("[]", items));
    EXPECT_TRUE(items.empty());
    items = {{"stale", ""}};
    EXPECT_FALSE(ParseFileList("[{\"file\": \"x\"", items));
    EXPECT_TRUE(items.empty());
    EXPECT_FALSE(ParseFileList("", items));
    // A document that is no list at all is refused, not read as an empty one.
    for (const char* scalar : {"42", "null", "\"text\"", "true", "<html>error</html>"}) {
        items = {{"stale", ""}};
        EXPECT_FALSE(ParseFileList(scalar, items)) << scalar;
        EXPECT_TRUE(items.empty()) << scalar;
    }
    EXPECT_TRUE(ParseFileList("{}", items));
}

TEST(DownloadQueue, WorkersNeverShareOrLoseAnItem) {
    CDownloadQueue queue;
    const int kItems = 20000;
    std::vector<DownloadItem> items;
    for (int i = 0; i < kItems; ++i) items.push_back({std::to_string(i), ""});
    queue.Assign(std::move(items));
    EXPECT_EQ(queue.Count(), kItems);

    std::vector<std::vector<std::string>> taken(4);
    std::vector<std::thread> workers;
    for (auto& mine : taken) {
        workers.emplace_back([&queue, &mine] {
            DownloadItem item;
            while (queue.Pop(item)) mine.push_back(item.file);
        });
    }
    for (auto& w : workers) w.join();
    std::set<std::string> all;
    std::size_t total = 0;
    for (const auto& mine : taken) {
        total += mine.size();
        all.insert(mine.begin(), mine.end());
        // Each worker sees the queue's order.
        for (std::size_t i = 1; i < mine.size(); ++i) EXPECT_LT(std::stoi(mine[i - 1]), std::stoi(mine[i]));
    }
    EXPECT_EQ(total, std::size_t(kItems));
    EXPECT_EQ(all.size(), std::size_t(kItems));
    EXPECT_EQ(queue.Count(), 0);
    DownloadItem item;
    EXPECT_FALSE(queue.Pop(item));
}

TEST(FileListAddress, PrefixPlusEditionKey) {
    const std::string config = R"({"filelist_url_prefix": "http://h:1/lists/", "birch_file_url": "birch.json",
                                   "dogwood_file_url": "dw.json", "elm_file_url": "elm.json"})";
    EXPECT_EQ(FileListAddress(config, 3), "http://h:1/lists/birch.json");
    EXPECT_EQ(FileListAddress(config, 6), "http://h:1/lists/dw.json");
    EXPECT_EQ(FileListAddress(config, 5), "http://h:1/lists/elm.json");
    EXPECT_EQ(FileListAddress(config, 0), "http://h:1/lists/"); // key missing
    EXPECT_EQ(FileListAddress(config, 2), "http://h:1/lists/"); // no such edition
    EXPECT_EQ(FileListAddress("not json", 3), "");
    EXPECT_EQ(FileListAddress("", 3), "");
}

TEST(FileListAddress, LocalCopyNeverNamesAnythingButAListFile) {
    struct Case {
        const char* address;
        const wchar_t* expected;
    };
    const Case cases[] = {
        {"http://h:1/lists/birch.json", L"/tmp/q/birch.json"},
        {"http://h:1/lists\\elm.json", L"/tmp/q/elm.json"},
        {"http://h:1/lists/birch.json?v=2#x", L"/tmp/q/birch.json"},
        {"http://h:1/lists/%E4%B8%AD.json", L"/tmp/q/%E4%B8%AD.json"},
        {"http://h:1/lists/", L"/tmp/q/quellan-filelist.json"},
        {"http://h:1", L"/tmp/q/quellan-filelist.json"},
        {"http://h:1/lists/..", L"/tmp/q/quellan-filelist.json"},
        {"http://h:1/lists/.", L"/tmp/q/quellan-filelist.json"},
        {"", L"/tmp/q/quellan-filelist.json"},
        {"list.json", L"/tmp/q/list.json"},
    };
    for (const Case& c : cases) EXPECT_EQ(LocalFileListPath(L"/tmp/q/", c.address), c.expected) << c.address;
    EXPECT_EQ(LocalFileListPath(L"/tmp/q", "a/b.json"), L"/tmp/q/b.json");
    EXPECT_EQ(LocalFileListPath(L"/tmp/q/", std::string("http://h/\0x.json", 17)), L"/tmp/q/quellan-filelist.json");
}

TEST(LocalPath, EntriesInsideTheFolder) {
    EXPECT_EQ(LocalPathForEntry(L"/g/Tolvar-birch/", "Data\\sub\\a.bin"), L"/g/Tolvar-birch/Data/sub/a.bin");
    EXPECT_EQ(LocalPathForEntry(L"/g/Tolvar-birch", "Data/a.bin"), L"/g/Tolvar-birch/Data/a.bin");
    EXPECT_EQ(LocalPathForEntry(L"/g/x/", "a\\\\.\\b..c\\...\\d"), L"/g/x/a/b..c/.../d");
    EXPECT_EQ(LocalPathForEntry(L"/g/x/", "客户端\\新 文件.txt"), L"/g/x/客户端/新 文件.txt");
    EXPECT_EQ(LocalPathForEntry(L"/g/x/", "a.quellan-part.txt"), L"/g/x/a.quellan-part.txt");
    EXPECT_EQ(RelativePathForEntry("Data\\sub/.\\a.bin"), "Data/sub/a.bin");
}

TEST(LocalPath, EntriesThatWouldLeaveTheFolderAreRefused) {
    for (const char* file : {"", "\\", "/etc/passwd", "\\Windows\\x.dll", "..\\evil.exe", "Data\\..\\..\\x", "a/../b",
                             "..", "C:\\Windows\\x.dll", "c:evil", "Data\\x.txt:stream", ".\\.", "a\nb", "a\tb",
                             // the installer's own files beside the game's
                             "WoW.exe.quellan-part", "Data\\.a.bin.quellan-part.resume", "Data\\a.bin.qbm",
                             ".quellan-lock", "Data/.quellan-lock"}) {
        EXPECT_EQ(LocalPathForEntry(L"/g/x/", file), L"") << file;
    }
    EXPECT_EQ(LocalPathForEntry(L"/g/x/", std::string("a\0b", 3)), L"");
    EXPECT_EQ(LocalPathForEntry(L"", "a.txt"), L"");
}

TEST(LocalPath, AddressUsesForwardSlashes) {
    EXPECT_EQ(DownloadAddressForEntry("http://h/files/birch/", "Data\\sub\\a b.bin"),
              "http://h/files/birch/Data/sub/a b.bin");
}

} // namespace
