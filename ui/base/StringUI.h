// The framework's wide string: short texts (names, attribute values, keys)
// live in a 64-character inline buffer, longer ones on the heap.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

// A zero-terminated, mutable wide string with value semantics. The inline
// buffer keeps the frequent short texts of a control tree off the heap.
// Not thread-safe; UI thread only like the rest of the framework.
class CStringUI {
public:
    static constexpr std::size_t kInlineCapacity = 63; // characters, plus the terminator

    CStringUI() noexcept;
    CStringUI(const wchar_t* text); // null gives the empty string
    CStringUI(std::wstring_view text);
    CStringUI(const std::wstring& text) : CStringUI(std::wstring_view(text)) {}
    CStringUI(const CStringUI& other);
    CStringUI(CStringUI&& other) noexcept;
    CStringUI& operator=(const CStringUI& other);
    CStringUI& operator=(CStringUI&& other) noexcept;
    CStringUI& operator=(std::wstring_view text);
    CStringUI& operator=(const wchar_t* text);
    CStringUI& operator=(const std::wstring& text) {
        assign(text);
        return *this;
    }
    ~CStringUI();

    const wchar_t* c_str() const noexcept { return m_data; }
    wchar_t* data() noexcept { return m_data; }
    std::size_t length() const noexcept { return m_length; }
    bool isEmpty() const noexcept { return m_length == 0; }
    void clear() noexcept;
    std::wstring_view view() const noexcept { return {m_data, m_length}; }
    operator std::wstring_view() const noexcept { return view(); }
    std::wstring toStd() const { return std::wstring(view()); }

    wchar_t operator[](std::size_t i) const noexcept { return m_data[i]; }

    void assign(std::wstring_view text);
    void append(std::wstring_view text);
    CStringUI& operator+=(std::wstring_view text) {
        append(text);
        return *this;
    }
    CStringUI& operator+=(wchar_t c) {
        append(std::wstring_view(&c, 1));
        return *this;
    }

    // Replaces every occurrence of `from` (non-empty) by `to`; returns the count.
    int replace(std::wstring_view from, std::wstring_view to);
    // Position of the first occurrence at or after `start`, or -1.
    int find(std::wstring_view what, std::size_t start = 0) const noexcept;
    CStringUI mid(std::size_t start, std::size_t count = std::wstring_view::npos) const;

    bool equalsNoCase(std::wstring_view other) const noexcept;
    friend bool operator==(const CStringUI& a, const CStringUI& b) noexcept { return a.view() == b.view(); }
    friend bool operator==(const CStringUI& a, std::wstring_view b) noexcept { return a.view() == b; }
    friend bool operator==(const CStringUI& a, const wchar_t* b) noexcept {
        return a.view() == std::wstring_view(b ? b : L"");
    }

private:
    void reserve(std::size_t length);
    bool isInline() const noexcept { return m_data == m_inline; }
    // Takes other's text (its heap buffer, if any) into this inline-empty
    // string and leaves other empty.
    void takeFrom(CStringUI& other) noexcept;

    wchar_t* m_data;
    std::size_t m_length = 0;
    std::size_t m_capacity = kInlineCapacity; // characters, without the terminator
    wchar_t m_inline[kInlineCapacity + 1];
};
