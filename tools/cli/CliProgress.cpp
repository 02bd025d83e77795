// Progress display of quellan-cli.
#include "tools/cli/CliProgress.h"

#include "platform/system/System.h"
#include "platform/system/Text.h"

#include <unistd.h>

std::wstring StatusLine(int remaining, std::uint32_t totalSpeed, int state) {
    std::uint32_t figure = totalSpeed >> 10;
    const bool mega = figure > 1024;
    if (mega) figure >>= 10;
    wchar_t text[256];
    if (figure == 0 && state == kStateChecking)
        std::swprintf(text, std::size(text), L"正在校验，还剩余%d个文件", remaining);
    else
        std::swprintf(text, std::size(text), mega ? L"剩余%d个文件，速度:%dMb/s" : L"剩余%d个文件，速度:%dKb/s",
                      remaining, static_cast<int>(figure));
    return text;
}

CCliProgress::CCliProgress(std::FILE* out) : m_out(out), m_terminal(::isatty(::fileno(out)) == 1) {}

void CCliProgress::StartPass() { m_speeds.clear(); }

void CCliProgress::AddWorker(std::uint32_t threadId) { m_speeds[threadId] = 0; }

bool CCliProgress::RemoveWorker(std::uint32_t threadId) { return m_speeds.erase(threadId) > 0; }

void CCliProgress::OnProgress(std::uint32_t threadId, const ProgressValues& values, int queued) {
    auto it = m_speeds.find(threadId);
    if (it == m_speeds.end()) return;
    it->second = static_cast<std::int32_t>(values.speed);
    std::uint32_t total = 0;
    for (const auto& [id, speed] : m_speeds) total += static_cast<std::uint32_t>(speed);
    const int remaining = queued + static_cast<int>(m_speeds.size());
    const double percent =
        static_cast<double>(values.received) * 100.0 / static_cast<double>(values.total < 1 ? 1 : values.total);
    wchar_t tail[64];
    std::swprintf(tail, std::size(tail), L" %.02f%%", percent);
    std::wstring line = StatusLine(remaining, total, values.state);
    line += values.state == kStateChecking ? L"  正在校验：" : L"  当前下载：";
    line += values.fileName;
    line += tail;
    show(line, false);
}

void CCliProgress::Message(const std::wstring& text) {
    Finish();
    std::fprintf(m_out, "%s\n", platform::toUtf8(text).c_str());
    std::fflush(m_out);
}

void CCliProgress::Finish() {
    if (m_lineOpen) {
        std::fputs("\n", m_out);
        std::fflush(m_out);
        m_lineOpen = false;
    }
}

void CCliProgress::show(const std::wstring& line, bool force) {
    const std::uint64_t now = platform::tickCount64();
    const std::uint64_t interval = m_terminal ? 100 : 1000;
    if (!force && m_lastShown != 0 && now - m_lastShown < interval) return;
    m_lastShown = now;
    const std::string text = platform::toUtf8(line);
    if (m_terminal) {
        std::fprintf(m_out, "\r%s\x1b[K", text.c_str());
        m_lineOpen = true;
    } else {
        std::fprintf(m_out, "%s\n", text.c_str());
    }
    std::fflush(m_out);
}
