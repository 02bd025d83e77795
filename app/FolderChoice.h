// The folder button's chooser: the desktop's folder dialog, replaceable by a
// test (which answers in the user's place, as ScopedMsgBoxPresenter does for
// message boxes).
#pragma once

#include "platform/system/Shell.h"
#include "platform/window/Window.h"

#include <functional>
#include <string_view>

// The dialog's title.
inline constexpr std::wstring_view kFolderChooserTitle = L"选择安装路径";
// Shown when no folder dialog can be opened: the path is typed instead.
inline constexpr std::wstring_view kNoFolderChooserText = L"无法打开文件夹选择窗口，请直接在输入框中填写安装路径！";

using FolderChooserFn =
    std::function<platform::FolderChooserResult(std::wstring_view title, const std::function<void()>& whileWaiting)>;

// Asks the user for a folder through the current chooser
// (platform::chooseFolder unless replaced). UI thread only.
platform::FolderChooserResult ChooseInstallFolder(std::wstring_view title, const std::function<void()>& whileWaiting);

// The same, with owner (a window of ours) behaving as the owner of a modal
// dialog while the chooser, another program, is open: its input is off, but
// its messages are read meanwhile, so it repaints what the chooser uncovers,
// its timers run and the jobs' events are handled (a pass running behind
// the chooser keeps its progress display live). A quit request that arrives
// meanwhile is passed on once the chooser has closed. UI thread only.
platform::FolderChooserResult ChooseInstallFolderFor(platform::WindowHandle owner, std::wstring_view title);

// Replaces the chooser for the lifetime of the object.
class ScopedFolderChooser {
public:
    explicit ScopedFolderChooser(FolderChooserFn chooser);
    ~ScopedFolderChooser();
    ScopedFolderChooser(const ScopedFolderChooser&) = delete;
    ScopedFolderChooser& operator=(const ScopedFolderChooser&) = delete;

private:
    FolderChooserFn m_previous;
};
