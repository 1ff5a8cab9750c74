// The RTF writer read back by LibreOffice and unrtf, its paragraphs, tab
// stops, colours and page breaks; the metafile writer's page files read by
// emf2svg-conv, wmf2svg and LibreOffice.
#include "ExportSupport.h"
#include "export/ExportRtf.h"
#include "export/ExportWmf.h"

#include <QtEndian>
#include <gtest/gtest.h>

namespace zorbel::test {
namespace {

TEST(ExportRtf, AReportReadsBackInLibreOfficeAndUnrtf)
{
    ExportReport r(60);
    TRepRTFExportFilter rtf(r.Path(QStringLiteral("report.rtf")));
    r.Export(rtf);
    const QByteArray bytes = FileBytes(rtf.OutputName);
    ASSERT_TRUE(bytes.startsWith("{\\rtf1\\ansi\\ansicpg1251\\deff0\\deftab720\\paperh16838\\paperw11906\\psz9"));
    EXPECT_TRUE(bytes.contains("\\fcharset204 Liberation Sans;}"));
    EXPECT_TRUE(bytes.endsWith("\\par }\r\n"));
    EXPECT_EQ(bytes.count("{\\page }"), 1); // two pages
    for (const char c : bytes)
        ASSERT_LT(uchar(c), 0x80) << "7-bit text only";

    const QString txt = SofficeConvert(rtf.OutputName, QStringLiteral("txt:Text (encoded):UTF8"), r.dir.path());
    ASSERT_FALSE(txt.isEmpty());
    const QString office = QString::fromUtf8(FileBytes(txt));
    // unrtf's HTML output decodes the code page (its text output does not).
    const QString unrtf = PythonJson(QStringLiteral("import html,json,re,subprocess,sys\n"
                                                    "out = subprocess.run(['unrtf', '--html', sys.argv[1]],"
                                                    " capture_output=True, text=True, check=True).stdout\n"
                                                    "out = re.sub(r'<br>', '\\n', out)\n"
                                                    "print(json.dumps([html.unescape(re.sub(r'<[^>]*>', '', out))]))"),
                                     {rtf.OutputName})
                              .array()
                              .at(0)
                              .toString();
    EXPECT_FALSE(unrtf.isEmpty());
    // LibreOffice keeps each record's items on one line, in order.
    for (int i = 1; i <= 60; ++i) {
        const QString amount = AmountText(ExportReport::Amount(i));
        EXPECT_TRUE(office.contains(QStringLiteral("\t%1\t%2\t%3").arg(ExportReport::Name(i), ExportReport::Date(i), amount)))
            << i;
        EXPECT_TRUE(unrtf.contains(ExportReport::Name(i)));
        EXPECT_TRUE(unrtf.contains(ExportReport::Date(i)));
    }
    for (const QString &text : {office, unrtf}) {
        EXPECT_TRUE(text.contains(QStringLiteral("Расходы за март")));
        EXPECT_TRUE(text.contains(QStringLiteral("Итого")));
    }
}

TEST(ExportRtf, LinesBecomeParagraphsWithTabStopsFontsAndColours)
{
    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("p.rtf"));
    {
        TRepRTFExportFilter rtf(file); // no report: default margins, no paper size
        QFont f(QStringLiteral("Liberation Serif"));
        f.setPointSize(12);
        f.setBold(true);
        rtf.BeginDocument(2100, 2970, f);
        rtf.FinishPage();
        rtf.BeginNextPage();
        rtf.PutText(100, 300, f, clRed, clWhite, TAlignment::taRightJustify, QStringLiteral("a{b}\\c"));
        rtf.PutText(50, 300.5, f, RGB(1, 2, 3), clWhite, TAlignment::taLeftJustify, QStringLiteral("Ж☺"));
        rtf.PutText(50, 99999, f, clBlack, clWhite, TAlignment::taLeftJustify, QStringLiteral("off the page"));
        rtf.FinishPage();
        rtf.BeginNextPage();
        rtf.FinishPage(); // an empty page after text: a break, then nothing
        rtf.EndDocument();
    }
    const QByteArray bytes = FileBytes(file);
    const QList<QByteArray> lines = bytes.split('\n');
    ASSERT_GE(lines.size(), 7);
    EXPECT_TRUE(lines[0].startsWith("{\\rtf1\\ansi\\ansicpg1251\\deff0\\deftab720\\margl720\\margr720\\margt720\\margb720{"
                                    "\\fonttbl"));
    EXPECT_EQ(lines[1], "{\\colortbl\\red0\\green0\\blue0;\\red128\\green0\\blue0;\\red0\\green128\\blue0;\\red128\\green128"
                        "\\blue0;\\red0\\green0\\blue128;\\red128\\green0\\blue128;\\red0\\green128\\blue128;\\red128"
                        "\\green128\\blue128;\\red192\\green192\\blue192;\\red255\\green0\\blue0;\\red0\\green255\\blue0;"
                        "\\red255\\green255\\blue0;\\red0\\green0\\blue255;\\red255\\green0\\blue255;\\red0\\green255"
                        "\\blue255;\\red192\\green192\\blue192;\\red128\\green128\\blue128;\\red255\\green255\\blue255;}\r");
    EXPECT_EQ(lines[2], "\\deflang1033\r");
    // Items by X (50 before 100); tab stops at round(x * 1440 / 254 - 720) + 20;
    // space before: round((300.5 - 127) * 1440 / 254) - 0 - 50, from the first item.
    const int tab50 = int(std::lround(50 * 5.669291338582677165 - 720)) + 20;
    const int tab100 = int(std::lround(100 * 5.669291338582677165 - 720)) + 20;
    const int sb = int(std::lround((300.5 - 720 * 0.17638888888888888888) * 5.669291338582677165)) - 50;
    EXPECT_EQ(lines[3], QStringLiteral("\\pard\\plain\\sb%1\\tql\\tx%2\\tqr\\tx%3\r").arg(sb).arg(tab50).arg(tab100).toLatin1());
    const std::vector<TRtfFont> fonts = RtfFontList();
    const auto serif = std::find_if(fonts.begin(), fonts.end(),
                                    [](const TRtfFont &f) { return f.Name == QStringLiteral("Liberation Serif"); });
    ASSERT_NE(serif, fonts.end());
    const QByteArray f = "\\f" + QByteArray::number(qsizetype(serif - fonts.begin()));
    EXPECT_EQ(lines[4], "{\\plain\\tab\\plain" + f + "\\fs24\\b \\'c6\\u9786?\\tab\\plain" + f +
                            "\\fs24\\b\\cf9 a\\{b\\}\\\\c{\\fs1\\par}}\r");
    EXPECT_EQ(lines[5], "{\\page }\r");
    EXPECT_EQ(lines[6], "\\par }\r");
    EXPECT_EQ(RtfText(QStringLiteral("Итог: 5 €")), QByteArray("\\'c8\\'f2\\'ee\\'e3: 5 \\'88"));
}

TEST(ExportMetafiles, EveryRecordedPageBecomesAFileOtherProgramsRead)
{
    ExportReport r(120); // three pages
    r.report.CreateReport();
    ASSERT_EQ(r.printer.RecordedPages(), 3);

    TRepWMFFilter component;
    EXPECT_FALSE(TRepWMFFilter::Enhanced());
    TRepWMFExportFilter wmf(r.Path(QStringLiteral("report.wmf")));
    r.report.ExportToFilter(wmf);
    EXPECT_EQ(FilesIn(r.dir.path()), (QStringList{"report001.wmf", "report002.wmf", "report003.wmf"}));
    for (int page = 1; page <= 3; ++page) {
        const QString file = r.Path(QStringLiteral("report%1.wmf").arg(page, 3, 10, QLatin1Char('0')));
        const QByteArray bytes = FileBytes(file);
        ASSERT_TRUE(bytes.startsWith(QByteArray("\xD7\xCD\xC6\x9A", 4)));
        // The header's size in words matches the file.
        EXPECT_EQ(qFromLittleEndian<quint32>(bytes.constData() + 22 + 6) * 2, quint32(bytes.size() - 22));
        const QByteArray svg = RunTool(QStringLiteral("wmf2svg"), {file});
        EXPECT_TRUE(svg.contains("<svg")) << page;
        EXPECT_TRUE(svg.contains("<text") || svg.contains("<path")) << page;
    }
    const QString svg = SofficeConvert(r.Path(QStringLiteral("report001.wmf")), QStringLiteral("svg"), r.Path(QStringLiteral("lo")));
    ASSERT_FALSE(svg.isEmpty());
    const QString drawn = QString::fromUtf8(FileBytes(svg));
    EXPECT_TRUE(drawn.contains(QStringLiteral("Расходы"))) << "LibreOffice reads the Russian text of the WMF";

    TRepWMFFilter::SetEnhanced(true);
    TRepWMFExportFilter emf(r.Path(QStringLiteral("pages"))); // no dot: the whole name is the base
    r.report.ExportToFilter(emf);
    TRepWMFFilter::SetEnhanced(false);
    EXPECT_EQ(emf.Written, (QStringList{r.Path("pages001.emf"), r.Path("pages002.emf"), r.Path("pages003.emf")}));
    const std::unique_ptr<TMetafile> first = r.printer.GetPageMetafile(1);
    EXPECT_EQ(FileBytes(r.Path("pages001.emf")), first->Data());
    const QString emfSvg = r.Path(QStringLiteral("p2.svg"));
    RunTool(QStringLiteral("emf2svg-conv"), {QStringLiteral("-i"), r.Path("pages002.emf"), QStringLiteral("-o"), emfSvg});
    const QString page2 = QString::fromUtf8(FileBytes(emfSvg));
    EXPECT_TRUE(page2.contains(ExportReport::Name(60)) || page2.contains(ExportReport::Name(50))) << "page 2's texts";
    const QString loSvg = SofficeConvert(r.Path(QStringLiteral("pages003.emf")), QStringLiteral("svg"), r.Path(QStringLiteral("lo")));
    ASSERT_FALSE(loSvg.isEmpty());
    EXPECT_TRUE(QString::fromUtf8(FileBytes(loSvg)).contains(QStringLiteral("Итого")));
}

// Little-endian words of bytes, read by index (checked by the callers).
quint32 U32At(const QByteArray &b, qsizetype at)
{
    return quint32(uchar(b.at(at))) | quint32(uchar(b.at(at + 1))) << 8 | quint32(uchar(b.at(at + 2))) << 16 |
           quint32(uchar(b.at(at + 3))) << 24;
}
quint32 U16At(const QByteArray &b, qsizetype at) { return quint32(uchar(b.at(at))) | quint32(uchar(b.at(at + 1))) << 8; }

// The character set of every font record of an EMF page: each record is
// type (u32), size (u32), ...; EMR_EXTCREATEFONTINDIRECTW (82) holds the
// handle (u32) at 8 and a LOGFONTW at 12 whose charset byte is at 23.
QList<int> EmfFontCharsets(const QByteArray &emf)
{
    QList<int> sets;
    for (qsizetype at = 0; at + 8 <= emf.size();) {
        const quint32 type = U32At(emf, at), size = U32At(emf, at + 4);
        if (size < 8 || at + size > quint32(emf.size()))
            break;
        if (type == 82 && size > 12 + 23)
            sets << uchar(emf.at(at + 12 + 23));
        at += size;
    }
    return sets;
}

// The same for a placeable WMF: a 22-byte placeable header, an 18-byte
// header, then records of size (u32, in words) and function (u16);
// META_CREATEFONTINDIRECT (0x02FB) holds a 16-bit LOGFONT whose charset byte
// is at 13.
QList<int> WmfFontCharsets(const QByteArray &wmf)
{
    QList<int> sets;
    for (qsizetype at = 22 + 18; at + 6 <= wmf.size();) {
        const quint32 size = U32At(wmf, at) * 2, function = U16At(wmf, at + 4);
        if (size < 6 || at + size > quint32(wmf.size()))
            break;
        if (function == 0x02FB && size > 6 + 13)
            sets << uchar(wmf.at(at + 6 + 13));
        at += size;
    }
    return sets;
}

TEST(ExportMetafiles, FontsCarryTheCyrillicCharacterSet)
{
    ExportReport r(60);
    r.report.CreateReport();
    TRepWMFFilter::SetEnhanced(true);
    TRepWMFExportFilter emf(r.Path(QStringLiteral("pages.emf")));
    r.report.ExportToFilter(emf);
    TRepWMFFilter::SetEnhanced(false);
    TRepWMFExportFilter wmf(r.Path(QStringLiteral("pages.wmf")));
    r.report.ExportToFilter(wmf);
    const QList<int> emfSets = EmfFontCharsets(FileBytes(r.Path(QStringLiteral("pages001.emf"))));
    const QList<int> wmfSets = WmfFontCharsets(FileBytes(r.Path(QStringLiteral("pages001.wmf"))));
    ASSERT_FALSE(emfSets.isEmpty());
    ASSERT_EQ(wmfSets.size(), emfSets.size());
    for (const int set : emfSets + wmfSets)
        EXPECT_EQ(set, 204);
    // A canvas that names no character set records the program's Cyrillic one.
    TMetafileRecorder recorder(100, 50);
    TCanvas canvas;
    canvas.BeginRecording(&recorder);
    canvas.TextOut(5, 5, QStringLiteral("Итог"));
    canvas.BeginRecording(nullptr);
    EXPECT_EQ(EmfFontCharsets(recorder.Finish().Data()), QList<int>{204});
}

TEST(ExportMetafiles, ConversionRefusesWhatIsNotAMetafile)
{
    EXPECT_THROW(EmfToWmf(QByteArray()), EMetafileError);
    EXPECT_THROW(EmfToWmf(QByteArray(200, 'x')), EMetafileError);
    // A real page cut short in the middle of a record.
    TMetafileRecorder recorder(100, 50);
    TCanvas canvas;
    canvas.BeginRecording(&recorder);
    canvas.Rectangle(QRect(1, 1, 20, 20));
    canvas.TextOut(5, 5, QStringLiteral("Ж"));
    canvas.BeginRecording(nullptr);
    const QByteArray page = recorder.Finish().Data();
    const QByteArray wmf = EmfToWmf(page);
    EXPECT_EQ(qFromLittleEndian<quint16>(wmf.constData() + 10), 100); // bounding box right
    EXPECT_EQ(qFromLittleEndian<quint16>(wmf.constData() + 12), 50);
    EXPECT_THROW(EmfToWmf(page.left(page.size() - 30)), EMetafileError);
}

} // namespace
} // namespace zorbel::test
