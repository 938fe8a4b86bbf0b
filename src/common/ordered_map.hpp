// An insertion-ordered hash map: iteration follows first insertion, and replacing the value of a
// present key keeps its place (the interpreter's dict). Lookups are O(1) through a side index.
#pragma once

#include <cstddef>
#include <functional>
#include <unordered_map>
#include <utility>
#include <vector>

namespace vombrelle {

template <class K, class V, class Hash = std::hash<K>, class Eq = std::equal_to<K>>
class OrderedMap {
public:
    using value_type = std::pair<K, V>;
    using iterator = typename std::vector<value_type>::iterator;
    using const_iterator = typename std::vector<value_type>::const_iterator;

    std::size_t size() const { return entries_.size(); }
    bool empty() const { return entries_.empty(); }
    void reserve(std::size_t n) {
        entries_.reserve(n);
        index_.reserve(n);
    }

    iterator begin() { return entries_.begin(); }
    iterator end() { return entries_.end(); }
    const_iterator begin() const { return entries_.begin(); }
    const_iterator end() const { return entries_.end(); }
    // The entry at a position in iteration order (indexes built over the map keep positions).
    value_type& at_position(std::size_t i) { return entries_[i]; }
    const value_type& at_position(std::size_t i) const { return entries_[i]; }

    bool contains(const K& key) const { return index_.find(key) != index_.end(); }

    V* find(const K& key) {
        auto it = index_.find(key);
        return it == index_.end() ? nullptr : &entries_[it->second].second;
    }
    const V* find(const K& key) const {
        auto it = index_.find(key);
        return it == index_.end() ? nullptr : &entries_[it->second].second;
    }

    // The default-inserting read: a missing key is inserted with V{} at the end.
    V& operator[](const K& key) {
        auto [it, inserted] = index_.try_emplace(key, entries_.size());
        if (inserted) entries_.emplace_back(key, V{});
        return entries_[it->second].second;
    }

    // Stores the value; a present key keeps its place. Returns true when the key was new.
    template <class VV>
    bool insert_or_assign(const K& key, VV&& value) {
        auto [it, inserted] = index_.try_emplace(key, entries_.size());
        if (inserted) entries_.emplace_back(key, std::forward<VV>(value));
        else entries_[it->second].second = std::forward<VV>(value);
        return inserted;
    }

private:
    std::vector<value_type> entries_;
    std::unordered_map<K, std::size_t, Hash, Eq> index_;
};

} // namespace vombrelle
