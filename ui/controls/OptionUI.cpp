// COptionUI: group membership, the selection rule and the selected look.
#include "ui/controls/OptionUI.h"

#include "ui/core/AttributeValues.h"
#include "ui/core/FormManagerUI.h"

using platform::Size;

COptionUI::~COptionUI() { leaveCurrentGroup(); }

std::wstring_view COptionUI::typeName() const { return L"Option"; }

void* COptionUI::castTo(std::wstring_view name) {
    if (name == L"Option") return this;
    return CButtonUI::castTo(name);
}

void COptionUI::leaveCurrentGroup() {
    if (m_attached && m_manager && !m_groupName.isEmpty()) m_manager->leaveGroup(m_groupName.view(), this);
}

void COptionUI::bindManager(CFormManagerUI* manager, CControlUI* parent, bool init) {
    // Leaving the old manager's group here, while it is still known, keeps a
    // detached option (deferred deletion detaches first) out of a group it
    // could no longer leave when it is destroyed.
    if (m_attached && m_manager != manager) {
        leaveCurrentGroup();
        m_attached = false;
    }
    CButtonUI::bindManager(manager, parent, init);
    if (manager && init) {
        m_attached = true;
        if (!m_groupName.isEmpty()) manager->joinGroup(m_groupName.view(), this);
    }
}

void COptionUI::assignGroupName(std::wstring_view name) {
    if (m_groupName == name) return;
    leaveCurrentGroup();
    m_groupName = name;
    if (m_attached && m_manager && !m_groupName.isEmpty()) m_manager->joinGroup(m_groupName.view(), this);
    invalidate();
}

void COptionUI::assignSelected(bool selected, bool notify) {
    if (selected == m_selected) return;
    m_selected = selected;
    if (selected)
        m_state |= State::Selected;
    else
        m_state &= ~State::Selected;
    if (m_attached && m_manager) {
        if (!m_groupName.isEmpty()) {
            // Deselecting a grouped option is silent; selecting one
            // deselects the others (silently too) and reports once.
            if (selected) {
                if (const CPtrArrayUI<CControlUI>* group = m_manager->groupMembers(m_groupName.view())) {
                    CPtrArrayUI<CControlUI> members = *group;
                    for (CControlUI* member : members) {
                        if (member == this) continue;
                        if (auto* option = static_cast<COptionUI*>(member->castTo(L"Option")))
                            option->assignSelected(false, notify);
                    }
                }
                if (notify) m_manager->sendNotice(this, L"selectchanged");
            }
        } else if (notify) {
            m_manager->sendNotice(this, L"selectchanged");
        }
    }
    invalidate();
}

bool COptionUI::trigger() {
    if (!CButtonUI::trigger()) return false;
    assignSelected(m_groupName.isEmpty() ? !m_selected : true, true);
    return true;
}

void COptionUI::assignEnabled(bool enabled) {
    CButtonUI::assignEnabled(enabled);
    if (!enabled) m_state = m_selected ? State::Selected : 0u;
}

void COptionUI::applyAttribute(std::wstring_view name, std::wstring_view value) {
    if (name == L"group")
        assignGroupName(value);
    else if (name == L"selected")
        assignSelected(attr::parseBool(value), true);
    else if (name == L"selectedimage")
        setImage(m_selectedImage, value);
    else if (name == L"selectedhotimage")
        setImage(m_selectedHotImage, value);
    else if (name == L"foreimage")
        setImage(m_optionForeImage, value);
    else if (name == L"selectedbkcolor") {
        m_selectedBkColour = attr::parseColour(value);
        invalidate();
    } else if (name == L"selectedtextcolor") {
        m_selectedTextColour = attr::parseColour(value);
        invalidate();
    } else
        CButtonUI::applyAttribute(name, value);
}

Size COptionUI::measure(Size /*available*/) {
    if (fixedHeight() > 0) return {fixedWidth(), fixedHeight()};
    int textHeight = m_manager ? m_manager->fontInfo(m_font).metrics.height : defaultFontHeight();
    return {fixedWidth(), textHeight + toDevice(8)};
}

void COptionUI::drawBackground(platform::Canvas& canvas) {
    if (!m_enabled) {
        if (m_disabledBkColour != 0)
            fillBackground(canvas, m_disabledBkColour);
        else
            CButtonUI::drawBackground(canvas);
        return;
    }
    if (hasFocus() && m_focusedBkColour != 0)
        fillBackground(canvas, m_focusedBkColour);
    else if ((m_state & State::Hot) && m_hotBkColour != 0)
        fillBackground(canvas, m_hotBkColour);
    else if (m_selected && m_selectedBkColour != 0)
        fillBackground(canvas, m_selectedBkColour);
    else
        CButtonUI::drawBackground(canvas);
}

void COptionUI::drawStateImage(platform::Canvas& canvas) {
    if (m_enabled && m_selected) {
        if (((m_state & State::Hot) && drawImage(canvas, m_selectedHotImage)) || drawImage(canvas, m_selectedImage)) {
            drawImage(canvas, m_optionForeImage);
            return;
        }
    }
    // An option shows no pressed look of its own.
    const unsigned pushed = m_state & State::Pushed;
    m_state &= ~State::Pushed;
    CButtonUI::drawStateImage(canvas);
    m_state |= pushed;
    drawImage(canvas, m_optionForeImage);
}

void COptionUI::drawTextPart(platform::Canvas& canvas) {
    if (!m_enabled || !m_selected) {
        const unsigned pushed = m_state & State::Pushed;
        m_state &= ~State::Pushed;
        drawButtonText(canvas);
        m_state |= pushed;
        return;
    }
    const platform::Argb own = m_textColour;
    if (m_selectedTextColour != 0) m_textColour = m_selectedTextColour;
    // The label's plain text on purpose: the button's would draw the hot,
    // pushed and focused colours over the selected one.
    CLabelUI::drawTextPart(canvas); // NOLINT(bugprone-parent-virtual-call)
    m_textColour = own;
}
