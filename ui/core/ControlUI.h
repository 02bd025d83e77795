// The base of every element of a window's control tree: name, position and
// sizing constraints, colours, images, border, tooltip, visibility and
// enabled state, hooks, the tree walk, input events and the paint order.
#pragma once

#include "platform/graphics/Geometry.h"
#include "platform/graphics/Graphics.h"
#include "platform/window/Window.h"
#include "ui/core/EventsUI.h"
#include "ui/core/HookListUI.h"
#include "ui/base/StringMapUI.h"
#include "ui/base/StringUI.h"
#include "ui/render/ImageDescription.h"

#include <cstdint>
#include <memory>
#include <string_view>

class CFormManagerUI;

// Float anchors: fractions of the parent's width (left, right) and height
// (top, bottom) added to a floating control's fixed offsets.
struct FloatAnchorsUI {
    double left = 0, top = 0, right = 0, bottom = 0;
    friend bool operator==(const FloatAnchorsUI&, const FloatAnchorsUI&) = default;
};

// A control. Owns its cover and its custom attributes; the parent (a
// container) owns the control, the manager is not owned. Created by the
// dialog builder or by code, deleted through destroySelf (directly, by its
// container, or deferred by the manager). UI thread only.
class CControlUI {
public:
    CControlUI();
    CControlUI(const CControlUI&) = delete;
    CControlUI& operator=(const CControlUI&) = delete;

    // --- Identity and tree ---
    // Leaves the manager's mouse-leave watchers when attached, then deletes itself.
    virtual void destroySelf();
    // Deletes the cover, frees custom attributes, runs the destroy hooks and
    // lets an attached manager forget every reference to this control.
    virtual ~CControlUI();
    virtual const CStringUI& controlName() const;
    // Renames; an attached control's manager name map follows (the new name
    // is registered unless another control holds it).
    virtual void assignName(std::wstring_view name);
    virtual std::wstring_view typeName() const;
    // The object answering to `name` ("Control" here; containers answer
    // "IContainer" with their IContainerUI), or null. Cast the result to the
    // type the name stands for.
    virtual void* castTo(std::wstring_view name);
    // ControlFlags bits (TabStop, SetCursor); 0 here.
    virtual unsigned behaviourFlags() const;
    // The native window the control owns, or null.
    virtual platform::WindowHandle nativeHandle() const;
    // Performs the control's action (a button clicks); true when visible and enabled here.
    virtual bool trigger();
    virtual CFormManagerUI* owningManager() const;
    // Stores manager and parent (the cover is bound first, with this control
    // as parent); with `init` and a parent, runs initialise().
    virtual void bindManager(CFormManagerUI* manager, CControlUI* parent, bool init = true);
    virtual CControlUI* parentControl() const;
    virtual CControlUI* coverControl() const;
    // Replaces the cover (the old one is destroyed); the new cover is owned,
    // attached with this control as parent and laid out with it.
    virtual void assignCover(CControlUI* cover);

    // --- Text ---
    virtual const CStringUI& textValue() const;
    // Unchanged text does nothing; else stores and invalidates.
    virtual void assignText(std::wstring_view text);

    // --- Position ---
    virtual const platform::Rect& bounds() const;
    // Position relative to the parent's top-left; empty without parent.
    virtual platform::Rect boundsInParent() const;
    // The client area children are laid out in (the position here).
    virtual platform::Rect innerBounds() const;
    // Sets the position (relative to the parent for a floating control);
    // runs the size hooks and invalidates old and new position when asked.
    virtual void place(platform::Rect rect, bool needInvalidate = true);
    virtual void shiftBy(int dx, int dy, bool needInvalidate = true);
    virtual int width() const;
    virtual int height() const;
    virtual int x() const;
    virtual int y() const;

    // --- Sizing constraints (setters request the parent's layout) ---
    // Setters take skin units (as markup writes them); getters answer in
    // device pixels at the window's scale, which is what layouts and hit
    // tests work in (docs/scaling.md).
    virtual platform::Rect padding() const;
    virtual void assignPadding(const platform::Rect& padding);
    virtual platform::Point fixedXY() const;
    virtual void assignFixedXY(platform::Point xy);
    virtual FloatAnchorsUI floatAnchors() const;
    virtual void assignFloatAnchors(const FloatAnchorsUI& anchors);
    virtual int fixedWidth() const;
    virtual void assignFixedWidth(int width); // negative ignored
    virtual int fixedHeight() const;
    virtual void assignFixedHeight(int height); // negative ignored
    virtual int minWidth() const;
    virtual void assignMinWidth(int width); // negative or unchanged ignored
    virtual int maxWidth() const;           // never below minWidth()
    virtual void assignMaxWidth(int width);
    virtual int minHeight() const;
    virtual void assignMinHeight(int height);
    virtual int maxHeight() const; // never below minHeight()
    virtual void assignMaxHeight(int height);

    // The stored values in skin units (what the getters above scale).
    platform::Point skinFixedXY() const { return m_fixedXY; }
    int skinFixedWidth() const { return m_fixedWidth; }
    int skinFixedHeight() const { return m_fixedHeight; }

    // --- Tooltip, shortcut, menu, user data, tag ---
    virtual const CStringUI& tooltip() const;
    // Every "<n>" becomes a line break (CR LF).
    virtual void assignTooltip(std::wstring_view text);
    virtual void assignTooltipWidth(int width);
    virtual int tooltipWidth() const;
    virtual wchar_t shortcut() const;
    virtual void assignShortcut(wchar_t ch);
    virtual bool contextMenuUsed() const;
    virtual void assignContextMenuUsed(bool used);
    virtual const CStringUI& userData() const;
    virtual void assignUserData(std::wstring_view text);
    virtual std::uintptr_t tag() const;
    virtual void assignTag(std::uintptr_t tag);

    // --- Visibility, enabled state, focus ---
    // Visible and internally visible (not hidden by a hidden container).
    virtual bool isShown() const;
    virtual void assignShown(bool visible = true);
    // Set by a container on its children: its own effective visibility.
    virtual void assignInheritedShown(bool visible = true);
    virtual bool enabledState() const;
    virtual void assignEnabled(bool enabled = true);
    virtual bool mouseEnabled() const;
    virtual void assignMouseEnabled(bool enabled = true);
    virtual bool keyboardEnabled() const; // false while disabled
    virtual void assignKeyboardEnabled(bool enabled = true);
    virtual bool hasFocus() const;
    // Asks the manager to focus this control (the window is not focused).
    virtual void takeFocus();
    virtual bool isFloating() const;
    virtual void assignFloating(bool floating = true);

    // --- Tree walk, initialisation, events ---
    // Visits this control (and its cover, containers their children) as the
    // FindFlags say; the first non-null callback result is returned.
    virtual CControlUI* walkTree(FindControlProc proc, void* data, unsigned flags);
    // onInitialise, then the init hooks.
    virtual void initialise();
    virtual void onInitialise();
    // The event hooks, then handleEvent unless a hook returned false.
    virtual void dispatchEvent(TInputEventUI& event);
    virtual void handleEvent(TInputEventUI& event);

    // --- Attributes ---
    virtual CStringUI readAttribute(std::wstring_view name) const;
    // One markup attribute (table in ControlUI.cpp); unknown names become custom attributes.
    virtual void applyAttribute(std::wstring_view name, std::wstring_view value);
    virtual CStringUI attributeText() const;
    // name="value" pairs separated by exactly one blank; a malformed pair ends it.
    virtual void applyAttributeText(std::wstring_view text);
    virtual bool autoWidth() const;
    virtual void assignAutoWidth(bool on);
    virtual bool autoHeight() const;
    virtual void assignAutoHeight(bool on);
    // The size the control wants for the available size: (fixed width, fixed height) here.
    virtual platform::Size measure(platform::Size available);

    // --- Painting ---
    // Paints this control and its cover within `paint`; false when `stop`
    // was reached (painting ends there).
    virtual bool paintTree(platform::Canvas& canvas, const platform::Rect& paint, CControlUI* stop);
    // Background, back image, state image, text, border, within a rounded
    // clip when the border is round; containers then paint their children
    // (`paint` is the rectangle given to paintTree). False when `stop` was reached.
    virtual bool paintSelf(platform::Canvas& canvas, const platform::Rect& paint, CControlUI* stop);
    virtual void drawBackground(platform::Canvas& canvas);
    virtual void drawBackImage(platform::Canvas& canvas);
    virtual void drawStateImage(platform::Canvas& canvas);
    virtual void drawTextPart(platform::Canvas& canvas);
    virtual void drawBorder(platform::Canvas& canvas);
    // Called after the tree paint for registered post-painters: the post-paint hooks here.
    virtual void afterPaint(platform::Canvas& canvas, const platform::Rect& paint);

    // --- Non-virtual helpers ---
    // Invalidates the visible part of the position (cut by every ancestor).
    void markDirty();
    // Marks this control as needing layout and asks the manager for a pass.
    void scheduleLayout();
    // Lays out the parent (or this control without one).
    void scheduleParentLayout();
    bool layoutPending() const { return m_updateNeeded; }
    // The global colour adjustment when "colorhsl" is on; the colour otherwise.
    platform::Argb tintColour(platform::Argb colour) const;

    platform::Argb bkColour() const { return m_bkColour; }
    void assignBkColour(platform::Argb c);
    platform::Argb bkColour2() const { return m_bkColour2; }
    void assignBkColour2(platform::Argb c);
    platform::Argb bkColour3() const { return m_bkColour3; }
    void assignBkColour3(platform::Argb c);
    platform::Argb borderColour() const { return m_borderColour; }
    void assignBorderColour(platform::Argb c);
    platform::Argb focusBorderColour() const { return m_focusBorderColour; }
    void assignFocusBorderColour(platform::Argb c);
    bool colourAdjust() const { return m_colourAdjust; }
    void assignColourAdjust(bool on);
    const ImageDescription& bkImage() const { return m_bkImage; }
    void assignBkImage(std::wstring_view description);
    const ImageDescription& foreImage() const { return m_foreImage; }
    void assignForeImage(std::wstring_view description);
    // Skin units, as set; drawing converts them (borderRoundPx for the corners).
    platform::Rect borderSizes() const { return m_borderSizes; }
    void assignBorderSizes(const platform::Rect& sizes);
    int borderStyle() const { return m_borderStyle; }
    void assignBorderStyle(int style);
    platform::Size borderRound() const { return m_borderRound; }
    void assignBorderRound(platform::Size round);
    // The part of the position being painted (set by paintTree).
    const platform::Rect& paintRect() const { return m_paintRect; }

    // Virtual window: the own name when set, else the parent's (recursively).
    CStringUI virtualWindowOf() const;
    void assignVirtualWindow(std::wstring_view name);

    // Custom attributes: unknown markup attributes, kept by name. Empty
    // names or values are ignored; the first value of a name wins.
    void storeCustomAttribute(std::wstring_view name, std::wstring_view value);
    // Null when absent.
    const wchar_t* customAttribute(std::wstring_view name) const;
    void removeAllCustomAttributes();

    // --- Hooks ---
    CHookListUI<CControlUI>& initHooks() { return m_initHooks; }
    CHookListUI<CControlUI>& destroyHooks() { return m_destroyHooks; }
    CHookListUI<CControlUI>& sizeHooks() { return m_sizeHooks; }
    CHookListUI<TInputEventUI>& eventHooks() { return m_eventHooks; }
    CHookListUI<TNoticeUI>& noticeHooks() { return m_noticeHooks; }
    CHookListUI<CControlUI>& paintHooks() { return m_paintHooks; }
    CHookListUI<CControlUI>& postPaintHooks() { return m_postPaintHooks; }

protected:
    friend class CFormManagerUI; // keeps the name in step with its name map

    // Invalidates the control (markDirty); the name every setter uses.
    void invalidate() { markDirty(); }
    // A skin length, rectangle (edge by edge) or size in device pixels at the
    // manager's scale (unchanged unattached), and back.
    int toDevice(int skinLength) const;
    platform::Rect toDevice(const platform::Rect& skin) const;
    platform::Size toDevice(platform::Size skin) const;
    int toSkin(int deviceLength) const;
    platform::Size borderRoundPx() const { return toDevice(m_borderRound); }
    // The attached manager's default font height, or 12 unattached.
    int defaultFontHeight() const;
    // Stores a value the parent's layout reads; a change lays the parent out again.
    template <class T>
    void assignLayoutValue(T& field, const T& value) {
        if (field == value) return;
        field = value;
        scheduleParentLayout();
    }

    CHookListUI<CControlUI> m_initHooks;
    CHookListUI<CControlUI> m_destroyHooks;
    CHookListUI<CControlUI> m_sizeHooks;
    CHookListUI<TInputEventUI> m_eventHooks;
    CHookListUI<TNoticeUI> m_noticeHooks;
    CHookListUI<CControlUI> m_paintHooks;
    CHookListUI<CControlUI> m_postPaintHooks;

    CFormManagerUI* m_manager = nullptr;
    CControlUI* m_parent = nullptr;
    CControlUI* m_cover = nullptr; // owned
    CStringUI m_virtualWindow;
    CStringUI m_name;
    bool m_updateNeeded = true;
    bool m_contextMenuUsed = false;
    platform::Rect m_pos;
    platform::Rect m_padding;
    platform::Point m_fixedXY;
    int m_fixedWidth = 0;
    int m_fixedHeight = 0;
    int m_minWidth = 0;
    int m_minHeight = 0;
    int m_maxWidth = 9999;
    int m_maxHeight = 9999;
    bool m_visible = true;
    bool m_internVisible = true;
    bool m_enabled = true;
    bool m_mouseEnabled = true;
    bool m_keyboardEnabled = true;
    bool m_focused = false;
    bool m_floating = false;
    FloatAnchorsUI m_anchors;
    bool m_positionGuard = false; // the size hooks are running
    CStringUI m_text;
    CStringUI m_tooltip;
    wchar_t m_shortcut = 0;
    CStringUI m_userData;
    std::uintptr_t m_tag = 0;
    platform::Argb m_bkColour = 0;
    platform::Argb m_bkColour2 = 0;
    platform::Argb m_bkColour3 = 0;
    ImageDescription m_bkImage;
    ImageDescription m_foreImage;
    platform::Argb m_borderColour = 0;
    platform::Argb m_focusBorderColour = 0;
    bool m_colourAdjust = false;
    int m_borderStyle = 0;
    int m_tooltipWidth = 300;
    platform::Size m_borderRound;
    platform::Rect m_paintRect;
    platform::Rect m_borderSizes;
    std::unique_ptr<CStringMapUI<CStringUI>> m_customAttributes; // made on first use
    bool m_autoWidth = false;
    bool m_autoHeight = false;
};
