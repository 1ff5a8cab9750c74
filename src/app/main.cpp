// Entry point of Zorbel: the application object, the analysis windows handed
// to the main window's launchers, the report engine's windows, then the
// main program. The export writers come with the report layouts that carry
// them, so a Save dialog lists each file type once.
#include "analysis/AnalysisWindows.h"
#include "core/ZorbMain.h"
#include "platform/system/SysNames.h"
#include "report/RepPreviewForm.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Zorbel"));
    zorbel::RegisterAnalysisWindows();
    zorbel::RegisterReportWindows();
    // The file names byte-exact (QApplication::arguments() would turn bytes
    // that are not UTF-8 into other names, and such a file would not open).
    QStringList args;
    for (int i = 1; i < argc; ++i)
        args << zorbel::DecodeSystemName(QByteArray(argv[i]));
    return zorbel::ZorbelMain(args);
}
