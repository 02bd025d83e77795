// The manager-taking drawing entry points, forwarding to ui/render.
#include "ui/core/ManagerDrawing.h"

#include "ui/core/FormManagerUI.h"

using platform::Argb;
using platform::Canvas;
using platform::Rect;

namespace render {

bool drawImageDescription(Canvas* canvas, CFormManagerUI* manager, const Rect& item, const Rect& paint,
                          ImageDescription& description) {
    if (!manager) return drawResolvedImage(canvas, item, paint, description);
    return drawImageDescription(canvas, manager->skinResources(), item, paint, description);
}

bool resolveImageDescription(CFormManagerUI* manager, ImageDescription& description) {
    if (!manager) return true;
    return resolveImageDescription(manager->skinResources(), description);
}

void drawPlainText(Canvas& canvas, CFormManagerUI* manager, Rect& rect, std::wstring_view text, Argb colour, int fontId,
                   unsigned flags) {
    if (!manager) return;
    drawPlainText(canvas, manager->skinResources(), rect, text, colour, fontId, flags);
}

void drawRichText(Canvas& canvas, CFormManagerUI* manager, Rect& rect, std::wstring_view text, Argb colour, Rect* links,
                  CStringUI* linkTargets, int& linkCount, int fontId, unsigned flags) {
    if (!manager) {
        linkCount = 0;
        return;
    }
    drawRichText(canvas, manager->skinResources(), manager->lastMousePosition(), rect, text, colour, links, linkTargets,
                 linkCount, fontId, flags);
}

} // namespace render
