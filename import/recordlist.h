#pragma once

#include <iterator>
#include <memory>
#include <vector>

// An owning list of records whose addresses stay put while the list grows:
// other records and dialog items point at them. Clearing destroys them.
template <typename T>
class CRecordList
{
    using Storage = std::vector<std::unique_ptr<T>>;

    template <typename BaseIt>
    class Iterator
    {
    public:
        using iterator_category = std::bidirectional_iterator_tag;
        using value_type = T *;
        using difference_type = std::ptrdiff_t;
        using pointer = T **;
        using reference = T *;

        Iterator() = default;
        explicit Iterator(BaseIt it) : it(it) {}
        T *operator*() const { return it->get(); }
        Iterator &operator++() { ++it; return *this; }
        Iterator operator++(int) { Iterator r(*this); ++it; return r; }
        Iterator &operator--() { --it; return *this; }
        Iterator operator--(int) { Iterator r(*this); --it; return r; }
        bool operator==(const Iterator &o) const { return it == o.it; }
        bool operator!=(const Iterator &o) const { return it != o.it; }

    private:
        BaseIt it;
    };

public:
    using iterator = Iterator<typename Storage::const_iterator>;
    using reverse_iterator = Iterator<typename Storage::const_reverse_iterator>;

    // Takes ownership; returns the record's stable address.
    T *append(std::unique_ptr<T> record)
    {
        records.push_back(std::move(record));
        return records.back().get();
    }
    void clear() { records.clear(); }
    int count() const { return int(records.size()); }
    bool isEmpty() const { return records.empty(); }
    T *at(int index) const { return records[size_t(index)].get(); }
    T *first() const { return records.empty() ? nullptr : records.front().get(); }
    T *last() const { return records.empty() ? nullptr : records.back().get(); }
    void reserve(int n) { records.reserve(size_t(n)); }

    // Forward iteration from first to last, backward with rbegin / rend.
    iterator begin() const { return iterator(records.cbegin()); }
    iterator end() const { return iterator(records.cend()); }
    reverse_iterator rbegin() const { return reverse_iterator(records.crbegin()); }
    reverse_iterator rend() const { return reverse_iterator(records.crend()); }

private:
    Storage records;
};
