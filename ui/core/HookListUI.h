// Hook lists: ordered callables taking one pointer and returning bool, by
// which other code observes a control (its initialisation, events, notices,
// painting...).
#pragma once

#include <array>
#include <cstring>
#include <functional>
#include <type_traits>
#include <utility>
#include <vector>

// One hook. Two hooks compare equal when they wrap the same target: the same
// free function, the same object and member function, or the same key given
// to keyed(). UI thread only.
template <typename Arg>
class CHookUI {
public:
    using Function = bool (*)(Arg*);

    // A free function (or a captureless lambda converted to one).
    CHookUI(Function function) : m_call(function), m_target(nullptr) { storeId(function); }

    // A member function of an object the caller keeps alive while hooked.
    template <typename C>
    CHookUI(C* object, bool (C::*method)(Arg*))
        : m_call([object, method](Arg* arg) { return (object->*method)(arg); }), m_target(object) {
        storeId(method);
    }

    // Any callable, identified by `key` (typically the object it works for).
    template <typename F>
    static CHookUI keyed(const void* key, F&& callable) {
        CHookUI hook;
        hook.m_call = std::forward<F>(callable);
        hook.m_target = key;
        return hook;
    }

    bool operator()(Arg* arg) const { return m_call(arg); }
    friend bool operator==(const CHookUI& a, const CHookUI& b) { return a.m_target == b.m_target && a.m_id == b.m_id; }

private:
    CHookUI() = default;

    template <typename T>
    void storeId(const T& value) {
        static_assert(std::is_trivially_copyable_v<T> && sizeof(T) <= sizeof(m_id));
        std::memcpy(m_id.data(), &value, sizeof(T));
    }

    std::function<bool(Arg*)> m_call;
    const void* m_target = nullptr;
    std::array<unsigned char, 2 * sizeof(void*)> m_id{};
};

// An ordered list of hooks. Invoking calls them in order and stops with
// false at the first that returns false; an empty list yields true. Adding a
// hook equal to one present adds nothing. Hooks may add or remove hooks
// while the list runs (the run goes over the list as it was).
template <typename Arg>
class CHookListUI {
public:
    void add(CHookUI<Arg> hook) {
        for (const auto& h : m_hooks)
            if (h == hook) return;
        m_hooks.push_back(std::move(hook));
    }
    bool remove(const CHookUI<Arg>& hook) {
        for (auto it = m_hooks.begin(); it != m_hooks.end(); ++it) {
            if (*it == hook) {
                m_hooks.erase(it);
                return true;
            }
        }
        return false;
    }
    void clear() { m_hooks.clear(); }
    bool isEmpty() const { return m_hooks.empty(); }
    std::size_t size() const { return m_hooks.size(); }

    bool invoke(Arg* arg) const {
        if (m_hooks.empty()) return true;
        std::vector<CHookUI<Arg>> run = m_hooks;
        for (const auto& h : run)
            if (!h(arg)) return false;
        return true;
    }

private:
    std::vector<CHookUI<Arg>> m_hooks;
};
