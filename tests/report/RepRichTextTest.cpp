// The rich text reader against hand-written documents, and rich text laid
// out across pages: every character printed once, in order.
#include "RepReportSupport.h"
#include "report/RepRichText.h"

#include <QTextBlock>
#include <QTextCursor>
#include <gtest/gtest.h>

namespace zorbel::test {
namespace {

QTextCharFormat FormatAt(QTextDocument &doc, int position)
{
    QTextCursor c(&doc);
    c.setPosition(position + 1); // the format of the character before the cursor
    return c.charFormat();
}

TEST(RepRtfReader, FontsSizesStylesColoursAlignmentAndCyrillic)
{
    const QByteArray rtf =
        "{\\rtf1\\ansi\\ansicpg1251\\deff0{\\fonttbl{\\f0\\fnil\\fcharset204 Liberation Serif;}"
        "{\\f1\\fmodern Liberation Mono;}}"
        "{\\colortbl ;\\red255\\green0\\blue0;\\red0\\green0\\blue255;}"
        "{\\*\\generator Msftedit 5.41;}{\\info{\\title hidden}}"
        "\\viewkind4\\uc1\\pard\\qc\\f0\\fs32 \\'cf\\'f0\\'e8\\b \\'e2\\'e5\\'f2\\b0\\par"
        "\\pard\\qr\\i\\cf1 red\\i0\\cf2\\ul  blue\\ulnone\\strike  gone\\strike0\\f1\\fs20  mono\\par"
        "\\pard \\u1071?\\u-3913? \\{x\\}\\tab y\\line z}";
    QTextDocument doc;
    ASSERT_TRUE(ReadRtf(rtf, doc));
    ASSERT_EQ(doc.blockCount(), 3);
    EXPECT_EQ(doc.begin().text(), QStringLiteral("Привет"));
    EXPECT_EQ(doc.begin().next().text(), QStringLiteral("red blue gone mono"));
    EXPECT_EQ(doc.begin().next().next().text(), QStringLiteral("Я\uF0B7 {x}\ty") + QChar(0x2028) + QStringLiteral("z"));
    EXPECT_EQ(doc.begin().blockFormat().alignment() & Qt::AlignHorizontal_Mask, Qt::AlignHCenter);
    EXPECT_EQ(doc.begin().next().blockFormat().alignment() & Qt::AlignHorizontal_Mask, Qt::AlignRight);
    EXPECT_EQ(doc.begin().next().next().blockFormat().alignment() & Qt::AlignHorizontal_Mask, Qt::AlignLeft);

    const QTextCharFormat plain = FormatAt(doc, 0), bold = FormatAt(doc, 4);
    EXPECT_EQ(plain.font().family(), QStringLiteral("Liberation Serif"));
    EXPECT_EQ(plain.font().pixelSize(), 21); // 16 pt at 96 pixels per inch
    EXPECT_FALSE(plain.font().bold());
    EXPECT_TRUE(bold.font().bold());
    const int second = doc.begin().next().position();
    const QTextCharFormat red = FormatAt(doc, second), blue = FormatAt(doc, second + 5),
                          gone = FormatAt(doc, second + 10), mono = FormatAt(doc, second + 15);
    EXPECT_TRUE(red.font().italic());
    EXPECT_EQ(red.foreground().color(), QColor(255, 0, 0));
    EXPECT_EQ(blue.foreground().color(), QColor(0, 0, 255));
    EXPECT_TRUE(blue.font().underline());
    EXPECT_FALSE(blue.font().italic());
    EXPECT_TRUE(gone.font().strikeOut());
    EXPECT_FALSE(gone.font().underline());
    EXPECT_EQ(mono.font().family(), QStringLiteral("Liberation Mono"));
    EXPECT_EQ(mono.font().pixelSize(), 13);
}

TEST(RepRtfReader, MalformedAndHostileInputEndsWithWhatWasRead)
{
    QTextDocument doc;
    EXPECT_FALSE(ReadRtf("plain text", doc));
    EXPECT_TRUE(doc.toPlainText().isEmpty());
    // An unclosed group keeps its text.
    EXPECT_FALSE(ReadRtf("{\\rtf1 abc{\\b def", doc));
    EXPECT_EQ(doc.toPlainText(), QStringLiteral("abcdef"));
    // Nesting far past the limit, a dangling escape, huge numbers, a
    // \u that swallows the closing braces' neighbours.
    QByteArray deep = "{\\rtf1 a";
    for (int i = 0; i < 5000; ++i)
        deep += "{\\i ";
    deep += "b";
    for (int i = 0; i < 5000; ++i)
        deep += "}";
    deep += "c}";
    EXPECT_TRUE(ReadRtf(deep, doc));
    EXPECT_EQ(doc.toPlainText(), QStringLiteral("abc"));
    EXPECT_FALSE(ReadRtf("{\\rtf1 \\fs99999999999999999 x\\uc99999\\u65 yz\\'", doc));
    EXPECT_EQ(doc.toPlainText(), QStringLiteral("xA"));
    // Control characters, raw or escaped, are not text.
    static const char withNul[] = "{\\rtf1 a\0b\\'00c\\'07d}";
    EXPECT_TRUE(ReadRtf(QByteArray(withNul, sizeof withNul - 1), doc));
    EXPECT_EQ(doc.toPlainText(), QStringLiteral("abcd"));
}

struct RichReport : ListReport {
    TRepDBRichText *rich = nullptr;
    std::unique_ptr<TVemtMemTable> notes = std::make_unique<TVemtMemTable>();
    explicit RichReport(const QByteArray &text, bool stretch)
    {
        notes->FieldDefs().Add(QStringLiteral("body"), ftMemo);
        notes->Open();
        notes->Append();
        notes->FieldByName(QStringLiteral("body"))->SetBlobData(&text);
        notes->Post();
        report.MainController.DataSet = notes.get();
        Add(rbTitle, 2770 - 300);
        TRepBand &b = Add(rbDetail, 200);
        auto p = std::make_unique<TRepDBRichText>();
        p->Size.Values[TRepPrintableSize::iLeft] = 0;
        p->Size.Values[TRepPrintableSize::iTop] = 0;
        p->Size.Values[TRepPrintableSize::iWidth] = 1500;
        p->Size.Values[TRepPrintableSize::iHeight] = 150;
        p->DataSet = notes.get();
        p->DataField = QStringLiteral("body");
        p->AutoStretch = stretch;
        rich = &b.Add(std::move(p));
    }
};

QByteArray LongRtf(int words)
{
    QByteArray rtf = "{\\rtf1\\ansi\\ansicpg1251{\\fonttbl{\\f0\\fcharset204 Liberation Sans;}}\\f0\\fs20 ";
    for (int i = 1; i <= words; ++i) {
        rtf += (i % 7 == 0 ? "\\b " : "") + QByteArray("\\'f1\\'eb\\'ee\\'e2\\'ee") + QByteArray::number(i) +
               (i % 7 == 0 ? "\\b0 " : " ");
        if (i % 40 == 0)
            rtf += "\\par ";
    }
    return rtf + "}";
}

QStringList Words(const QStringList &texts)
{
    return texts.join(QLatin1Char(' ')).split(QLatin1Char(' '), Qt::SkipEmptyParts);
}

TEST(RepRichTextPrint, LongTextContinuesOnTheNextPagesFromTheFirstCharacterNotDrawn)
{
    RichReport r(LongRtf(2500), true);
    r.Run();
    ASSERT_GE(r.printer().RecordedPages(), 3);
    QStringList all;
    for (int p = 1; p <= r.printer().RecordedPages(); ++p)
        all << Words(r.Texts(p));
    QStringList expected;
    for (int i = 1; i <= 2500; ++i)
        expected << QStringLiteral("слово%1").arg(i);
    EXPECT_EQ(all, expected);
    // Page 2 begins at the top margin.
    const std::vector<PageText> p2 = r.Page(2);
    ASSERT_FALSE(p2.empty());
    EXPECT_LT(p2[0].Y, 100 + 60);

    // Without stretching only what fits the printable is printed.
    RichReport clipped(LongRtf(2500), false);
    clipped.Run();
    EXPECT_EQ(clipped.printer().RecordedPages(), 1);
    const QStringList shown = Words(clipped.Texts(1));
    ASSERT_FALSE(shown.isEmpty());
    EXPECT_LT(shown.size(), 200);
    EXPECT_EQ(shown.first(), QStringLiteral("слово1"));
}

TEST(RepRichTextPrint, ExpandedHeightGrowsInStepsUntilTheTextFitsAndExportGetsAPicture)
{
    RichReport r(LongRtf(120), false);
    r.rich->Prepare();
    r.notes->First();
    double pixels = 0;
    ASSERT_TRUE(r.rich->GetExpandedHeight(pixels));
    const double tenths = pixels * 254 / 96;
    EXPECT_GT(tenths, 150);
    EXPECT_NEAR(std::fmod(tenths - 150, 50), 0, 1e-6);
    // The height found holds the whole text; 50 units less does not.
    TRepRichLayout layout(r.rich->RichEdit());
    EXPECT_EQ(layout.Measure(0, 1500 * 96 / 254.0, pixels), layout.Length());
    EXPECT_LT(layout.Measure(0, 1500 * 96 / 254.0, (tenths - 50) * 96 / 254), layout.Length());
    EXPECT_EQ(r.rich->GetFieldString().left(6), QStringLiteral("слово1"));
    r.rich->Unprepare();

    struct PictureFilter : TRepExportFilter {
        using TRepExportFilter::TRepExportFilter;
        int Pictures = 0;
        QStringList Texts;
        void PutGraphic(TRepPrintable &c, double, double) override
        {
            if (auto *i = dynamic_cast<TRepImage *>(&c); i && !i->Picture.Metafile.Empty()) {
                ++Pictures;
                EnumMetafileTexts(i->Picture.Metafile.Data(), [&](const TMetafileText &t) { Texts << t.Text; });
            }
        }
    } filter(QStringLiteral("x"));
    r.Run();
    r.report.ExportToFilter(filter);
    EXPECT_EQ(filter.Pictures, 1);
    EXPECT_EQ(Words(filter.Texts), Words(r.Texts(1)));
}

} // namespace
} // namespace zorbel::test
