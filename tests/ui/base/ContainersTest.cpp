// Framework containers: the inline string, the string map and the pointer array.
#include "ui/base/PtrArrayUI.h"
#include "ui/base/StringMapUI.h"
#include "ui/base/StringUI.h"

#include <gtest/gtest.h>

#include <string>

namespace {

TEST(StringUI, InlineAndHeapTextBehaveAlike) {
    CStringUI shortText(L"name");
    std::wstring longText(200, L'x');
    CStringUI heap(longText);
    EXPECT_EQ(heap.length(), 200u);
    EXPECT_EQ(heap.view(), longText);
    CStringUI moved(std::move(heap));
    EXPECT_EQ(moved.view(), longText);
    EXPECT_TRUE(heap.isEmpty());
    CStringUI copy = shortText;
    copy += L"_suffix";
    EXPECT_EQ(copy, L"name_suffix");
    EXPECT_EQ(shortText, L"name");
    copy = copy.mid(2, 3); // aliases its own buffer
    EXPECT_EQ(copy, L"me_");
    for (int i = 0; i < 10; ++i) copy += copy.view(); // appending itself, across the inline limit
    EXPECT_EQ(copy.length(), 3u * 1024);
    CStringUI t(L"%{1}-%{1}");
    EXPECT_EQ(t.replace(L"%{1}", L"one"), 2);
    EXPECT_EQ(t, L"one-one");
    EXPECT_TRUE(CStringUI(L"Button").equalsNoCase(L"bUTTON"));
    EXPECT_EQ(CStringUI(static_cast<const wchar_t*>(nullptr)), L"");
}

TEST(StringMapUI, HashesFromTheLastCharacterAndKeepsKeysExact) {
    // h × 33 + c from the last character to the first: "ab" = 'a' + 33 × 'b'.
    EXPECT_EQ(detail::stringMapHash(L"ab"), 97u + 33u * 98u);
    EXPECT_EQ(detail::stringMapHash(L""), 0u);
    CStringMapUI<int> map;
    EXPECT_EQ(map.bucketCount(), 83u);
    EXPECT_TRUE(map.insert(L"Name", 1));
    EXPECT_FALSE(map.insert(L"Name", 2)) << "insert keeps the first value";
    EXPECT_EQ(*map.find(L"Name"), 1);
    EXPECT_EQ(map.find(L"name"), nullptr);
    int previous = 0;
    EXPECT_TRUE(map.set(L"Name", 3, &previous));
    EXPECT_EQ(previous, 1);
    for (int i = 0; i < 500; ++i) map.insert(L"k" + std::to_wstring(i), i); // many per bucket
    EXPECT_EQ(map.size(), 501u);
    EXPECT_EQ(*map.find(L"k499"), 499);
    EXPECT_TRUE(map.remove(L"k250"));
    EXPECT_FALSE(map.remove(L"k250"));
    EXPECT_EQ(map.find(L"k250"), nullptr);
    int sum = 0;
    map.forEach([&](std::wstring_view, int& v) { sum += v; });
    EXPECT_EQ(sum, 3 + 499 * 500 / 2 - 250);
}

TEST(PtrArrayUI, GrowsTo11ThenDoublesAndKeepsOrder) {
    int values[40];
    CPtrArrayUI<int> array;
    EXPECT_EQ(array.capacity(), 0);
    array.add(&values[0]);
    EXPECT_EQ(array.capacity(), 11);
    for (int i = 1; i < 12; ++i) array.add(&values[i]);
    EXPECT_EQ(array.capacity(), 22);
    for (int i = 12; i < 23; ++i) array.add(&values[i]);
    EXPECT_EQ(array.capacity(), 44);
    EXPECT_EQ(array.size(), 23);

    EXPECT_TRUE(array.insertAt(0, &values[30]));
    EXPECT_TRUE(array.insertAt(array.size(), &values[31]));
    EXPECT_FALSE(array.insertAt(-1, &values[32]));
    EXPECT_EQ(array[0], &values[30]);
    EXPECT_EQ(array[1], &values[0]);
    EXPECT_EQ(array[array.size() - 1], &values[31]);
    EXPECT_TRUE(array.remove(&values[0]));
    EXPECT_EQ(array[1], &values[1]);
    EXPECT_EQ(array.find(&values[0]), -1);
    EXPECT_FALSE(array.removeAt(99));
    EXPECT_EQ(array.at(99), nullptr);

    CPtrArrayUI<int> copy = array;
    EXPECT_EQ(copy.size(), array.size());
    EXPECT_EQ(copy[5], array[5]);
    int seen = 0;
    for (int* p : copy) seen += p != nullptr;
    EXPECT_EQ(seen, copy.size());
    array.empty();
    EXPECT_TRUE(array.isEmpty());
    EXPECT_EQ(array.capacity(), 44);
}

} // namespace
