// Step 2 of the import (see ZorbImpPreview.h).
#include "analysis/ZorbImpPreview.h"

#include "memtable/VemtMemTable.h"
#include "platform/rtl/Exceptions.h"
#include "platform/rtl/Format.h"
#include "platform/rtl/Money.h"
#include "platform/rtl/StrUtils.h"

namespace zorbel {

namespace {

// TabImp's fields: name, type, size, title ("" hidden), display format.
struct TImpFieldDef {
    const char16_t *Name;
    TFieldType Type;
    int Size;
    const char16_t *Title;
    const char16_t *Format;
};

constexpr int NameWidth = 30;    // the width of category, person and firm names
constexpr int CommentWidth = 200; // the width of the operations' comment
constexpr int WhyWidth = 400;     // room for a refusal's reason with six names

constexpr TImpFieldDef ImpFields[] = {
    {u"Date_Real", ftDate, 0, u"Дата", u""},
    {u"Itm1", ftString, NameWidth, u"Статья1", u""},
    {u"Itm2", ftString, NameWidth, u"Статья2", u""},
    {u"Itm3", ftString, NameWidth, u"Статья3", u""},
    {u"Dt", ftFloat, 0, u"Приход", u"0.00"},
    {u"Ct", ftFloat, 0, u"Расход", u"0.00"},
    {u"Price", ftFloat, 0, u"Цена", u""},
    {u"Qdt", ftFloat, 0, u"Кол-во +", u""},
    {u"Qct", ftFloat, 0, u"Кол-во -", u""},
    {u"Pers", ftString, NameWidth, u"Кто", u""},
    {u"Firm", ftString, NameWidth, u"Где", u""},
    {u"Comment", ftString, CommentWidth, u"Примечание", u""},
    {u"Rate", ftFloat, 0, u"Курс", u"0.00"},
    {u"Level1", ftSmallint, 0, u"", u""},
    {u"Level2", ftSmallint, 0, u"", u""},
    {u"Level3", ftSmallint, 0, u"", u""},
    {u"ID_Person", ftSmallint, 0, u"", u""},
    {u"ID_Firm", ftSmallint, 0, u"", u""},
    {u"rdate", ftBoolean, 0, u"", u""},
    {u"rCt", ftBoolean, 0, u"", u""},
    {u"Why", ftString, WhyWidth, u"", u""},
};

// The hidden level fields are labelled with the tree's three levels, so a
// message about one of their values names it as the user knows it.
constexpr const char16_t *LevelLabels[] = {u"Категория", u"Группа", u"Предмет"};

// TabImp's fields by role, looked up once per run.
struct TImpFields {
    explicit TImpFields(TDataSet &t)
        : Date(t.FieldByName(QStringLiteral("Date_Real"))), Dt(t.FieldByName(QStringLiteral("Dt"))),
          Ct(t.FieldByName(QStringLiteral("Ct"))), Price(t.FieldByName(QStringLiteral("Price"))),
          Qdt(t.FieldByName(QStringLiteral("Qdt"))), Qct(t.FieldByName(QStringLiteral("Qct"))),
          Pers(t.FieldByName(QStringLiteral("Pers"))), Firm(t.FieldByName(QStringLiteral("Firm"))),
          Comment(t.FieldByName(QStringLiteral("Comment"))), Rate(t.FieldByName(QStringLiteral("Rate"))),
          IdPerson(t.FieldByName(QStringLiteral("ID_Person"))), IdFirm(t.FieldByName(QStringLiteral("ID_Firm"))),
          RDate(t.FieldByName(QStringLiteral("rdate"))), RCt(t.FieldByName(QStringLiteral("rCt"))),
          Why(t.FieldByName(QStringLiteral("Why")))
    {
        for (int k = 0; k < 3; ++k) {
            Itm[k] = t.FieldByName(QStringLiteral("Itm%1").arg(k + 1));
            Level[k] = t.FieldByName(QStringLiteral("Level%1").arg(k + 1));
        }
    }
    TField *Date, *Dt, *Ct, *Price, *Qdt, *Qct, *Pers, *Firm, *Comment, *Rate, *IdPerson, *IdFirm, *RDate, *RCt, *Why;
    TField *Itm[3], *Level[3];
};

// The column numbers (from 1, 0 when not listed) of the 13 named columns.
struct TColumnMap {
    explicit TColumnMap(const QStringList &columns)
    {
        for (int i = 0; i < icSkip; ++i)
            Number[i] = FindColumnPosition(columns, ImportFieldNames[size_t(i)]) + 1;
    }
    int Number[icSkip];
};

bool IsBlank(const QString &line)
{
    for (QChar c : line)
        if (c > u' ')
            return false;
    return true;
}

void SetIfNotZero(TField *field, double value)
{
    if (value != 0)
        field->SetAsFloat(value);
}

// Parses one line into the appended row of tab (still in insert state).
class TLineReader {
public:
    TLineReader(const TImportSettings &s, const TImportCatalog &c, TDateTime fallback)
        : settings_(s), catalog_(c), map_(s.Columns), fallback_(fallback)
    {
        defPerson_ = s.DefPerson.isEmpty() ? LevelUnknown : c.FindPerson(s.DefPerson.trimmed());
        defFirm_ = s.DefFirm.isEmpty() ? LevelUnknown : c.FindFirm(s.DefFirm.trimmed());
    }

    void Read(const QString &line, TImpFields &f)
    {
        SplitImportFields(line, settings_.Format.FieldSep.isNull() ? QChar() : settings_.Format.FieldSep, fields_);
        if (settings_.Format.FieldSep.isNull())
            fields_.assign(1, QString()); // no separator: every field is empty
        const TImportFormat &fmt = settings_.Format;
        bool badDate = false, badNumber = false;
        TDateTime date = 0;
        if (map_.Number[icDate] > 0)
            date = ParseImportDate(Field(icDate), fmt.DateSep, fmt.DateOrder, &badDate);
        bool refund = false;
        double income = Number(icIncome, badNumber, &refund);
        double expense = Number(icExpense, badNumber);
        // A negative figure in the income column is money going out (a
        // refund given back, a correction): it is booked as an expense of
        // that size and shown so in the preview, not as an income. In the
        // expense column the minus is dropped, as statements write their
        // debits negative.
        if (refund && income != 0 && expense == 0) {
            expense = income;
            income = 0;
        }
        std::array<QString, 3> names{Name(icItem1), Name(icItem2), Name(icItem3)};
        SplitItemPath(names, fmt.ItemSep);
        for (QString &name : names)
            name = name.trimmed().left(NameWidth);

        if (date > 0) {
            f.Date->SetAsDateTime(date);
        } else {
            f.Date->SetAsDateTime(fallback_);
            f.RDate->SetAsBoolean(false);
        }
        const double price = Number(icPrice, badNumber);
        const double qdt = Number(icQtyIn, badNumber);
        const double qct = Number(icQtyOut, badNumber);
        const double rate = Number(icRate, badNumber);

        bool noAmount = badNumber;
        if (!noAmount && expense != 0)
            f.Ct->SetAsFloat(expense);
        else if (!noAmount && income != 0)
            f.Dt->SetAsFloat(income);
        else
            noAmount = true;
        if (noAmount)
            f.RCt->SetAsBoolean(true);

        TItemLevels levels;
        levels.Names = names;
        if (!noAmount)
            levels = ResolveItemLevels(names, expense != 0 ? u'+' : u'-', catalog_);
        for (int k = 2; k >= 0; --k) {
            if (!levels.Names[size_t(k)].isEmpty())
                f.Itm[k]->SetAsString(levels.Names[size_t(k)]);
            if (levels.Result[size_t(k)] != LevelEmpty)
                f.Level[k]->SetAsInteger(levels.Result[size_t(k)]);
        }
        if (!levels.Why.isEmpty())
            f.Why->SetAsString(levels.Why);
        SetIfNotZero(f.Price, price);
        SetIfNotZero(f.Qdt, qdt);
        SetIfNotZero(f.Qct, qct);
        SetIfNotZero(f.Rate, rate);
        QString comment = Field(icNote);
        if (comment.isEmpty())
            comment = settings_.DefComment;
        if (!comment.isEmpty())
            f.Comment->SetAsString(comment);
        Reference(Name(icPerson), settings_.DefPerson, defPerson_, noAmount, f.Pers, f.IdPerson,
                  [this](const QString &n) { return catalog_.FindPerson(n); });
        Reference(Name(icFirm), settings_.DefFirm, defFirm_, noAmount, f.Firm, f.IdFirm,
                  [this](const QString &n) { return catalog_.FindFirm(n); });
    }

private:
    QString Field(int column) const
    {
        const int n = map_.Number[column];
        return n > 0 && size_t(n) <= fields_.size() ? fields_[size_t(n - 1)] : QString();
    }
    // Names (categories, person, firm) are taken trimmed, where a lookup of
    // the field as it stands would miss: spreadsheets and bank statements pad
    // their cells with blanks, and "Хлеб " would be taken for an unknown
    // category and written as a second "Хлеб". The note keeps its field as it
    // stands.
    QString Name(int column) const { return Field(column).trimmed(); }
    double Number(int column, bool &bad, bool *negative = nullptr) const
    {
        bool unreadable = false;
        const double value = ParseImportAmount(Field(column), settings_.Format.DecimalChar, &unreadable, negative);
        bad = bad || unreadable;
        return value;
    }
    template <class Find>
    void Reference(const QString &text, const QString &defText, int defId, bool noAmount, TField *name, TField *id,
                   Find find)
    {
        if (!text.isEmpty()) {
            name->SetAsString(text);
            if (!noAmount)
                id->SetAsInteger(find(text.left(NameWidth)));
        } else if (!defText.isEmpty()) {
            name->SetAsString(defText.trimmed());
            if (!noAmount)
                id->SetAsInteger(defId);
        }
    }

    const TImportSettings &settings_;
    const TImportCatalog &catalog_;
    TColumnMap map_;
    TDateTime fallback_;
    int defPerson_, defFirm_;
    std::vector<QString> fields_;
};

// Adds the row's amount to the summary when the row is importable.
void Count(TDataSet &tab, TImportSummary &summary)
{
    if (!ImportableRow(tab))
        return;
    ++summary.Importable;
    const double ct = tab.FieldByName(QStringLiteral("Ct"))->AsFloat();
    if (ct != 0)
        summary.ExpenseUnits += MoneyToUnits(ct);
    else
        summary.IncomeUnits += MoneyToUnits(tab.FieldByName(QStringLiteral("Dt"))->AsFloat());
}

} // namespace

void OpenImportTable(TVemtMemTable &tab)
{
    for (const TImpFieldDef &d : ImpFields)
        tab.FieldDefs().Add(QString::fromUtf16(d.Name), d.Type, d.Size);
    tab.Open();
    int level = 0;
    for (const TImpFieldDef &d : ImpFields) {
        TField *field = tab.FieldByName(QString::fromUtf16(d.Name));
        const QString title = QString::fromUtf16(d.Title);
        field->SetVisible(!title.isEmpty());
        if (!title.isEmpty())
            field->SetDisplayLabel(title);
        else if (field->FieldName().startsWith(QStringLiteral("Level")))
            field->SetDisplayLabel(QString::fromUtf16(LevelLabels[level++]));
        if (*d.Format)
            field->SetDisplayFormat(QString::fromUtf16(d.Format));
        if (d.Type == ftString)
            field->SetDisplayWidth(d.Size > NameWidth ? 30 : 14); // the grid's column widths
    }
}

bool ImportableRow(TDataSet &tab)
{
    const double ct = tab.FieldByName(QStringLiteral("Ct"))->AsFloat();
    const double dt = tab.FieldByName(QStringLiteral("Dt"))->AsFloat();
    if (ct == 0 && dt == 0)
        return false;
    for (int k = 1; k <= 3; ++k) {
        const TField *level = tab.FieldByName(QStringLiteral("Level%1").arg(k));
        if (!level->IsNull() && level->AsInteger() < LevelInconsistent + 1)
            return false;
    }
    return true;
}

TImportSummary BuildImportPreview(TVemtMemTable &tab, const QStringList &lines, const TImportSettings &settings,
                                  const TImportCatalog &catalog, TDateTime fallbackDate)
{
    TImportSummary summary;
    TImpFields f(tab);
    TLineReader reader(settings, catalog, fallbackDate);
    {
        TControlsOff off(tab);
        // A line that cannot be taken in (damaged in the file, or failing
        // here) stays visible as a row without an amount, its text in the note.
        const auto unreadable = [&](const QString &line) {
            tab.Append();
            f.Date->SetAsDateTime(fallbackDate);
            f.RDate->SetAsBoolean(false);
            f.RCt->SetAsBoolean(true);
            f.Comment->SetAsString(line);
            tab.Post();
        };
        for (const QString &line : lines) {
            if (IsBlank(line))
                continue;
            if (line.contains(QChar(ImportDamageMark))) {
                unreadable(line);
                continue;
            }
            try {
                tab.Append();
                reader.Read(line, f);
                tab.Post();
                Count(tab, summary);
            } catch (const Exception &) {
                tab.Cancel();
                unreadable(line);
            }
        }
        tab.First();
    }
    return summary;
}

TImportSummary CountImportable(TVemtMemTable &tab)
{
    TImportSummary summary;
    const int recNo = tab.RecNo();
    {
        TControlsOff off(tab);
        for (tab.First(); !tab.Eof(); tab.Next())
            Count(tab, summary);
        if (recNo > 0 && !tab.IsEmpty())
            tab.SetRecNo(recNo);
    }
    return summary;
}

QString ImportSummaryLine(int total, const TImportSummary &summary)
{
    return QStringLiteral("Всего / К импорту = %1 / %2 ... Приход = %3  Расход = %4")
        .arg(total)
        .arg(CountText(summary.Importable, U("строка"), U("строки"), U("строк")))
        .arg(FormatFloat(QStringLiteral("#,##0.00"), UnitsToMoney(summary.IncomeUnits)),
             FormatFloat(QStringLiteral("#,##0.00"), UnitsToMoney(summary.ExpenseUnits)));
}

} // namespace zorbel
