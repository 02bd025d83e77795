// quellan-skinview --window: a whole skin document built into a window on
// the virtual display, driven by steps, then written as PNG and as a tree.
#pragma once

#include <map>
#include <string>
#include <vector>

namespace skinview {

// Builds `document` (read from the skin source set up by the caller; with
// none, from the document's own folder) into a window, runs the steps in
// order printing every notice, then writes options["png"] and prints the
// control tree when options has "tree". Returns the exit status: 0, 1 when
// the document does not build or a step names no control, 2 for a step
// that cannot be read.
int runWindow(const std::string& document, const std::map<std::string, std::string>& options,
              const std::vector<std::string>& steps);

} // namespace skinview
