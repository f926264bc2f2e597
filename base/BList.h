// BList and BOwnedList: growable arrays of pointers (or of BStrings, held by value).
//
// BList<T*> never owns what its pointers point to; BOwnedList<T*> owns its elements and deletes
// them (through their virtual destructor) when they leave the list, unless they are extracted.
// Capacity grows 16, 32, 64 ..., so Add is amortised constant time; Delete is linear.
// A list object is not synchronised: concurrent use needs the owner's lock.
#pragma once

#include <algorithm>
#include <type_traits>
#include <utility>

template <typename T>
class BList
{
public:
    BList() = default;
    BList(const BList& other) { CopyFrom(other); }
    BList(BList&& other) noexcept { Swap(other); }
    BList& operator=(const BList& other)
    {
        if (this != &other)
            CopyFrom(other);
        return *this;
    }
    BList& operator=(BList&& other) noexcept
    {
        if (this != &other)
        {
            BList moved(std::move(other));
            Swap(moved);
        }
        return *this;
    }

    // Frees the array; never touches what the elements point to.
    virtual ~BList() { delete[] items; }

    // Stores item at index; does nothing for an index outside 0 .. Count()-1.
    virtual void Set(int index, T item)
    {
        if (index >= 0 && index < count)
            items[index] = std::move(item);
    }

    // Count 0, then exactly n slots (n < 0 counts as 0).
    virtual void ClearAndReserve(int n)
    {
        ReleaseSlots(0, count);
        count = 0;
        SetCapacity(n, false);
    }

    // Count 0; the array stays allocated.
    virtual void Clear()
    {
        ReleaseSlots(0, count);
        count = 0;
    }

    // Appends; grows to 16 slots when empty, else doubles.
    virtual void Add(T item)
    {
        if (count == capacity)
            SetCapacity(capacity == 0 ? 16 : capacity * 2, true);
        items[count++] = std::move(item);
    }

    // Removes the slot at index, moving the following elements down. False when out of range.
    virtual bool Delete(int index)
    {
        if (index < 0 || index >= count)
            return false;
        std::move(items + index + 1, items + count, items + index);
        --count;
        ReleaseSlots(count, count + 1);
        return true;
    }

    // Replaces the array by one of n slots (n < 0 counts as 0; nothing happens when n equals
    // the capacity). With keep the first elements (at most n) are carried over; without it the
    // list ends up empty.
    virtual void SetCapacity(int n, bool keep)
    {
        n = std::max(n, 0);
        if (n == capacity)
        {
            if (!keep)
            {
                ReleaseSlots(0, count);
                count = 0;
            }
            return;
        }
        T* fresh = n > 0 ? new T[n]() : nullptr;
        const int kept = keep ? std::min(count, n) : 0;
        std::move(items, items + kept, fresh);
        delete[] items;
        items = fresh;
        capacity = n;
        count = kept;
    }

    // Number of elements in use.
    int Count() const { return count; }
    int Capacity() const { return capacity; }
    bool IsEmpty() const { return count == 0; }

    // The element at index, or a null pointer (an empty string for BList<BString>) when the
    // index is outside 0 .. Count()-1.
    T Get(int index) const { return index >= 0 && index < count ? items[index] : T(); }
    T operator[](int index) const { return Get(index); }

    // Position of the first element equal to item (pointer identity for pointer lists), or -1.
    int IndexOf(const T& item) const
    {
        for (int i = 0; i < count; ++i)
            if (items[i] == item)
                return i;
        return -1;
    }
    bool Contains(const T& item) const { return IndexOf(item) >= 0; }

    // Iteration over the elements in use; invalidated by any change of the list.
    T* begin() { return items; }
    T* end() { return items + count; }
    const T* begin() const { return items; }
    const T* end() const { return items + count; }

protected:
    // Puts freshly constructed values into slots that no longer hold elements, so that
    // BList<BString> releases its strings at once.
    void ReleaseSlots(int from, int to)
    {
        if constexpr (!std::is_pointer_v<T>)
            std::fill(items + from, items + to, T());
    }

    T* items = nullptr;
    int count = 0;
    int capacity = 0;

private:
    void CopyFrom(const BList& other)
    {
        T* fresh = other.capacity > 0 ? new T[other.capacity]() : nullptr;
        std::copy(other.items, other.items + other.count, fresh);
        delete[] items;
        items = fresh;
        count = other.count;
        capacity = other.capacity;
    }
    void Swap(BList& other) noexcept
    {
        std::swap(items, other.items);
        std::swap(count, other.count);
        std::swap(capacity, other.capacity);
    }
};

// BOwnedList<T*>: a BList that owns its elements. Not copyable (ownership is unique).
template <typename T>
class BOwnedList : public BList<T>
{
    static_assert(std::is_pointer_v<T>, "BOwnedList holds pointers to owned objects");

public:
    BOwnedList() = default;
    BOwnedList(const BOwnedList&) = delete;
    BOwnedList& operator=(const BOwnedList&) = delete;

    // Deletes every element, then frees the array.
    ~BOwnedList() override { DeleteAll(); }

    // Deletes the element at index (unless it is item itself), then stores item.
    void Set(int index, T item) override
    {
        if (index < 0 || index >= this->count)
            return;
        T old = this->items[index];
        this->items[index] = item;
        if (old != item)
            delete old;
    }

    // Deletes every element, then an empty array of n slots.
    void ClearAndReserve(int n) override
    {
        DeleteAll();
        BList<T>::SetCapacity(n, false);
    }

    // Deletes every element; the array stays allocated.
    void Clear() override { DeleteAll(); }

    // Deletes the element at index and removes its slot; false when out of range.
    bool Delete(int index) override
    {
        if (index < 0 || index >= this->count)
            return false;
        T item = this->items[index];
        BList<T>::Delete(index);
        delete item;
        return true;
    }

    // With keep, deletes the elements at positions n and above (last first); without, deletes
    // every element; then as BList.
    void SetCapacity(int n, bool keep) override
    {
        if (keep)
        {
            while (this->count > std::max(n, 0))
            {
                T item = this->items[--this->count];
                this->items[this->count] = nullptr;
                delete item;
            }
        }
        else
        {
            DeleteAll();
        }
        BList<T>::SetCapacity(n, keep);
    }

    // Finds item by pointer, deletes it and removes its slot; false when absent.
    virtual bool DeleteItem(T item)
    {
        const int index = this->IndexOf(item);
        if (index < 0)
            return false;
        BList<T>::Delete(index);
        delete item;
        return true;
    }

    // Removes item without deleting it; returns it (the caller owns it), or null when absent.
    virtual T Extract(T item)
    {
        const int index = this->IndexOf(item);
        if (index < 0)
            return nullptr;
        BList<T>::Delete(index);
        return item;
    }

    // Removes the element at index without deleting it; returns it (the caller owns it), or
    // null when out of range.
    virtual T ExtractAt(int index)
    {
        if (index < 0 || index >= this->count)
            return nullptr;
        T item = this->items[index];
        BList<T>::Delete(index);
        return item;
    }

    // Appends every element to other (whose capacity becomes its count plus this count) and
    // empties this list; other takes over the ownership. Moving a list to itself does nothing.
    virtual void MoveTo(BList<T>& other)
    {
        if (&other == this)
            return;
        other.SetCapacity(other.Count() + this->count, true);
        for (int i = 0; i < this->count; ++i)
        {
            other.Add(this->items[i]);
            this->items[i] = nullptr;
        }
        this->count = 0;
    }

private:
    // Deletes last first; each element leaves the list before its destructor runs, so a
    // destructor that looks at the list sees it without itself.
    void DeleteAll()
    {
        while (this->count > 0)
        {
            T item = this->items[--this->count];
            this->items[this->count] = nullptr;
            delete item;
        }
    }
};
