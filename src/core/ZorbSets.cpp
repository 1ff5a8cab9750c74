// The settings window's layout and its own small actions (the font and
// calculator buttons); filling it and taking the options back is the main
// window's (ZorbMainSets.cpp).
#include "core/ZorbSets.h"

#include "core/ZorbFile.h"
#include "core/ZorbText.h"
#include "platform/system/SysPaths.h"
#include "platform/widgets/Dialogs.h"

#include <QFileDialog>
#include <QFontMetrics>
#include <QTabBar>

namespace zorbel {
namespace {

TGroupBox *Group(QWidget *parent, const char *caption, int left, int top, int width, int height)
{
    auto *g = new TGroupBox(parent);
    g->SetCaption(U(caption));
    g->SetBounds(left, top, width, height);
    return g;
}

TLabel *Label(QWidget *parent, const char *caption, int left, int top, int width = 0, int height = 16)
{
    auto *l = new TLabel(parent);
    l->SetCaption(U(caption));
    if (width > 0) {
        l->SetWordWrap(true);
        l->SetBounds(left, top, width, height);
    } else {
        l->SetBounds(left, top, l->Width(), height);
    }
    return l;
}

TCheckBox *Check(QWidget *parent, const char *name, const char *caption, int left, int top, int width = 440)
{
    auto *c = new TCheckBox(parent, QString::fromLatin1(name));
    c->SetCaption(U(caption));
    c->SetBounds(left, top, width, 20);
    return c;
}

TEdit *Edit(QWidget *parent, const char *name, int left, int top, int width, int maxLength = 0)
{
    auto *e = new TEdit(parent, QString::fromLatin1(name));
    e->SetBounds(left, top, width, 22);
    e->SetMaxLength(maxLength);
    return e;
}

TComboBox *Combo(QWidget *parent, const char *name, std::initializer_list<const char *> items, int left, int top,
                 int width)
{
    auto *c = new TComboBox(parent, QString::fromLatin1(name));
    c->SetStyle(TComboBoxStyle::csDropDownList);
    for (const char *item : items)
        c->Items().Add(U(item));
    c->SetBounds(left, top, width, 22);
    return c;
}

TButton *Button(QWidget *parent, const char *name, const char *caption, const char *hint, int left, int top,
                int width, int height = 26)
{
    auto *b = new TButton(parent, QString::fromLatin1(name));
    b->SetCaption(U(caption));
    if (*hint)
        b->SetHint(U(hint));
    b->SetBounds(left, top, width, height);
    return b;
}

const std::initializer_list<const char *> Digits = {"\"как есть\"",     "всегда 4 цифры", "всегда 3 цифры",
                                                    "всегда 2 цифры",  "всегда 1 цифра", "всегда 0 цифр (целое)"};

} // namespace

TTabSheet *TFormSets::Page(const char *name, const char *caption)
{
    auto *sheet = new TTabSheet(Pg, QString::fromLatin1(name));
    sheet->SetCaption(U(caption));
    return sheet;
}

TFormSets::TFormSets()
{
    SetName(QStringLiteral("FormSets"));
    SetCaption(U("Настройки и установки"));
    SetPosition(TPosition::poScreenCenter);
    SetClientWidth(489);
    SetClientHeight(565);
    PanOk = new TPanel(this, QStringLiteral("PanOk"));
    PanOk->SetAlign(TAlign::alBottom);
    PanOk->SetHeight(40);
    PanOk->SetBevelOuter(TBevelCut::bvNone);
    ButOk = Button(PanOk, "ButOk", "OK", "", 300, 8, 85, 25);
    ButOk->SetDefault(true);
    ButOk->SetModalResult(mrOk);
    ButCancel = Button(PanOk, "ButCancel", "Отмена", "", 392, 8, 85, 25);
    ButCancel->SetCancel(true);
    ButCancel->SetModalResult(mrCancel);
    Pg = new TPageControl(this, QStringLiteral("Pg"));
    Pg->SetAlign(TAlign::alClient);
    // The four tabs stay in view with their whole captions, in a slightly
    // smaller font; the window is never narrower than they need (below).
    if (auto *tabs = Pg->findChild<QTabBar *>()) {
        QFont small = tabs->font();
        small.setPointSizeF(small.pointSizeF() * 0.85);
        tabs->setFont(small);
        tabs->setUsesScrollButtons(false);
        tabs->setElideMode(Qt::ElideNone);
    }

    ShView = Page("ShView", "Внешний вид");
    TGroupBox *g = Group(ShView, "Видимость", 8, 8, 220, 72);
    ChBar = Check(g, "ChBar", "Панель кнопок", 12, 22, 200);
    ChStatus = Check(g, "ChStatus", "Статус-панель", 12, 44, 200);
    g = Group(ShView, "Шрифты", 236, 8, 237, 72);
    ButFontGrid = Button(g, "ButFontGrid", "Основной...", "Основные таблицы", 10, 26, 105, 32);
    ButFontTitle = Button(g, "ButFontTitle", "Дополнительный...",
                          "Заголовки колонок, дерево статей, статус-панели", 121, 26, 107, 32);
    // Within the page of a window at its designed size, framed by the window
    // manager (400 high, its bottom edge was cut off by the OK panel).
    g = Group(ShView, "Главная таблица", 8, 86, 465, 372);
    LbFld = new TCheckListBox(g, QStringLiteral("LbFld"));
    LbFld->SetBounds(10, 22, 220, 340);
    TGroupBox *title = Group(g, "Название колонки в таблице", 240, 22, 215, 64);
    EdDisplay = Edit(title, "EdDisplay", 8, 28, 160);
    ButColumn = Button(title, "ButColumn", "✓", "Применить", 174, 26, 32);

    ShFormat = Page("ShFormat", "Подстановка и формат чисел");
    g = Group(ShFormat, "Подстановка при вводе данных", 8, 8, 212, 196);
    ChSum = Check(g, "ChSum", "Сумма", 12, 22, 180);
    ChPrice = Check(g, "ChPrice", "Цена", 12, 46, 180);
    ChQuant = Check(g, "ChQuant", "Количество", 12, 70, 180);
    ChRate = Check(g, "ChRate", "Курс", 12, 94, 180);
    ChPrs = Check(g, "ChPrs", "Кто", 12, 118, 180);
    ChFrm = Check(g, "ChFrm", "Где", 12, 142, 180);
    ChComm = Check(g, "ChComm", "Комментарий", 12, 166, 180);
    g = Group(ShFormat, "Количество цифр после запятой", 226, 8, 247, 118);
    Label(g, "Цена", 10, 28);
    CbPrice = Combo(g, "CbPrice", Digits, 66, 24, 171);
    Label(g, "Курс", 10, 58);
    CbRate = Combo(g, "CbRate", Digits, 66, 54, 171);
    Label(g, "Кол-во", 10, 88);
    CbQuant = Combo(g, "CbQuant", Digits, 66, 84, 171);
    Label(ShFormat, "Формат даты", 236, 146);
    EdDate = Edit(ShFormat, "EdDate", 330, 142, 143);
    g = Group(ShFormat, "АвтоРасчёт при операциях: Сумма = Цена * Количество", 8, 212, 465, 108);
    ChAutoSum = Check(g, "ChAutoSum", "Автоматически считать 3-е значение при 2-х имеющихся ", 12, 22);
    ChEmpty = Check(g, "ChEmpty", "Подставлять количество = 1, если не заполнено", 12, 46);
    Label(g, "Всегда пересчитывать", 12, 78);
    CbCor = Combo(g, "CbCor", {"не надо", "Количество", "Цену", "Сумму"}, 180, 74, 150);
    g = Group(ShFormat, "При загрузке", 8, 328, 465, 72);
    ChAcc_Def = Check(g, "ChAcc_Def", "Открывать счёт по умолчанию", 12, 22);
    ChLast_Date = Check(g, "ChLast_Date", "Дата последней операции", 12, 44);

    ShSystem = Page("ShSystem", "Система и файлы");
    // The settings live in a file here, and the association in the desktop's
    // files: the button names what it removes.
    ButReg = Button(ShSystem, "ButReg", "Удалить Zorbel-записи: настройки и связь с *.den-файлами", "", 8, 8, 465, 28);
    g = Group(ShSystem, "Символ-разделитель при экспорте в CSV-файл", 8, 44, 465, 62);
    EdCSV = Edit(g, "EdCSV", 12, 26, 30, 1);
    Label(g, "например: , (запятая)   ; (точка с запятой)   t (табуляция)", 52, 22, 400, 30);
    g = Group(ShSystem, "Резервные копии", 8, 112, 465, 136);
    Label(g, "bak - рядом с *.den-файлом, или в указанном месте:", 12, 22);
    EdBak = Edit(g, "EdBak", 12, 40, 440);
    LbReserve = Label(g, "", 12, 66, 440, 32);
    ShowReserveFolder(DefaultReserveFolder());
    EdReserve = Edit(g, "EdReserve", 12, 100, 440);
    g = Group(ShSystem, "Внешний калькулятор", 8, 254, 465, 60);
    EdCalc = Edit(g, "EdCalc", 12, 26, 400);
    // Empty stands for the program's own calculator (IsOwnCalculator).
    EdCalc->setPlaceholderText(U("встроенный калькулятор программы"));
    ButCalc = Button(g, "ButCalc", "...", "Выбор файла...", 418, 25, 34, 24);
    ChEscape = Check(ShSystem, "ChEscape", "Закрыть по Escape", 16, 324);
    ChAdmin = Check(ShSystem, "ChAdmin", "Доп. функции", 16, 348);
    ChConfirm = Check(ShSystem, "ChConfirm", "Подтверждать закрытие программы", 16, 372);

    ShRemind = Page("ShRemind", "Напоминания");
    Label(ShRemind,
          "Символ, введённый здесь, превращает в напоминания строки таблиц, у которых в колонке С стоит этот "
          "символ:",
          8, 10, 460, 36);
    EdFlag = Edit(ShRemind, "EdFlag", 8, 52, 30, 1);
    g = Group(ShRemind, "Если сегодня день рождения, то напоминать...", 8, 90, 465, 100);
    Label(g, "с", 12, 30);
    CbDay1 = Combo(g, "CbDay1", {"Сегодня", "Вчера", "Позавчера"}, 30, 26, 140);
    Label(g, "до", 190, 30);
    CbDay2 = Combo(g, "CbDay2", {"Сегодня", "Завтра", "Послезавтра"}, 215, 26, 140);
    Label(g, "Только для строк, у которых поле С пустое.", 12, 66, 440, 20);

    ExecuteCalcDialog = [this](QString &FileName) {
        const QString chosen = QFileDialog::getOpenFileName(this, U("Выбор внешней программы-калькулятора"), FileName);
        if (chosen.isEmpty())
            return false;
        FileName = chosen;
        return true;
    };
    ButFontGrid->OnClick = [this](TObject *) { ButFontClick(ButFontGrid); };
    ButFontTitle->OnClick = [this](TObject *) { ButFontClick(ButFontTitle); };
    ButCalc->OnClick = [this](TObject *s) { ButCalcClick(s); };
    OnShow = [this](TObject *) { Pg->SetActivePageIndex(0); };
    if (auto *tabs = Pg->findChild<QTabBar *>())
        setMinimumWidth(std::max(minimumWidth(), tabs->sizeHint().width() + 8));
    DoCreate();
}

TFormSets::~TFormSets() { DoDestroy(); }

void TFormSets::ShowReserveFolder(const QString &Folder)
{
    // Where the copies go by default, in the label's two lines: the home as
    // "~", and a folder still too long shortened in its middle (the hint
    // gives it whole).
    if (Folder.isEmpty()) {
        // No home, so no folder of the program's own: only one named here.
        LbReserve->SetCaption(U("bak1, bak2 - в указанном месте:"));
        LbReserve->SetHint(QString());
        return;
    }
    QString folder = ShownName(AbsoluteName(Folder));
    const QString home = ShownName(HomeFolder());
    if (!home.isEmpty() && home != QLatin1String("/") && folder.startsWith(home + u'/'))
        folder = u'~' + folder.mid(home.size());
    const auto text = [](const QString &f) {
        return U("bak1, bak2 (1_имя.bak, 2_имя.bak) - в папке ") + f + U(", или в указанном месте:");
    };
    const QFontMetrics metrics(LbReserve->font());
    const int width = LbReserve->Width();
    QString shown = folder;
    for (int room = metrics.horizontalAdvance(folder); room > 0; room -= 8) {
        LbReserve->SetCaption(text(shown));
        if (LbReserve->heightForWidth(width) <= LbReserve->Height() &&
            metrics.horizontalAdvance(shown + u',') <= width)
            break;
        shown = metrics.elidedText(folder, Qt::ElideMiddle, room);
    }
    LbReserve->SetHint(ShownName(AbsoluteName(Folder)));
}

void TFormSets::ButFontClick(TButton *Button)
{
    TFontDialog fd;
    fd.SetFont(Button->Font());
    if (!fd.Execute())
        return;
    QFont font = fd.Font();
    const bool bold = font.bold();
    font.setItalic(false);
    font.setUnderline(false);
    font.setStrikeOut(false);
    font.setBold(bold);
    Button->SetFont(font);
}

void TFormSets::ButCalcClick(TObject *)
{
    QString file = EdCalc->Text();
    if (ExecuteCalcDialog(file))
        EdCalc->SetText(file);
}

} // namespace zorbel
