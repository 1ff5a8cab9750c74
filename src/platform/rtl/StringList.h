// TStringList: an ordered list of strings, each with an integer in its
// object slot (the program keeps ids there). A sorted list keeps its strings
// in AnsiCompareText order (AnsiCompareStr when CaseSensitive) and finds them
// by binary search; Duplicates decides what adding an equal string does.
// Lines of the form "name=value" are read through Names and Values.
#pragma once

#include <QString>
#include <cstdint>
#include <vector>

namespace zorbel {

enum class TDuplicates {
    dupIgnore, // adding an existing string to a sorted list does nothing
    dupAccept, // equal strings may stand side by side
    dupError,  // adding an existing string raises EListError
};

class TStringList {
public:
    TStringList() = default;

    int Count() const { return static_cast<int>(items_.size()); }
    // Index errors raise EListError "List index out of bounds (%d)".
    const QString &Strings(int index) const;
    // Not allowed on a sorted list (EListError).
    void SetStrings(int index, const QString &s);
    int64_t Objects(int index) const;
    void SetObjects(int index, int64_t object);

    // Returns the index of the new (or, with dupIgnore, the existing) string.
    int Add(const QString &s);
    int AddObject(const QString &s, int64_t object);
    void AddStrings(const TStringList &other);
    // Not allowed on a sorted list (EListError).
    void Insert(int index, const QString &s);
    void InsertObject(int index, const QString &s, int64_t object);
    void Delete(int index);
    void Clear();
    void Exchange(int index1, int index2);

    // -1 when absent. Comparison as for sorting.
    int IndexOf(const QString &s) const;
    // Sorted lists only: true when found; index is the match or the place
    // where s would be inserted.
    bool Find(const QString &s, int &index) const;
    int IndexOfObject(int64_t object) const;

    bool Sorted() const { return sorted_; }
    // Setting true sorts the list.
    void SetSorted(bool sorted);
    void Sort();
    TDuplicates Duplicates() const { return duplicates_; }
    void SetDuplicates(TDuplicates duplicates) { duplicates_ = duplicates; }
    bool CaseSensitive() const { return caseSensitive_; }
    void SetCaseSensitive(bool caseSensitive);

    // Every string followed by CR LF.
    QString Text() const;
    // Replaces the list by the lines of the text; CR, LF and CR LF all end a
    // line, and a final line break adds no empty line.
    void SetText(const QString &text);

    // Strings joined by ","; a string that holds a blank, a control
    // character, a comma or a double quote is written in double quotes with
    // inner quotes doubled. A list of one empty string gives "\"\"".
    QString CommaText() const;
    // Replaces the list by the items of the text: items are separated by
    // commas or blanks; a double-quoted item may hold both.
    void SetCommaText(const QString &text);

    // "name=value" lines: the part before the first "=" (empty without one),
    // and the value of the first line whose name equals name (case
    // insensitive), empty when there is none.
    QString Names(int index) const;
    QString ValueFromIndex(int index) const;
    QString Values(const QString &name) const;
    // An empty value deletes the line; otherwise the line is replaced or added.
    void SetValues(const QString &name, const QString &value);
    int IndexOfName(const QString &name) const;

private:
    struct Item {
        QString string;
        int64_t object = 0;
    };
    int Compare(const QString &a, const QString &b) const;
    void CheckIndex(int index) const;
    void CheckUnsorted() const;

    std::vector<Item> items_;
    bool sorted_ = false;
    bool caseSensitive_ = false;
    TDuplicates duplicates_ = TDuplicates::dupIgnore;
};

} // namespace zorbel
