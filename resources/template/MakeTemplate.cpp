// Build tool: makes the template data set archive. Creates the seven tables
// in a scratch folder with the program's table definitions and packs the
// folder with the program's zip writer, as a data file is packed (level 1).
//
// Usage: zorbel_mktemplate <archive>
#include "archive/ZipWriter.h"
#include "core/ZorbDmTables.h"
#include "platform/sqltable/Database.h"

#include <QCoreApplication>
#include <QFile>
#include <QTemporaryDir>
#include <cstdio>

int main(int argc, char *argv[])
{
    using namespace zorbel;
    QCoreApplication app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: zorbel_mktemplate <archive>\n");
        return 2;
    }
    const QString archive = QString::fromLocal8Bit(argv[1]);
    try {
        QTemporaryDir work;
        {
            TDatabase db;
            db.SetParams({QStringLiteral("PATH=") + work.path()});
            db.Open();
            CreateTemplateDataSet(db);
            db.Close();
        }
        QFile::remove(archive);
        TZipWriter zip;
        zip.SetPackLevel(1);
        zip.SetZipAction(TZipAction::zaReplace);
        zip.SetRetainAttributes(false);
        zip.SetRootDir(work.path());
        zip.SetZipName(archive);
        zip.FilesList().Add(QStringLiteral("*"));
        if (zip.CompressFiles() != 1) {
            std::fprintf(stderr, "zorbel_mktemplate: nothing packed\n");
            return 1;
        }
    } catch (const Exception &e) {
        std::fprintf(stderr, "zorbel_mktemplate: %s\n", e.what());
        QFile::remove(archive);
        return 1;
    }
    return 0;
}
