// Planted includes for the widgets-header guard of the window-free
// libraries (zorbel_forbid_widget_headers in cmake/Zorbel.cmake): compiled by
// the guard's tests with a library's include path, each of 1 to 3 must be
// refused; 0, what such a library may include, must pass.
#if ZORBEL_PROBE == 1
#include <QtWidgets/QWidget> // a widget class by its module path
#elif ZORBEL_PROBE == 2
#include <QtWidgets/qtwidgetsglobal.h> // the widgets' global header alone
#elif ZORBEL_PROBE == 3
#include <QWidget> // by its bare name
#else
#include <QtGui/QFont>
#include <QtPrintSupport/QPrinter> // includes the widgets' global header itself
#endif

int main() { return 0; }
