// The framework's string-keyed hash map: chained buckets, a fixed bucket count
// chosen at construction (83 for every map the framework creates).
#pragma once

#include "ui/base/StringUI.h"

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <utility>
#include <vector>

namespace detail {
// h × 33 + c over the characters from the last to the first.
inline std::uint32_t stringMapHash(std::wstring_view key) noexcept {
    std::uint32_t h = 0;
    for (std::size_t i = key.size(); i-- > 0;) h = h * 33 + static_cast<std::uint32_t>(key[i]);
    return h;
}
} // namespace detail

// Maps exact (case-sensitive) keys to values of type T. Values are owned by
// value; a map of raw pointers does not own what they point to. UI thread only.
template <typename T>
class CStringMapUI {
public:
    static constexpr std::size_t kDefaultBuckets = 83;

    explicit CStringMapUI(std::size_t buckets = kDefaultBuckets) : m_buckets(buckets ? buckets : 1, nullptr) {}
    CStringMapUI(const CStringMapUI&) = delete;
    CStringMapUI& operator=(const CStringMapUI&) = delete;
    ~CStringMapUI() { clear(); }

    // Adds key → value unless the key is present; false then (nothing changes).
    bool insert(std::wstring_view key, T value) {
        if (findNode(key)) return false;
        Node*& head = m_buckets[bucketOf(key)];
        head = new Node{CStringUI(key), std::move(value), head};
        ++m_count;
        return true;
    }

    // Adds or replaces; returns the previous value through `previous` when the
    // key was present (so a caller can free what it owned).
    bool set(std::wstring_view key, T value, T* previous = nullptr) {
        if (Node* n = findNode(key)) {
            if (previous) *previous = std::move(n->value);
            n->value = std::move(value);
            return true;
        }
        insert(key, std::move(value));
        return false;
    }

    // Pointer to the stored value, or null.
    T* find(std::wstring_view key) {
        Node* n = findNode(key);
        return n ? &n->value : nullptr;
    }
    const T* find(std::wstring_view key) const {
        Node* n = const_cast<CStringMapUI*>(this)->findNode(key);
        return n ? &n->value : nullptr;
    }

    // Removes the key; its value is moved to `removed` when given.
    bool remove(std::wstring_view key, T* removed = nullptr) {
        Node** link = &m_buckets[bucketOf(key)];
        for (Node* n = *link; n; link = &n->next, n = n->next) {
            if (n->key.view() == key) {
                *link = n->next;
                if (removed) *removed = std::move(n->value);
                delete n;
                --m_count;
                return true;
            }
        }
        return false;
    }

    void clear() {
        for (Node*& head : m_buckets) {
            while (head) {
                Node* next = head->next;
                delete head;
                head = next;
            }
        }
        m_count = 0;
    }

    std::size_t size() const noexcept { return m_count; }
    bool isEmpty() const noexcept { return m_count == 0; }
    std::size_t bucketCount() const noexcept { return m_buckets.size(); }

    // Calls fn(key, value&) for every entry (bucket order). The callback must
    // not add or remove entries.
    template <typename Fn>
    void forEach(Fn&& fn) {
        for (Node* head : m_buckets)
            for (Node* n = head; n; n = n->next) fn(n->key.view(), n->value);
    }

private:
    struct Node {
        CStringUI key;
        T value;
        Node* next;
    };

    std::size_t bucketOf(std::wstring_view key) const noexcept { return detail::stringMapHash(key) % m_buckets.size(); }
    Node* findNode(std::wstring_view key) {
        for (Node* n = m_buckets[bucketOf(key)]; n; n = n->next)
            if (n->key.view() == key) return n;
        return nullptr;
    }

    std::vector<Node*> m_buckets;
    std::size_t m_count = 0;
};
