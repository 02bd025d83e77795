// The per-window paint manager: owns the window's control tree, turns window
// messages into control events, keeps focus, hover, capture and control
// timers, raises notices to listeners, lays out and paints the tree through
// an offscreen surface, shows tooltips and applies the window element's
// attributes. It owns the window's skin resources (ui/render's
// CSkinResourcesUI) and forwards the resource operations to them; the skin
// source, the shared tables and the language table are process-wide.
//
// Index of the implementation:
//   FormManagerResources.cpp  skin source, custom window attributes
//   FormManagerUI.cpp         set-up, tree, notices, timers, focus, groups, window attributes
//   FormManagerInput.cpp      handleMessage, mouse, keys, tooltips, translateQueued
//   FormManagerPaint.cpp      WM_PAINT, invalidation, offscreen surface
#pragma once

#include "platform/graphics/Geometry.h"
#include "platform/graphics/Graphics.h"
#include "platform/window/Window.h"
#include "platform/window/builtin/WindowTooltip.h"
#include "ui/core/EventsUI.h"
#include "ui/base/PtrArrayUI.h"
#include "ui/base/StringMapUI.h"
#include "ui/base/StringUI.h"
#include "ui/core/ManagerDrawing.h"
#include "ui/render/ImageDescription.h"
#include "ui/render/SkinResources.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

class CControlUI;

// One per window, held by value in the window object, which attaches it to
// its window when created and passes every window message to handleMessage
// first. Owns the root control (and so the tree), the window's resource
// tables, custom attributes, queued notices and deferred deletions; the
// listener, filter, translator and post-painter objects are not owned.
// Everything runs on the UI thread without locks.
class CFormManagerUI {
public:
    // The window timer of the layered refresh; control timers never use it.
    static constexpr std::uintptr_t kLayeredRefreshTimer = 0x2000;
    static constexpr unsigned kLayeredRefreshMs = 10;

    CFormManagerUI();
    ~CFormManagerUI();
    CFormManagerUI(const CFormManagerUI&) = delete;
    CFormManagerUI& operator=(const CFormManagerUI&) = delete;

    // --- Set-up and tree ---
    // Clears the name map, the window's resource tables, option groups,
    // custom attributes and timers; stores the name; a new window is stored
    // and the manager joins the process-wide list of managers.
    void attachWindow(platform::WindowHandle window, std::wstring_view name);
    platform::WindowHandle hostWindow() const { return m_host; }

    // --- Scale (see docs/scaling.md) ---
    // Device pixels per skin unit. attachWindow takes it from the manager of
    // the window's owner or parent (popups, message boxes, tooltips and the
    // built-in edit follow their owner), else from the desktop
    // (platform::desktopScale).
    double scale() const { return m_scale; }
    // Sets the scale (snapped to quarters within 1..3); fonts and images are
    // chosen anew and the whole tree is laid out again.
    void setScale(double scale);
    // A skin length in device pixels: round(length × scale), halves away from zero.
    int toDevice(int skinLength) const;
    // A skin edge offset from an origin in device pixels; the same rule as a
    // length, named for what it is used for.
    int edgeToDevice(int skinOffset) const { return toDevice(skinOffset); }
    platform::Size toDevice(platform::Size skin) const { return {toDevice(skin.cx), toDevice(skin.cy)}; }
    // Each edge of a skin rectangle converted on its own, so that rectangles
    // sharing an edge in skin units share it in device pixels.
    platform::Rect toDevice(const platform::Rect& skin) const;
    // A device length back in skin units (rounded the same way).
    int toSkin(int deviceLength) const;
    const CStringUI& windowName() const { return m_windowName; }
    // Makes `root` (owned from now on) the tree of the window. The old root
    // is deleted through the deferred work; focus, hover, click and key
    // controls are cleared, layout and focus become needed.
    bool setRoot(CControlUI* root);
    CControlUI* root() const { return m_root; }
    // Binds `control` and its subtree to this manager (parent: `parent`, or
    // the control's own) with initialisation, and registers every name.
    bool initControlTree(CControlUI* control, CControlUI* parent = nullptr);
    CControlUI* findControlByName(std::wstring_view name) const;
    // The topmost visible control under the point (client coordinates) that takes hit tests.
    CControlUI* findControlAt(platform::Point point) const;
    // Renames an attached control in the name map; false when the control
    // is not this manager's, the name is empty or taken by another control.
    bool changeControlName(CControlUI* control, std::wstring_view newName);
    // Drops every reference to a control being destroyed (called by its destructor).
    void forgetControl(CControlUI* control);
    // Detaches the control and deletes it with the next deferred work (safe
    // from within an event or notice about it).
    void deferDelete(CControlUI* control);
    // Controls that want MouseLeave events of other controls (each at most once).
    void wantMouseLeave(CControlUI* control);
    void removeMouseLeave(CControlUI* control);

    bool addListener(INotifyUI* listener);
    bool removeListener(INotifyUI* listener);
    bool addMessageHook(IMessageFilterUI* filter);
    bool removeMessageHook(IMessageFilterUI* filter);
    bool addPostPainter(CControlUI* control);
    bool removePostPainter(CControlUI* control);
    bool addTranslator(ITranslateAccelerator* translator);
    bool removeTranslator(ITranslateAccelerator* translator);
    // A native child window a control owns; its rectangle is invalidated.
    // False when the window is registered already.
    bool addNativeChild(CControlUI* control, platform::WindowHandle window);
    bool removeNativeChild(platform::WindowHandle window);
    // The control that registered the native window, or null.
    CControlUI* nativeChildControl(platform::WindowHandle window) const;

    // --- Input and focus ---
    // Handles one window message; true when it was handled (with `result`).
    // Messages before attachWindow are not handled.
    bool handleMessage(unsigned message, platform::WParam wParam, platform::LParam lParam, platform::LResult& result);
    // Tab navigation, Alt shortcuts and system keys of a queued message; true when it was used.
    bool preTranslate(unsigned message, platform::WParam wParam, platform::LParam lParam, platform::LResult& result);
    // Offers a queued message to the managers of its window (and, for a
    // child window, of its ancestors); true when one used it. The message
    // loops call this before translating and dispatching.
    static bool translateQueued(const platform::Message* message);
    // Moves the focus to `control` (null: no control). With focusWindow the
    // host window takes the OS focus too (unless no-activate).
    void focusControl(CControlUI* control, bool focusWindow = true);
    // For controls with native windows: clears the focus and lets the next
    // paint focus the first tab stop from `control` on.
    void focusFirstOrNext(CControlUI* control);
    // Focuses the next (previous) tab stop, wrapping; while layout is still
    // pending only schedules it for the next paint. Always true.
    bool focusNextTabStop(bool forward = true);
    CControlUI* focusedControl() const { return m_focus; }
    CControlUI* hoverControl() const { return m_hover; }
    CControlUI* clickControl() const { return m_click; }
    void captureMouse();
    void releaseMouse();
    bool isMouseCaptured() const { return m_captured; }
    unsigned hoverTime() const { return m_hoverTime; }
    void setHoverTime(unsigned ms) { m_hoverTime = ms; }

    // --- Control timers ---
    // Starts timer `localId` of the control (window timer ids 17..254, then
    // wrapping). A stopped timer of the same control and id is restarted on
    // its old window timer id. False when it runs already or cannot start.
    bool startTimer(CControlUI* control, unsigned localId, unsigned elapseMs);
    // False when no running timer matches.
    bool stopTimer(CControlUI* control, unsigned localId);
    void stopTimersOf(CControlUI* control);
    void stopAllTimers();

    // --- Notices ---
    // Synchronous: the sender's notice hooks, then every listener in
    // registration order. Asynchronous: queued for the deferred work; without
    // allowRepeat a queued notice of the same sender and kind is updated in
    // place instead.
    void sendNotice(TNoticeUI& notice, bool async = false, bool allowRepeat = true);
    void sendNotice(CControlUI* sender, std::wstring_view kind, platform::WParam wparam = 0,
                    platform::LParam lparam = 0, bool async = false, bool allowRepeat = true);

    // --- Option groups (membership; the selection rule is the options') ---
    // False for a null control, an empty name or a control already in the group.
    bool joinGroup(std::wstring_view group, CControlUI* control);
    // Null when the group does not exist.
    const CPtrArrayUI<CControlUI>* groupMembers(std::wstring_view group) const;
    void leaveGroup(std::wstring_view group, CControlUI* control);
    void removeAllGroups();

    // --- Painting ---
    void invalidateAll();
    // Adds the rectangle (client coordinates, clamped to be non-negative) to the update region.
    void invalidateRect(const platform::Rect& rect);
    // A layout pass runs at the next paint.
    void requestLayout() { m_layoutNeeded = true; }
    bool isPainting() const { return m_painting; }
    void setPainting(bool painting) { m_painting = painting; }
    // A canvas for measuring text (as the window's own device context would);
    // what is drawn on it is never shown.
    platform::Canvas& windowCanvas();
    // The offscreen surface of the last paint (client size); empty before the first.
    const platform::Surface& offscreenSurface() const { return m_offscreen; }
    // Paints the whole tree into `canvas` (as WM_PRINTCLIENT does).
    void printClient(platform::Canvas& canvas);

    // --- Window properties (the window element's attributes) ---
    // Setters take skin units, getters answer in device pixels (the window
    // system's units) at the window's scale.
    // One attribute of the window element; unknown names become custom window attributes.
    void applyWindowAttribute(std::wstring_view name, std::wstring_view value);
    platform::Size initialSize() const { return toDevice(m_initialSize); }
    // Resizes the window when no root exists yet.
    void setInitialSize(platform::Size size);
    platform::Rect sizeBox() const { return toDevice(m_sizeBox); }
    void setSizeBox(const platform::Rect& box) { m_sizeBox = box; }
    // A bottom of -1 is resolved to the window's current height (and stored).
    platform::Rect caption();
    void setCaption(const platform::Rect& caption) { m_caption = caption; }
    platform::Size roundCorner() const { return toDevice(m_roundCorner); }
    void setRoundCorner(platform::Size round) { m_roundCorner = round; }
    platform::Size minTrackSize() const { return toDevice(m_minTrack); }
    void setMinTrackSize(platform::Size size) { m_minTrack = size; }
    platform::Size maxTrackSize() const { return toDevice(m_maxTrack); }
    void setMaxTrackSize(platform::Size size) { m_maxTrack = size; }
    bool showDirty() const { return m_showDirty; }
    void setShowDirty(bool on) { m_showDirty = on; }
    bool noActivate() const { return m_noActivate; }
    void setNoActivate(bool on) { m_noActivate = on; }
    bool useVirtualWindow() const { return m_useVirtualWindow; }
    void setUseVirtualWindow(bool on) { m_useVirtualWindow = on; }
    // Per-pixel layered output: the tree (over the layered image, inside a
    // drawn shadow ring of shadowSize) is handed to the window as a whole
    // 32-bit surface, refreshed by a 10 ms window timer (kLayeredRefreshTimer)
    // that paints only what was invalidated. Nothing happens for a child
    // window, without a window, or where the display has no layered windows
    // (the window then stays a plain one, without the shadow inset).
    void switchLayered(bool on);
    bool isLayered() const { return m_perPixelLayered; }
    std::uint8_t layeredOpacity() const { return m_layeredOpacity; }
    void setLayeredOpacity(std::uint8_t opacity);
    const ImageDescription& layeredImage() const { return m_layeredImage; }
    void setLayeredImage(std::wstring_view description);
    platform::Rect noLayeredPadding() const { return toDevice(m_noLayeredPadding); }
    void setNoLayeredPadding(const platform::Rect& padding) { m_noLayeredPadding = padding; }
    int shadowSize() const { return toDevice(m_shadowSize); }
    void setShadowSize(int size);
    platform::Argb shadowColour() const { return m_shadowColour; }
    void setShadowColour(platform::Argb colour);
    float shadowFocusScale() const { return m_shadowFocusScale; }
    void setShadowFocusScale(float scale);
    // Whole-window opacity (applied to the window at once).
    void applyOpacity(std::uint8_t opacity);

    // --- Skin source (process-wide) ---
    static void setInstance(void* instance);
    static void* instanceHandle();
    // Registers the in-memory skin archive: the first call opens it (the
    // bytes must stay alive for the rest of the process), later calls only
    // change the password. Null or empty password: none.
    static void setSkinArchive(const void* bytes, std::size_t size, const char* password);
    // Folder prefix for documents read without an archive (appended to as is).
    static void setResourcePath(std::wstring_view path);
    static const std::wstring& resourcePath();

    // --- Skin resources (forwarded to the window's CSkinResourcesUI) ---
    CSkinResourcesUI& skinResources() { return m_skin; }
    const CSkinResourcesUI& skinResources() const { return m_skin; }
    // Images: see CSkinResourcesUI for the lookup and storage rules.
    ImageHandle addImage(std::wstring_view name, const wchar_t* type, std::uint32_t mask, bool shared) {
        return m_skin.addImage(name, type, mask, shared);
    }
    ImageHandle findImage(std::wstring_view name) const { return m_skin.findImage(name); }
    ImageHandle findOrLoadImage(std::wstring_view name, const wchar_t* type, std::uint32_t mask) {
        return m_skin.findOrLoadImage(name, type, mask);
    }
    void removeAllImages(bool shared) { m_skin.removeAllImages(shared); }
    // Fonts.
    FontHandle addFont(int id, std::wstring_view face, int size, bool bold, bool underline, bool italic, bool strikeout,
                       bool shared) {
        return m_skin.addFont(id, face, size, bold, underline, italic, strikeout, shared);
    }
    void setDefaultFont(std::wstring_view face, int size, bool bold, bool underline, bool italic, bool strikeout,
                        bool shared) {
        m_skin.setDefaultFont(face, size, bold, underline, italic, strikeout, shared);
    }
    FontHandle fontHandle(int id) { return m_skin.fontHandle(id); }
    const FontRecord& fontInfo(int id) { return m_skin.fontInfo(id); }
    const FontRecord& fontInfoOf(const FontHandle& font) { return m_skin.fontInfoOf(font); }
    FontHandle findFont(std::wstring_view face, int size, bool bold, bool underline, bool italic,
                        bool strikeout) const {
        return m_skin.findFont(face, size, bold, underline, italic, strikeout);
    }
    const FontRecord& defaultFontInfo() { return m_skin.defaultFontInfo(); }
    void removeAllFonts(bool shared) { m_skin.removeAllFonts(shared); }
    // Default attributes by control tag.
    void addDefaultAttributes(std::wstring_view tag, std::wstring_view attributes, bool shared) {
        m_skin.addDefaultAttributes(tag, attributes, shared);
    }
    const wchar_t* defaultAttributes(std::wstring_view tag) const { return m_skin.defaultAttributes(tag); }
    void removeAllDefaultAttributes(bool shared) { m_skin.removeAllDefaultAttributes(shared); }

    // --- Custom window attributes ---
    // Ignored for an empty name or value; the first value of a name wins.
    void addWindowAttribute(std::wstring_view name, std::wstring_view value);
    const wchar_t* windowAttribute(std::wstring_view name) const;
    void removeAllWindowAttributes();

    void useSharedResources(bool use) { m_skin.useSharedResources(use); }
    bool usesSharedResources() const { return m_skin.usesSharedResources(); }

    // --- Colours (per window, copied from the shared defaults) ---
    platform::Argb disabledTextColour() const { return m_skin.disabledTextColour(); }
    platform::Argb defaultTextColour() const { return m_skin.defaultTextColour(); }
    platform::Argb linkColour() const { return m_skin.linkColour(); }
    platform::Argb linkHoverColour() const { return m_skin.linkHoverColour(); }
    platform::Argb selectedColour() const { return m_skin.selectedColour(); }
    void setDisabledTextColour(platform::Argb c) { m_skin.setDisabledTextColour(c); }
    void setDefaultTextColour(platform::Argb c) { m_skin.setDefaultTextColour(c); }
    void setLinkColour(platform::Argb c) { m_skin.setLinkColour(c); }
    void setLinkHoverColour(platform::Argb c) { m_skin.setLinkHoverColour(c); }
    void setSelectedColour(platform::Argb c) { m_skin.setSelectedColour(c); }

    // --- Language table (process-wide) ---
    // Stores a copy under the number, replacing an earlier text.
    static void addLanguageText(int number, std::wstring_view text) { CSkinResourcesUI::addLanguageText(number, text); }
    static const wchar_t* languageText(int number) { return CSkinResourcesUI::languageText(number); }
    static void removeAllLanguageTexts() { CSkinResourcesUI::removeAllLanguageTexts(); }
    // Replaces every "%{N}" whose number has a language text by that text.
    static void expandTextIds(CStringUI& text) { CSkinResourcesUI::expandTextIds(text); }

    // --- Shared tables (process-wide) ---
    static ResourceTables& sharedResources() { return CSkinResourcesUI::sharedTables(); }

    // --- Mouse ---
    // Last mouse position in client coordinates, (-1, -1) before any. The
    // message half of the manager keeps it current; rich text reads it.
    platform::Point lastMousePosition() const { return m_lastMousePosition; }
    void setLastMousePosition(platform::Point p) { m_lastMousePosition = p; }

private:
    struct DestroySelf {
        void operator()(CControlUI* control) const;
    };
    struct TimerRecord {
        CControlUI* control = nullptr;
        unsigned localId = 0;
        platform::WindowHandle window = nullptr;
        std::uintptr_t windowTimerId = 0;
        bool killed = false;
    };

    void clearWindowResources();
    // The scale of the nearest owner or parent window with a manager, else the desktop's.
    double inheritedScale(platform::WindowHandle window);
    // Flags every control of the subtree (covers and scroll bars too) as needing layout.
    static void markTreeForLayout(CControlUI* root);
    // Kills and forgets this window's timers that `match` accepts.
    template <typename Match>
    void stopTimersWhere(Match match);

    // FormManagerUI.cpp
    void deliverNotice(TNoticeUI& notice);
    void postDeferredWork();
    void runDeferredWork();
    void deleteDeferred();
    void clearQueuedNotices();
    // FormManagerInput.cpp: handleMessage's steps, one per message family.
    bool runMessageFilters(unsigned message, platform::WParam wParam, platform::LParam lParam,
                           platform::LResult& result);
    bool handleLayeredFrame(unsigned message, platform::WParam wParam, platform::LResult& result);
    void onSize();
    void onKillFocus(platform::WParam wParam);
    void onClose();
    bool onSetCursor(platform::WParam wParam, platform::LParam lParam, platform::LResult& result);
    void onGetMinMaxInfo(platform::LParam lParam) const;
    // WM_NOTIFY, WM_COMMAND and the colour queries go back to the child window that sent them.
    bool reflectToChild(unsigned message, platform::WParam wParam, platform::LParam lParam, platform::LResult& result);
    void onTimer(platform::WParam wParam, platform::LParam lParam);
    void dispatchMouseEvent(UiEventKind kind, CControlUI* control, platform::WParam wParam, platform::LParam lParam);
    void onMouseButton(unsigned message, platform::WParam wParam, platform::LParam lParam);
    void onContextMenu(platform::WParam wParam, platform::LParam lParam);
    void onMouseWheel(platform::WParam wParam, platform::LParam lParam);
    void onKey(unsigned message, platform::WParam wParam, platform::LParam lParam);
    void onPrintClient(platform::WParam wParam, platform::LParam lParam);
    void onMouseMove(platform::Point point);
    void onMouseHover(platform::Point point);
    void onMouseLeaveMessage();
    TInputEventUI makeEvent(UiEventKind kind, CControlUI* sender, platform::Point pos) const;
    bool belongsHere(const CControlUI* control) const;
    void hideTooltip();
    void destroyTooltip();
    platform::Point screenToClientPoint(platform::LParam lParam) const;
    // FormManagerPaint.cpp
    void onPaint();
    void onLayeredPaint();
    // Lays out what needs it; the root (when it needs layout) goes to `rootRect`.
    void layoutPass(const platform::Rect& rootRect);
    void printNativeChildren(const platform::Rect& paint);
    void correctAlpha(const platform::Rect& paint);
    void drawShadow();

    // Window.
    CStringUI m_windowName;
    double m_scale = 1.0;
    platform::WindowHandle m_host = nullptr;
    std::unique_ptr<platform::Surface> m_measureSurface;
    std::unique_ptr<platform::Canvas> m_measureCanvas;
    platform::Surface m_offscreen;
    platform::Surface m_background; // the drawn layered image
    // Tooltip.
    int m_tooltipWidthCache = -1;
    platform::WindowHandle m_tooltipWindow = nullptr;
    FontHandle m_tooltipFont; // the scaled font the tip shows, kept alive while it may
    platform::ToolInfo m_toolInfo;
    CStringUI m_toolText;
    unsigned m_hoverTime = 1000;
    bool m_noActivate = false;
    bool m_showDirty = false;
    // Tree and input state.
    CControlUI* m_root = nullptr; // owned
    CControlUI* m_focus = nullptr;
    CControlUI* m_hover = nullptr;
    CControlUI* m_click = nullptr;
    CControlUI* m_key = nullptr;
    CControlUI* m_lastTooltip = nullptr;
    platform::Point m_lastMousePosition{-1, -1};
    // Window element settings.
    platform::Size m_minTrack;
    platform::Size m_maxTrack;
    platform::Size m_initialSize;
    platform::Rect m_sizeBox;
    platform::Size m_roundCorner;
    platform::Rect m_caption;
    int m_timerIdCounter = 4096;
    bool m_firstLayout = true;
    bool m_layoutNeeded = false;
    bool m_focusNeeded = false;
    // Layered modes and shadow: stored for the layered output.
    int m_shadowSize = 0;
    platform::Argb m_shadowColour = 0xFF000000;
    float m_shadowFocusScale = -1.0f;
    bool m_shadowDirty = false;
    std::uint8_t m_layeredOpacity = 255;
    bool m_perPixelLayered = false;
    bool m_layeredChanged = false;
    platform::Rect m_layeredUpdate;
    ImageDescription m_layeredImage;
    platform::Rect m_noLayeredPadding;
    bool m_mouseTracking = false;
    bool m_captured = false;
    bool m_painting = false;
    bool m_useVirtualWindow = false;
    bool m_deferredPosted = false;
    // Lists.
    CPtrArrayUI<INotifyUI> m_listeners;
    std::vector<std::unique_ptr<TimerRecord>> m_timers;
    CPtrArrayUI<IMessageFilterUI> m_filters;
    CPtrArrayUI<CControlUI> m_postPainters;
    CPtrArrayUI<platform::WindowObject> m_nativeWindows;
    CPtrArrayUI<CControlUI> m_nativeControls;
    // Detached controls waiting for the deferred work; they go through destroySelf.
    std::vector<std::unique_ptr<CControlUI, DestroySelf>> m_deferredDeletions;
    std::vector<std::unique_ptr<TNoticeUI>> m_queuedNotices;
    CPtrArrayUI<CControlUI> m_foundForUpdate;
    CPtrArrayUI<CControlUI> m_mouseLeaveWatchers;
    CStringMapUI<CControlUI*> m_names;
    CStringMapUI<CStringUI> m_windowAttributes;
    CStringMapUI<std::unique_ptr<CPtrArrayUI<CControlUI>>> m_groups;
    CSkinResourcesUI m_skin;
    CPtrArrayUI<ITranslateAccelerator> m_translators;
};
