// Fuzzes the dialog builder: any document either builds or is refused, and
// what builds is laid out and painted in a real window on the virtual
// display and destroyed again, without a crash, a leak or a hang.
#include "fuzz/LeakSuppressions.h"
#include "platform/window/VirtualDisplay.h"
#include "platform/window/Window.h"
#include "ui/core/ControlUI.h"
#include "ui/core/FormManagerUI.h"
#include "ui/core/WindowWnd.h"
#include "ui/layout/ContainerUI.h"
#include "ui/markup/SkinBuilder.h"
#include "ui/render/SkinSource.h"

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace {

class FuzzWindow final : public CWindowWnd {
public:
    const wchar_t* wndClassName() const override { return L"QuellanFuzzBuilder"; }
    unsigned wndClassStyle() const override { return platform::CS_DBLCLKS; }
    platform::LResult onWindowMessage(unsigned message, platform::WParam wParam, platform::LParam lParam) override {
        if (message == platform::WM_CREATE) manager.attachWindow(m_window, L"fuzz");
        platform::LResult result = 0;
        if (manager.handleMessage(message, wParam, lParam, result)) return result;
        return CWindowWnd::onWindowMessage(message, wParam, lParam);
    }
    CFormManagerUI manager;
};

// The application's own tags: one container and one leaf.
class Callback final : public IDialogBuilderCallback {
public:
    CControlUI* createControl(const wchar_t* tag) override {
        std::wstring_view t(tag);
        if (t == L"Panel") return new CContainerUI;
        if (t == L"Leaf") return new CControlUI;
        return nullptr;
    }
};

void settle() {
    for (int i = 0; i < 200 && platform::vdisplay::pump() > 0; ++i) {}
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const bool ready = [] {
        // Named documents and images resolve under a folder that does not
        // exist, so inputs cannot reach files; inline includes still work.
        skinsource::setResourcePath(L"/nonexistent-quellan-fuzz/");
        return platform::vdisplay::open({1024, 768});
    }();
    if (!ready) return 0;

    FuzzWindow window;
    if (!window.createHostWindow(nullptr, L"fuzz", platform::WS_POPUP, 0, 0, 0, 320, 240)) return 0;
    Callback callback;
    CSkinBuilder builder;
    if (builder.document().loadFromMemory(data, size, XmlEncoding::Utf8)) {
        if (CControlUI* root = builder.buildLoaded(&callback, &window.manager, nullptr)) {
            // Whatever "size" said, keep the frame small.
            platform::setWindowPos(window.windowHandle(), nullptr, 0, 0, 320, 240,
                                   platform::SWP_NOMOVE | platform::SWP_NOZORDER | platform::SWP_NOACTIVATE);
            window.manager.setRoot(root);
            window.setShown(true, true);
            settle();
            platform::vdisplay::click({160, 120});
            platform::vdisplay::pressKey(platform::VK_TAB);
            settle();
        }
    }
    platform::destroyWindow(window.windowHandle());
    settle();
    // Process-wide tables the document may have filled.
    CFormManagerUI::removeAllLanguageTexts();
    CFormManagerUI::sharedResources().fonts.clear();
    CFormManagerUI::sharedResources().images.clear();
    CFormManagerUI::sharedResources().defaultAttributes.clear();
    return 0;
}
