// Entry point of Zorbel: the application object, the analysis windows handed
// to the main window's launchers, the report engine's windows and
// export writers, then the main program.
#include "analysis/AnalysisWindows.h"
#include "core/ZorbMain.h"
#include "export/ExportFilters.h"
#include "report/RepPreviewForm.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Zorbel"));
    zorbel::RegisterAnalysisWindows();
    zorbel::RegisterReportWindows();
    zorbel::RegisterExportFilters();
    return zorbel::ZorbelMain(QApplication::arguments().mid(1));
}
