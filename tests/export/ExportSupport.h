// A list report for the export tests, drawn with the engine's own
// printables: a title with a picture, column headings, a rule, one detail
// line per record (name, amount as "#,##0.00" right-aligned, date) and a
// summary total. Texts are Russian so that every format's encoding is tested.
// Also: Python run over a script, a private folder, file helpers.
#pragma once

#include "report/RepCtrls.h"
#include "report/RepExprSupport.h"
#include "report/RepReportSupport.h"
#include "platform/rtl/CodePages.h"
#include "report/RepReport.h"
#include "support/Tools.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <memory>

namespace zorbel::test {

struct ExportReport {
    std::unique_ptr<TVemtMemTable> table = MakeTable(QStringLiteral("T"));
    TRepPrinter printer;
    TBandReport report;
    QTemporaryDir dir;
    TRepImage *picture = nullptr;

    static QString Name(int i) { return QStringLiteral("Статья «%1» расходов").arg(i); }
    static double Amount(int i) { return i * 1234.5; }
    static QString Date(int i) { return QStringLiteral("%1.03.2026").arg(1 + i % 28, 2, 10, QLatin1Char('0')); }

    explicit ExportReport(int rows)
    {
        report.RepPrinter = &printer;
        report.DataSets.push_back(table.get());
        report.MainController.DataSet = table.get();
        report.Font = QFont(QStringLiteral("Liberation Sans"));
        report.Font.setPointSize(10);
        for (int i = 1; i <= rows; ++i) {
            table->Append();
            table->FieldByName(QStringLiteral("nm"))->SetAsString(Name(i));
            table->FieldByName(QStringLiteral("amt"))->SetAsFloat(Amount(i));
            table->FieldByName(QStringLiteral("Notes"))->SetAsString(Date(i));
            table->Post();
        }
        auto &title = Add(rbTitle, 200);
        auto &caption = Label(title, QStringLiteral("Расходы за март"), 0, 20);
        caption.Font.setBold(true);
        caption.Font.setPointSize(14);
        caption.FontColor = clRed;
        auto image = std::make_unique<TRepImage>();
        image->Name = QStringLiteral("Logo");
        QImage bitmap(40, 20, QImage::Format_RGB32);
        bitmap.fill(QColor(0, 0, 255));
        image->Picture.Bitmap = bitmap;
        image->Stretch = true;
        Place(*image, 1500, 20, 200, 100);
        picture = &title.Add(std::move(image));

        auto &heading = Add(rbColumnHeader, 60);
        Label(heading, QStringLiteral("Статья"), 0, 0);
        Label(heading, QStringLiteral("Сумма"), 1200, 0).SetAlignment(TAlignment::taRightJustify);
        Label(heading, QStringLiteral("Дата"), 1400, 0);
        auto rule = std::make_unique<TRepShape>();
        rule->Shape = TRepShape::qrsHorLine;
        Place(*rule, 0, 50, 1800, 10);
        heading.Add(std::move(rule));

        auto &detail = Add(rbDetail, 50);
        Expr(detail, QStringLiteral("nm"), QString(), 0);
        Expr(detail, QStringLiteral("amt"), QStringLiteral("#,##0.00"), 1200).SetAlignment(TAlignment::taRightJustify);
        auto date = std::make_unique<TRepDBText>();
        date->Font = report.Font;
        date->AutoSize = false;
        Place(*date, 1400, 0, 400, 45);
        date->DataSet = table.get();
        date->SetDataField(QStringLiteral("Notes"));
        detail.Add(std::move(date));

        auto &summary = Add(rbSummary, 60);
        Label(summary, QStringLiteral("Итого"), 0, 0);
        Expr(summary, QStringLiteral("SUM(amt)"), QStringLiteral("#,##0.00"), 1200)
            .SetAlignment(TAlignment::taRightJustify);
    }
    static void Place(TRepPrintable &p, double left, double top, double width, double height)
    {
        p.Size.Values[TRepPrintableSize::iLeft] = left;
        p.Size.Values[TRepPrintableSize::iTop] = top;
        p.Size.Values[TRepPrintableSize::iWidth] = width;
        p.Size.Values[TRepPrintableSize::iHeight] = height;
    }
    TRepBand &Add(TRepBandType type, double height) { return report.AddBand(Band(type, height)); }
    TRepLabel &Label(TRepCustomBand &band, const QString &text, double left, double top, double width = 1000)
    {
        auto l = std::make_unique<TRepLabel>();
        l->Font = report.Font;
        l->AutoSize = false;
        Place(*l, left, top, width, 45);
        l->SetCaption(text);
        return band.Add(std::move(l));
    }
    TRepExpr &Expr(TRepCustomBand &band, const QString &expression, const QString &mask, double left)
    {
        auto e = std::make_unique<TRepExpr>();
        e->Font = report.Font;
        e->AutoSize = false;
        Place(*e, left, 0, 1000, 45);
        e->SetExpression(expression);
        e->Mask = mask;
        return band.Add(std::move(e));
    }
    // Runs the report into the preview's pages, then into the writer.
    void Export(TRepExportFilter &filter)
    {
        if (printer.RecordedPages() == 0)
            report.CreateReport();
        report.ExportToFilter(filter);
    }
    QString Path(const QString &name) const { return dir.filePath(name); }
};

// The amount as the report shows it ("#,##0.00", a no-break space between
// thousands, decimal comma).
inline QString AmountText(double v)
{
    QString s = QString::number(v, 'f', 2).replace(QLatin1Char('.'), QLatin1Char(','));
    for (qsizetype i = s.indexOf(QLatin1Char(',')) - 3; i > 0; i -= 3)
        s.insert(i, QChar(0x00A0));
    return s;
}

// Runs the system's python3 (with its xlrd) on script with args; its standard output parsed as JSON.
inline QJsonDocument PythonJson(const QString &script, const QStringList &args = {})
{
    const QByteArray out = RunTool(QStringLiteral("/usr/bin/python3"), QStringList{QStringLiteral("-c"), script} + args);
    return QJsonDocument::fromJson(out);
}

inline QByteArray FileBytes(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// Every file of a folder (hidden ones included), sorted.
inline QStringList FilesIn(const QString &folder)
{
    return QDir(folder).entryList(QDir::Files | QDir::Hidden, QDir::Name);
}

} // namespace zorbel::test
