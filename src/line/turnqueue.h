#pragma once

#include <algorithm>
#include <deque>
#include <map>
#include <optional>
#include <utility>

namespace koru::line {

// Items waiting, by whoever asked for them: each asker's in the order it
// asked, the askers taking turns. The next item is the oldest of the asker
// whose turn it is, and that asker, if it has more, goes to the back of the
// turns; an asker that had nothing waiting joins at the back. So an asker
// waits behind at most one item of each other asker, however many those have
// waiting.
template <typename Item>
class TurnQueue
{
public:
    using Asker = const void *;

    void pushBack(Asker asker, Item item)
    {
        std::deque<Item> &items = m_items[asker];
        if (items.empty())
            m_turns.push_back(asker);
        items.push_back(std::move(item));
        ++m_size;
    }

    // Back where it was taken from: the next item again, its asker's turn.
    void pushFront(Asker asker, Item item)
    {
        std::deque<Item> &items = m_items[asker];
        if (!items.empty())
            dropTurn(asker);
        m_turns.push_front(asker);
        items.push_front(std::move(item));
        ++m_size;
    }

    bool empty() const { return m_size == 0; }
    int size() const { return m_size; }

    std::optional<Item> takeNext()
    {
        if (m_turns.empty())
            return std::nullopt;
        const Asker asker = m_turns.front();
        m_turns.pop_front();
        auto found = m_items.find(asker);
        Item item = std::move(found->second.front());
        found->second.pop_front();
        --m_size;
        if (found->second.empty())
            m_items.erase(found);
        else
            m_turns.push_back(asker);
        return item;
    }

    template <typename Predicate>
    bool anyOf(Predicate predicate) const
    {
        for (const auto &[asker, items] : m_items) {
            for (const Item &item : items) {
                if (predicate(item))
                    return true;
            }
        }
        return false;
    }

    template <typename Predicate>
    void eraseIf(Predicate predicate)
    {
        for (auto it = m_items.begin(); it != m_items.end();) {
            std::deque<Item> &items = it->second;
            const auto kept = std::remove_if(items.begin(), items.end(), predicate);
            m_size -= int(items.end() - kept);
            items.erase(kept, items.end());
            if (items.empty()) {
                dropTurn(it->first);
                it = m_items.erase(it);
            } else {
                ++it;
            }
        }
    }

private:
    void dropTurn(Asker asker) { m_turns.erase(std::remove(m_turns.begin(), m_turns.end(), asker), m_turns.end()); }

    std::map<Asker, std::deque<Item>> m_items;
    std::deque<Asker> m_turns;
    int m_size = 0;
};

} // namespace koru::line
