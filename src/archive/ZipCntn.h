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
// messages; an item of a derived class may name its own through a member
// ObjectClassName().
//
// Persistence. A list that holds items stores one binary property,
// "ObjectContainer" (ObjectContainerName), written by WriteData and read back
// by ReadData:
//
//   owns flag      1 byte (1 owning, 0 not)
//   count          4 bytes, little-endian
//   per item       class name: a length byte and at most 63 characters,
//                  then the item's own data as its class's procedures write it
//
// A sorted list puts its duplicates policy (1 byte: 0 ignore, 1 accept,
// 2 error) before that. The procedures that write and read an item's own data
// are registered per class name in TObjectClassRegistry<T> (sorted, without
// duplicates). An unregistered class raises EClassNotFound: "Class <%s> not
// registered" on reading, "Source Class <%s> not registered" on writing; an
// empty slot "Nil Source Class!". Nothing in the zip component stores its
// lists this way.
#pragma once

#include "platform/rtl/Assert.h"
#include "platform/rtl/Exceptions.h"
#include "platform/rtl/Streams.h"
#include "platform/rtl/StringList.h"

#include <QString>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <vector>

namespace zorbel {

ZORBEL_EXCEPTION(EClassNotFound, Exception);

constexpr int MaxListCapacity = 65534;
constexpr const char *ObjectContainerName = "ObjectContainer";
constexpr int MaxStoredClassName = 63;

// The stream primitives of the stored form.
void WriteListByte(TStream &Stream, uint8_t Value);
uint8_t ReadListByte(TStream &Stream);
void WriteListCount(TStream &Stream, int32_t Value);
int32_t ReadListCount(TStream &Stream);
// A length byte and the name's first 63 characters (Latin-1).
void WriteClassName(TStream &Stream, const QString &Name);
QString ReadClassName(TStream &Stream);

// Raises EListError "List index out of bounds (%d)".
[[noreturn]] void ListIndexError(int Index);
// Capacity after one growth step of a full list of this capacity.
int GrownCapacity(int Capacity);

// The write and read procedures of the classes whose items a list of T may
// store, kept sorted by class name without duplicates (a second registration
// of a name is ignored). Read makes a new item from the stream.
template <typename T>
class TObjectClassRegistry {
public:
    using TWriteProc = std::function<void(TStream &, const T &)>;
    using TReadProc = std::function<std::unique_ptr<T>(TStream &)>;
    struct TEntry {
        QString Name;
        TWriteProc Write;
        TReadProc Read;
    };

    static void Register(const QString &Name, TWriteProc Write, TReadProc Read)
    {
        Entries().try_emplace(Name, TEntry{Name, std::move(Write), std::move(Read)});
    }
    static void Unregister(const QString &Name) { Entries().erase(Name); }
    // The entry of Name; none when the class is not registered.
    static const TEntry *Find(const QString &Name)
    {
        const auto &entries = Entries();
        const auto it = entries.find(Name);
        return it == entries.end() ? nullptr : &it->second;
    }

private:
    static std::map<QString, TEntry> &Entries()
    {
        static std::map<QString, TEntry> entries;
        return entries;
    }
};

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

    // Removes the item at Index, freeing it when owning.
    void Delete(int Index)
    {
        CheckIndex(Index);
        T *item = items_[static_cast<size_t>(Index)];
        items_.erase(items_.begin() + Index);
        FreeItem(item);
    }

    // The class name an item is stored under.
    static QString ItemClassName(const T &Item)
    {
        if constexpr (requires { Item.ObjectClassName(); })
            return Item.ObjectClassName();
        else
            return T::ClassName();
    }

    // Whether the list stores its ObjectContainer property: only with items.
    bool HasData() const { return Count() > 0; }

    // Requires: every item's class registered in TObjectClassRegistry<T>;
    // otherwise EClassNotFound is raised before anything is written.
    virtual void WriteData(TStream &Stream) const { WriteItems(Stream, StoredEntries()); }

    // Replaces the items with those stored in Stream. On a failure the list
    // keeps the items read so far. A list that does not own its items leaves
    // those it made to the caller.
    virtual void ReadData(TStream &Stream)
    {
        Clear();
        owns_ = ReadListByte(Stream) != 0;
        const int32_t count = ReadListCount(Stream);
        if (count < 0 || count > MaxListCapacity)
            ListIndexError(count);
        for (int32_t i = 0; i < count; ++i) {
            const QString name = ReadClassName(Stream);
            const auto *entry = TObjectClassRegistry<T>::Find(name);
            if (!entry)
                throw EClassNotFound(QStringLiteral("Class <%1> not registered").arg(name));
            std::unique_ptr<T> item = entry->Read(Stream);
            if (Add(item.get()) >= 0 || owns_)
                item.release(); // held by the list, or freed by it as a dropped duplicate
        }
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
    using TEntry = typename TObjectClassRegistry<T>::TEntry;

    // The registered class of every item, in order.
    std::vector<const TEntry *> StoredEntries() const
    {
        std::vector<const TEntry *> entries;
        entries.reserve(items_.size());
        for (const T *item : items_) {
            if (!item)
                throw EClassNotFound(QStringLiteral("Nil Source Class!"));
            const QString name = ItemClassName(*item);
            const TEntry *entry = TObjectClassRegistry<T>::Find(name);
            if (!entry)
                throw EClassNotFound(QStringLiteral("Source Class <%1> not registered").arg(name));
            entries.push_back(entry);
        }
        return entries;
    }
    void WriteItems(TStream &Stream, const std::vector<const TEntry *> &Entries) const
    {
        WriteListByte(Stream, owns_ ? 1 : 0);
        WriteListCount(Stream, Count());
        for (size_t i = 0; i < items_.size(); ++i) {
            WriteClassName(Stream, Entries[i]->Name);
            Entries[i]->Write(Stream, *items_[i]);
        }
    }

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

    // The duplicates policy first, then the list as the base stores it.
    void WriteData(TStream &Stream) const override
    {
        const auto entries = this->StoredEntries();
        WriteListByte(Stream, static_cast<uint8_t>(duplicates_));
        this->WriteItems(Stream, entries);
    }
    void ReadData(TStream &Stream) override
    {
        const uint8_t policy = ReadListByte(Stream);
        if (policy > static_cast<uint8_t>(TDuplicates::dupError))
            throw EReadError(QStringLiteral("Stream read error"));
        duplicates_ = static_cast<TDuplicates>(policy);
        TObjectList<T>::ReadData(Stream);
    }

private:
    TDuplicates duplicates_;
};

} // namespace zorbel
