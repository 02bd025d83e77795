// snapshotBitmap: a copy of part of a window as painted, from the offscreen
// surface or from a tree paint that stops at a given control.
#include "ui/core/ManagerDrawing.h"

#include "ui/core/ControlUI.h"
#include "ui/core/FormManagerUI.h"

using platform::Canvas;
using platform::Rect;
using platform::Surface;

namespace render {

Surface snapshotBitmap(CFormManagerUI* manager, const Rect& rect, CControlUI* stop, platform::Argb background) {
    if (!manager || rect.isEmpty() || rect.right <= 0 || rect.bottom <= 0) return Surface();
    // The tree painted as far as `stop`, when asked for, else what the last paint left.
    Surface painted;
    const Surface* source = &manager->offscreenSurface();
    if (stop || manager->isLayered() || source->isEmpty()) {
        painted = Surface(rect.right, rect.bottom);
        if (painted.isEmpty()) return Surface();
        if (CControlUI* root = manager->root()) {
            Canvas canvas(painted);
            canvas.intersectClipRect(rect);
            root->paintTree(canvas, rect, stop);
        }
        source = &painted;
    }
    Surface out = createArgbBitmap(rect.width(), rect.height());
    if (out.isEmpty()) return out;
    Canvas canvas(out);
    canvas.copyFrom(*source, out.bounds(), {rect.left, rect.top});
    if ((background >> 24) != 0) fillColour(canvas, out.bounds(), background);
    return out;
}

} // namespace render
