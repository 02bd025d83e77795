// The single-line text entry: drawn like a label (state images, text,
// password mask) while it does not have the focus; while it has, a native
// edit window (CEditWnd) lies over its text area and does the editing, and
// the control's text follows every change at once. Typing raises
// "textchanged", Return raises "return".
#pragma once

#include "platform/graphics/Graphics.h"
#include "platform/window/builtin/WindowEdit.h"
#include "ui/controls/LabelUI.h"
#include "ui/core/WindowWnd.h"
#include "ui/render/ImageDescription.h"
#include "ui/render/ResourceTables.h"

class CEditUI;

// The native window of a focused edit: a superclass ("EditWnd") of the
// built-in Edit class. It lives only while its edit has the focus: losing
// the focus closes it, and once destroyed it clears its owner's pointer and
// deletes itself. UI thread only.
class CEditWnd : public CWindowWnd {
public:
    // Local timer of the drawn caret on layered windows.
    static constexpr std::uintptr_t kCaretTimer = 20;

    CEditWnd() = default;

    // Creates the window over the owner's text area, focuses it and selects
    // as the owner says; false (the object is then unused) when the window
    // cannot be created.
    bool init(CEditUI* owner);

    const wchar_t* wndClassName() const override;
    const wchar_t* baseClassName() const override;
    unsigned wndClassStyle() const override { return 0; }
    platform::LResult onWindowMessage(unsigned message, platform::WParam wParam, platform::LParam lParam) override;
    void afterDestroyed(platform::WindowHandle window) override;

    bool caretShown() const { return m_caretShown; }

private:
    friend class CEditUI;

    bool onLayeredWindow() const;
    platform::LResult onControlColour(unsigned message, platform::WParam wParam, platform::LParam lParam);
    void printCaret(platform::Canvas& canvas);

    CEditUI* m_owner = nullptr;
    FontHandle m_font; // kept alive while the native edit draws with it
    platform::ControlBrush m_brush;
    platform::Surface m_pattern; // the brush's pattern when the background is translucent
    bool m_hasBrush = false;
    bool m_created = false; // the window exists: it owns this object
    bool m_initialised = false;
    bool m_caretShown = false;
};

// An edit field. Attributes beyond the label's: "readonly", "numberonly",
// "password", "autoselall", "maxchar", "normalimage", "hotimage",
// "focusedimage", "disabledimage", "nativebkcolor". UI thread only.
class CEditUI : public CLabelUI {
public:
    // Bits of the edit state.
    struct State {
        enum : unsigned { Focused = 1, Disabled = 4, Hot = 8 };
    };
    static constexpr platform::Argb kNoNativeBkColour = 0xFFFFFFFF;

    CEditUI();
    ~CEditUI() override;

    std::wstring_view typeName() const override;
    void* castTo(std::wstring_view name) override;
    unsigned behaviourFlags() const override;
    platform::WindowHandle nativeHandle() const override;
    void assignText(std::wstring_view text) override;
    void assignEnabled(bool enabled = true) override;
    void place(platform::Rect rect, bool needInvalidate = true) override;
    void shiftBy(int dx, int dy, bool needInvalidate = true) override;
    void assignShown(bool visible = true) override;
    void assignInheritedShown(bool visible = true) override;
    platform::Size measure(platform::Size available) override;
    void handleEvent(TInputEventUI& event) override;
    void applyAttribute(std::wstring_view name, std::wstring_view value) override;
    void drawStateImage(platform::Canvas& canvas) override;
    void drawTextPart(platform::Canvas& canvas) override;

    // --- Settings ---
    int maxChars() const { return m_maxChars; }
    void assignMaxChars(int count);
    bool readOnly() const { return m_readOnly; }
    void assignReadOnly(bool on);
    bool numberOnly() const { return (m_windowStyle & platform::ES_NUMBER) != 0; }
    void assignNumberOnly(bool on);
    bool password() const { return m_password; }
    void assignPassword(bool on);
    wchar_t passwordChar() const { return m_passwordChar; }
    void assignPasswordChar(wchar_t ch);
    bool selectAllOnFocus() const { return m_selectAllOnFocus; }
    void assignSelectAllOnFocus(bool on) { m_selectAllOnFocus = on; }
    platform::Argb nativeBkColour() const { return m_nativeBkColour; }
    void assignNativeBkColour(platform::Argb colour) { m_nativeBkColour = colour; }
    unsigned windowStyleBits() const { return m_windowStyle; }
    unsigned editState() const { return m_editState; }

    // The rectangle the native window takes (client coordinates): the
    // position minus the text padding, cut by the client area of every
    // ancestor; empty under an invisible ancestor.
    platform::Rect nativeRect() const;
    // The native window object while it exists.
    CEditWnd* nativeWindow() const { return m_window; }

private:
    friend class CEditWnd;

    void createNativeWindow();
    void moveNativeWindow();
    void clearFocusWhenHidden(bool hidden);
    void setImage(ImageDescription& image, std::wstring_view description);
    bool drawImage(platform::Canvas& canvas, ImageDescription& image);

    CEditWnd* m_window = nullptr; // deletes itself
    int m_maxChars = 255;
    bool m_readOnly = false;
    bool m_password = false;
    bool m_selectAllOnFocus = false;
    wchar_t m_passwordChar = L'*';
    unsigned m_editState = 0;
    platform::Argb m_nativeBkColour = kNoNativeBkColour;
    unsigned m_windowStyle = 0;
    struct Images {
        ImageDescription normal, hot, focused, disabled;
    } m_images;
};
