// The drawing entry points that take a paint manager: image descriptions,
// plain and rich text through the manager's skin resources (and, for rich
// text, its last mouse position), and snapshots of the painted tree. They are
// thin: the drawing itself is ui/render's, over a CSkinResourcesUI. Included
// by FormManagerUI.h, so code holding a manager has them.
#pragma once

#include "platform/graphics/Geometry.h"
#include "platform/graphics/Graphics.h"
#include "ui/base/StringUI.h"
#include "ui/render/RenderEngine.h"

#include <string_view>

class CControlUI;
class CFormManagerUI;

namespace render {

// render::drawImageDescription through the manager's resources. Without a
// manager nothing is resolved: an image resolved earlier is still drawn.
bool drawImageDescription(platform::Canvas* canvas, CFormManagerUI* manager, const platform::Rect& item,
                          const platform::Rect& paint, ImageDescription& description);

// Resolves through the manager's resources; true without a manager.
bool resolveImageDescription(CFormManagerUI* manager, ImageDescription& description);

// render::drawPlainText in the manager's font `fontId`; nothing without a manager.
void drawPlainText(platform::Canvas& canvas, CFormManagerUI* manager, platform::Rect& rect, std::wstring_view text,
                   platform::Argb colour, int fontId, unsigned flags);

// render::drawRichText with the manager's resources, a link under the
// manager's last mouse position drawn hovered. Without a manager nothing is
// drawn and `linkCount` becomes 0.
void drawRichText(platform::Canvas& canvas, CFormManagerUI* manager, platform::Rect& rect, std::wstring_view text,
                  platform::Argb colour, platform::Rect* links, CStringUI* linkTargets, int& linkCount, int fontId,
                  unsigned flags);

// A copy of `rect` (client coordinates) of the window as painted, as a
// 32-bit bottom-up surface of the rectangle's size. Without a stop control
// (and for a window that is not layered) it is copied from the window's
// offscreen surface; otherwise the tree is painted into a scratch surface
// up to, and without, `stop`. A background colour with non-zero alpha is
// blended over the copy. Empty without a manager or for an empty rectangle.
platform::Surface snapshotBitmap(CFormManagerUI* manager, const platform::Rect& rect, CControlUI* stop,
                                 platform::Argb background);

} // namespace render
