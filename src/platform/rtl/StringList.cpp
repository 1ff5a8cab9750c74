// TStringList over a vector of (string, object) pairs. Sorted lists keep the
// invariant that Compare never decreases along the vector.
#include "platform/rtl/StringList.h"

#include "platform/rtl/Assert.h"
#include "platform/rtl/Exceptions.h"
#include "platform/rtl/StrUtils.h"

#include <QStringList>
#include <algorithm>

namespace zorbel {

int TStringList::Compare(const QString &a, const QString &b) const
{
    return caseSensitive_ ? AnsiCompareStr(a, b) : AnsiCompareText(a, b);
}

void TStringList::CheckIndex(int index) const
{
    if (index < 0 || index >= Count())
        throw EListError(QStringLiteral("List index out of bounds (%1)").arg(index));
}

void TStringList::CheckUnsorted() const
{
    if (sorted_)
        throw EListError(QStringLiteral("Operation not allowed on sorted list"));
}

const QString &TStringList::Strings(int index) const
{
    CheckIndex(index);
    return items_[index].string;
}

void TStringList::SetStrings(int index, const QString &s)
{
    CheckUnsorted();
    CheckIndex(index);
    items_[index].string = s;
}

int64_t TStringList::Objects(int index) const
{
    CheckIndex(index);
    return items_[index].object;
}

void TStringList::SetObjects(int index, int64_t object)
{
    CheckIndex(index);
    items_[index].object = object;
}

int TStringList::Add(const QString &s) { return AddObject(s, 0); }

int TStringList::AddObject(const QString &s, int64_t object)
{
    int index = Count();
    if (sorted_ && Find(s, index)) {
        if (duplicates_ == TDuplicates::dupIgnore)
            return index;
        if (duplicates_ == TDuplicates::dupError)
            throw EListError(QStringLiteral("String list does not allow duplicates"));
    }
    items_.insert(items_.begin() + index, Item{s, object});
    ZORBEL_ASSERT(!sorted_ || index == 0 || Compare(items_[size_t(index - 1)].string, s) <= 0);
    ZORBEL_ASSERT(!sorted_ || index + 1 == Count() || Compare(s, items_[size_t(index + 1)].string) <= 0);
    return index;
}

void TStringList::AddStrings(const TStringList &other)
{
    for (const Item &item : other.items_)
        AddObject(item.string, item.object);
}

void TStringList::Insert(int index, const QString &s) { InsertObject(index, s, 0); }

void TStringList::InsertObject(int index, const QString &s, int64_t object)
{
    CheckUnsorted();
    if (index < 0 || index > Count())
        throw EListError(QStringLiteral("List index out of bounds (%1)").arg(index));
    items_.insert(items_.begin() + index, Item{s, object});
}

void TStringList::Delete(int index)
{
    CheckIndex(index);
    items_.erase(items_.begin() + index);
}

void TStringList::Clear() { items_.clear(); }

void TStringList::Exchange(int index1, int index2)
{
    CheckIndex(index1);
    CheckIndex(index2);
    std::swap(items_[index1], items_[index2]);
}

bool TStringList::Find(const QString &s, int &index) const
{
    const auto at = std::lower_bound(items_.begin(), items_.end(), s,
                                     [this](const Item &item, const QString &key) { return Compare(item.string, key) < 0; });
    index = static_cast<int>(at - items_.begin());
    return at != items_.end() && Compare(at->string, s) == 0;
}

int TStringList::IndexOf(const QString &s) const
{
    if (sorted_) {
        int index;
        return Find(s, index) ? index : -1;
    }
    for (int i = 0; i < Count(); ++i)
        if (Compare(items_[i].string, s) == 0)
            return i;
    return -1;
}

int TStringList::IndexOfObject(int64_t object) const
{
    for (int i = 0; i < Count(); ++i)
        if (items_[i].object == object)
            return i;
    return -1;
}

void TStringList::SetSorted(bool sorted)
{
    if (sorted && !sorted_)
        Sort();
    sorted_ = sorted;
}

void TStringList::Sort()
{
    std::stable_sort(items_.begin(), items_.end(),
                     [this](const Item &a, const Item &b) { return Compare(a.string, b.string) < 0; });
}

void TStringList::SetCaseSensitive(bool caseSensitive)
{
    caseSensitive_ = caseSensitive;
    if (sorted_)
        Sort();
}

QString TStringList::Text() const
{
    QString text;
    for (const Item &item : items_)
        text += item.string + QStringLiteral("\r\n");
    return text;
}

void TStringList::SetText(const QString &text)
{
    Clear();
    int start = 0;
    while (start < text.size()) {
        int end = start;
        while (end < text.size() && text[end] != u'\r' && text[end] != u'\n')
            ++end;
        Add(text.mid(start, end - start));
        if (end < text.size() && text[end] == u'\r')
            ++end;
        if (end < text.size() && text[end] == u'\n')
            ++end;
        start = end;
    }
}

QString TStringList::CommaText() const
{
    if (Count() == 1 && items_[0].string.isEmpty())
        return QStringLiteral("\"\"");
    QStringList parts;
    for (const Item &item : items_) {
        const QString &s = item.string;
        const bool quote = std::any_of(s.begin(), s.end(), [](QChar c) { return c <= u' ' || c == u'"' || c == u','; });
        parts << (quote ? AnsiQuotedStr(s, u'"') : s);
    }
    return parts.join(u',');
}

void TStringList::SetCommaText(const QString &text)
{
    Clear();
    const auto isBlank = [&](int i) { return i < text.size() && text[i] <= u' '; };
    int i = 0;
    while (isBlank(i))
        ++i;
    while (i < text.size()) {
        QString item;
        if (text[i] == u'"') {
            // A quoted item; a doubled quote stands for one, the item ends at
            // a single quote (or the end of the text).
            for (++i; i < text.size(); ++i) {
                if (text[i] == u'"') {
                    if (i + 1 < text.size() && text[i + 1] == u'"') {
                        item += u'"';
                        ++i;
                        continue;
                    }
                    ++i;
                    break;
                }
                item += text[i];
            }
        } else {
            const int start = i;
            while (i < text.size() && text[i] > u' ' && text[i] != u',')
                ++i;
            item = text.mid(start, i - start);
        }
        Add(item);
        while (isBlank(i))
            ++i;
        if (i < text.size() && text[i] == u',') {
            if (i + 1 == text.size())
                Add(QString()); // a trailing comma ends with an empty item
            do
                ++i;
            while (isBlank(i));
        }
    }
}

QString TStringList::Names(int index) const
{
    const QString &s = Strings(index);
    const int eq = s.indexOf(u'=');
    return eq < 0 ? QString() : s.left(eq);
}

QString TStringList::ValueFromIndex(int index) const
{
    const QString &s = Strings(index);
    const int eq = s.indexOf(u'=');
    return eq < 0 ? QString() : s.mid(eq + 1);
}

int TStringList::IndexOfName(const QString &name) const
{
    for (int i = 0; i < Count(); ++i) {
        const QString &s = items_[i].string;
        const int eq = s.indexOf(u'=');
        if (eq >= 0 && AnsiCompareText(s.left(eq), name) == 0)
            return i;
    }
    return -1;
}

QString TStringList::Values(const QString &name) const
{
    const int index = IndexOfName(name);
    return index < 0 ? QString() : ValueFromIndex(index);
}

void TStringList::SetValues(const QString &name, const QString &value)
{
    const int index = IndexOfName(name);
    if (value.isEmpty()) {
        if (index >= 0)
            Delete(index);
        return;
    }
    const QString line = name + u'=' + value;
    if (index < 0) {
        Add(line);
    } else if (sorted_) {
        // Re-added, so that the order stays valid; the object goes with it.
        const int64_t object = items_[index].object;
        Delete(index);
        AddObject(line, object);
    } else {
        SetStrings(index, line);
    }
}

} // namespace zorbel
