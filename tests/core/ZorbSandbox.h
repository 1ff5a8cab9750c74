// A private home for one test: temporary, session, configuration and data
// folders of its own (TMPDIR, XDG_RUNTIME_DIR, XDG_CONFIG_HOME, XDG_DATA_HOME,
// and "system" as the only system data folder, XDG_DATA_DIRS), restored
// afterwards, so the settings store, the work folder and the file association
// never touch the real ones nor see an installed program.
#pragma once

#include "core/TulnCommon.h"

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

namespace zorbel {

class TSandbox {
public:
    TSandbox()
    {
        for (const char *name : {"TMPDIR", "XDG_RUNTIME_DIR", "XDG_CONFIG_HOME", "XDG_DATA_HOME", "XDG_DATA_DIRS"})
            saved_.append({name, qgetenv(name)});
        QDir(dir_.path()).mkpath(QStringLiteral("tmp"));
        QDir(dir_.path()).mkpath(QStringLiteral("config"));
        QDir(dir_.path()).mkpath(QStringLiteral("data"));
        QDir(dir_.path()).mkpath(QStringLiteral("files"));
        QDir(dir_.path()).mkpath(QStringLiteral("program"));
        QDir(dir_.path()).mkpath(QStringLiteral("runtime"));
        QDir(dir_.path()).mkpath(QStringLiteral("system"));
        QFile::setPermissions(Path("runtime"), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        qputenv("XDG_RUNTIME_DIR", Path("runtime").toUtf8());
        qputenv("TMPDIR", Path("tmp").toUtf8());
        qputenv("XDG_CONFIG_HOME", Path("config").toUtf8());
        qputenv("XDG_DATA_HOME", Path("data").toUtf8());
        qputenv("XDG_DATA_DIRS", Path("system").toUtf8());
        // No desktop tool runs in the sandbox; refreshes are only counted.
        previousRefresh_ = SetMimeRefresh([this](const QString &) { ++MimeRefreshes; });
    }
    ~TSandbox()
    {
        SetMimeRefresh(previousRefresh_);
        for (const auto &[name, value] : saved_) {
            if (value.isNull())
                qunsetenv(name);
            else
                qputenv(name, value);
        }
    }
    TSandbox(const TSandbox &) = delete;
    TSandbox &operator=(const TSandbox &) = delete;

    // A path inside the sandbox ("files" for data files, "program" for the
    // program's folder, "runtime" for the session folder).
    QString Path(const QString &relative) const { return QDir(dir_.path()).filePath(relative); }

    static QByteArray Read(const QString &file)
    {
        QFile f(file);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }
    static void Write(const QString &file, const QByteArray &data)
    {
        QFile f(file);
        if (f.open(QIODevice::WriteOnly))
            f.write(data);
    }

    int MimeRefreshes = 0;

private:
    TMimeRefresh previousRefresh_;
    QTemporaryDir dir_;
    QList<QPair<const char *, QByteArray>> saved_;
};

} // namespace zorbel
