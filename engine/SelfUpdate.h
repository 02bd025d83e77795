// The self-update job: fetch the new program and hand over to its update mode.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

class IEngineEvents;

// How the job asks its front end to close once the new program runs (the
// window posts itself a close request). Set by the front end before the job
// starts; unset, nothing is asked.
void SetCloseRequestHandler(std::function<void()> handler);

// The update file for a tick count: the temporary folder joined with
// "temp_update_<tick>" (no ".exe": on Linux the executable bit makes it a
// program).
std::wstring UpdateFilePath(const std::wstring& tempFolder, std::uint32_t tick);

// The one argument that starts a program in update mode for target:
// "update '" + target + "'".
std::wstring UpdateParameters(const std::wstring& target);

// An installer program is a few MiB; a download past this is not one, and
// stopping it keeps a hostile or broken answer from filling the disk.
inline constexpr std::int64_t kMaxUpdateBytes = std::int64_t{256} << 20;

// What the signed version answer says about the update: where it is and the
// SHA-256 (hex) of the program found there.
struct SelfUpdateRequest {
    std::string address;
    std::string sha256;
};

// Job body: downloads address into the update file in the private temporary
// folder (a file the download creates itself, never one that was there
// before), makes it executable for this user and starts it detached with
// UpdateParameters(runningProgram), then asks for the close. Only a download
// that completed and whose SHA-256 is expectedSha256 is started: a failed,
// cut, stalled, oversized (kMaxUpdateBytes) or different one (or a missing digest, an http address while
// the service is reached over https, a start that fails) posts
// OnSelfUpdateFailed and starts nothing; a different file is removed. A
// cancelled job does neither. Returns the update file's path (empty without a
// temporary folder).
std::wstring RunSelfUpdate(const std::string& address, const std::string& expectedSha256,
                           const std::wstring& runningProgram, IEngineEvents& sink);

// Thread function: the parameter is a heap SelfUpdateRequest (new
// SelfUpdateRequest), owned and freed by the job. The running program is the
// one replaced.
void ThreadSelfUpdate(std::uintptr_t request);
