// The reminder list (see ZorbRemind.h). Every value the queries compare with
// (days, months, the mark, today) goes in as a bound parameter.
#include "core/ZorbRemind.h"
#include "core/ZorbText.h"

#include "core/ZorbDm.h"
#include "platform/rtl/Exceptions.h"

#include <QHash>

namespace zorbel {

namespace {

constexpr int RemWidth = 100; // characters of a reminder text

// Field layout of Tb_Rem (see the header).
struct TRemField {
    const char *Name;
    TFieldType Type;
    int Size;
};
constexpr TRemField RemFields[] = {
    {"Date_Rem", ftDate, 0},       {"Rem", ftString, RemWidth}, {"id_person", ftSmallint, 0},
    {"id_family", ftSmallint, 0},  {"Date_Create", ftDateTime, 0}, {"Knd", ftWord, 0},
};

bool OpenReminderTable(TVemtMemTable &rem)
{
    try {
        rem.Close();
        if (rem.FieldDefs().Count() == 0)
            for (const TRemField &f : RemFields)
                rem.FieldDefs().Add(QString::fromLatin1(f.Name), f.Type, f.Size);
        rem.Open();
        for (const TRemField &f : RemFields)
            rem.FieldByName(QString::fromLatin1(f.Name))->SetVisible(false);
        TField *date = rem.FieldByName(QStringLiteral("Date_Rem"));
        date->SetVisible(true);
        date->SetDisplayLabel(U("Дата"));
        date->SetDisplayWidth(12);
        rem.FieldByName(QStringLiteral("Rem"))->SetVisible(true);
    } catch (const Exception &) {
        return false;
    }
    return rem.Active();
}

// The birthday condition over the window, one bracket per day, with the
// day and month of day i bound as :di and :mi.
QString WindowCondition(const std::vector<TDayMonth> &window)
{
    QString cond;
    for (size_t i = 0; i < window.size(); ++i) {
        const bool lastDay = window[i].Day >= window[i].MonthDays;
        cond += QStringLiteral("%1(Dy%2:d%3 and Mn=:m%3 )")
                    .arg(i == 0 ? QStringLiteral(" ") : QStringLiteral("or "), lastDay ? ">=" : "=")
                    .arg(i);
    }
    return cond;
}

void BindWindow(TQuery &q, const std::vector<TDayMonth> &window, const QString &remFlag)
{
    for (size_t i = 0; i < window.size(); ++i) {
        q.ParamByName(QStringLiteral("d%1").arg(i))->SetAsSmallInt(window[i].Day);
        q.ParamByName(QStringLiteral("m%1").arg(i))->SetAsSmallInt(window[i].Month);
    }
    if (!remFlag.isEmpty())
        q.ParamByName(QStringLiteral("remflag"))->SetAsString(remFlag);
}

// Names by identifier: the lookups of the reminder texts.
QHash<int, QString> Names(TQuery &q, const char *sql)
{
    QHash<int, QString> names;
    try {
        q.Close();
        q.SQL() = QStringList{QString::fromLatin1(sql)};
        q.Open();
        for (q.First(); !q.Eof(); q.Next())
            names.insert(q.Fields()[0]->AsInteger(), q.Fields()[1]->AsString());
        q.Close();
    } catch (const Exception &) {
        q.Close();
    }
    return names;
}

// Opens one of the reminder queries; false (and closed) when it fails.
bool OpenSource(TQuery &q, const std::function<void()> &bind)
{
    try {
        bind();
        q.Open();
        return true;
    } catch (const Exception &) {
        q.Close();
        return false;
    }
}

// Appends one reminder row; a row that fails to post is dropped.
void AppendRow(TVemtMemTable &rem, const TField *date, const QString &text, const Variant &person,
               const Variant &family, const TField *stamp, int kind)
{
    try {
        rem.Append();
        if (date && !date->IsNull())
            rem.FieldByName(QStringLiteral("Date_Rem"))->SetAsDateTime(DateOf(date->AsDateTime()));
        rem.FieldByName(QStringLiteral("Rem"))->SetAsString(text.left(RemWidth));
        rem.FieldByName(QStringLiteral("id_person"))->SetAsVariant(person);
        rem.FieldByName(QStringLiteral("id_family"))->SetAsVariant(family);
        if (stamp && !stamp->IsNull())
            rem.FieldByName(QStringLiteral("Date_Create"))->SetAsDateTime(stamp->AsDateTime());
        rem.FieldByName(QStringLiteral("Knd"))->SetAsInteger(kind);
        rem.Post();
    } catch (const Exception &) {
        if (rem.State() == dsInsert || rem.State() == dsEdit)
            rem.Cancel();
    }
}

QString Piece(const QString &text, const char *before, const char *after)
{
    return text.isEmpty() ? QString() : QString::fromLatin1(before) + text + QString::fromLatin1(after);
}

} // namespace

TReminderDays MakeReminderDays(TDateTime Today)
{
    // Every day is decoded as it is, 29 February included: the last day of a
    // month takes that month's later days in RemindedOn instead, so a 29
    // February birthday is reminded every year and on its own day in a leap
    // year (ZorbRemind.h).
    TReminderDays days{};
    const int offsets[5] = {0, 1, 2, -1, -2};
    for (size_t i = 0; i < days.size(); ++i) {
        int y, m, d;
        DecodeDate(DateOf(Today) + offsets[i], y, m, d);
        days[i] = {uint16_t(d), uint16_t(m), uint16_t(DaysInAMonth(y, m))};
    }
    return days;
}

std::vector<TDayMonth> ReminderWindow(const TReminderDays &Days, int Day1, int Day2)
{
    std::vector<TDayMonth> window{Days[0]};
    if (Day2 >= 1)
        window.push_back(Days[3]);
    if (Day2 >= 2)
        window.push_back(Days[4]);
    if (Day1 >= 1)
        window.push_back(Days[1]);
    if (Day1 >= 2)
        window.push_back(Days[2]);
    return window;
}

bool RemindedOn(const std::vector<TDayMonth> &Window, int Dy, int Mn)
{
    for (const TDayMonth &day : Window)
        if (day.Month == Mn && (day.Day == Dy || (day.Day >= day.MonthDays && Dy > day.Day)))
            return true;
    return false;
}

bool RemindedPerson(const std::vector<TDayMonth> &Window, const QString &C, const QString &RemFlag, int Dy, int Mn)
{
    if (!RemFlag.isEmpty() && C == RemFlag)
        return true;
    return C.isEmpty() && RemindedOn(Window, Dy, Mn);
}

QString ReminderTitle(const TReminderCounts &Counts)
{
    QString title;
    if (Counts.Persons > 0)
        title += CountText(Counts.Persons, U("персона"), U("персоны"), U("персон")) + U("         ");
    if (Counts.Family > 0)
        title += QString::number(Counts.Family) + U(" родств.         ");
    if (Counts.Diary > 0)
        title += CountText(Counts.Diary, U("напоминание"), U("напоминания"), U("напоминаний"));
    return title;
}

TReminderCounts BuildReminders(TDm &Dm, const TReminderSettings &Settings)
{
    TReminderCounts counts;
    TVemtMemTable &rem = Dm.Tb_Rem;
    if (!OpenReminderTable(rem))
        return counts;

    const std::vector<TDayMonth> window = ReminderWindow(Settings.Days, Settings.Day1, Settings.Day2);
    QString where = QStringLiteral("where (((C is null) or (C=''))  and ( ") + WindowCondition(window) +
                    QStringLiteral(" ))");
    // The mark is bound, not pasted: a mark typed as a quote would end the
    // literal and fail the query, and the birthdays would not be listed.
    if (!Settings.RemFlag.isEmpty())
        where += QStringLiteral(" or (C=:remflag)");
    const QHash<int, QString> firms = Names(Dm.Qtemp, "select id_firm, firm from tb_firm");
    const QHash<int, QString> persons = Names(Dm.Qtemp, "select id_person, name from tb_person");
    const auto lookup = [](const QHash<int, QString> &names, const TField *id) {
        return id->IsNull() ? QString() : names.value(id->AsInteger());
    };

    TQuery &qp = Dm.Qrem_pers;
    qp.Close();
    qp.SQL()[1] = where;
    if (OpenSource(qp, [&] { BindWindow(qp, window, Settings.RemFlag); })) {
        for (qp.First(); !qp.Eof(); qp.Next()) {
            const QString text = qp.FieldByName(QStringLiteral("Name"))->AsString() +
                                 Piece(qp.FieldByName(QStringLiteral("Phone"))->AsString(), " (", ")") +
                                 Piece(qp.FieldByName(QStringLiteral("Comment"))->AsString(), "  ", "") +
                                 Piece(lookup(firms, qp.FieldByName(QStringLiteral("id_firm"))), " [", "]");
            AppendRow(rem, qp.FieldByName(QStringLiteral("Birthday")), text,
                      qp.FieldByName(QStringLiteral("id_person"))->AsVariant(), Variant(), nullptr, 1);
            ++counts.Persons;
        }
        qp.Close();
    }

    TQuery &qf = Dm.Qrem_fam;
    qf.Close();
    qf.SQL()[1] = where;
    if (OpenSource(qf, [&] { BindWindow(qf, window, Settings.RemFlag); })) {
        for (qf.First(); !qf.Eof(); qf.Next()) {
            const QString text = qf.FieldByName(QStringLiteral("Name"))->AsString() +
                                 Piece(lookup(persons, qf.FieldByName(QStringLiteral("id_person"))), " (", ")") +
                                 Piece(qf.FieldByName(QStringLiteral("Comment"))->AsString(), "  ", "");
            AppendRow(rem, qf.FieldByName(QStringLiteral("Birthday")), text,
                      qf.FieldByName(QStringLiteral("id_person"))->AsVariant(),
                      qf.FieldByName(QStringLiteral("id_family"))->AsVariant(), nullptr, 2);
            ++counts.Family;
        }
        qf.Close();
    }

    // Monthly entries: today's day, and on the last day of a month the later
    // days too.
    TQuery &ql = Dm.Qrem_log;
    ql.Close();
    const TDayMonth &today = Settings.Days[0];
    ql.SQL()[2] = today.Day >= today.MonthDays ? QStringLiteral("(dy>=:d and c='2')") : QStringLiteral("(dy=:d and c='2')");
    if (OpenSource(ql, [&] {
            ql.ParamByName(QStringLiteral("date_now"))->SetAsDate(DateOf(Settings.Today));
            ql.ParamByName(QStringLiteral("d"))->SetAsSmallInt(today.Day);
        })) {
        for (ql.First(); !ql.Eof(); ql.Next()) {
            const QString text = ql.FieldByName(QStringLiteral("Note"))->AsString().trimmed() +
                                 Piece(lookup(persons, ql.FieldByName(QStringLiteral("Id_Person"))), " (", ")") +
                                 Piece(lookup(firms, ql.FieldByName(QStringLiteral("Id_Firm"))), " [", "]");
            AppendRow(rem, ql.FieldByName(QStringLiteral("Date_Remind")), text,
                      ql.FieldByName(QStringLiteral("Id_Person"))->AsVariant(), Variant(),
                      ql.FieldByName(QStringLiteral("Date_create")), 3);
            ++counts.Diary;
        }
        ql.Close();
    }

    if (rem.Active() && rem.RecordCount() > 0) {
        rem.First();
        rem.FieldByName(QStringLiteral("Rem"))->SetDisplayLabel(ReminderTitle(counts));
    } else {
        rem.Close();
    }
    return counts;
}

} // namespace zorbel
