// The desktop's scale factor: which setting wins, how values snap and clamp,
// and that unusable values are passed over; the virtual display reads
// QUELLAN_SCALE only.
#include "WindowTestSupport.h"

#include "platform/window/DisplayScale.h"

#include <cstdlib>
#include <optional>
#include <string>

namespace {

using namespace wintest;

struct ScaleCase {
    const char* name;
    const char* quellan;
    const char* xftDpi;
    const char* gdk;
    double display;
    double expected;
};

TEST(DisplayScale, FirstSetAndValidSourceRoundedAndClamped) {
    const ScaleCase cases[] = {
        {"nothing set is 1", nullptr, nullptr, nullptr, 0, 1.0},
        {"QUELLAN_SCALE wins over all", "2", "144", "3", 1.25, 2.0},
        {"Xft.dpi over 96", nullptr, "192", "3", 1.25, 2.0},
        {"Xft.dpi 144 is 1.5", nullptr, "144", nullptr, 0, 1.5},
        {"Xft.dpi 120 is 1.25", nullptr, "120", nullptr, 0, 1.25},
        {"Xft.dpi 168 is 1.75", nullptr, "168", nullptr, 0, 1.75},
        {"GDK_SCALE after Xft.dpi", nullptr, nullptr, "2", 1.0, 2.0},
        {"display last", nullptr, nullptr, nullptr, 1.5, 1.5},
        {"nearest quarter, down", "1.3", nullptr, nullptr, 0, 1.25},
        {"nearest quarter, up", "1.4", nullptr, nullptr, 0, 1.5},
        {"a half quarter rounds up", "1.125", nullptr, nullptr, 0, 1.25},
        {"clamped to 3", "5", nullptr, nullptr, 0, 3.0},
        {"clamped to 1", "0.5", nullptr, nullptr, 0, 1.0},
        {"Xft.dpi 72 clamps to 1", nullptr, "72", "2", 0, 1.0},
        {"blanks around a value", " 2 ", nullptr, nullptr, 0, 2.0},
        {"text is ignored", "big", "192", nullptr, 0, 2.0},
        {"trailing text is ignored", "2x", nullptr, "1.5", 0, 1.5},
        {"empty is ignored", "", nullptr, "2", 0, 2.0},
        {"zero is ignored", "0", nullptr, "2", 0, 2.0},
        {"negative is ignored", "-2", nullptr, "2", 0, 2.0},
        {"nan is ignored", "nan", nullptr, "2", 0, 2.0},
        {"infinity is ignored", "inf", nullptr, "2", 0, 2.0},
        {"overflow is ignored", "1e999", "120", nullptr, 0, 1.25},
        {"a bad Xft.dpi passes to GDK_SCALE", nullptr, "0", "3", 0, 3.0},
        {"a bad display value is 1", nullptr, nullptr, "x", -1, 1.0},
    };
    for (const ScaleCase& c : cases) {
        platform::ScaleSources sources;
        sources.quellanScale = c.quellan;
        sources.xftDpi = c.xftDpi;
        sources.gdkScale = c.gdk;
        sources.displayScale = c.display;
        EXPECT_DOUBLE_EQ(platform::resolveScale(sources), c.expected) << c.name;
    }
}

TEST(DisplayScale, SettingTextParsing) {
    EXPECT_EQ(platform::parseScaleSetting("96", 96.0), std::optional<double>(1.0));
    EXPECT_EQ(platform::parseScaleSetting("1.5\n"), std::optional<double>(1.5));
    EXPECT_FALSE(platform::parseScaleSetting(nullptr));
    EXPECT_FALSE(platform::parseScaleSetting("   "));
    EXPECT_FALSE(platform::parseScaleSetting("2 2"));
}

// Sets an environment variable for one scope and restores the old value.
class EnvScope {
public:
    EnvScope(const char* name, const char* value) : m_name(name) {
        if (const char* old = std::getenv(name)) m_old = old;
        if (value)
            ::setenv(name, value, 1);
        else
            ::unsetenv(name);
    }
    ~EnvScope() {
        if (m_old)
            ::setenv(m_name, m_old->c_str(), 1);
        else
            ::unsetenv(m_name);
    }

private:
    const char* m_name;
    std::optional<std::string> m_old;
};

TEST(DisplayScale, VirtualDisplayReadsOnlyQuellanScale) {
    ASSERT_TRUE(vdisplay::open());
    EnvScope gdk("GDK_SCALE", "3");
    {
        EnvScope quellan("QUELLAN_SCALE", nullptr);
        EXPECT_DOUBLE_EQ(platform::desktopScale(nullptr), 1.0);
    }
    {
        EnvScope quellan("QUELLAN_SCALE", "1.6");
        EXPECT_DOUBLE_EQ(platform::desktopScale(nullptr), 1.5);
    }
    {
        EnvScope quellan("QUELLAN_SCALE", "wide");
        EXPECT_DOUBLE_EQ(platform::desktopScale(nullptr), 1.0);
    }
}

} // namespace
