// The progress display of the command-line front end: the window's status
// texts on stderr, one rewritten line on a terminal, a line a second otherwise.
#pragma once

#include "engine/DownloadWorker.h"

#include <cstdint>
#include <cstdio>
#include <map>
#include <string>

// "剩余%d个文件，速度:%dKb/s" (or Mb/s when above 1024 Kb/s) for a remaining
// count and a total speed in bytes per second; "正在校验，还剩余%d个文件"
// when the figure is 0 and the reporting worker checks a file.
std::wstring StatusLine(int remaining, std::uint32_t totalSpeed, int state);

class CCliProgress {
public:
    explicit CCliProgress(std::FILE* out);

    // A new pass: forget the workers of the last one.
    void StartPass();
    void AddWorker(std::uint32_t threadId);
    // False when the worker is not one of the running pass.
    bool RemoveWorker(std::uint32_t threadId);
    bool Empty() const { return m_speeds.empty(); }
    std::size_t Workers() const { return m_speeds.size(); }

    // A progress event: updates the worker's speed and, when due, the display.
    void OnProgress(std::uint32_t threadId, const ProgressValues& values, int queued);
    // Shows a line of its own (status texts, messages), ending a rewritten line.
    void Message(const std::wstring& text);
    // Ends a rewritten line so that what follows starts on a fresh one.
    void Finish();

private:
    void show(const std::wstring& line, bool force);

    std::FILE* m_out;
    bool m_terminal;
    bool m_lineOpen = false;
    std::uint64_t m_lastShown = 0;
    std::map<std::uint32_t, std::int32_t> m_speeds;
};
