// Opening files below the installation folder without ever following a
// symbolic link: whoever can write into the folder must not be able to make
// the installer write (or read) anything outside it.
#pragma once

#include <atomic>
#include <string>
#include <vector>

// Opens relative ("/"-separated, no "..", no leading "/") beneath the folder
// dirFd with flags (O_CLOEXEC added), refusing any symbolic link on the way
// and at the end: openat2 with RESOLVE_BENEATH | RESOLVE_NO_SYMLINKS, or,
// where the kernel lacks it, a walk that opens one component at a time with
// O_NOFOLLOW. -1 with errno set (ELOOP for a link) on failure.
int openBeneath(int dirFd, const std::string& relative, int flags, unsigned mode = 0);

// The folder that holds an entry: walks the folders of `parents` below
// rootFd, creating missing ones. A symbolic link found in place of a folder
// is removed (the link, never its target) and a folder made in its place.
// Returns a descriptor of the last folder (rootFd duplicated when parents is
// empty), or -1 when a component is something else or cannot be made.
int openEntryFolder(int rootFd, const std::vector<std::string>& parents);

// Creates name in the folder dirFd as a new, empty file for reading and
// writing (O_CREAT | O_EXCL | O_NOFOLLOW): a file or link already under the
// name makes it fail rather than be written through. -1 on failure.
int createPartBeneath(int dirFd, const std::string& name);

// A path that names the folder of the descriptor itself, not whatever its
// path names by now ("/proc/self/fd/N"), for code that takes paths.
std::string descriptorPath(int fd);

// Tests set this to take the component walk where openat2 would serve.
extern std::atomic<bool> g_openBeneathWalkOnly;
