#include "app/FolderChoice.h"

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

ScopedFolderChooser::ScopedFolderChooser(FolderChooserFn chooser) : m_previous(std::move(currentChooser())) {
    currentChooser() = std::move(chooser);
}

ScopedFolderChooser::~ScopedFolderChooser() { currentChooser() = std::move(m_previous); }
