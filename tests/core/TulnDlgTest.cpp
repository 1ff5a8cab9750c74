// Message, question and input boxes: buttons, captions, results, layout.
// With ZORBEL_SCREENSHOTS set to a folder, each dialog is also saved there
// as a PNG for a look by eye.
#include "core/TulnDlg.h"

#include "platform/widgets/ExtCtrls.h"
#include "platform/widgets/ModalScript.h"
#include "platform/widgets/StdCtrls.h"
#include "support/ScreenShot.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QDir>

namespace zorbel {
namespace {

void Snapshot(TForm &form, const QString &name)
{
    const QString dir = qEnvironmentVariable("ZORBEL_SCREENSHOTS");
    if (!dir.isEmpty())
        test::WindowPicture(form).save(QDir(dir).filePath(name + QStringLiteral(".png")));
}

// Names of the form's buttons from left to right.
QStringList ButtonsLeftToRight(TForm &form)
{
    QList<TButton *> buttons = form.findChildren<TButton *>();
    std::sort(buttons.begin(), buttons.end(), [](TButton *a, TButton *b) { return a->Left() < b->Left(); });
    QStringList names;
    for (TButton *b : buttons)
        names << b->Name() + QLatin1Char('=') + b->Caption();
    return names;
}

int MessageFormsAlive()
{
    int n = 0;
    for (QWidget *w : QApplication::topLevelWidgets())
        n += dynamic_cast<TMessageForm *>(w) != nullptr;
    return n;
}

class TulnDlgTest : public testing::Test {
protected:
    void SetUp() override { Application().SetTitle(QStringLiteral("Zorbel")); }
};

TEST_F(TulnDlgTest, YesNoAnswersByKeysAndTitleBar)
{
    TModalScript script;
    script.Then([](TForm &f) {
        EXPECT_EQ(f.Caption(), QStringLiteral("Подтверждение"));
        EXPECT_EQ(ButtonsLeftToRight(f), (QStringList{"Yes=Да", "No=Нет"}));
        EXPECT_NE(f.findChild<TImage *>(QStringLiteral("Image")), nullptr);
        Snapshot(f, QStringLiteral("ask-yes-no"));
        // The default button has the focus; the window sits in the screen's centre.
        EXPECT_EQ(f.focusWidget(), f.findChild<TButton *>(QStringLiteral("Yes")));
        EXPECT_LE(std::abs(f.Left() + f.Width() / 2 - Screen().Width() / 2), 1);
        EXPECT_LE(std::abs(f.Top() + f.Height() / 2 - Screen().Height() / 2), 1);
        SendKeyToFocus(f, Qt::Key_Return);
    });
    script.Then([](TForm &f) { SendKeyToFocus(f, Qt::Key_Escape); });
    script.CloseFromTitleBar();
    script.Then([](TForm &f) { SendClick(f.findChild<TButton *>(QStringLiteral("No"))); });
    const QString text = QStringLiteral("Удалить статью?");
    EXPECT_EQ(AskDialog(text, TMsgDlgType::mtConfirmation, mbYes | mbNo, false), mrYes);
    EXPECT_EQ(AskDialog(text, TMsgDlgType::mtConfirmation, mbYes | mbNo, false), mrNo);
    EXPECT_EQ(AskDialog(text, TMsgDlgType::mtConfirmation, mbYes | mbNo, false), mrCancel);
    EXPECT_EQ(AskDialog(text, TMsgDlgType::mtConfirmation, mbYes | mbNo, false), mrNo);
    EXPECT_TRUE(script.Finished()) << script.Errors().join('\n').toStdString();
    EXPECT_EQ(script.Seen()[0].Text, text);
    EXPECT_EQ(MessageFormsAlive(), 0);
}

TEST_F(TulnDlgTest, OkCancelAnswersEnterWithOkAndEscapeWithCancel)
{
    TModalScript script;
    script.Then([](TForm &f) {
        EXPECT_EQ(f.Caption(), QStringLiteral("Предупреждение"));
        EXPECT_EQ(ButtonsLeftToRight(f), (QStringList{"OK=OK", "Cancel=Отмена"}));
        Snapshot(f, QStringLiteral("ask-ok-cancel"));
        SendKeyToFocus(f, Qt::Key_Return);
    });
    script.Then([](TForm &f) { SendKeyToFocus(f, Qt::Key_Escape); });
    script.Press(QStringLiteral("Cancel"));
    const QString text = QStringLiteral("Удалить операцию?");
    EXPECT_EQ(AskDialog(text, TMsgDlgType::mtWarning, mbOK | mbCancel, false), mrOk);
    EXPECT_EQ(AskDialog(text, TMsgDlgType::mtWarning, mbOK | mbCancel, false), mrCancel);
    EXPECT_EQ(AskDialog(text, TMsgDlgType::mtWarning, mbOK | mbCancel, false), mrCancel);
    EXPECT_TRUE(script.Finished()) << script.Errors().join('\n').toStdString();
}

TEST_F(TulnDlgTest, NoticeHasOneOkButtonAnsweringEnterAndEscape)
{
    TModalScript script;
    script.Then([](TForm &f) {
        EXPECT_EQ(f.Caption(), QStringLiteral("Zorbel"));
        EXPECT_EQ(ButtonsLeftToRight(f), (QStringList{"OK=OK"}));
        EXPECT_EQ(f.findChild<TImage *>(QStringLiteral("Image")), nullptr);
        Snapshot(f, QStringLiteral("notice"));
        SendKeyToFocus(f, Qt::Key_Escape);
    });
    script.Then([](TForm &f) { SendKeyToFocus(f, Qt::Key_Return); });
    script.CloseFromTitleBar();
    const QString text = QStringLiteral("Такая статья уже есть!");
    EXPECT_EQ(ShowNotice(text, false), mrOk);
    EXPECT_EQ(ShowNotice(text, false), mrOk);
    EXPECT_EQ(ShowNotice(text, false), mrCancel);
    EXPECT_TRUE(script.Finished()) << script.Errors().join('\n').toStdString();
}

TEST_F(TulnDlgTest, TitlesFollowTheTypeAndStayOnTopIsApplied)
{
    TModalScript script;
    QStringList titles;
    bool onTop = false;
    for (int i = 0; i < 5; ++i)
        script.Then([&](TForm &f) {
            titles << f.Caption();
            onTop = f.FormStyle() == TFormStyle::fsStayOnTop;
            f.SetModalResult(mrOk);
        });
    for (int type = 0; type < 5; ++type)
        AskDialog(QStringLiteral("Текст"), TMsgDlgType(type), mbOK, type == 4);
    EXPECT_EQ(titles, (QStringList{"Предупреждение", "Ошибка", "Информация", "Подтверждение", "Zorbel"}));
    EXPECT_TRUE(onTop);
}

TEST_F(TulnDlgTest, ButtonsKeepTableOrderAndHelpDoesNotClose)
{
    int helpContext = -1;
    Application().OnHelp = [&](int context) { helpContext = context; };
    TModalScript script;
    script.Then([&](TForm &f) {
        EXPECT_EQ(ButtonsLeftToRight(f),
                  (QStringList{"Yes=Да", "No=Нет", "Cancel=Отмена", "Retry=Повторить", "NoToAll=Нет для всех",
                               "YesToAll=Да для всех", "Help=Справка"}));
        // All buttons share the widest caption's width and one row.
        const QList<TButton *> buttons = f.findChildren<TButton *>();
        for (TButton *b : buttons) {
            EXPECT_EQ(b->Width(), buttons[0]->Width());
            EXPECT_EQ(b->Top(), buttons[0]->Top());
            EXPECT_GE(b->Width(), b->fontMetrics().horizontalAdvance(b->Caption()) + 8);
        }
        Snapshot(f, QStringLiteral("ask-many-buttons"));
        f.SetHelpContext(42);
        PressButton(f, QStringLiteral("Help"));
        EXPECT_EQ(f.ModalResult(), mrNone);
        EXPECT_TRUE(f.isVisible());
        PressButton(f, QStringLiteral("NoToAll"));
    });
    EXPECT_EQ(AskDialog(QStringLiteral("Заменить?"), TMsgDlgType::mtConfirmation,
                        mbHelp | mbYesToAll | mbNoToAll | mbRetry | mbCancel | mbNo | mbYes, false),
              mrNoToAll);
    EXPECT_EQ(helpContext, 42);
    Application().OnHelp = nullptr;
    // Widths of the kinds shown are cached: caption width + 8.
    const QFontMetrics metrics(Screen().MessageFont());
    EXPECT_EQ(MessageButtonWidths()[8], metrics.horizontalAdvance(QStringLiteral("Нет для всех")) + 8);
    EXPECT_EQ(MessageButtonWidths()[4], 0); // Abort never shown in this run
    EXPECT_TRUE(script.Finished()) << script.Errors().join('\n').toStdString();
}

TEST_F(TulnDlgTest, DefaultAndCancelButtonsFollowTheRules)
{
    // Without OK and Yes the default is Retry; without Cancel and No the cancel button is OK.
    TModalScript script;
    script.Then([](TForm &f) { SendKeyToFocus(f, Qt::Key_Return); });
    script.Then([](TForm &f) { SendKeyToFocus(f, Qt::Key_Escape); });
    script.Then([](TForm &f) { SendKeyToFocus(f, Qt::Key_Escape); });
    EXPECT_EQ(AskDialog(QStringLiteral("Ошибка чтения"), TMsgDlgType::mtError, mbAbort | mbRetry | mbIgnore, false), mrRetry);
    EXPECT_EQ(AskDialog(QStringLiteral("Готово"), TMsgDlgType::mtInformation, mbOK | mbIgnore, false), mrOk);
    EXPECT_EQ(AskDialog(QStringLiteral("Дальше?"), TMsgDlgType::mtConfirmation, mbYes | mbNo | mbAll, false), mrNo);
    EXPECT_TRUE(script.Finished()) << script.Errors().join('\n').toStdString();
}

TEST_F(TulnDlgTest, LongTextWrapsAndShortTextWithManyButtonsTakesTheRowWidth)
{
    TModalScript script;
    QSize longSize, shortSize;
    QRect longLabel, shortLabel;
    int rowRight = 0, rowLeft = 0;
    script.Then([&](TForm &f) {
        longSize = f.size();
        longLabel = f.findChild<TLabel *>(QStringLiteral("Message"))->geometry();
        Snapshot(f, QStringLiteral("ask-long-text"));
        f.SetModalResult(mrOk);
    });
    script.Then([&](TForm &f) {
        shortSize = f.size();
        shortLabel = f.findChild<TLabel *>(QStringLiteral("Message"))->geometry();
        QList<TButton *> buttons = f.findChildren<TButton *>();
        rowLeft = f.width();
        for (TButton *b : buttons) {
            rowLeft = std::min(rowLeft, b->Left());
            rowRight = std::max(rowRight, b->Left() + b->Width());
        }
        f.SetModalResult(mrOk);
    });
    QString longText;
    for (int i = 0; i < 40; ++i)
        longText += QStringLiteral("Длинное сообщение ");
    AskDialog(longText, TMsgDlgType::mtWarning, mbOK, false);
    AskDialog(QStringLiteral("Да?"), TMsgDlgType::mtCustom, mbYes | mbNo | mbOK | mbCancel | mbAbort | mbRetry, false);
    const QFontMetrics metrics(Screen().MessageFont());
    EXPECT_LE(longLabel.width(), Screen().Width() / 2);
    EXPECT_GE(longLabel.height(), 3 * metrics.height()); // several lines
    EXPECT_GT(longSize.height(), longLabel.height());
    // Short text: the client is the button row plus a margin on each side.
    EXPECT_EQ(rowLeft, shortSize.width() - rowRight);
    EXPECT_GT(rowLeft, 0);
    EXPECT_LT(shortLabel.width(), rowRight - rowLeft);
}

TEST_F(TulnDlgTest, NothingOfTheMessageIsClipped)
{
    // The label holds every line of its text at its measured size.
    TModalScript script;
    script.Then([](TForm &f) {
        auto *message = f.findChild<TLabel *>(QStringLiteral("Message"));
        const QRect needed = message->fontMetrics().boundingRect(QRect(0, 0, message->width(), 100000),
                                                                 Qt::TextWordWrap | Qt::TextExpandTabs, message->text());
        EXPECT_LE(needed.height(), message->height());
        EXPECT_LE(message->geometry().right(), f.width());
        EXPECT_LE(message->geometry().bottom(), f.findChild<TButton *>(QStringLiteral("OK"))->y());
        Snapshot(f, QStringLiteral("ask-multiline"));
        f.SetModalResult(mrOk);
    });
    AskDialog(QStringLiteral("Ошибка распаковки файла данных!\rC:\\Документы\\Семья.den\n\tвторая строка"),
              TMsgDlgType::mtError, mbOK, false);
    EXPECT_TRUE(script.Finished());
}

// Every kind of box, at a small and at a large message font: each button
// and the message lie inside the client area, and each caption inside its
// button. The boxes come as at start-up, before any window was framed.
TEST_F(TulnDlgTest, EveryBoxKeepsItsButtonsInsideAtSmallAndLargeFonts)
{
    const QFont kept = QApplication::font();
    const QString texts[] = {
        QStringLiteral("Файл данных открыт в другой копии программы (user@host).\r/home/user/Семья.den"),
        QStringLiteral("Файл отсутствует!\r/home/user/Нет такого.den"),
        QStringLiteral("Program is already running!"),
        QStringLiteral("Да?"),
    };
    // The program's sets and a few more; a row wider than the test screen
    // would be cut by the screen, not by the box.
    const TMsgDlgButtons sets[] = {mbOK, mbYes | mbNo, mbOK | mbCancel, mbYes | mbNo | mbCancel,
                                   mbAbort | mbRetry | mbIgnore, mbYes | mbNo | mbHelp, mbOK | mbHelp};
    int boxes = 0;
    for (int points : {8, 16}) {
        QFont f = kept;
        f.setPointSize(points);
        QApplication::setFont(f);
        TModalScript script;
        auto check = [&, points](TForm &box) {
            for (int i = 0; i < 5; ++i)
                QApplication::processEvents(); // the frame, where a window manager gives one
            const QRect client = box.rect();
            const QList<TButton *> buttons = box.findChildren<TButton *>();
            EXPECT_FALSE(buttons.isEmpty());
            for (TButton *b : buttons) {
                EXPECT_TRUE(client.contains(b->geometry()))
                    << points << " pt: " << b->Name().toStdString() << " outside the box";
                const QFontMetrics fm(b->font());
                EXPECT_LE(fm.horizontalAdvance(b->Caption()) + 8, b->width()) << points << " pt: " << b->Name().toStdString();
                EXPECT_LE(fm.height() + 4, b->height()) << points << " pt: " << b->Name().toStdString();
            }
            auto *message = box.findChild<TLabel *>(QStringLiteral("Message"));
            EXPECT_TRUE(message && client.contains(message->geometry())) << points;
            if (boxes % 36 == 0) // each text's notice box
                Snapshot(box, QStringLiteral("notice-%1pt-%2").arg(points).arg(boxes / 36 % 4));
            ++boxes;
            box.SetModalResult(mrCancel);
        };
        for (const QString &text : texts) {
            TForm::NoteFrame(QMargins());
            script.Then(check);
            ShowNotice(text, true);
            for (int type = 0; type <= int(TMsgDlgType::mtCustom); ++type)
                for (TMsgDlgButtons set : sets) {
                    TForm::NoteFrame(QMargins());
                    script.Then(check);
                    AskDialog(text, TMsgDlgType(type), set, false);
                }
        }
        EXPECT_TRUE(script.Finished());
    }
    QApplication::setFont(kept);
    EXPECT_EQ(boxes, 2 * 4 * (1 + 5 * 7));
}

TEST_F(TulnDlgTest, ShortMessageLeavesRoomForItsTitle)
{
    // A one-word question under a long title: the window is wide enough for
    // the title in a bold face plus the title bar's buttons.
    TModalScript script;
    int width = 0;
    script.Then([&](TForm &f) {
        width = f.width();
        Snapshot(f, QStringLiteral("ask-short-confirmation"));
        f.SetModalResult(mrYes);
    });
    AskDialog(QStringLiteral("Да?"), TMsgDlgType::mtConfirmation, mbYes | mbNo, false);
    QFont bold = Screen().MessageFont();
    bold.setBold(true);
    EXPECT_GT(width, QFontMetrics(bold).horizontalAdvance(QStringLiteral("Подтверждение")) + 100);
}

TEST_F(TulnDlgTest, WindowIsFreedWhenAnExceptionPasses)
{
    TModalScript script;
    script.Then([](TForm &) { throw EAbort(QStringLiteral("stop")); });
    EXPECT_THROW(AskDialog(QStringLiteral("Текст"), TMsgDlgType::mtWarning, mbOK, false), EAbort);
    EXPECT_EQ(MessageFormsAlive(), 0);
}

TEST_F(TulnDlgTest, InputLineStoresOnOkAndKeepsTheValueOtherwise)
{
    TModalScript script;
    script.Then([](TForm &f) {
        EXPECT_EQ(f.Caption(), QStringLiteral("Новая статья"));
        EXPECT_EQ(f.findChild<TLabel *>(QStringLiteral("Prompt"))->Caption(), QStringLiteral("Название:"));
        auto *edit = f.findChild<TEdit *>(QStringLiteral("Edit"));
        EXPECT_EQ(edit->Text(), QStringLiteral("Еда"));
        EXPECT_EQ(edit->SelText(), QStringLiteral("Еда")); // all of it selected
        EXPECT_EQ(ButtonsLeftToRight(f), (QStringList{"OK=OK", "Cancel=Отмена"}));
        EXPECT_EQ(f.focusWidget(), edit);
        EXPECT_LE(std::abs(f.Left() + f.Width() / 2 - Screen().Width() / 2), 1);
        Snapshot(f, QStringLiteral("input-line"));
        // Typing replaces the selection; Enter answers OK.
        SendKey(edit, 0x0425, Qt::ShiftModifier, QStringLiteral("Х"));
        SendKey(edit, 0x043B, Qt::NoModifier, QStringLiteral("л"));
        SendKey(edit, Qt::Key_Return);
    });
    script.Enter(QStringLiteral("Edit"), QStringLiteral("другое"), QStringLiteral("Cancel"));
    script.Then([](TForm &f) {
        f.findChild<TEdit *>(QStringLiteral("Edit"))->SetText(QStringLiteral("другое"));
        SendKeyToFocus(f, Qt::Key_Escape);
    });
    script.CloseFromTitleBar();
    QString value = QStringLiteral("Еда");
    EXPECT_TRUE(InputLine(QStringLiteral("Новая статья"), QStringLiteral("Название:"), value, false));
    EXPECT_EQ(value, QStringLiteral("Хл"));
    EXPECT_FALSE(InputLine(QStringLiteral("Новая статья"), QStringLiteral("Название:"), value, false));
    EXPECT_FALSE(InputLine(QStringLiteral("Новая статья"), QStringLiteral("Название:"), value, false));
    EXPECT_FALSE(InputLine(QStringLiteral("Новая статья"), QStringLiteral("Название:"), value, false));
    EXPECT_EQ(value, QStringLiteral("Хл"));
    EXPECT_TRUE(script.Finished()) << script.Errors().join('\n').toStdString();
}

TEST_F(TulnDlgTest, InputLineTakesAtMost255Characters)
{
    TModalScript script;
    script.Then([](TForm &f) {
        auto *edit = f.findChild<TEdit *>(QStringLiteral("Edit"));
        for (int i = 0; i < 300; ++i)
            SendKey(edit, Qt::Key_A, Qt::NoModifier, QStringLiteral("ж"));
        SendKeyToFocus(f, Qt::Key_Return);
    });
    QString value;
    EXPECT_TRUE(InputLine(QStringLiteral("Курс"), QStringLiteral("Значение"), value, false));
    EXPECT_EQ(value, QString(255, QChar(u'ж')));
}

TEST_F(TulnDlgTest, InputLineDefaultStartsFromTheDefault)
{
    TModalScript script;
    script.Then([](TForm &f) {
        EXPECT_EQ(f.findChild<TEdit *>(QStringLiteral("Edit"))->Text(), QStringLiteral("1,25"));
        PressButton(f, QStringLiteral("OK"));
    });
    script.Press(QStringLiteral("Cancel"));
    QString value = QStringLiteral("старое");
    EXPECT_TRUE(InputLineDefault(QStringLiteral("Курс"), QStringLiteral("Курс на дату"), QStringLiteral("1,25"), false, value));
    EXPECT_EQ(value, QStringLiteral("1,25"));
    // Cancelled, the value is the default, as it was set before showing.
    value = QStringLiteral("старое");
    EXPECT_FALSE(InputLineDefault(QStringLiteral("Курс"), QStringLiteral("Курс на дату"), QStringLiteral("2"), false, value));
    EXPECT_EQ(value, QStringLiteral("2"));
}

} // namespace
} // namespace zorbel
