// The reference books at size: 5,000 people, 10,000 family members, 20,000
// diary entries (and 1,000 firms), written with raw inserts into a new data
// set of the main window. Then:
//   reminders  BuildReminders with the widest day window and a reminder mark
//              (target <= 50 ms);
//   search     the search window's walk over the 20,000 diary rows (target
//              <= 100 ms), the bare walk of the table, and an F3 step that
//              finds nothing and wraps.
//
// With "--shot DIR" it builds a dozen rows of each book instead, shows the
// main window on the current display and saves pictures of the four pages,
// the reminder panel, the person card, the picker and the search window.
#include "core/ZorbMain.h"
#include "platform/rtl/StrUtils.h"
#include "core/ZorbRef.h"
#include "core/ZorbRefFind.h"
#include "core/ZorbRemind.h"

#include "../BenchTiming.h"
#include "../common/BenchHome.h"

#include <QApplication>
#include <QDir>
#include <cstdio>
#include <random>
#include <sqlite3.h>

using namespace zorbel;

namespace {

void Check(int rc, sqlite3 *db)
{
    if (rc != SQLITE_OK && rc != SQLITE_DONE && rc != SQLITE_ROW) {
        std::fprintf(stderr, "sqlite: %s\n", sqlite3_errmsg(db));
        std::exit(2);
    }
}

struct TBooks {
    int Firms, People, Family, Diary;
};

const char *const Surnames[] = {"Иванов", "Петрова", "Сидоров", "Ёлкина", "Кузнецов", "Смирнова",
                                "Попов",  "Волкова", "Зайцев",  "Орлова", "Соколов",  "Лебедева"};
const char *const Names[] = {"Маша", "Петя", "Даша", "Ваня", "Оля", "Коля", "Света", "Миша", "Аня", "Гоша"};
const char *const Notes[] = {"Позвонить насчёт дачи", "Оплатить квартиру",     "Забрать заказ в аптеке",
                             "Поздравить с юбилеем",   "Сдать показания счётчиков", "Техосмотр машины",
                             "Записаться к врачу",     "Купить подарок"};
const char *const Firms[] = {"Гастроном «Уют»", "Аптека №5", "Рынок на Садовой", "Сбербанк", "Почта России",
                             "Автосервис", "Библиотека", "Поликлиника"};

// Fills the open data set of f with the books, in one transaction.
void Fill(TFormMain &f, const TBooks &size)
{
    sqlite3 *db = f.Dm->Db.Db().Handle();
    f.Dm->Db.ReleaseStatements();
    Check(sqlite3_exec(db, "BEGIN", nullptr, nullptr, nullptr), db);
    std::mt19937 rnd(11);
    const TDateTime today = Date();
    const auto prepare = [&](const char *sql) {
        sqlite3_stmt *st = nullptr;
        Check(sqlite3_prepare_v2(db, sql, -1, &st, nullptr), db);
        return st;
    };
    const auto text = [](sqlite3_stmt *st, int i, const QString &s) {
        const QByteArray b = s.toUtf8();
        sqlite3_bind_text(st, i, b.constData(), -1, SQLITE_TRANSIENT);
    };
    const auto step = [&](sqlite3_stmt *st) {
        Check(sqlite3_step(st), db);
        sqlite3_reset(st);
    };
    sqlite3_stmt *firm = prepare("insert into tb_firm(id_firm,firm,phone,address) values(?,?,?,?)");
    for (int i = 1; i <= size.Firms; ++i) {
        sqlite3_bind_int(firm, 1, i);
        text(firm, 2, U(Firms[i % 8]) + (i > 8 ? QStringLiteral(" %1").arg(i) : QString()));
        text(firm, 3, QStringLiteral("8-800-%1").arg(1000 + i));
        text(firm, 4, U("ул. Ленина, %1").arg(i));
        step(firm);
    }
    sqlite3_finalize(firm);
    // Birthdays spread over the year; every 50th person carries the mark "!".
    const auto birthday = [&](sqlite3_stmt *st, int first) {
        const TDateTime b = today - 365.25 * (5 + rnd() % 70) - double(rnd() % 365);
        int y, m, d;
        DecodeDate(b, y, m, d);
        sqlite3_bind_int64(st, first, qint64(b));
        sqlite3_bind_int(st, first + 1, d);
        sqlite3_bind_int(st, first + 2, m);
    };
    sqlite3_stmt *person = prepare(
        "insert into tb_person(id_person,name,phone,address,id_firm,comment,birthday,dy,mn,c) values(?,?,?,?,?,?,?,?,?,?)");
    for (int i = 1; i <= size.People; ++i) {
        sqlite3_bind_int(person, 1, i);
        text(person, 2, U(Surnames[i % 12]) + QStringLiteral(" %1").arg(i));
        text(person, 3, QStringLiteral("+7 9%1").arg(100000 + i));
        text(person, 4, U("г. Тверь, д. %1").arg(i % 300));
        sqlite3_bind_int(person, 5, 1 + i % size.Firms);
        text(person, 6, i % 3 ? U("сосед по даче") : U("коллега"));
        birthday(person, 7);
        if (i % 50 == 0)
            sqlite3_bind_text(person, 10, "!", -1, SQLITE_STATIC);
        else
            sqlite3_bind_null(person, 10);
        step(person);
    }
    sqlite3_finalize(person);
    sqlite3_stmt *member = prepare(
        "insert into tb_family(id_family,id_person,name,comment,birthday,dy,mn) values(?,?,?,?,?,?,?)");
    for (int i = 1; i <= size.Family; ++i) {
        sqlite3_bind_int(member, 1, i);
        sqlite3_bind_int(member, 2, 1 + i % size.People);
        text(member, 3, U(Names[i % 10]));
        text(member, 4, i % 2 ? U("дочь") : U("сын"));
        birthday(member, 5);
        step(member);
    }
    sqlite3_finalize(member);
    sqlite3_stmt *entry = prepare(
        "insert into tb_log(date_create,date_remind,note,id_person,id_firm,c,dy) values(?,?,?,?,?,?,?)");
    for (int i = 0; i < size.Diary; ++i) {
        const TDateTime remind = today - 400 + double(rnd() % 800);
        int y, m, d;
        DecodeDate(remind, y, m, d);
        sqlite3_bind_double(entry, 1, today - 500 + double(i) / 1000);
        sqlite3_bind_int64(entry, 2, qint64(remind));
        text(entry, 3, U(Notes[i % 8]) + QStringLiteral(" #%1").arg(i));
        sqlite3_bind_int(entry, 4, 1 + i % size.People);
        sqlite3_bind_int(entry, 5, 1 + i % size.Firms);
        sqlite3_bind_text(entry, 6, i % 3 == 0 ? "0" : i % 3 == 1 ? "1" : "2", -1, SQLITE_STATIC);
        sqlite3_bind_int(entry, 7, d);
        step(entry);
    }
    sqlite3_finalize(entry);
    Check(sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr), db);
    for (TTable *t : {&f.Dm->Tb_Firm, &f.Dm->Tb_Person, &f.Dm->Tb_Family, &f.Dm->Tb_Log})
        t->Refresh();
}

int Measure(const QString &program)
{
    TFormMain f(QStringList{}, program);
    Fill(f, {1000, 5000, 10000, 20000});
    f.Day1 = 2;
    f.Day2 = 2;
    f.Rem_Flag = QStringLiteral("!");
    TReminderSettings s;
    s.Days = f.ReminderDays;
    s.Day1 = 2;
    s.Day2 = 2;
    s.RemFlag = QStringLiteral("!");
    s.Today = Date();
    TReminderCounts counts;
    const double remind = bench::BestSeconds(10, [&] { counts = BuildReminders(*f.Dm, s); });
    std::printf("BuildReminders: %.1f ms (persons %d, family %d, diary %d; target <= 50 ms)\n", remind * 1e3,
                counts.Persons, counts.Family, counts.Diary);

    std::vector<TFindItem> items;
    const TFindSource diary{&f.Dm->Tb_Log, QString(), QStringLiteral("NOTE"), nullptr};
    const double search = bench::BestSeconds(5, [&] { items = SearchTable(diary, U("юбилеем #1")); });
    std::printf("text search over %d diary rows: %.1f ms (%zu found; target <= 100 ms)\n",
                f.Dm->Tb_Log.RecordCount(), search * 1e3, items.size());
    // The walk alone: every row fetched computes the diary's two lookup
    // fields (person, firm), which is where the time goes.
    TTable &log = f.Dm->Tb_Log;
    log.DisableControls();
    const double walk = bench::BestSeconds(3, [&] {
        for (log.First(); !log.Eof(); log.Next()) {
        }
    });
    log.EnableControls();
    std::printf("  of which the table walk alone: %.1f ms\n", walk * 1e3);
    f.Dm->Tb_Log.First();
    int found = 0;
    const double f3 = bench::BestSeconds(5, [&] { found = FindNextRow(f.Dm->Tb_Log, -1, U("нет нигде")); });
    std::printf("F3 without a match over %d rows (wraps): %.1f ms (found %d)\n", f.Dm->Tb_Log.RecordCount(),
                f3 * 1e3, found);
    f.Dm->SetModified(false);
    f.mCloseNotSaveClick(&f);
    return 0;
}

void Save(QWidget &w, const QString &dir, const char *name)
{
    QApplication::processEvents();
    const QString out = QDir(dir).filePath(QString::fromLatin1(name));
    std::printf("%s %s\n", w.grab().save(out) ? "saved" : "not saved", qPrintable(out));
}

int Shot(const QString &dir, const QString &program)
{
    TFormMain f(QStringList{}, program);
    Fill(f, {8, 12, 12, 12});
    f.Day1 = 2;
    f.Day2 = 2;
    f.resize(980, 620);
    f.Show();
    f.ButRemCloseClick(&f);
    f.mRemindClick(f.mRemind);
    for (int page = 1; page <= 3; ++page) {
        f.ShowPage(page);
        Save(f, dir, page == 1 ? "people.png" : page == 2 ? "firms.png" : "diary.png");
    }
    f.ShowPage(2);
    f.mpFirmPersonClick(f.mpFirmPerson);
    Save(f, dir, "firms-people.png");
    f.ShowPage(0);
    Save(f, dir, "money-reminders.png");
    f.ShowPage(1);
    TFormPers card(f);
    card.Show();
    Save(card, dir, "card.png");
    card.Hide();
    TFormRef picker(f, &f.Dm->DataPerson);
    picker.Show();
    picker.Ed->SetText(U("Ёлк"));
    Save(picker, dir, "picker.png");
    picker.Hide();
    TFormFind find(f);
    find.Show();
    find.EdFind->SetText(U("а"));
    find.RunSearch();
    Save(find, dir, "find.png");
    find.Hide();
    f.Dm->SetModified(false);
    f.mCloseNotSaveClick(&f);
    return 0;
}

} // namespace

int main(int argc, char **argv)
{
    const bool shot = argc > 2 && QByteArray(argv[1]) == "--shot";
    bench::TBenchHome home(!shot);
    const QString program = home.Program();
    const QString shotDir = shot ? QDir(QString::fromLocal8Bit(argv[2])).absolutePath() : QString();
    QApplication app(argc, argv);
    return shot ? Shot(shotDir, program) : Measure(program);
}
