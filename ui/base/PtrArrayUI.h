// The framework's pointer array: a compact list of non-owned pointers whose
// capacity doubles when it grows (11 entries on the first growth).
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <new>

// Holds pointers it does not own, in insertion order. Indices run from 0 to
// size() - 1; out-of-range reads give null and out-of-range writes fail.
// UI thread only.
template <typename T>
class CPtrArrayUI {
public:
    static constexpr int kFirstCapacity = 11;

    explicit CPtrArrayUI(int preallocate = 0) {
        if (preallocate > 0) grow(preallocate);
    }
    CPtrArrayUI(const CPtrArrayUI& other) { *this = other; }
    CPtrArrayUI& operator=(const CPtrArrayUI& other) {
        if (this == &other) return *this;
        clear();
        if (other.m_count > 0 && grow(other.m_count)) {
            std::memcpy(m_items, other.m_items, sizeof(T*) * other.m_count);
            m_count = other.m_count;
        }
        return *this;
    }
    ~CPtrArrayUI() { std::free(m_items); }

    // Frees the storage.
    void clear() {
        std::free(m_items);
        m_items = nullptr;
        m_count = m_capacity = 0;
    }
    // Keeps the storage, forgets the entries.
    void empty() { m_count = 0; }
    bool isEmpty() const { return m_count == 0; }
    int size() const { return m_count; }
    int capacity() const { return m_capacity; }

    bool add(T* item) {
        if (m_count == m_capacity && !grow(m_capacity == 0 ? kFirstCapacity : m_capacity * 2)) return false;
        m_items[m_count++] = item;
        return true;
    }
    // Inserts before `index` (0..size()); false outside that range.
    bool insertAt(int index, T* item) {
        if (index < 0 || index > m_count) return false;
        if (!add(nullptr)) return false;
        std::memmove(m_items + index + 1, m_items + index, sizeof(T*) * (m_count - 1 - index));
        m_items[index] = item;
        return true;
    }
    bool setAt(int index, T* item) {
        if (index < 0 || index >= m_count) return false;
        m_items[index] = item;
        return true;
    }
    bool removeAt(int index) {
        if (index < 0 || index >= m_count) return false;
        std::memmove(m_items + index, m_items + index + 1, sizeof(T*) * (m_count - 1 - index));
        --m_count;
        return true;
    }
    // Removes the first occurrence; false when absent.
    bool remove(const T* item) { return removeAt(find(item)); }
    // Index of the first occurrence, or -1.
    int find(const T* item) const {
        for (int i = 0; i < m_count; ++i)
            if (m_items[i] == item) return i;
        return -1;
    }
    T* at(int index) const { return index >= 0 && index < m_count ? m_items[index] : nullptr; }
    T* operator[](int index) const { return at(index); }

    T* const* begin() const { return m_items; }
    T* const* end() const { return m_items + m_count; }

private:
    bool grow(int capacity) {
        void* grown = std::realloc(m_items, sizeof(T*) * static_cast<std::size_t>(capacity));
        if (!grown) return false;
        m_items = static_cast<T**>(grown);
        m_capacity = capacity;
        return true;
    }

    T** m_items = nullptr;
    int m_count = 0;
    int m_capacity = 0;
};
