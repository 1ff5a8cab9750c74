// Test entry point: GoogleTest inside a Qt application object, so code that
// needs an event loop, fonts or widgets runs as it does in the program.
//
// Results must not follow the machine the tests run on: each run has a home
// of its own (settings, the folders Qt's file dialogs remember, the desktop
// registrations the program writes), and sees no printer, whatever CUPS has
// installed, so print dialogs offer the PDF file device alone. A test that
// needs more sets it up itself.
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <cstdio>
#include <gtest/gtest.h>

#ifdef ZORBEL_TEST_GUI
#include <QApplication>
using TestApplication = QApplication;
#else
#include <QCoreApplication>
using TestApplication = QCoreApplication;
#endif

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QTemporaryDir home(QDir::tempPath() + QStringLiteral("/zorbel-tests-XXXXXX"));
    if (!home.isValid()) {
        fprintf(stderr, "no temporary folder for the tests' home: %s\n", qPrintable(home.errorString()));
        return 1;
    }
    // Fontconfig's cache stays the user's: it only saves scanning the fonts.
    if (qEnvironmentVariableIsEmpty("XDG_CACHE_HOME") && !qEnvironmentVariableIsEmpty("HOME"))
        qputenv("XDG_CACHE_HOME", qgetenv("HOME") + "/.cache");
    const QByteArray root = QFile::encodeName(home.path());
    qputenv("HOME", root);
    qputenv("XDG_CONFIG_HOME", root + "/config");
    qputenv("XDG_DATA_HOME", root + "/data");
    qputenv("XDG_STATE_HOME", root + "/state");
    qputenv("XDG_RUNTIME_DIR", root); // private: QTemporaryDir makes it 0700
    // A scheduler socket nobody listens on: CUPS lists no printer.
    qputenv("CUPS_SERVER", root + "/no-cups.sock");
    testing::InitGoogleTest(&argc, argv);
    TestApplication app(argc, argv);
    return RUN_ALL_TESTS();
}
