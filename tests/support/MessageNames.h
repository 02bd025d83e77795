// Window messages by name, so that a failing test shows which messages came.
#pragma once

#include <gtest/gtest.h>

#include <initializer_list>
#include <ostream>
#include <string>
#include <vector>

namespace testsupport {

// "WM_PAINT", "EM_SETSEL", "WM_USER+1000", "WM_APP+2", or the number in hex.
std::string messageName(unsigned message);

// A sequence of window messages (as a test records them) that gtest prints by
// name: EXPECT_EQ(messages(w), (Messages{WM_NCCREATE, WM_CREATE})) shows
// "{ WM_NCCREATE, WM_CREATE, WM_SIZE }" on failure instead of numbers.
struct Messages : std::vector<unsigned> {
    using std::vector<unsigned>::vector;
    Messages(std::initializer_list<unsigned> list) : std::vector<unsigned>(list) {}
    friend void PrintTo(const Messages& messages, std::ostream* out);
};

} // namespace testsupport
