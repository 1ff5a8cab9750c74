// Every figure of the results window whole on every surface. A ledger of
// eight- and nine-digit amounts (negative balances, the common unit's
// columns, sums in the summary bands) goes through the three printouts: the
// recorded preview pages, paper (a PDF file through the printer), the PDF
// writer and every writer the layouts carry, each file read back by an
// independent reader (PDF by pdftotext, plain text and CSV decoded from
// Windows-1251 by iconv, HTML by html.parser, XLS by xlrd, RTF by
// LibreOffice, WMF and EMF pages by wmf2svg and emf2svg-conv). Each figure
// the layout prints for the window's rows and sums must appear whole in each
// of them.
#include "PrintCheck.h"
#include "RstFixture.h"

#include "analysis/ZorbPrd.h"
#include "analysis/ZorbRstDynCalc.h"
#include "analysis/ZorbRstPrint.h"
#include "export/ExportText.h"
#include "export/RepPDFFilt.h"
#include "export/ExportWmf.h"
#include "export/ExportXls.h"
#include "platform/canvas/Printers.h"
#include "platform/rtl/Format.h"
#include "support/Tools.h"

#include <QDirIterator>
#include <QJsonArray>
#include <QJsonDocument>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <map>

namespace zorbel::test {
namespace {

// Blanks of any kind as one blank, none at the ends.
QString Plain(const QString &text) { return QString(text).replace(QChar(0x00A0), u' ').simplified(); }

// Whether figure stands whole in text: found, and neither preceded nor
// followed by a digit (so "1 234,00" is not taken for "11 234,00").
bool HoldsWhole(const QString &text, const QString &figure)
{
    for (qsizetype at = text.indexOf(figure); at >= 0; at = text.indexOf(figure, at + 1)) {
        const qsizetype end = at + figure.size();
        const bool before = at > 0 && text[at - 1].isDigit();
        const bool after = end < text.size() && (text[end].isDigit() || (text[end] == u',' && end + 1 < text.size() &&
                                                                          text[end + 1].isDigit()));
        if (!before && !after)
            return true;
    }
    return false;
}

// Sum(a) or Sum(a-b) over the records of data, added as the report's
// evaluator adds: in floating point (the common unit's values carry more
// decimals than a cent).
std::optional<double> SumOf(const QString &expression, TDataSet &data)
{
    static const QRegularExpression sum(QStringLiteral("^Sum\\((\\w+)(?:-(\\w+))?\\)$"));
    const QRegularExpressionMatch m = sum.match(expression);
    if (!m.hasMatch())
        return std::nullopt;
    double total = 0;
    for (data.First(); !data.Eof(); data.Next()) {
        double v = data.FieldByName(m.captured(1))->AsFloat();
        if (m.hasCaptured(2))
            v -= data.FieldByName(m.captured(2))->AsFloat();
        total += v;
    }
    return total;
}

// The figures a layout prints over data: every numeric field of every row
// in its mask (or display text), every sum of a summary, every caption
// holding a figure (the balances).
QStringList Figures(TCustomBandReport &report, TDataSet &data)
{
    QStringList figures;
    for (const auto &band : report.Bands())
        for (const auto &p : band->Printables()) {
            if (auto *t = dynamic_cast<TRepDBText *>(p.get()); t && t->DataSet == &data) {
                TField *f = data.FindField(t->DataField());
                if (!f || !(dynamic_cast<TFloatField *>(f) || dynamic_cast<TIntegerField *>(f)))
                    continue;
                for (data.First(); !data.Eof(); data.Next())
                    if (!f->IsNull())
                        figures << (t->Mask.isEmpty() ? f->DisplayText() : FormatFloat(t->Mask, f->AsFloat()));
            } else if (auto *e = dynamic_cast<TRepExpr *>(p.get()); e && !e->Mask.isEmpty()) {
                if (const std::optional<double> s = SumOf(e->Expression(), data))
                    figures << FormatFloat(e->Mask, *s);
            } else if (auto *l = dynamic_cast<TRepLabel *>(p.get());
                       l && l->Caption().contains(u'=') && std::any_of(l->Caption().begin(), l->Caption().end(),
                                                                       [](QChar c) { return c.isDigit(); })) {
                figures << l->Caption();
            }
        }
    for (QString &f : figures)
        f = Plain(f);
    figures.removeAll(QString());
    figures.removeDuplicates();
    return figures;
}

// The figures a layout prints on one row, row by row: for every record of
// data, the figures of the detail band's data texts standing at one top;
// for the summary band, its sums standing at one top. Only rows of two
// figures or more, where a figure could leave its row.
std::vector<QStringList> FigureRows(TCustomBandReport &report, TDataSet &data)
{
    std::vector<QStringList> rows;
    auto keep = [&rows](QStringList row) {
        for (QString &f : row)
            f = Plain(f);
        row.removeAll(QString());
        if (row.size() >= 2)
            rows.push_back(row);
    };
    for (const auto &band : report.Bands()) {
        std::map<long, std::vector<TRepPrintable *>> byTop;
        for (const auto &p : band->Printables())
            byTop[std::lround(p->Size.Top())].push_back(p.get());
        for (const auto &[top, printables] : byTop) {
            if (band->BandType == rbDetail) {
                for (data.First(); !data.Eof(); data.Next()) {
                    QStringList row;
                    for (TRepPrintable *p : printables)
                        if (auto *t = dynamic_cast<TRepDBText *>(p); t && t->DataSet == &data)
                            if (TField *f = data.FindField(t->DataField());
                                f && !f->IsNull() && (dynamic_cast<TFloatField *>(f) || dynamic_cast<TIntegerField *>(f)))
                                row << (t->Mask.isEmpty() ? f->DisplayText() : FormatFloat(t->Mask, f->AsFloat()));
                    keep(row);
                }
            } else if (band->BandType == rbSummary) {
                QStringList row;
                for (TRepPrintable *p : printables)
                    if (auto *e = dynamic_cast<TRepExpr *>(p); e && !e->Mask.isEmpty())
                        if (const std::optional<double> s = SumOf(e->Expression(), data))
                            row << FormatFloat(e->Mask, *s);
                keep(row);
            }
        }
    }
    return rows;
}

// Every file of dir whose name ends in suffix, read by reader, one text.
QString ReadAll(const QString &dir, const QString &suffix, const std::function<QString(const QString &)> &reader)
{
    QStringList files;
    for (QDirIterator it(dir, QDir::Files); it.hasNext();)
        if (const QString f = it.next(); f.endsWith(suffix, Qt::CaseInsensitive))
            files << f;
    files.sort();
    QString all;
    for (const QString &f : files)
        all += reader(f) + u'\n';
    return all;
}

// The numbers of an XLS file's NUMBER cells as xlrd reads them, with the
// format each is shown in, and its labels.
struct TXlsCells {
    std::vector<std::pair<double, QString>> Numbers;
    QStringList Labels;
};

// The rows of an XLS file's first sheet: each cell as text, a NUMBER
// cell as its number ("%.4f").
std::vector<QStringList> ReadXlsRows(const QString &file)
{
    const QJsonArray rows =
        QJsonDocument::fromJson(Python(QStringLiteral("import json,sys,xlrd\n"
                                                      "s = xlrd.open_workbook(sys.argv[1]).sheet_by_index(0)\n"
                                                      "out = [[('%.4f' % c.value) if c.ctype == 2 else str(c.value)\n"
                                                      "        for c in s.row(r) if c.ctype in (1, 2)] for r in range(s.nrows)]\n"
                                                      "sys.stdout.write(json.dumps(out))"),
                                       file)
                                    .toUtf8())
            .array();
    std::vector<QStringList> out;
    for (const QJsonValue &r : rows) {
        QStringList cells;
        for (const QJsonValue &c : r.toArray())
            cells << Plain(c.toString());
        out.push_back(cells);
    }
    return out;
}

TXlsCells ReadXls(const QString &file)
{
    const QJsonArray cells =
        QJsonDocument::fromJson(Python(QStringLiteral("import json,sys,xlrd\n"
                                                      "b = xlrd.open_workbook(sys.argv[1], formatting_info=True)\n"
                                                      "s = b.sheet_by_index(0)\n"
                                                      "out = []\n"
                                                      "for r in range(s.nrows):\n"
                                                      "    for c in s.row(r):\n"
                                                      "        f = b.format_map[b.xf_list[c.xf_index].format_key].format_str\n"
                                                      "        out.append([c.ctype, c.value, f])\n"
                                                      "sys.stdout.write(json.dumps(out))"),
                                       file)
                                    .toUtf8())
            .array();
    TXlsCells out;
    for (const QJsonValue &v : cells) {
        const QJsonArray c = v.toArray();
        if (c[0].toInt() == 2)
            out.Numbers.emplace_back(c[1].toDouble(), c[2].toString());
        else if (c[0].toInt() == 1)
            out.Labels << Plain(c[1].toString());
    }
    return out;
}

// The texts of a WMF page as wmf2svg draws them. It places every character,
// blanks included, on its own at its origin; the characters of one line are
// joined in order, and where the gap after a digit, sign or blank exceeds
// that character's advance (Arial's widths, in ems) by a tenth of an em, a
// new text begins: a blank goes between. After letters only a gap wider
// than an em parts texts.
QString WmfTexts(const QString &file)
{
    return Python(QStringLiteral(
                      "import re,subprocess,sys\n"
                      "svg = subprocess.run(['wmf2svg', sys.argv[1]], capture_output=True, check=True).stdout.decode('cp1251')\n"
                      "advance = dict({d: 0.556 for d in '0123456789'}, **{',': 0.278, '.': 0.278, '-': 0.333, ' ': 0.278, "
                      "chr(160): 0.278, '=': 0.584})\n"
                      "chars = {}\n"
                      "for m in re.finditer(r'<text[^>]*font-size:([0-9.]+)[^>]*matrix\\(([^)]*)\\)\"\\s*>([^<]*)</text>', svg):\n"
                      "    size, matrix, c = float(m.group(1)), m.group(2).split(), m.group(3)\n"
                      "    chars.setdefault(round(float(matrix[5]), 1), []).append((float(matrix[4]), size, c))\n"
                      "for y in sorted(chars):\n"
                      "    line, last = '', None\n"
                      "    for x, size, c in sorted(chars[y], key=lambda t: t[0]):\n"
                      "        if last is not None and x - last[0] > (advance.get(last[1], 0.9) + 0.1) * size: line += ' '\n"
                      "        line += c\n"
                      "        last = (x, c)\n"
                      "    sys.stdout.buffer.write((line + chr(10)).encode())\n"),
                  file);
}

class RstFigures : public RstFixture {
protected:
    TReportWindowsScope reportWindows;
    QTemporaryDir dir;

    // The generated ledger with every amount and opening balance scaled to
    // eight and nine integer digits; expenses outweigh incomes, so balances
    // run negative.
    void PopulateLarge()
    {
        Populate(60);
        Exec(U("update tb_hist set dt = dt * 1000003, ct = ct * 999983"));
        Exec(U("update tb_account set beg = beg * 100003"));
        TDm &dm = *main->Dm;
        for (TTable *t : {&dm.Tb_Account, &dm.Tb_Hist}) {
            t->Close();
            t->Open();
        }
        main->SetLedgerRange(dm.Tb_Hist);
    }

    // Runs report and checks that every figure is whole on its recorded
    // pages, in a PDF printed from it, and in each file its writers save.
    void CheckEverySurface(TCustomBandReport &report, TDataSet &data, const QString &name)
    {
        const QStringList figures = Figures(report, data);
        ASSERT_GT(figures.size(), 5) << name.toStdString();
        // Large, negative and grouped figures are among them.
        EXPECT_TRUE(std::any_of(figures.begin(), figures.end(), [](const QString &f) { return f.size() >= 11; }));
        EXPECT_TRUE(std::any_of(figures.begin(), figures.end(), [](const QString &f) { return f.startsWith(u'-'); }))
            << figures.join(u'|').toStdString();

        // The preview: each figure is one text record of its own, whole.
        TRepPrinter printer;
        report.RepPrinter = &printer;
        report.CreateReport();
        QStringList preview;
        for (const QString &t : PageTexts(printer))
            preview << Plain(t);
        for (const QString &f : figures)
            EXPECT_TRUE(preview.contains(f)) << name.toStdString() << " preview lacks " << f.toStdString() << " in "
                                             << preview.join(u'|').toStdString();

        const QString out = dir.filePath(name);
        QDir().mkpath(out);
        auto path = [&](const QString &ext) { return out + QStringLiteral("/") + name + u'.' + ext; };
        for (const char *ext : {"txt", "csv", "htm", "xls", "rtf"})
            ASSERT_TRUE(ExportAs(report, QString::fromLatin1(ext), path(QString::fromLatin1(ext)))) << ext;
        ExportAs(report, U("wmf"), path(U("wmf"))); // a file per page: name001.wmf, ...
        ASSERT_TRUE(QFile::exists(out + u'/' + name + U("001.wmf")));
        TRepWMFFilter::SetEnhanced(true);
        TRepWMFExportFilter emf(out + QStringLiteral("/pages.emf"));
        report.ExportToFilter(emf);
        TRepWMFFilter::SetEnhanced(false);
        {
            TRepPDFDocumentFilter writer(out + U("/export.pdf"));
            report.ExportToFilter(writer);
        }
        report.PrinterSettings.OutputFile = path(U("pdf"));
        report.PrintToPrinter();
        report.RepPrinter = nullptr;

        auto iconv = [](const QString &file) {
            return QString::fromUtf8(RunTool(U("iconv"), {U("-f"), U("CP1251"), U("-t"), U("UTF-8"), file}));
        };
        const QString text = iconv(path(U("txt")));
        const QString csv = iconv(path(U("csv")));
        const QString html = HtmlText(out);
        const QString pdf = Tool(U("pdftotext"), {U("-layout"), path(U("pdf")), U("-")});
        const QString pdfExport = Tool(U("pdftotext"), {U("-layout"), out + U("/export.pdf"), U("-")});
        const QString wmf = ReadAll(out, U(".wmf"), WmfTexts);
        const QString emfSvg = ReadAll(out, U(".emf"), [&](const QString &f) {
            const QString svg = f + U(".svg");
            RunTool(U("emf2svg-conv"), {U("-i"), f, U("-o"), svg});
            QFile read(svg);
            return read.open(QIODevice::ReadOnly) ? QString::fromUtf8(read.readAll()) : QString();
        });
        const QString rtfTxt = SofficeConvert(path(U("rtf")), U("txt:Text (encoded):UTF8"), out);
        ASSERT_FALSE(rtfTxt.isEmpty());
        QFile rtfRead(rtfTxt);
        ASSERT_TRUE(rtfRead.open(QIODevice::ReadOnly));
        const QString rtf = QString::fromUtf8(rtfRead.readAll());
        // The metafile readers write texts as XML: entities for blanks and
        // signs would hide figures from a plain search.
        auto unescapeXml = [](QString s) {
            return s.replace(U("&#160;"), U(" ")).replace(U("&#xA0;"), U(" ")).replace(U("&#32;"), U(" ")).replace(U("&amp;"), U("&"));
        };
        const std::pair<const char *, QString> files[] = {
            {"plain text", Plain(text)}, {"CSV", Plain(csv)},    {"HTML", Plain(html)},
            {"PDF", Plain(pdf)},         {"RTF", Plain(rtf)},    {"WMF", Plain(wmf)},
            {"PDF export", Plain(pdfExport)},
            {"EMF", Plain(unescapeXml(emfSvg))}};
        for (const auto &[kind, content] : files) {
            ASSERT_FALSE(content.isEmpty()) << kind;
            for (const QString &f : figures)
                EXPECT_TRUE(HoldsWhole(content, f)) << name.toStdString() << ": " << kind << " lacks " << f.toStdString();
        }

        // The spreadsheet: each figure a number (shown as written) or, where
        // it stands in a caption, a label.
        const TXlsCells xls = ReadXls(path(U("xls")));
        for (const QString &f : figures) {
            double value = 0;
            QString format;
            if (TRepXLSFilter::ReadFigure(f, value, format)) {
                EXPECT_TRUE(std::any_of(xls.Numbers.begin(), xls.Numbers.end(),
                                        [&](const auto &n) { return std::abs(n.first - value) < 1e-6 && n.second == format; }))
                    << name.toStdString() << ": XLS lacks the number " << f.toStdString();
            } else {
                EXPECT_TRUE(xls.Labels.contains(f)) << name.toStdString() << ": XLS lacks " << f.toStdString();
            }
        }

        // Rows kept: the figures of one record (or of the summary) stand on
        // one line of the plain text and the CSV file and in one row of the
        // spreadsheet, however small a figure was printed.
        const std::vector<QStringList> rows = FigureRows(report, data);
        ASSERT_FALSE(rows.empty()) << name.toStdString();
        auto lineHolding = [](const QStringList &lines, const QStringList &row) {
            return std::any_of(lines.begin(), lines.end(), [&](const QString &line) {
                return std::all_of(row.begin(), row.end(), [&](const QString &f) { return HoldsWhole(Plain(line), f); });
            });
        };
        const QStringList textLines = text.split(u'\n'), csvLines = csv.split(u'\n');
        const std::vector<QStringList> xlsRows = ReadXlsRows(path(U("xls")));
        int textSplit = 0, csvSplit = 0, xlsSplit = 0;
        for (const QStringList &row : rows) {
            textSplit += !lineHolding(textLines, row);
            csvSplit += !lineHolding(csvLines, row);
            const bool inXlsRow = std::any_of(xlsRows.begin(), xlsRows.end(), [&](const QStringList &cells) {
                return std::all_of(row.begin(), row.end(), [&](const QString &f) {
                    double value = 0;
                    QString format;
                    return TRepXLSFilter::ReadFigure(f, value, format)
                               ? cells.contains(QString::asprintf("%.4f", value))
                               : cells.contains(f);
                });
            });
            xlsSplit += !inXlsRow;
        }
        EXPECT_EQ(textSplit, 0) << name.toStdString() << ": rows split in plain text, of " << rows.size();
        EXPECT_EQ(csvSplit, 0) << name.toStdString() << ": rows split in CSV, of " << rows.size();
        EXPECT_EQ(xlsSplit, 0) << name.toStdString() << ": rows split in XLS, of " << rows.size();

        // Plain text: no two texts ran into each other; every text of the
        // preview stands in the file apart from its neighbours (but the
        // clock, which may have moved on between the runs).
        static const QRegularExpression clock(QStringLiteral("\\d:\\d\\d:\\d\\d"));
        for (const QString &t : preview) {
            if (t.isEmpty() || t.contains(clock))
                continue;
            EXPECT_TRUE(HoldsWhole(Plain(text), t)) << name.toStdString() << ": plain text lacks " << t.toStdString();
        }
    }
};

TEST_F(RstFigures, GroupedTotalsInBothUnitsAreWholeEverywhere)
{
    PopulateLarge();
    auto f = OpenWindow();
    f->RefreshResults();
    ASSERT_GT(f->TabRes.RecordCount(), 2);
    // The printout runs over its own snapshot of the window's rows.
    std::unique_ptr<TQrs> totals = MakeTotalsPrintout(f->TotalsPrintState());
    ASSERT_TRUE(totals && totals->Rows);
    EXPECT_EQ(totals->Rows->RecordCount(), f->TabRes.RecordCount());
    CheckEverySurface(*totals, *totals->Rows, U("totals"));
    f->mpCurClick(f->mpYE);
    f->RefreshResults();
    std::unique_ptr<TQrs> common = MakeTotalsPrintout(f->TotalsPrintState());
    ASSERT_TRUE(common && common->Rows);
    CheckEverySurface(*common, *common->Rows, U("totals-common"));
}

TEST_F(RstFigures, OperationsListIsWholeEverywhere)
{
    PopulateLarge();
    auto f = OpenList();
    ASSERT_TRUE(f->Qhs().Active());
    ASSERT_GT(f->Qhs().RecordCount(), 10);
    f->mpCurClick(f->mpYE);
    std::unique_ptr<TQHist> list = MakeHistPrintout(f->HistPrintState());
    ASSERT_TRUE(list);
    CheckEverySurface(*list, f->Qhs(), U("operations"));
}

TEST_F(RstFigures, DynamicsByMonthsIsWholeEverywhere)
{
    PopulateLarge();
    auto f = OpenWindow();
    f->CbDay->SetItemIndex(duMonths);
    f->Cbars->SetItemIndex(2);
    f->TcGrp->SetTabIndex(2);
    f->TcGrpChange(f.get());
    ASSERT_TRUE(f->TabDyn.Active());
    ASSERT_GE(f->TabDyn.RecordCount(), 12);
    std::unique_ptr<TQprd> dyn = MakeDynPrintout({&f->TabDyn, duMonths});
    ASSERT_TRUE(dyn);
    CheckEverySurface(*dyn, f->TabDyn, U("dynamics"));
}

} // namespace
} // namespace zorbel::test
