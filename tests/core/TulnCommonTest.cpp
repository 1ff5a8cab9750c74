// FindTextNoCase over the Windows-1251 repertoire, the common window in its
// About and password modes, and the link label.
#include "core/TulnCommon.h"

#include "platform/rtl/CodePages.h"
#include "platform/system/ShellOpen.h"
#include "platform/widgets/ModalScript.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

namespace zorbel {
namespace {

QChar Cp1251(int byte) { return Win1251ToUnicode(QByteArray(1, char(byte)))[0]; }

TEST(FindTextNoCaseTest, EveryCyrillicLetterMatchesItsCapital)
{
    for (int b = 0xE0; b <= 0xFF; ++b) {
        const QChar small = Cp1251(b), capital = Cp1251(b - 0x20);
        const QString text = QStringLiteral("ab") + small + QStringLiteral("cd");
        EXPECT_EQ(FindTextNoCase(QString(capital), text, 1), 3) << b;
        EXPECT_EQ(FindTextNoCase(QStringLiteral("B") + capital + QStringLiteral("C"), text, 1), 2) << b;
        EXPECT_EQ(FindTextNoCase(QString(small), QStringLiteral("x") + capital, 1), 2) << b;
    }
    const int pairs[][2] = {{0x83, 0x81}, {0x90, 0x80}, {0x9A, 0x8A}, {0x9C, 0x8C}, {0x9D, 0x8D},
                            {0x9E, 0x8E}, {0x9F, 0x8F}, {0xA2, 0xA1}, {0xB3, 0xB2}, {0xB4, 0xA5},
                            {0xB8, 0xA8}, {0xBA, 0xAA}, {0xBC, 0xA3}, {0xBE, 0xBD}, {0xBF, 0xAF}};
    for (const auto &p : pairs) {
        EXPECT_EQ(FoldCapital(Cp1251(p[0])), Cp1251(p[1])) << p[0];
        EXPECT_EQ(FindTextNoCase(QString(Cp1251(p[1])), QString(Cp1251(p[0])), 1), 1) << p[0];
    }
    // Exactly 73 characters of the repertoire fold to another one.
    int folded = 0;
    for (int b = 0; b < 256; ++b)
        folded += FoldCapital(Cp1251(b)) != Cp1251(b);
    EXPECT_EQ(folded, 73);
    // Capitals do not fold to small letters; µ and letters outside the
    // repertoire only match themselves.
    EXPECT_EQ(FindTextNoCase(QStringLiteral("ж"), QStringLiteral("Ж"), 1), 1) << "both sides fold";
    EXPECT_EQ(FindTextNoCase(QStringLiteral("µ"), QStringLiteral("Μ"), 1), 0);
    EXPECT_EQ(FindTextNoCase(QStringLiteral("ä"), QStringLiteral("Ä"), 1), 0);
    EXPECT_EQ(FindTextNoCase(QStringLiteral("ä"), QStringLiteral("xä"), 1), 2);
}

TEST(FindTextNoCaseTest, PositionsAndBounds)
{
    const QString text = QStringLiteral("купили новую ёлку и ещё одну ёлку");
    EXPECT_EQ(FindTextNoCase(QStringLiteral("ЁЛКУ"), text, 1), 14);
    EXPECT_EQ(FindTextNoCase(QStringLiteral("ЁЛКУ"), text, 14), 14);
    EXPECT_EQ(FindTextNoCase(QStringLiteral("ЁЛКУ"), text, 15), 30);
    EXPECT_EQ(FindTextNoCase(QStringLiteral("ЁЛКУ"), text, 31), 0);
    EXPECT_EQ(FindTextNoCase(QStringLiteral("ЕЛКУ"), text, 1), 0) << "Е and Ё are different letters";
    EXPECT_EQ(FindTextNoCase(QString(), text, 1), 0);
    EXPECT_EQ(FindTextNoCase(QStringLiteral("a"), QString(), 1), 0);
    EXPECT_EQ(FindTextNoCase(QStringLiteral("ОДНУ ЁЛКУ"), text, 1), 25);
    EXPECT_EQ(FindTextNoCase(text + QStringLiteral("!"), text, 1), 0) << "longer than the text";
    EXPECT_EQ(FindTextNoCase(QStringLiteral("Купили"), text, 1), 1);
    EXPECT_EQ(FindTextNoCase(QStringLiteral("ку"), text, 2), 16);
    EXPECT_EQ(FindTextNoCase(QStringLiteral("у"), text, int(text.size())), int(text.size()));
    EXPECT_EQ(FindTextNoCase(QStringLiteral("у"), text, int(text.size()) + 1), 0);
    EXPECT_EQ(FindTextNoCase(QStringLiteral("у"), text, 0), 0);
}

struct ShellRecorder {
    QStringList opened;
    TShellLauncher previous;
    ShellRecorder()
    {
        previous = SetShellLauncher([this](const QUrl &url) {
            opened << url.toString();
            return true;
        });
    }
    ~ShellRecorder() { SetShellLauncher(previous); }
};

TEST(FormCommonTest, AboutModeShowsNameVersionAndLinks)
{
    ShellRecorder shell;
    TFormCommon form;
    form.SetKeyPreview(true);
    TModalScript script;
    script.Then([&](TForm &) {
        EXPECT_EQ(form.PanName->Caption(),
                  QFileInfo(QCoreApplication::applicationFilePath()).completeBaseName() + QStringLiteral(" ") +
                      ProgramVersionText());
        EXPECT_EQ(ProgramVersionText().count(QLatin1Char('.')), 3);
        ASSERT_NE(form.LinkMail, nullptr);
        EXPECT_TRUE(form.LinkMail->Caption().startsWith(QStringLiteral("mailto:")));
        EXPECT_EQ(form.LinkMail->Align(), TAlign::alTop);
        EXPECT_EQ(form.LinkWeb->Align(), TAlign::alBottom);
        EXPECT_FALSE(form.Image1->Picture().isNull());
        SendClick(form.LinkMail);
        SendClick(form.LinkWeb);
        SendClick(form.Image1);
        const QString dir = qEnvironmentVariable("ZORBEL_SCREENSHOTS");
        if (!dir.isEmpty())
            form.grab().save(QDir(dir).filePath(QStringLiteral("about.png")));
        SendKeyToFocus(form, Qt::Key_Escape);
    });
    EXPECT_EQ(form.ShowModal(), mrCancel);
    EXPECT_TRUE(script.Finished()) << script.Errors().join(QLatin1Char('\n')).toStdString();
    EXPECT_EQ(shell.opened, (QStringList{AuthorMailAddress, ProgramWebAddress, MakerWebAddress}));
}

TEST(FormCommonTest, PasswordModeReturnsOnEnterAndEscape)
{
    for (const int key : {int(Qt::Key_Return), int(Qt::Key_Escape)}) {
        TFormCommon form;
        form.EdPas->SetVisible(true);
        form.Image1->SetVisible(false);
        form.SetCaption(QStringLiteral("Пароль"));
        form.SetWidth(200);
        form.EdPas->SetLeft(40);
        TModalScript script;
        script.Then([&](TForm &) {
            QApplication::setActiveWindow(&form);
            EXPECT_TRUE(form.EdPas->hasFocus());
            for (const QString &ch : {QStringLiteral("с"), QStringLiteral("е"), QStringLiteral("з")})
                SendKeyToFocus(form, 0, Qt::NoModifier, ch);
            SendKeyToFocus(form, key);
        });
        EXPECT_EQ(form.ShowModal(), key == Qt::Key_Return ? mrOk : mrCancel);
        EXPECT_EQ(form.EdPas->Text(), QStringLiteral("сез"));
        EXPECT_EQ(form.LinkMail, nullptr) << "no links in password mode";
    }
}

TEST(UrllabelTest, HoverColoursAndClickOpensOnlyWebAndMail)
{
    ShellRecorder shell;
    TForm form;
    auto *label = new TUrllabel(&form, QStringLiteral("Url"));
    label->SetCaption(QStringLiteral("https://zorbel.example/help"));
    EXPECT_EQ(label->FontColor(), RGB(0, 0, 255));
    EXPECT_TRUE(label->Font().underline());
    EXPECT_EQ(label->Cursor(), crHandPoint);
    QEvent enter(QEvent::Enter);
    QApplication::sendEvent(label, &enter);
    EXPECT_EQ(label->FontColor(), RGB(255, 0, 0));
    QEvent leave(QEvent::Leave);
    QApplication::sendEvent(label, &leave);
    EXPECT_EQ(label->FontColor(), RGB(0, 0, 255));
    form.show();
    SendClick(label);
    label->SetCaption(QStringLiteral("C:\\Windows\\notepad.exe"));
    SendClick(label);
    EXPECT_EQ(shell.opened, QStringList{QStringLiteral("https://zorbel.example/help")});
}

} // namespace
} // namespace zorbel
