// CChrysanthemumLoadingUI: the spokes, their opacity and the turn.
#include "ui/controls/ChrysanthemumLoadingUI.h"

#include "ui/core/AttributeValues.h"
#include "ui/core/FormManagerUI.h"

#include <algorithm>
#include <cmath>
#include <numbers>

std::wstring_view CChrysanthemumLoadingUI::typeName() const { return L"ChrysanthemumLoading"; }

void* CChrysanthemumLoadingUI::castTo(std::wstring_view name) {
    if (name == L"ChrysanthemumLoading") return this;
    return CTickingControlUI::castTo(name);
}

void CChrysanthemumLoadingUI::assignSpokeCount(int count) {
    count = std::clamp(count, 3, 64);
    if (count == m_spokes) return;
    m_spokes = count;
    m_lead %= m_spokes;
    invalidate();
}

void CChrysanthemumLoadingUI::assignLeadSpoke(int index) {
    index = ((index % m_spokes) + m_spokes) % m_spokes;
    if (index == m_lead) return;
    m_lead = index;
    invalidate();
}

void CChrysanthemumLoadingUI::tick() { assignLeadSpoke(m_lead + 1); }

std::uint8_t CChrysanthemumLoadingUI::spokeAlpha(int behind, int count, std::uint8_t alpha) {
    if (count <= 0) return alpha;
    behind = ((behind % count) + count) % count;
    return static_cast<std::uint8_t>((alpha * (count - behind) + count / 2) / count);
}

CChrysanthemumLoadingUI::Geometry CChrysanthemumLoadingUI::geometry() const {
    // The radii and width are skin units; the spokes are paths, so they
    // scale without rounding.
    const double scale = m_manager ? m_manager->scale() : 1.0;
    const double half = std::min(m_pos.width(), m_pos.height()) / 2.0;
    Geometry g;
    g.outer = m_outer > 0 ? m_outer * scale : std::max(0.0, half - scale);
    g.inner = m_inner > 0 ? std::min<double>(m_inner * scale, g.outer) : g.outer * 0.45;
    g.width = m_width > 0 ? m_width * scale : std::max(2.0 * scale, g.outer / 5);
    return g;
}

void CChrysanthemumLoadingUI::applyAttribute(std::wstring_view name, std::wstring_view value) {
    if (name == L"spokes") {
        assignSpokeCount(attr::parseInt(value));
        return;
    }
    if (name == L"spokecolor")
        m_colour = attr::parseColour(value);
    else if (name == L"innerradius")
        m_inner = std::max(0, attr::parseInt(value));
    else if (name == L"outerradius")
        m_outer = std::max(0, attr::parseInt(value));
    else if (name == L"spokewidth")
        m_width = std::max(0, attr::parseInt(value));
    else {
        CTickingControlUI::applyAttribute(name, value);
        return;
    }
    invalidate();
}

void CChrysanthemumLoadingUI::drawStateImage(platform::Canvas& canvas) {
    CTickingControlUI::drawStateImage(canvas);
    const Geometry g = geometry();
    if (g.outer <= g.inner) return;
    const double cx = (m_pos.left + m_pos.right) / 2.0;
    const double cy = (m_pos.top + m_pos.bottom) / 2.0;
    const auto alpha = static_cast<std::uint8_t>(m_colour >> 24);
    for (int i = 0; i < m_spokes; ++i) {
        // Clockwise from twelve o'clock, in screen coordinates (y down).
        const double a = 2 * std::numbers::pi * i / m_spokes;
        const double dx = std::sin(a), dy = -std::cos(a);
        const double nx = -dy * g.width / 2, ny = dx * g.width / 2;
        auto at = [&](double r, double side) {
            return platform::PointF{static_cast<float>(cx + dx * r + nx * side),
                                    static_cast<float>(cy + dy * r + ny * side)};
        };
        platform::Path spoke;
        spoke.addLine(at(g.inner, -1), at(g.outer, -1));
        spoke.addLine(at(g.outer, -1), at(g.outer, 1));
        spoke.addLine(at(g.outer, 1), at(g.inner, 1));
        spoke.closeFigure();
        const std::uint8_t a8 = spokeAlpha(m_lead - i, m_spokes, alpha);
        canvas.fillPath(spoke, (m_colour & 0xFFFFFFu) | (static_cast<platform::Argb>(a8) << 24));
    }
}
