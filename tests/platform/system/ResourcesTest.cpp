// Resources linked into the executable by cmake/Resources.cmake.
#include "platform/system/Resources.h"

#include <gtest/gtest.h>

#include <string>

namespace {

TEST(PlatformResources, FindsEmbeddedFileByTypeAndNumericId) {
    auto bytes = platform::findResource(L"TESTRES", 7);
    ASSERT_EQ(std::string(bytes.begin(), bytes.end()), "embedded bytes\n");
    EXPECT_EQ(platform::findResource(L"TESTRES", L"7").data(), bytes.data());
}

TEST(PlatformResources, MissingKeyGivesEmptySpan) {
    EXPECT_TRUE(platform::findResource(L"TESTRES", 8).empty());
    EXPECT_TRUE(platform::findResource(L"ZIPRES", 7).empty());
}

} // namespace
