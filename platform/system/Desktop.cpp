// Desktop folder lookup and .desktop launcher entries.
#include "platform/system/Desktop.h"

#include "platform/system/Text.h"

#include <sys/stat.h>
#include <unistd.h>
#include <pwd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <vector>

namespace platform {

namespace {

std::string homeFolder() {
    if (const char* home = std::getenv("HOME"); home && *home) return home;
    if (const passwd* pw = getpwuid(getuid()); pw && pw->pw_dir) return pw->pw_dir;
    return {};
}

// Expands a user-dirs value: "$HOME/..." or "${HOME}/..." or an absolute
// path. Anything else is not a usable folder.
std::string expandUserDir(const std::string& value, const std::string& home) {
    for (const char* var : {"$HOME", "${HOME}"}) {
        const std::string v(var);
        if (value.compare(0, v.size(), v) == 0 && (value.size() == v.size() || value[v.size()] == '/'))
            return home.empty() ? std::string() : home + value.substr(v.size());
    }
    return !value.empty() && value.front() == '/' ? value : std::string();
}

// Reads the last XDG_DESKTOP_DIR assignment of a user-dirs.dirs file (shell
// syntax: a double-quoted value with backslash escapes, or a bare word).
std::string desktopFromUserDirs(const std::string& file) {
    std::ifstream in(file);
    std::string line, found;
    const std::string key = "XDG_DESKTOP_DIR=";
    while (std::getline(in, line)) {
        std::size_t i = line.find_first_not_of(" \t");
        if (i == std::string::npos || line.compare(i, key.size(), key) != 0) continue;
        i += key.size();
        std::string value;
        if (i < line.size() && line[i] == '"') {
            bool closed = false;
            for (++i; i < line.size(); ++i) {
                if (line[i] == '\\' && i + 1 < line.size()) {
                    value += line[++i];
                } else if (line[i] == '"') {
                    closed = true;
                    break;
                } else {
                    value += line[i];
                }
            }
            if (!closed) continue;
        } else {
            std::size_t end = line.find_first_of(" \t#", i);
            value = line.substr(i, end == std::string::npos ? std::string::npos : end - i);
        }
        found = value;
    }
    return found;
}

std::string stripTrailingSlashes(std::string path) {
    while (path.size() > 1 && path.back() == '/') path.pop_back();
    return path;
}

// Escapes a value of a desktop entry string key.
std::string escapeValue(std::string_view text) {
    std::string out;
    for (char c : text) {
        switch (c) {
        case '\\':
            out += "\\\\";
            break;
        case '\n':
            out += "\\n";
            break;
        case '\r':
            out += "\\r";
            break;
        case '\t':
            out += "\\t";
            break;
        default:
            out += c;
        }
    }
    return out;
}

} // namespace

std::wstring desktopFolder() {
    const std::string home = homeFolder();
    std::string configHome;
    if (const char* xdg = std::getenv("XDG_CONFIG_HOME"); xdg && *xdg)
        configHome = xdg;
    else if (!home.empty())
        configHome = home + "/.config";
    std::string desktop;
    if (!configHome.empty()) desktop = expandUserDir(desktopFromUserDirs(configHome + "/user-dirs.dirs"), home);
    if (desktop.empty()) {
        if (const char* env = std::getenv("XDG_DESKTOP_DIR"); env && *env) desktop = expandUserDir(env, home);
    }
    if (desktop.empty() && !home.empty()) desktop = home + "/Desktop";
    return fromUtf8(stripTrailingSlashes(desktop));
}

std::string desktopExecLine(std::wstring_view target) {
    // Quote the argument, escaping what a quoted argument reserves; "%" is a
    // field code everywhere in Exec. The string-level escaping of the value
    // (backslashes doubled once more) comes on top.
    std::string arg = "\"";
    for (char c : toUtf8(target)) {
        if (c == '"' || c == '`' || c == '$' || c == '\\') arg += '\\';
        if (c == '%') arg += '%';
        arg += c;
    }
    arg += '"';
    return escapeValue("wine " + arg);
}

bool createDesktopEntry(std::wstring_view linkPath, std::wstring_view name, std::wstring_view target,
                        std::wstring_view workingDir, std::wstring_view icon) {
    const std::string path = toUtf8(linkPath);
    ::unlink(path.c_str());
    std::string text = "[Desktop Entry]\n"
                       "Type=Application\n"
                       "Version=1.0\n"
                       "Name=" +
                       escapeValue(toUtf8(name)) +
                       "\n"
                       "Exec=" +
                       desktopExecLine(target) +
                       "\n"
                       "Path=" +
                       escapeValue(toUtf8(workingDir)) +
                       "\n"
                       "Terminal=false\n";
    if (!icon.empty()) text += "Icon=" + escapeValue(toUtf8(icon)) + "\n";
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) return false;
    bool ok = std::fwrite(text.data(), 1, text.size(), f) == text.size();
    ok = std::fclose(f) == 0 && ok;
    ok = ok && ::chmod(path.c_str(), 0755) == 0;
    if (!ok) ::unlink(path.c_str());
    return ok;
}

void removeOldDesktopShortcuts() {
    std::vector<std::string> folders;
    if (const std::wstring current = desktopFolder(); !current.empty()) folders.push_back(toUtf8(current));
    if (const std::string home = homeFolder(); !home.empty()) {
        const std::string classic = home + "/Desktop";
        if (folders.empty() || folders.front() != classic) folders.push_back(classic);
    }
    for (const std::string& folder : folders) {
        const std::string entry = folder + "/" + toUtf8(kShortcutFileName);
        struct stat st {};
        if (lstat(entry.c_str(), &st) == 0 && !S_ISDIR(st.st_mode)) ::unlink(entry.c_str());
    }
}

std::wstring dataHomeFolder() {
    if (const char* xdg = std::getenv("XDG_DATA_HOME"); xdg && *xdg == '/') return fromUtf8(stripTrailingSlashes(xdg));
    const std::string home = homeFolder();
    return home.empty() ? std::wstring() : fromUtf8(stripTrailingSlashes(home) + "/.local/share");
}

bool createDesktopShortcut(std::wstring_view installDir, std::wstring_view launcher, std::wstring_view icon) {
    removeOldDesktopShortcuts();
    std::wstring folder(installDir);
    if (folder.empty()) return false;
    if (folder.back() != L'/' && folder.back() != L'\\') folder += L'/';
    const std::wstring target = folder + std::wstring(launcher);
    std::wstring workingDir = folder;
    if (workingDir.size() > 1) workingDir.pop_back();
    const std::wstring desktop = desktopFolder();
    if (desktop.empty()) return false;
    const bool onDesktop =
        createDesktopEntry(desktop + L"/" + std::wstring(kShortcutFileName), kShortcutName, target, workingDir, icon);
    bool inMenu = false;
    if (const std::wstring data = dataHomeFolder(); !data.empty()) {
        const std::wstring applications = data + L"/applications";
        std::error_code ec;
        std::filesystem::create_directories(toUtf8(applications), ec);
        inMenu = createDesktopEntry(applications + L"/" + std::wstring(kMenuEntryFileName), kShortcutName, target,
                                    workingDir, icon);
    }
    return onDesktop && inMenu;
}

} // namespace platform
