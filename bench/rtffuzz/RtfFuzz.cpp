// libFuzzer target: the input is a rich text file. It is read into a
// document, laid out at two widths and walked line by line as a page
// break would; any crash, sanitizer report, hang or escaping exception is a
// finding, and so is a document whose text holds a character the reader
// never writes (a NUL).
#include "report/RepRtf.h"

#include <QAbstractTextDocumentLayout>
#include <QGuiApplication>
#include <QTextBlock>
#include <QTextLayout>
#include <cstdio>
#include <cstdlib>

using namespace zorbel;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    static int argc = 1;
    static char name[] = "rtf_fuzz";
    static char *argv[] = {name, nullptr};
    static QGuiApplication *app = [] {
        qputenv("QT_QPA_PLATFORM", "offscreen");
        return new QGuiApplication(argc, argv);
    }();
    (void)app;
    QByteArray bytes(reinterpret_cast<const char *>(data), qsizetype(size));
    if (!bytes.startsWith("{\\rtf"))
        bytes.prepend("{\\rtf1 ");
    QTextDocument doc;
    ReadRtf(bytes, doc);
    if (doc.toPlainText().contains(QChar(0))) {
        std::fprintf(stderr, "NUL in the document\n");
        std::abort();
    }
    for (double width : {37.0, 600.0}) {
        doc.setTextWidth(width);
        doc.documentLayout()->documentSize();
        int lines = 0;
        for (QTextBlock b = doc.begin(); b.isValid(); b = b.next())
            if (QTextLayout *l = b.layout())
                for (int i = 0; i < l->lineCount(); ++i)
                    lines += l->lineAt(i).textLength() >= 0;
        (void)lines;
    }
    return 0;
}
