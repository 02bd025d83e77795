// ShowMsgBox over the installed presenter.
#include "app/MsgBox.h"

#include <utility>

namespace {

// Touched on the UI thread only.
MsgBoxPresenter& currentPresenter() {
    static MsgBoxPresenter presenter;
    return presenter;
}

} // namespace

int ShowMsgBox(platform::WindowHandle owner, std::wstring_view text, int kind, std::wstring_view okCaption,
               std::wstring_view cancelCaption) {
    // A copy: the presenter runs a nested loop, during which a handler may
    // install another one.
    const MsgBoxPresenter presenter = currentPresenter();
    if (!presenter) return kMsgBoxClosed;
    return presenter(
        MsgBoxRequest{owner, std::wstring(text), kind, std::wstring(okCaption), std::wstring(cancelCaption)});
}

MsgBoxPresenter SetMsgBoxPresenter(MsgBoxPresenter presenter) {
    return std::exchange(currentPresenter(), std::move(presenter));
}
