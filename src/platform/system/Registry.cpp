// Settings store with the registry's keys and value kinds; see Registry.h for
// the file layout. The whole store is held in memory once read; a value that
// the file holds in a form this code does not write is skipped when read, and
// a file that is not such a store at all reads as an empty store and is kept
// aside under a dated name.
#include "platform/system/Registry.h"

#include "platform/system/SysEnv.h"

#include <QJsonDocument>
#include <QJsonObject>

#include <cmath>
#include <cstring>

namespace zorbel {

namespace {

const QString FormatTag = QStringLiteral("zorbel-registry 1");

// Names of the kinds in the file, in the order of TRegistry::Kind.
const char *const KindNames[] = {"string", "integer", "boolean", "binary"};

} // namespace

TRegistry::TRegistry() : TRegistry(DefaultFileName()) {}

TRegistry::TRegistry(QString fileName) : fileName_(std::move(fileName)) {}

TRegistry::~TRegistry()
{
    try {
        if (dirty_)
            Save();
    } catch (const Exception &) {
        // Nothing can be reported from here; see the header.
    }
}

QString TRegistry::DefaultFileName()
{
    return UserConfigHome() + QStringLiteral("/zorbel/registry.json");
}

QString TRegistry::CleanKey(const QString &key)
{
    QString k = key;
    while (k.startsWith(QLatin1Char('\\')))
        k.remove(0, 1);
    while (k.endsWith(QLatin1Char('\\')))
        k.chop(1);
    return k;
}

void TRegistry::Fail(const char *format, const QString &name)
{
    throw ERegistryException(QString::fromUtf8(format).arg(name));
}

QStringList &TRegistry::damagedCopies()
{
    static QStringList copies;
    return copies;
}

QStringList &TRegistry::oversizedCopies()
{
    static QStringList copies;
    return copies;
}

QStringList TRegistry::TakeOversizedCopies()
{
    QStringList copies;
    copies.swap(oversizedCopies());
    return copies;
}

QStringList TRegistry::TakeDamagedCopies()
{
    QStringList copies;
    copies.swap(damagedCopies());
    return copies;
}

void TRegistry::Load()
{
    if (loaded_)
        return;
    loaded_ = true;
    QByteArray data;
    // A settings file past any size the program writes is never read into
    // memory (nor written back whole at exit): it is set aside like a
    // damaged one. So is a folder, FIFO or device under its name (or a link
    // to one), which is never opened: the start goes on with the defaults,
    // and the settings written at exit take the name again.
    const TReadResult read = ReadWholeFile(fileName_, MaxFileSize, data);
    if (!read.Ok()) {
        if (read.Fault == TReadFault::TooLarge) {
            const QString kept =
                fileName_ + TSysEnv::CurrentTime().toString(QStringLiteral(".'too-large'-yyyyMMdd-HHmmss"));
            if (TSysEnv::Rename(fileName_, kept))
                oversizedCopies().append(kept);
        } else if (read.Fault == TReadFault::Folder || read.Fault == TReadFault::NotAFile) {
            const QString kept =
                fileName_ + TSysEnv::CurrentTime().toString(QStringLiteral(".'not-a-file'-yyyyMMdd-HHmmss"));
            if (TSysEnv::Rename(fileName_, kept))
                damagedCopies().append(kept);
        }
        return;
    }
    QJsonParseError error{};
    const QJsonDocument document = QJsonDocument::fromJson(data, &error);
    const QJsonObject root = document.object();
    if (error.error != QJsonParseError::NoError || root.value(QLatin1String("format")).toString() != FormatTag) {
        // Damaged (garbage, or cut short): kept aside under a dated name, so
        // that writing the defaults back does not destroy it.
        const QString kept = fileName_ + TSysEnv::CurrentTime().toString(QStringLiteral(".'damaged'-yyyyMMdd-HHmmss"));
        if (TSysEnv::Rename(fileName_, kept))
            damagedCopies().append(kept);
        return;
    }
    const QJsonObject keys = root.value(QLatin1String("keys")).toObject();
    for (auto k = keys.begin(); k != keys.end(); ++k) {
        Values &values = keys_[CleanKey(k.key())];
        const QJsonObject stored = k.value().toObject();
        for (auto v = stored.begin(); v != stored.end(); ++v) {
            const QJsonObject item = v.value().toObject();
            const QString kind = item.value(QLatin1String("kind")).toString();
            const QJsonValue data = item.value(QLatin1String("data"));
            if (kind == QLatin1String(KindNames[0]) && data.isString()) {
                // A file name with bytes that are not UTF-8 comes back from
                // its bytes; the text beside them is for the eye only.
                QString text = data.toString();
                const QJsonValue bytes = item.value(QLatin1String("bytes"));
                if (bytes.isString()) {
                    const auto name = QByteArray::fromBase64Encoding(bytes.toString().toLatin1(),
                                                                     QByteArray::AbortOnBase64DecodingErrors);
                    if (name)
                        text = DecodeSystemName(*name);
                }
                values[v.key()] = {Kind::String, text};
            } else if (kind == QLatin1String(KindNames[1]) && data.isDouble()) {
                const double d = data.toDouble();
                if (d == std::floor(d) && d >= INT32_MIN && d <= INT32_MAX)
                    values[v.key()] = {Kind::Integer, static_cast<int>(d)};
            } else if (kind == QLatin1String(KindNames[2]) && data.isBool()) {
                values[v.key()] = {Kind::Boolean, data.toBool()};
            } else if (kind == QLatin1String(KindNames[3]) && data.isString()) {
                auto bytes = QByteArray::fromBase64Encoding(data.toString().toLatin1(),
                                                           QByteArray::AbortOnBase64DecodingErrors);
                if (bytes)
                    values[v.key()] = {Kind::Binary, *bytes};
            }
        }
    }
}

QByteArray TRegistry::Serialize() const
{
    QJsonObject keys;
    for (auto k = keys_.begin(); k != keys_.end(); ++k) {
        QJsonObject values;
        for (auto v = k->begin(); v != k->end(); ++v) {
            QJsonValue data;
            QJsonObject item;
            switch (v->kind) {
            case Kind::String: {
                // JSON text cannot carry a byte that is not UTF-8 (a file name
                // made on another system): such a string also keeps its
                // bytes, so the recent file reopens; every other string is
                // stored as before.
                const QString text = v->data.toString();
                data = ShownName(text);
                if (NameHasLostBytes(text))
                    item.insert(QLatin1String("bytes"), QString::fromLatin1(EncodeSystemName(text).toBase64()));
                break;
            }
            case Kind::Integer: data = v->data.toInt(); break;
            case Kind::Boolean: data = v->data.toBool(); break;
            case Kind::Binary: data = QString::fromLatin1(v->data.toByteArray().toBase64()); break;
            }
            item.insert(QLatin1String("kind"), QLatin1String(KindNames[int(v->kind)]));
            item.insert(QLatin1String("data"), data);
            values.insert(v.key(), item);
        }
        keys.insert(k.key(), values);
    }
    const QJsonObject root {{QLatin1String("format"), FormatTag}, {QLatin1String("keys"), keys}};
    return QJsonDocument(root).toJson(QJsonDocument::Indented);
}

void TRegistry::Save()
{
    try {
        SaveFileAtomically(fileName_, Serialize());
    } catch (const EWriteError &e) {
        throw ERegistryException(e.Message());
    }
    dirty_ = false;
}

bool TRegistry::OpenKey(const QString &key, bool canCreate)
{
    const QString k = CleanKey(key);
    if (k.isEmpty())
        return false;
    if (!KeyExists(k)) {
        if (!canCreate)
            return false;
        keys_[k];
        dirty_ = true;
    }
    currentPath_ = k;
    return true;
}

void TRegistry::CloseKey()
{
    currentPath_.clear();
    if (dirty_)
        Save();
}

bool TRegistry::KeyExists(const QString &key)
{
    Load();
    const QString k = CleanKey(key);
    if (k.isEmpty())
        return false;
    const QString below = k + QLatin1Char('\\');
    for (auto it = keys_.lowerBound(k); it != keys_.end(); ++it) {
        if (it.key() == k || it.key().startsWith(below))
            return true;
        if (!it.key().startsWith(k))
            break;
    }
    return false;
}

bool TRegistry::DeleteKey(const QString &key)
{
    const QString k = CleanKey(key);
    if (!KeyExists(k))
        return false;
    const auto before = keys_;
    const QString below = k + QLatin1Char('\\');
    keys_.removeIf([&](const auto &it) { return it.key() == k || it.key().startsWith(below); });
    try {
        Save();
    } catch (const ERegistryException &) {
        keys_ = before;
        return false;
    }
    if (currentPath_ == k || currentPath_.startsWith(below))
        currentPath_.clear();
    return true;
}

const TRegistry::Value *TRegistry::Find(const QString &name) const
{
    if (currentPath_.isEmpty())
        return nullptr;
    const auto key = keys_.constFind(currentPath_);
    if (key == keys_.cend())
        return nullptr;
    const auto value = key->constFind(name);
    return value == key->cend() ? nullptr : &*value;
}

const TRegistry::Value &TRegistry::Get(const QString &name) const
{
    const Value *value = Find(name);
    if (!value)
        Fail("Не удалось прочитать значение «%1»", name);
    return *value;
}

bool TRegistry::ValueExists(const QString &name) const { return Find(name) != nullptr; }

int TRegistry::GetDataSize(const QString &name) const
{
    const Value *value = Find(name);
    if (!value)
        return -1;
    switch (value->kind) {
    case Kind::String: return int((value->data.toString().size() + 1) * 2);
    case Kind::Integer:
    case Kind::Boolean: return 4;
    case Kind::Binary: return int(value->data.toByteArray().size());
    }
    return -1;
}

QString TRegistry::ReadString(const QString &name) const
{
    const Value *value = Find(name);
    if (!value)
        return {};
    if (value->kind != Kind::String)
        Fail("Invalid data type for '%1'", name);
    return value->data.toString();
}

int TRegistry::ReadDoubleWord(const QString &name) const
{
    const Value &value = Get(name);
    if (value.kind == Kind::Integer)
        return value.data.toInt();
    if (value.kind == Kind::Boolean)
        return value.data.toBool() ? 1 : 0;
    Fail("Invalid data type for '%1'", name);
}

int TRegistry::ReadInteger(const QString &name) const { return ReadDoubleWord(name); }

bool TRegistry::ReadBool(const QString &name) const { return ReadDoubleWord(name) != 0; }

int TRegistry::ReadBinaryData(const QString &name, void *buffer, int bufSize) const
{
    const Value &value = Get(name);
    if (value.kind != Kind::Binary)
        Fail("Invalid data type for '%1'", name);
    const QByteArray bytes = value.data.toByteArray();
    if (bytes.size() > bufSize)
        Fail("Не удалось прочитать значение «%1»", name);
    if (!bytes.isEmpty())
        std::memcpy(buffer, bytes.constData(), size_t(bytes.size()));
    return int(bytes.size());
}

void TRegistry::Put(const QString &name, Kind kind, QVariant data)
{
    if (currentPath_.isEmpty())
        Fail("Не удалось записать значение «%1»", name);
    keys_[currentPath_][name] = {kind, std::move(data)};
    dirty_ = true;
}

void TRegistry::WriteString(const QString &name, const QString &value) { Put(name, Kind::String, value); }

void TRegistry::WriteInteger(const QString &name, int value) { Put(name, Kind::Integer, value); }

void TRegistry::WriteBool(const QString &name, bool value) { Put(name, Kind::Boolean, value); }

void TRegistry::WriteBinaryData(const QString &name, const void *buffer, int bufSize)
{
    Put(name, Kind::Binary, QByteArray(static_cast<const char *>(buffer), bufSize));
}

} // namespace zorbel
