// Entry point of Zorbel: creates the application object and runs the program.
#include <QApplication>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Zorbel"));
    return 0;
}
