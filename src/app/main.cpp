// Entry point of Zorbel: the application object, the analysis windows handed
// to the main window's launchers, then the main program.
#include "analysis/AnalysisWindows.h"
#include "core/ZorbMain.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Zorbel"));
    zorbel::RegisterAnalysisWindows();
    return zorbel::ZorbelMain(QApplication::arguments().mid(1));
}
