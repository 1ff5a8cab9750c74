// The preview window of a print command, watched from a timer: the test
// starts a command that shows its preview modally; the watch waits for the
// finished run, reads the first page's texts, saves a screenshot when
// ZORBEL_SCREENSHOTS names a folder, and closes the preview.
#pragma once

#include "platform/canvas/Metafile.h"
#include "report/RepPreviewForm.h"

#include <QApplication>
#include <QDir>
#include <QTimer>

namespace zorbel {

inline TRepStandardPreview *OpenPreview()
{
    for (QWidget *w : QApplication::topLevelWidgets())
        if (auto *p = dynamic_cast<TRepStandardPreview *>(w); p && p->isVisible() && p->Printer())
            return p;
    return nullptr;
}

// Waits for the preview, reads its first page and closes it.
struct PreviewWatch {
    explicit PreviewWatch(const QString &shot) : Shot(shot) {}
    QStringList Texts;
    int Pages = 0;
    QString Shot;
    QTimer Poll;
    // Polls (never waits inside a handler: the run itself may need the loop)
    // until the preview shows a finished run, then reads it and closes it.
    void Arm()
    {
        Poll.setInterval(50);
        QObject::connect(&Poll, &QTimer::timeout, [this] {
            TRepStandardPreview *p = OpenPreview();
            if (!p || p->Printer()->Status() != TRepStatus::Ready || p->Printer()->RecordedPages() == 0)
                return;
            Poll.stop();
            Pages = p->Printer()->RecordedPages();
            if (const std::unique_ptr<TMetafile> m = p->Printer()->GetPageMetafile(1))
                EnumMetafileTexts(m->Data(), [&](const TMetafileText &t) { Texts << t.Text; });
            const QString dir = qEnvironmentVariable("ZORBEL_SCREENSHOTS");
            if (!dir.isEmpty() && !Shot.isEmpty()) {
                p->resize(1200, 850);
                QCoreApplication::processEvents();
                p->grab().save(QDir(dir).filePath(Shot + QStringLiteral(".png")));
            }
            p->close();
        });
        Poll.start();
    }
};

} // namespace zorbel
