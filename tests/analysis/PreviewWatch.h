// The preview window of a print command, watched from a timer: the test
// starts a command that shows its preview modally; the watch waits for the
// finished run, reads the pages' texts, may act on the preview (save it),
// saves a screenshot when ZORBEL_SCREENSHOTS names a folder, and closes it.
#pragma once

#include "platform/canvas/Metafile.h"
#include "report/RepPreviewForm.h"
#include "report/RepPrinter.h"

#include <QApplication>
#include <QDir>
#include <QTimer>

#include <functional>
#include <memory>

namespace zorbel {

// Every text of the recorded pages of a printer, up to page last (0: all).
inline QStringList PageTexts(TRepPrinter &printer, int last = 0)
{
    QStringList texts;
    const int pages = last > 0 ? std::min(last, printer.RecordedPages()) : printer.RecordedPages();
    for (int n = 1; n <= pages; ++n)
        if (const std::unique_ptr<TMetafile> m = printer.GetPageMetafile(n))
            EnumMetafileTexts(m->Data(), [&](const TMetafileText &t) { texts << t.Text; });
    return texts;
}

inline TRepStandardPreview *OpenPreview()
{
    for (QWidget *w : QApplication::topLevelWidgets())
        if (auto *p = dynamic_cast<TRepStandardPreview *>(w); p && p->isVisible() && p->Printer())
            return p;
    return nullptr;
}

// Waits for the preview a command opens, reads its pages and closes it.
struct PreviewWatch {
    explicit PreviewWatch(const QString &shot) : Shot(shot) {}
    QStringList Texts;    // the first page
    QStringList AllTexts; // every page
    int Pages = 0;
    QString Shot;
    // Runs on the finished preview before it closes (saving, say).
    std::function<void(TRepStandardPreview &)> Act;
    // A preview of a run on the window thread is finished only once the run
    // has handed its pages over (saving before that would run it again).
    bool WaitLoaded = false;
    QTimer Poll;
    // Polls (never waits inside a handler: the run itself may need the loop)
    // until the preview shows a finished run, then reads it and closes it.
    // With ZORBEL_SCREENSHOTS set the preview is saved there first.
    void Arm()
    {
        Poll.setInterval(50);
        QObject::connect(&Poll, &QTimer::timeout, [this] {
            TRepStandardPreview *p = OpenPreview();
            if (!p || p->Printer()->Status() != TRepStatus::Ready || p->Printer()->RecordedPages() == 0 ||
                (WaitLoaded && !p->Printer()->Loaded()))
                return;
            Poll.stop();
            Pages = p->Printer()->RecordedPages();
            Texts = PageTexts(*p->Printer(), 1);
            AllTexts = PageTexts(*p->Printer());
            const QString dir = qEnvironmentVariable("ZORBEL_SCREENSHOTS");
            if (!dir.isEmpty() && !Shot.isEmpty()) {
                p->resize(1200, 850);
                QCoreApplication::processEvents();
                p->grab().save(QDir(dir).filePath(Shot + QStringLiteral(".png")));
            }
            if (Act)
                Act(*p);
            p->close();
        });
        Poll.start();
    }
};

} // namespace zorbel
