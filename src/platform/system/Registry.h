// The registry as a settings store in one file: keys holding typed values.
//
// The store holds keys of the current user's branch ("Software\Ventaro\Zorbel")
// and, in each key, named values of four kinds: string, 32-bit integer,
// Boolean and binary. Integers and Booleans are both double words, so a
// setting stored as one and read as the other keeps its value: ReadBool
// accepts an integer (true when not 0) and ReadInteger a Boolean (0 or 1);
// every other mismatch raises "Invalid data type for '%s'".
//
// Usage, as the program's settings code reads:
//   TRegistry Reg;
//   Reg.OpenKey("Software\\Ventaro\\Zorbel", true);
//   if (Reg.ValueExists("Left")) Left = Reg.ReadInteger("Left");
//   Reg.WriteBool("Bar", ShowBar);
//   Reg.CloseKey();                       // writes the file; raises on failure
//
// The file (default: <XDG config>/zorbel/registry.json) is read at the first
// use of an object and written whole, atomically, by CloseKey when anything
// changed, and by DeleteKey at once. Objects are meant to be used one after
// another, as the program does: each writes back the store as it saw it.
//
// File layout, a JSON object:
//   { "format": "zorbel-registry 1",
//     "keys": { "<key path>": { "<value name>": { "kind": k, "data": d } } } }
// with k one of "string" (d a string), "integer" (d a whole number),
// "boolean" (d true/false), "binary" (d base64 text). Key paths use "\".
// A string holding bytes that are not UTF-8 (a file name, SysNames.h) also
// has "bytes": its bytes in base64, read back in its place; d then shows
// them as U+FFFD.
#pragma once

#include "platform/rtl/Exceptions.h"
#include "platform/system/SysFiles.h"

#include <QByteArray>
#include <QMap>
#include <QString>
#include <QStringList>
#include <QVariant>

namespace zorbel {

ZORBEL_EXCEPTION(ERegistryException, Exception);

class TRegistry {
public:
    // Uses the settings file of the current user.
    TRegistry();
    // Uses the given settings file (tests, or another store).
    explicit TRegistry(QString fileName);
    // Writes pending changes; a failure here is lost, so callers that must
    // know call CloseKey themselves.
    ~TRegistry();
    TRegistry(const TRegistry &) = delete;
    TRegistry &operator=(const TRegistry &) = delete;

    // <XDG config home>/zorbel/registry.json
    static QString DefaultFileName();
    // A settings file that could not be read (garbage, cut short) is renamed
    // "<file>.damaged-<yyyyMMdd-HHmmss>" and the store starts empty; a
    // folder, FIFO or device under its name (or a link to one) is renamed
    // "<file>.not-a-file-<yyyyMMdd-HHmmss>" unopened. Returns
    // the names of the copies kept so since the last call, and forgets them,
    // so the user is told once.
    static QStringList TakeDamagedCopies();
    // The most a settings file may hold. The program's own settings stay far
    // below it (window bounds, options, column layouts: some kilobytes); a
    // larger file is renamed "<file>.too-large-<yyyyMMdd-HHmmss>" unread and
    // the store starts empty. TakeOversizedCopies tells those names once.
    static constexpr qint64 MaxFileSize = ReadBound::Settings;
    static QStringList TakeOversizedCopies();
    const QString &FileName() const { return fileName_; }

    // Makes key (a full path such as "Software\Ventaro\Zorbel") the current
    // key. A missing key is created when canCreate, else the result is false.
    bool OpenKey(const QString &key, bool canCreate);
    // Leaves the current key and writes the file when anything changed.
    // Raises ERegistryException when the file cannot be written; the changes
    // stay pending.
    void CloseKey();
    // The current key's path; empty when none is open.
    const QString &CurrentPath() const { return currentPath_; }

    // True when the key or any key below it exists.
    bool KeyExists(const QString &key);
    // Deletes the key with everything below it and writes the file at once.
    // False when there was no such key or the file could not be written (the
    // store is then as before).
    bool DeleteKey(const QString &key);

    // Values of the current key.
    bool ValueExists(const QString &name) const;
    // Size of the value's data in bytes (a string counts its UTF-16 units and a
    // terminator: the buffer that holds it whole); -1 when the value is missing.
    int GetDataSize(const QString &name) const;

    // A missing value reads as an empty string.
    QString ReadString(const QString &name) const;
    // A missing value raises "Failed to get data for '%s'".
    int ReadInteger(const QString &name) const;
    bool ReadBool(const QString &name) const;
    // Copies the value's bytes into buffer and returns their count. Raises
    // when the value is missing or larger than bufSize.
    int ReadBinaryData(const QString &name, void *buffer, int bufSize) const;

    // Writes raise "Failed to set data for '%s'" when no key is open.
    void WriteString(const QString &name, const QString &value);
    void WriteInteger(const QString &name, int value);
    void WriteBool(const QString &name, bool value);
    void WriteBinaryData(const QString &name, const void *buffer, int bufSize);

private:
    enum class Kind { String, Integer, Boolean, Binary };
    struct Value {
        Kind kind = Kind::String;
        QVariant data; // QString, int, bool or QByteArray after the kind
    };
    using Values = QMap<QString, Value>;

    void Load();
    static QStringList &damagedCopies();
    static QStringList &oversizedCopies();
    void Save();
    QByteArray Serialize() const;
    static QString CleanKey(const QString &key);
    const Value *Find(const QString &name) const;
    const Value &Get(const QString &name) const;
    int ReadDoubleWord(const QString &name) const;
    void Put(const QString &name, Kind kind, QVariant data);
    [[noreturn]] static void Fail(const char *format, const QString &name);

    QString fileName_;
    bool loaded_ = false;
    bool dirty_ = false;
    QMap<QString, Values> keys_;
    QString currentPath_;
};

} // namespace zorbel
