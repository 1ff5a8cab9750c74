// External programs used as test oracles, run as child processes.
#pragma once

#include "support/ChildProcess.h"

#include <QByteArray>
#include <QFileInfo>
#include <QString>
#include <QStringList>
#include <gtest/gtest.h>

namespace zorbel::test {

// Runs a program; returns its standard output (empty and a failed check when
// it fails or takes more than timeoutMs).
inline QByteArray RunTool(const QString &program, const QStringList &args, int timeoutMs = 120000)
{
    TChildOptions options;
    options.TimeoutMs = timeoutMs;
    const TChildRun run = RunChild(program, args, options);
    EXPECT_TRUE(run.Ok()) << program.toStdString() << ": " << run.Err.toStdString();
    return run.Out;
}

// Converts files with LibreOffice (a private profile under folder) into
// folder as format ("pdf", "png", "csv", "txt:Text"); returns the path of the
// first file's result or an empty string.
inline QString SofficeConvert(const QStringList &files, const QString &format, const QString &folder)
{
    const QString profile = QStringLiteral("-env:UserInstallation=file://") + folder + QStringLiteral("/profile");
    RunTool(QStringLiteral("soffice"),
            QStringList{profile, QStringLiteral("--headless"), QStringLiteral("--convert-to"), format,
                        QStringLiteral("--outdir"), folder} + files,
            240000);
    const QString out = folder + QLatin1Char('/') + QFileInfo(files.value(0)).completeBaseName() + QLatin1Char('.') +
                        format.section(QLatin1Char(':'), 0, 0);
    return QFileInfo::exists(out) ? out : QString();
}

inline QString SofficeConvert(const QString &file, const QString &format, const QString &folder)
{
    return SofficeConvert(QStringList{file}, format, folder);
}

} // namespace zorbel::test
