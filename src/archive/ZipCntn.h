// Object lists behind the zip component's entry lists.
//
// TObjectList<T> is an array of item pointers with a count, a capacity and an
// owns-its-items flag; an owning list frees its items. The capacity grows by
// 4 while below 5, by 8 up to 8 and by 16 beyond, and never exceeds 65534
// (MaxListCapacity), so a list holds at most 65520 items through Add.
//
// TSortedObjectList<T> keeps its items ordered by the virtual Compare and
// places each new item by a binary search (Find). Its duplicates policy,
// fixed at creation, says what Add does with an item that compares equal to
// one already held (TDuplicates of the runtime): dupIgnore drops it,
// dupAccept puts it before the equal ones, dupError raises EListError
// "Duplicate Object index".
//
// Items are typed: T names its class through a static ClassName() used in
// messages.
#pragma once

#include "platform/rtl/Assert.h"
#include "platform/rtl/Exceptions.h"
#include "platform/rtl/StringList.h"

#include <QString>
#include <cstdint>
#include <vector>

namespace zorbel {

constexpr int MaxListCapacity = 65534;

// Raises EListError "List index out of bounds (%d)".
[[noreturn]] void ListIndexError(int Index);
// Capacity after one growth step of a full list of this capacity.
int GrownCapacity(int Capacity);

template <typename T>
class TObjectList {
public:
    explicit TObjectList(bool OwnsItems = true) : owns_(OwnsItems) {}
    virtual ~TObjectList() { Clear(); }
    TObjectList(const TObjectList &) = delete;
    TObjectList &operator=(const TObjectList &) = delete;

    int Count() const { return static_cast<int>(items_.size()); }
    int Capacity() const { return capacity_; }
    bool OwnsItems() const { return owns_; }

    // Requires: Count() <= Value <= MaxListCapacity, else the index error.
    void SetCapacity(int Value)
    {
        if (Value < Count() || Value > MaxListCapacity)
            ListIndexError(Value);
        capacity_ = Value;
        items_.reserve(static_cast<size_t>(Value));
    }

    T *Items(int Index) const
    {
        CheckIndex(Index);
        return items_[static_cast<size_t>(Index)];
    }
    T *operator[](int Index) const { return Items(Index); }

    // Replaces the item at Index (the old one is freed when owning).
    virtual void Put(int Index, T *Item)
    {
        CheckIndex(Index);
        T *&slot = items_[static_cast<size_t>(Index)];
        if (slot != Item)
            FreeItem(slot);
        slot = Item;
    }

    // Appends Item; returns its index. An owning list takes ownership.
    virtual int Add(T *Item)
    {
        Insert(Count(), Item);
        return Count() - 1;
    }

    virtual void Insert(int Index, T *Item)
    {
        if (Index < 0 || Index > Count())
            ListIndexError(Index);
        if (Count() == capacity_)
            Grow();
        items_.insert(items_.begin() + Index, Item);
    }

    // Frees the items when owning and empties the list.
    virtual void Clear()
    {
        for (T *item : items_)
            FreeItem(item);
        items_.clear();
        capacity_ = 0;
        items_.shrink_to_fit();
    }

    // Index of this very item, -1 when absent.
    virtual int IndexOf(const T *Item) const
    {
        for (size_t i = 0; i < items_.size(); ++i)
            if (items_[i] == Item)
                return static_cast<int>(i);
        return -1;
    }

    T *First() const { return items_.empty() ? nullptr : items_.front(); }
    T *Last() const { return items_.empty() ? nullptr : items_.back(); }

    // The item after (Forward) or before Item; none at either end. With no
    // Item, the first or the last. An item not in the list raises EListError.
    T *Neighbour(const T *Item, bool Forward) const
    {
        if (!Item)
            return Forward ? First() : Last();
        int i = TObjectList::IndexOf(Item);
        if (i < 0)
            throw EListError(QStringLiteral("tObject %1 not in item list").arg(T::ClassName()));
        i += Forward ? 1 : -1;
        return i >= 0 && i < Count() ? items_[static_cast<size_t>(i)] : nullptr;
    }

protected:
    void CheckIndex(int Index) const
    {
        if (Index < 0 || Index >= Count())
            ListIndexError(Index);
    }
    void Grow() { SetCapacity(GrownCapacity(capacity_)); }
    void FreeItem(T *Item)
    {
        if (owns_)
            delete Item;
    }

    std::vector<T *> items_;

private:
    int capacity_ = 0;
    bool owns_;
};

template <typename T>
class TSortedObjectList : public TObjectList<T> {
public:
    TSortedObjectList(TDuplicates Duplicates, bool OwnsItems = true)
        : TObjectList<T>(OwnsItems), duplicates_(Duplicates)
    {
    }

    TDuplicates Duplicates() const { return duplicates_; }

    // Ordering: negative when A (a list item) goes before B (the key placed).
    virtual int Compare(const T *A, const T *B) const = 0;
    virtual const T *KeyOf(const T *Item) const { return Item; }

    // Binary search for Key. On return Index is where Key belongs: with an
    // equal item found, that item's index (the first equal one when
    // duplicates are accepted).
    virtual bool Find(const T *Key, int &Index) const
    {
        int lo = 0;
        int hi = this->Count() - 1;
        bool found = false;
        while (lo <= hi) {
            int mid = lo + (hi - lo) / 2;
            int c = Compare(KeyOf(this->items_[static_cast<size_t>(mid)]), Key);
            if (c < 0) {
                lo = mid + 1;
            } else {
                hi = mid - 1;
                if (c == 0) {
                    found = true;
                    if (duplicates_ != TDuplicates::dupAccept) {
                        lo = mid;
                        break;
                    }
                }
            }
        }
        Index = lo;
        return found;
    }

    // Inserts Item in order. Returns its index, or -1 when it was dropped as
    // a duplicate (an owning list then frees it). On EListError the list is
    // unchanged and the caller still owns Item.
    int Add(T *Item) override
    {
        int index = 0;
        if (Find(KeyOf(Item), index)) {
            if (duplicates_ == TDuplicates::dupIgnore) {
                this->FreeItem(Item);
                return -1;
            }
            if (duplicates_ == TDuplicates::dupError)
                throw EListError(QStringLiteral("Duplicate Object index"));
        }
        TObjectList<T>::Insert(index, Item);
        ZORBEL_ASSERT(index == 0 || Compare(KeyOf(this->items_[size_t(index - 1)]), KeyOf(Item)) <= 0);
        ZORBEL_ASSERT(index + 1 == this->Count() || Compare(KeyOf(this->items_[size_t(index + 1)]), KeyOf(Item)) >= 0);
        return index;
    }

    // The position is chosen by the order, not by Index.
    void Insert(int, T *Item) override { Add(Item); }

    void Put(int, T *) override
    {
        throw EListError(QStringLiteral("Cannot <Put> an Object in a sorted list!"));
    }

    int IndexOf(const T *Item) const override
    {
        int index = 0;
        return Find(KeyOf(Item), index) ? index : -1;
    }

private:
    TDuplicates duplicates_;
};

} // namespace zorbel
