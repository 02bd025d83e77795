#include "app/FolderChoice.h"

#include "ui/core/FormManagerUI.h"

namespace {
FolderChooserFn& currentChooser() {
    static FolderChooserFn chooser;
    return chooser;
}
} // namespace

platform::FolderChooserResult ChooseInstallFolder(std::wstring_view title, const std::function<void()>& whileWaiting) {
    if (const FolderChooserFn& chooser = currentChooser()) return chooser(title, whileWaiting);
    return platform::chooseFolder(title, whileWaiting);
}

platform::FolderChooserResult ChooseInstallFolderFor(platform::WindowHandle owner, std::wstring_view title) {
    using namespace platform;
    bool quit = false;
    int quitCode = 0;
    enableWindow(owner, false);
    const FolderChooserResult result = ChooseInstallFolder(title, [&] {
        Message msg;
        while (!quit && peekMessage(msg)) {
            if (msg.message == WM_QUIT) {
                quit = true;
                quitCode = static_cast<int>(msg.wParam);
                break;
            }
            if (!CFormManagerUI::translateQueued(&msg)) {
                translateMessage(msg);
                dispatchMessage(msg);
            }
            // A message box that came and went meanwhile enabled it again.
            if (isWindow(owner) && isWindowEnabled(owner)) enableWindow(owner, false);
        }
    });
    if (isWindow(owner)) enableWindow(owner, true);
    if (quit) postQuitMessage(quitCode);
    return result;
}

ScopedFolderChooser::ScopedFolderChooser(FolderChooserFn chooser) : m_previous(std::move(currentChooser())) {
    currentChooser() = std::move(chooser);
}

ScopedFolderChooser::~ScopedFolderChooser() { currentChooser() = std::move(m_previous); }
