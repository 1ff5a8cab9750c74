// A private home for one benchmark run: temporary, configuration and data
// folders of its own, so the settings store and the work folder never touch
// the user's, and an empty program folder for the main window.
#pragma once

#include <QByteArray>
#include <QDir>
#include <QString>
#include <QTemporaryDir>

namespace zorbel::bench {

class TBenchHome {
public:
    // Offscreen: run without a display unless a platform is asked for.
    explicit TBenchHome(bool offscreen = true)
    {
        if (offscreen && !qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
            qputenv("QT_QPA_PLATFORM", "offscreen");
        for (const char *v : {"TMPDIR", "XDG_CONFIG_HOME", "XDG_DATA_HOME"})
            qputenv(v, home_.path().toUtf8());
        QDir().mkpath(Program());
    }
    QString Path() const { return home_.path(); }
    QString Program() const { return home_.path() + QStringLiteral("/program"); }

private:
    QTemporaryDir home_;
};

} // namespace zorbel::bench
