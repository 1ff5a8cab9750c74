// Entry point of Zorbel: the application object, then the main program.
#include "core/ZorbMain.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Zorbel"));
    return zorbel::ZorbelMain(QApplication::arguments().mid(1));
}
