#include "report/RepFilter.h"

namespace zorbel {

void TRepExportFilter::BeginDocument(int, int, const QFont &) { Started = true; }
void TRepExportFilter::EndDocument() { Started = false; }
void TRepExportFilter::PutGraphic(TRepPrintable &, double, double) {}
void TRepExportFilter::PutBand(TRepCustomBand &, double, double, double) {}
void TRepExportFilter::PutText(double, double, const QFont &, TColor, unsigned, TAlignment, const QString &) {}
void TRepExportFilter::PutFittedText(double x, double y, double, const QFont &font, TColor fontColor,
                                     unsigned backColor, TAlignment alignment, const QString &text)
{
    PutText(x, y, font, fontColor, backColor, alignment, text);
}

void TRepExportFilterLibrary::AddFilter(TRepExportFilterClass filterClass)
{
    const std::unique_ptr<TRepExportFilter> probe = filterClass(QString());
    registered_.push_back({filterClass, probe->GetDialogName(), probe->GetFileExtension()});
}

void TRepExportFilterLibrary::RemoveFilter(TRepExportFilterClass filterClass)
{
    const QString caption = filterClass(QString())->GetDialogName();
    for (auto it = registered_.begin(); it != registered_.end(); ++it)
        if (it->EntryCaption == caption) {
            registered_.erase(it);
            return;
        }
}

QString TRepExportFilterLibrary::GetSaveFilter() const
{
    QString s = QStringLiteral("Report file(*.REP)|*.REP");
    for (const TRepExportFilterLibraryEntry &e : registered_)
        s += QStringLiteral("|%1 (*.%2)|*.%2").arg(e.EntryCaption, e.FileExt);
    return s;
}

std::unique_ptr<TRepExportFilter> TRepExportFilterLibrary::CreateForIndex(int filterIndex,
                                                                          const QString &fileName) const
{
    const int k = filterIndex - 2;
    if (k < 0 || k >= int(registered_.size()))
        return nullptr;
    return registered_[size_t(k)].WriterClass(fileName);
}

TRepExportFilterLibrary &ExportFilterLibrary()
{
    static TRepExportFilterLibrary library;
    return library;
}

} // namespace zorbel
