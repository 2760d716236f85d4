#pragma once
// An ordered list shared between threads behind a reader-writer lock.
//
// Reads run concurrently with one another; writes are exclusive and are
// applied in the order they were issued, so a read issued after a write (on
// any thread) sees it. The elements themselves are not protected: change an
// element's members, then update() it to order the change with other writers.

#include <algorithm>
#include <cstddef>
#include <functional>
#include <mutex>
#include <optional>
#include <shared_mutex>
#include <string_view>
#include <vector>

namespace zirv {

// How an element names itself: by default its `uniqueId` member, for elements
// held by (smart) pointer.
struct UniqueIdOf {
    template <class E>
    decltype(auto) operator()(const E& element) const
    {
        return (element->uniqueId);
    }
};

template <class E, class IdOf = UniqueIdOf>
class ThreadSafeArray {
public:
    // The label of the lock, for diagnostics.
    static constexpr std::string_view label = "queue.zirv2.threadsafearray";

    ThreadSafeArray() = default;
    ThreadSafeArray(const ThreadSafeArray&) = delete;
    ThreadSafeArray& operator=(const ThreadSafeArray&) = delete;

    // --- reads ---

    size_t count() const
    {
        std::shared_lock lock(m_mutex);
        return m_array.size();
    }

    template <class Id>
    std::optional<E> first(const Id& identifier) const
    {
        std::shared_lock lock(m_mutex);
        const auto it = findFirst(identifier);
        if (it == m_array.end())
            return std::nullopt;
        return *it;
    }

    template <class Predicate>
    std::vector<E> filter(Predicate predicate) const
    {
        std::shared_lock lock(m_mutex);
        std::vector<E> result;
        for (const E& element : m_array)
            if (predicate(element))
                result.push_back(element);
        return result;
    }

    // A copy of the whole list, in order.
    std::vector<E> snapshot() const
    {
        std::shared_lock lock(m_mutex);
        return m_array;
    }

    template <class Less>
    std::vector<E> sorted(Less less) const
    {
        std::vector<E> copy = snapshot();
        std::stable_sort(copy.begin(), copy.end(), less);
        return copy;
    }

    template <class T, class Combine>
    T reduce(T initial, Combine combine) const
    {
        std::shared_lock lock(m_mutex);
        for (const E& element : m_array)
            initial = combine(std::move(initial), element);
        return initial;
    }

    // --- writes ---

    void append(E element)
    {
        std::unique_lock lock(m_mutex);
        m_array.push_back(std::move(element));
    }

    // Appends `element` unless some element already satisfies `exists`; the
    // test and the append are one step. Answers whether it appended.
    template <class Predicate>
    bool appendUnless(Predicate exists, E element)
    {
        std::unique_lock lock(m_mutex);
        if (std::any_of(m_array.begin(), m_array.end(), exists))
            return false;
        m_array.push_back(std::move(element));
        return true;
    }

    void update(E element)
    {
        std::unique_lock lock(m_mutex);
        const auto it = findFirst(IdOf{}(element));
        if (it != m_array.end())
            *it = std::move(element);
    }

    template <class Id>
    void remove(const Id& identifier)
    {
        std::unique_lock lock(m_mutex);
        const auto it = findFirst(identifier);
        if (it != m_array.end())
            m_array.erase(it);
    }

    void removeAll()
    {
        std::unique_lock lock(m_mutex);
        m_array.clear();
    }

private:
    template <class Id>
    auto findFirst(const Id& identifier) const
    {
        return std::find_if(m_array.begin(), m_array.end(),
                            [&](const E& element) { return IdOf{}(element) == identifier; });
    }
    template <class Id>
    auto findFirst(const Id& identifier)
    {
        return std::find_if(m_array.begin(), m_array.end(),
                            [&](const E& element) { return IdOf{}(element) == identifier; });
    }

    mutable std::shared_mutex m_mutex;
    std::vector<E> m_array;
};

} // namespace zirv
