// The framework's wide string with a 64-character inline buffer.
#include "ui/base/StringUI.h"

#include <cwctype>
#include <cstring>
#include <cwchar>

CStringUI::CStringUI() noexcept : m_data(m_inline) { m_inline[0] = 0; }

CStringUI::CStringUI(const wchar_t* text) : CStringUI() {
    if (text) assign(text);
}

CStringUI::CStringUI(std::wstring_view text) : CStringUI() { assign(text); }

CStringUI::CStringUI(const CStringUI& other) : CStringUI() { assign(other.view()); }

CStringUI::CStringUI(CStringUI&& other) noexcept : CStringUI() { takeFrom(other); }

void CStringUI::takeFrom(CStringUI& other) noexcept {
    if (other.isInline()) {
        std::wmemcpy(m_inline, other.m_inline, other.m_length + 1);
        m_length = other.m_length;
    } else {
        m_data = other.m_data;
        m_length = other.m_length;
        m_capacity = other.m_capacity;
        other.m_data = other.m_inline;
        other.m_capacity = kInlineCapacity;
    }
    other.m_length = 0;
    other.m_inline[0] = 0;
}

CStringUI& CStringUI::operator=(const CStringUI& other) {
    if (this != &other) assign(other.view());
    return *this;
}

CStringUI& CStringUI::operator=(CStringUI&& other) noexcept {
    if (this == &other) return *this;
    if (!isInline()) delete[] m_data;
    m_data = m_inline;
    m_capacity = kInlineCapacity;
    takeFrom(other);
    return *this;
}

CStringUI& CStringUI::operator=(std::wstring_view text) {
    assign(text);
    return *this;
}

CStringUI& CStringUI::operator=(const wchar_t* text) {
    assign(text ? std::wstring_view(text) : std::wstring_view());
    return *this;
}

CStringUI::~CStringUI() {
    if (!isInline()) delete[] m_data;
}

void CStringUI::clear() noexcept {
    m_length = 0;
    m_data[0] = 0;
}

void CStringUI::reserve(std::size_t length) {
    if (length <= m_capacity) return;
    std::size_t capacity = m_capacity * 2 > length ? m_capacity * 2 : length;
    auto* fresh = new wchar_t[capacity + 1];
    std::wmemcpy(fresh, m_data, m_length + 1);
    if (!isInline()) delete[] m_data;
    m_data = fresh;
    m_capacity = capacity;
}

void CStringUI::assign(std::wstring_view text) {
    // The source may alias our own buffer (s = s.mid(...)): copy through a
    // temporary when it does.
    if (text.data() >= m_data && text.data() <= m_data + m_length) {
        std::wstring copy(text);
        m_length = 0;
        reserve(copy.size());
        std::wmemcpy(m_data, copy.data(), copy.size());
        m_length = copy.size();
    } else {
        m_length = 0;
        m_data[0] = 0;
        reserve(text.size());
        if (!text.empty()) std::wmemcpy(m_data, text.data(), text.size());
        m_length = text.size();
    }
    m_data[m_length] = 0;
}

void CStringUI::append(std::wstring_view text) {
    if (text.empty()) return;
    if (text.data() >= m_data && text.data() <= m_data + m_length) {
        std::wstring copy(text);
        append(copy);
        return;
    }
    reserve(m_length + text.size());
    std::wmemcpy(m_data + m_length, text.data(), text.size());
    m_length += text.size();
    m_data[m_length] = 0;
}

int CStringUI::replace(std::wstring_view from, std::wstring_view to) {
    if (from.empty()) return 0;
    std::wstring result;
    std::wstring_view rest = view();
    int count = 0;
    for (;;) {
        std::size_t at = rest.find(from);
        if (at == std::wstring_view::npos) break;
        result.append(rest.substr(0, at));
        result.append(to);
        rest.remove_prefix(at + from.size());
        ++count;
    }
    if (count == 0) return 0;
    result.append(rest);
    assign(result);
    return count;
}

int CStringUI::find(std::wstring_view what, std::size_t start) const noexcept {
    std::size_t at = view().find(what, start);
    return at == std::wstring_view::npos ? -1 : static_cast<int>(at);
}

CStringUI CStringUI::mid(std::size_t start, std::size_t count) const {
    if (start >= m_length) return {};
    return CStringUI(view().substr(start, count));
}

bool CStringUI::equalsNoCase(std::wstring_view other) const noexcept {
    if (other.size() != m_length) return false;
    for (std::size_t i = 0; i < m_length; ++i)
        if (std::towlower(m_data[i]) != std::towlower(other[i])) return false;
    return true;
}
