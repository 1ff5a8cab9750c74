// A household's data set after ten years: three accounts in two currencies,
// about 300 categories on three levels (expense, income and debts roots),
// 60 people, 40 firms, a few family members and diary entries, and about
// 50,000 operations from ten years ago to today (daily expenses with firms,
// people, notes, prices and quantities; salaries; weekly and monthly
// transfers, some across currencies; a few bookmarks; planned operations in
// the next three months). Written into the open data set of a main window
// with raw inserts in one transaction; balances are set to match.
#pragma once

#include "core/ZorbMain.h"
#include "platform/rtl/StrUtils.h"
#include "platform/rtl/Format.h"

#include <QStringList>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <sqlite3.h>
#include <vector>

namespace zorbel::bench {

namespace household {


inline void Check(int rc, sqlite3 *db)
{
    if (rc != SQLITE_OK && rc != SQLITE_DONE && rc != SQLITE_ROW) {
        std::fprintf(stderr, "sqlite: %s\n", sqlite3_errmsg(db));
        std::exit(2);
    }
}

struct TLeaf {
    int Root, Group, Item;
    double Typical; // typical amount
};

// Expense groups: name, typical amount, ten items.
struct TGroupDef {
    const char *Name;
    double Typical;
    const char *Items;
};

constexpr TGroupDef ExpenseGroups[] = {
    {"Продукты", 400, "Хлеб,Молоко,Мясо,Рыба,Овощи,Фрукты,Крупы,Сладкое,Напитки,Сыр"},
    {"Хозтовары", 300, "Моющие средства,Бумага,Посуда,Лампочки,Батарейки,Пакеты,Инструмент,Кухня,Ванная,Мелочи"},
    {"Транспорт", 150, "Метро,Автобус,Такси,Электричка,Самолёт,Поезд,Каршеринг,Самокат,Проездной,Парковка"},
    {"Автомобиль", 2500, "Бензин,Мойка,Шиномонтаж,ТО,Запчасти,Страховка ОСАГО,КАСКО,Штрафы,Масло,Аксессуары"},
    {"Жильё", 9000, "Аренда,Ипотека,Квартплата,Капремонт,Домофон,Консьерж,Страхование жилья,Дача,Гараж,Прочее жильё"},
    {"Коммунальные", 1200, "Электричество,Газ,Горячая вода,Холодная вода,Отопление,Вывоз мусора,Антенна,Охрана,Лифт,Пени"},
    {"Связь", 600, "Мобильный,Интернет,Телевидение,Телефон домашний,Почта,Подписки,Облако,Хостинг,Роуминг,Сим-карта"},
    {"Здоровье", 1500, "Врач,Стоматолог,Анализы,Очки,Массаж,Санаторий,Страховка ДМС,Прививки,Окулист,Ортопед"},
    {"Аптека", 500, "Лекарства,Витамины,Бинты,Термометр,Капли,Мази,Таблетки,Сиропы,Тесты,Маски"},
    {"Одежда", 2500, "Куртки,Брюки,Рубашки,Платья,Бельё,Носки,Шапки,Перчатки,Костюмы,Спортивная одежда"},
    {"Обувь", 3500, "Зимняя,Летняя,Спортивная,Домашняя,Ремонт обуви,Кремы,Стельки,Сапоги,Туфли,Кроссовки"},
    {"Дети", 1200, "Игрушки,Садик,Кружки,Школа,Книги детские,Одежда детская,Карманные,Лагерь,Коляска,Памперсы"},
    {"Образование", 3000, "Курсы,Репетитор,Учебники,Университет,Экзамены,Канцелярия,Семинары,Языки,Онлайн-курсы,Лицензии"},
    {"Отдых", 1500, "Кино,Театр,Концерты,Музеи,Кафе,Рестораны,Бар,Боулинг,Парки,Выставки"},
    {"Путешествия", 20000, "Билеты,Гостиницы,Визы,Экскурсии,Сувениры,Страховка в поездку,Аренда авто,Питание в поездке,Трансфер,Чаевые"},
    {"Подарки", 2000, "Дни рождения,Новый год,8 марта,23 февраля,Свадьбы,Цветы,Открытки,Юбилеи,Выпускные,Благотворительность"},
    {"Ремонт", 5000, "Краска,Обои,Плитка,Сантехника,Электрика,Мастер,Двери,Окна,Полы,Стройматериалы"},
    {"Мебель", 8000, "Диван,Шкаф,Стол,Стулья,Кровать,Матрас,Полки,Кухонный гарнитур,Комод,Кресло"},
    {"Техника", 7000, "Телефон,Ноутбук,Телевизор,Холодильник,Стиральная машина,Пылесос,Наушники,Принтер,Картриджи,Ремонт техники"},
    {"Красота", 900, "Парикмахерская,Косметика,Маникюр,Духи,Шампунь,Бритьё,Кремы для лица,Салон,Солярий,Эпиляция"},
    {"Спорт", 1200, "Абонемент,Бассейн,Инвентарь,Велосипед,Лыжи,Форма,Тренер,Соревнования,Питание спортивное,Йога"},
    {"Животные", 700, "Корм,Ветеринар,Наполнитель,Игрушки для кота,Прививки животным,Груминг,Поводок,Лежанка,Витамины животным,Передержка"},
    {"Налоги", 4000, "Налог на имущество,Транспортный налог,Земельный налог,НДФЛ,Госпошлина,Нотариус,Банковские комиссии,Проценты по кредиту,Штрафы налоговые,Сборы"},
    {"Прочее", 500, "Разное,Потери,Чаевые разные,Ключи,Ремонт часов,Химчистка,Фото,Ксерокс,Пожертвования,Не помню"},
};

constexpr TGroupDef IncomeGroups[] = {
    {"Зарплата", 52000, "Основная,Аванс,Премия,Отпускные,Больничный"},
    {"Подработка", 8000, "Консультации,Переводы текстов,Ремонт техники у друзей"},
    {"Проценты", 900, "Вклад,Кэшбэк,Накопительный счёт"},
    {"Подарки получ.", 3000, "От родителей,На день рождения"},
    {"Продажи", 2500, "Объявления,Старые вещи"},
};

constexpr TGroupDef DebtGroups[] = {
    {"Дал в долг", 3000, "Друзьям,Родственникам,Коллегам"},
    {"Взял в долг", 5000, "У друзей,У родственников,Кредитная карта"},
};

constexpr const char *FirmNames[] = {
    "Пятёрочка", "Магнит", "Перекрёсток", "Лента", "Ашан", "ВкусВилл", "Дикси", "Метро Кэш", "Азбука вкуса", "Окей",
    "Леруа Мерлен", "ИКЕА", "М.Видео", "Эльдорадо", "DNS", "Спортмастер", "Детский мир", "Зоозавр", "Аптека 36,6",
    "Ригла", "Лукойл", "Роснефть", "Газпромнефть", "Шелл", "МТС", "Билайн", "Ростелеком", "Мосэнергосбыт",
    "Управляющая компания", "Поликлиника №3", "Стоматология Улыбка", "Кинотеатр Октябрь", "Театр Современник",
    "Кафе Шоколадница", "Ресторан Пушкин", "РЖД", "Аэрофлот", "Ozon", "Wildberries", "Яндекс Такси"};

constexpr const char *Surnames[] = {"Иванов", "Петров", "Сидоров", "Смирнов", "Кузнецов", "Попов", "Васильев",
                                    "Соколов", "Михайлов", "Новиков", "Фёдоров", "Морозов", "Волков", "Алексеев",
                                    "Лебедев", "Семёнов", "Егоров", "Павлов", "Козлов", "Степанов"};
constexpr const char *Initials[] = {"А.", "Б.", "В.", "Г.", "Д.", "Е.", "Ж.", "И.", "К.", "Л.", "М.", "Н.", "О.",
                                    "П.", "Р.", "С.", "Т."};

constexpr const char *Notes[] = {"по акции", "со скидкой", "на неделю", "к празднику", "для дачи", "в подарок",
                                 "срочно", "возврат частичный", "по карте лояльности", "чек потерян",
                                 "вместе с соседями", "за два месяца", "оплата онлайн", "наличными", "в рассрочку",
                                 "заказ через интернет", "доставка курьером", "гарантия 2 года",
                                 "Купили наконец-то то, что давно хотели, хотя и дороговато вышло",
                                 "цена выросла на 10%"};

} // namespace household

struct THouseholdStats {
    int Operations = 0, Transfers = 0, Categories = 0, People = 0, Firms = 0, Planned = 0;
};

// Fills the open data set of f (a new data set from the template).
inline THouseholdStats FillHousehold(TFormMain &f, int years = 10, double perDay = 14)
{
    using namespace household;
    THouseholdStats st;
    std::mt19937 rnd(20240611);
    const auto uni = [&](double a, double b) { return std::uniform_real_distribution<double>(a, b)(rnd); };
    const auto pick = [&](int n) { return int(rnd() % unsigned(n)); };

    // Accounts: the template's first account becomes the wallet.
    TTable &acc = f.Dm->Tb_Account;
    acc.First();
    acc.Edit();
    acc.FieldByName("Account")->SetAsString(U("Кошелёк"));
    acc.FieldByName("Currency")->SetAsString(U("руб"));
    acc.FieldByName("Rate")->SetAsFloat(1);
    acc.Post();
    const struct {
        const char *Name, *Currency;
        double Rate;
    } more[] = {{"Карта Сбербанк", "руб", 1}, {"Доллары", "USD", 90}};
    for (const auto &a : more) {
        acc.Append();
        acc.FieldByName("Account")->SetAsString(U(a.Name));
        acc.FieldByName("Currency")->SetAsString(U(a.Currency));
        acc.FieldByName("Rate")->SetAsFloat(a.Rate);
        acc.FieldByName("Rest")->SetAsFloat(0);
        acc.Post();
    }
    const int wallet = 1, card = 2, dollars = 3;

    // People and firms through the tables (their events give the ids).
    TTable &firm = f.Dm->Tb_Firm;
    for (const char *name : FirmNames) {
        firm.Append();
        firm.FieldByName("Firm")->SetAsString(U(name));
        if (pick(3) == 0)
            firm.FieldByName("Phone")->SetAsString(QString("8-800-%1-%2").arg(100 + pick(900)).arg(1000 + pick(9000)));
        firm.Post();
        ++st.Firms;
    }
    TTable &person = f.Dm->Tb_Person;
    QStringList used;
    while (st.People < 60) {
        const QString name = U(Surnames[pick(20)]) + " " + U(Initials[pick(17)]) + U(Initials[pick(17)]);
        if (used.contains(name))
            continue;
        used << name;
        person.Append();
        person.FieldByName("Name")->SetAsString(name);
        person.FieldByName("Phone")->SetAsString(QString("+7-9%1-%2").arg(10 + pick(90)).arg(1000000 + pick(8999999)));
        person.FieldByName("Birthday")->SetAsDateTime(EncodeDate(1950 + pick(55), 1 + pick(12), 1 + pick(28)));
        if (pick(2) == 0)
            person.FieldByName("Id_Firm")->SetAsInteger(1 + pick(st.Firms));
        if (pick(4) == 0)
            person.FieldByName("Comment")->SetAsString(U("Сосед по даче, звонить вечером"));
        person.Post();
        ++st.People;
    }
    TTable &family = f.Dm->Tb_Family;
    person.First();
    for (int i = 0; i < 8; ++i) {
        family.Append();
        family.FieldByName("Id_Person")->SetAsInteger(1 + i);
        family.FieldByName("Name")->SetAsString(U(i % 2 ? "Маша" : "Петя"));
        family.FieldByName("Birthday")->SetAsDateTime(EncodeDate(2000 + i, 1 + i, 10 + i));
        family.Post();
    }
    TTable &log = f.Dm->Tb_Log;
    for (int i = 0; i < 40; ++i) {
        log.Append();
        log.FieldByName("Date_Create")->SetAsDateTime(Date() - 3000 + i * 70 + 0.5);
        log.FieldByName("Date_Remind")->SetAsDateTime(Date() - 3000 + i * 70);
        log.FieldByName("Note")->SetAsString(U("Запись в дневнике номер ") + QString::number(i + 1));
        log.FieldByName("C")->SetAsString(i % 10 == 0 ? "2" : "0");
        log.Post();
    }

    sqlite3 *db = f.Dm->Db.Db().Handle();
    f.Dm->Db.ReleaseStatements();
    Check(sqlite3_exec(db, "BEGIN", nullptr, nullptr, nullptr), db);

    // Categories: 0 "Статья расхода" and 1 "Статья дохода" come with the
    // template; a third root for debts holds kind '0'.
    sqlite3_stmt *item = nullptr;
    Check(sqlite3_prepare_v2(db, "insert into tb_items(id_itm,itm,id_ref,lev,c) values(?,?,?,?,?)", -1, &item,
                             nullptr),
          db);
    int id = 2;
    const auto addItem = [&](int itemId, const QString &name, int parent, int lev, const char *c) {
        const QByteArray n = name.toUtf8();
        sqlite3_bind_int(item, 1, itemId);
        sqlite3_bind_text(item, 2, n.constData(), -1, SQLITE_TRANSIENT);
        if (parent < 0)
            sqlite3_bind_null(item, 3);
        else
            sqlite3_bind_int(item, 3, parent);
        sqlite3_bind_int(item, 4, lev);
        sqlite3_bind_text(item, 5, c, -1, SQLITE_STATIC);
        Check(sqlite3_step(item), db);
        sqlite3_reset(item);
        ++st.Categories;
    };
    const int debtRoot = id++;
    addItem(debtRoot, U("Долги"), -1, 0, "0");
    std::vector<TLeaf> expense, income, debts;
    const auto addGroups = [&](int root, const TGroupDef *defs, int n, const char *c, std::vector<TLeaf> &leaves) {
        for (int g = 0; g < n; ++g) {
            const int groupId = id++;
            addItem(groupId, U(defs[g].Name), root, 1, c);
            for (const QString &name : U(defs[g].Items).split(',')) {
                addItem(id, name, groupId, 2, c);
                leaves.push_back({root, groupId, id++, defs[g].Typical});
            }
        }
    };
    addGroups(0, ExpenseGroups, int(std::size(ExpenseGroups)), "-", expense);
    addGroups(1, IncomeGroups, int(std::size(IncomeGroups)), "+", income);
    addGroups(debtRoot, DebtGroups, int(std::size(DebtGroups)), "0", debts);
    sqlite3_finalize(item);

    sqlite3_stmt *op = nullptr;
    Check(sqlite3_prepare_v2(db,
                             "insert into tb_hist(id_account,date_real,date_create,kind,dt,ct,level1,level2,level3,"
                             "price,id_person,id_firm,ref_account,comment,qdt,qct,rate,yr,mn,b) "
                             "values(?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?)",
                             -1, &op, nullptr),
          db);
    struct TOp {
        int Account = 0;
        TDateTime Date = 0, Stamp = 0;
        bool Planned = false;
        double Dt = 0, Ct = 0;
        int L1 = -100, L2 = -100, L3 = -100;
        double Price = 0, Qdt = 0, Qct = 0, Rate = 1;
        int Person = 0, Firm = 0, Ref = 0;
        QString Comment;
        bool Mark = false;
    };
    const auto bindNum = [&](int col, double v) {
        if (v == 0)
            sqlite3_bind_null(op, col);
        else
            sqlite3_bind_double(op, col, v);
    };
    const auto bindInt = [&](int col, int v, int none) {
        if (v == none)
            sqlite3_bind_null(op, col);
        else
            sqlite3_bind_int(op, col, v);
    };
    const auto write = [&](const TOp &o) {
        int yy, mm, dd;
        DecodeDate(o.Date, yy, mm, dd);
        sqlite3_bind_int(op, 1, o.Account);
        sqlite3_bind_int64(op, 2, qint64(o.Date));
        sqlite3_bind_double(op, 3, o.Stamp);
        sqlite3_bind_text(op, 4, o.Planned ? "2" : "1", -1, SQLITE_STATIC);
        bindNum(5, o.Dt);
        bindNum(6, o.Ct);
        bindInt(7, o.L1, -100);
        bindInt(8, o.L2, -100);
        bindInt(9, o.L3, -100);
        bindNum(10, o.Price);
        bindInt(11, o.Person, 0);
        bindInt(12, o.Firm, 0);
        bindInt(13, o.Ref, 0);
        const QByteArray c = o.Comment.toUtf8();
        if (c.isEmpty())
            sqlite3_bind_null(op, 14);
        else
            sqlite3_bind_text(op, 14, c.constData(), -1, SQLITE_TRANSIENT);
        bindNum(15, o.Qdt);
        bindNum(16, o.Qct);
        bindNum(17, o.Rate);
        sqlite3_bind_int(op, 18, yy);
        sqlite3_bind_int(op, 19, mm);
        if (o.Mark)
            sqlite3_bind_text(op, 20, "+", -1, SQLITE_STATIC);
        else
            sqlite3_bind_null(op, 20);
        Check(sqlite3_step(op), db);
        sqlite3_reset(op);
        ++st.Operations;
        if (o.Planned)
            ++st.Planned;
    };
    const auto money = [](double v) { return double(qRound64(v * 100)) / 100; };

    const TDateTime today = Date();
    const TDateTime first = today - std::floor(365.25 * years);
    for (TDateTime day = first; day <= today + 90; day += 1) {
        const bool planned = day > today;
        int y, m, d;
        DecodeDate(day, y, m, d);
        int k = 0; // operations of the day: their stamps are seconds after 9:00
        const auto stamp = [&] { return day + (9 * 3600 + 37 * k++) / 86400.0; };
        const double rate = 60 + 30 * (day - first) / (today - first); // the dollar's rate over the years
        // Daily expenses (fewer in the planned future).
        const int n = planned ? (pick(15) == 0 ? 1 : 0)
                              : std::poisson_distribution<int>(perDay - 1.0)(rnd);
        for (int i = 0; i < n; ++i) {
            TOp o;
            const int r = pick(100);
            o.Account = r < 45 ? wallet : r < 97 ? card : dollars;
            o.Date = day;
            o.Stamp = stamp();
            o.Planned = planned;
            // Food and transport most often, the rest evenly.
            // Costly things are bought seldom.
            int g = pick(10) < 5 ? pick(3) : pick(int(std::size(ExpenseGroups)));
            while (ExpenseGroups[g].Typical > 500 && pick(int(ExpenseGroups[g].Typical / 250)) != 0)
                g = pick(3);
            const TLeaf &leaf = expense[size_t(g * 10 + pick(10))];
            o.L1 = leaf.Root;
            o.L2 = leaf.Group;
            o.L3 = leaf.Item;
            double sum = 0.3 * leaf.Typical * uni(0.2, 2.0) * (1 + 1.5 * (day - first) / (today - first));
            o.Rate = o.Account == dollars ? rate : 1;
            if (o.Account == dollars)
                sum /= rate;
            if (pick(3) == 0) {
                o.Qdt = 1 + pick(5);
                o.Price = money(sum / o.Qdt);
                sum = o.Price * o.Qdt;
            }
            o.Ct = money(sum);
            if (pick(2) == 0)
                o.Firm = 1 + pick(st.Firms);
            if (pick(10) == 0)
                o.Person = 1 + pick(st.People);
            if (pick(5) < 2)
                o.Comment = U(Notes[pick(int(std::size(Notes)))]);
            o.Mark = pick(200) == 0;
            write(o);
        }
        // Salary on the 5th and the 20th, into the card.
        if (d == 5 || d == 20) {
            TOp o;
            o.Account = card;
            o.Date = day;
            o.Stamp = stamp();
            o.Planned = planned;
            const TLeaf &leaf = income[d == 5 ? 0 : 1];
            o.L1 = leaf.Root;
            o.L2 = leaf.Group;
            o.L3 = leaf.Item;
            o.Dt = money(leaf.Typical * (d == 5 ? 0.6 : 0.4) * (1 + (day - first) / (today - first)));
            o.Firm = 29;
            o.Comment = U(d == 5 ? "зарплата за " : "аванс за ") + QString::number(m) + "." + QString::number(y);
            write(o);
        }
        // Other income now and then.
        if (!planned && pick(9) == 0) {
            TOp o;
            const TLeaf &leaf = income[size_t(2 + pick(int(income.size()) - 2))];
            o.Account = pick(4) == 0 ? dollars : pick(2) ? wallet : card;
            o.Date = day;
            o.Stamp = stamp();
            o.L1 = leaf.Root;
            o.L2 = leaf.Group;
            o.L3 = leaf.Item;
            o.Rate = o.Account == dollars ? rate : 1;
            o.Dt = money(leaf.Typical * uni(0.3, 1.5) / o.Rate);
            if (pick(4) == 0)
                o.Person = 1 + pick(st.People);
            write(o);
        }
        // Debts: lent and borrowed, with people.
        if (!planned && pick(40) == 0) {
            TOp o;
            const TLeaf &leaf = debts[size_t(pick(int(debts.size())))];
            o.Account = wallet;
            o.Date = day;
            o.Stamp = stamp();
            o.L1 = leaf.Root;
            o.L2 = leaf.Group;
            o.L3 = leaf.Item;
            (leaf.Group == debts[0].Group ? o.Ct : o.Dt) = money(leaf.Typical * uni(0.5, 3));
            o.Person = 1 + pick(st.People);
            o.Comment = U("вернуть до ") + FormatDateTime("dd.mm.yyyy", day + 30);
            write(o);
        }
        // Transfers: cash from the card each Saturday; dollars bought monthly.
        const int dow = DayOfWeek(day);
        const auto transfer = [&](int from, int to, double sent, double received, const QString &note) {
            TOp o;
            o.Account = from;
            o.Date = day;
            o.Stamp = stamp();
            o.Planned = planned;
            o.L1 = -1;
            o.Ct = money(sent);
            o.Ref = to;
            o.Comment = note;
            o.Rate = from == dollars ? rate : 1;
            if (received != sent)
                o.Price = rate;
            write(o);
            ++st.Transfers;
            if (planned)
                return; // a planned transfer has no receiving leg
            TOp r = o;
            r.Account = to;
            r.Ct = 0;
            r.Dt = money(received);
            r.Ref = from;
            r.Rate = to == dollars ? rate : 1;
            write(r);
        };
        if (dow == 7) {
            const double cash = 1000.0 * (3 + pick(5));
            transfer(card, wallet, cash, cash, U("снял в банкомате"));
        }
        if (d == 7 && !planned) {
            const double usd = 100.0 * (1 + pick(3));
            transfer(card, dollars, usd * rate, usd, U("покупка валюты"));
        }
    }
    sqlite3_finalize(op);
    // Opening balances, and stored balances that match the realised rows.
    Check(sqlite3_exec(db,
                       "update tb_account set beg=case id_account when 1 then 5000 when 2 then 30000 else 500 end;"
                       "update tb_account set rest=round(beg+(select coalesce(sum(dt),0)-coalesce(sum(ct),0) "
                       "from tb_hist h where h.id_account=tb_account.id_account and kind='1'),2)",
                       nullptr, nullptr, nullptr),
          db);
    Check(sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr), db);
    f.Dm->Tb_Account.Refresh();
    f.Dm->Tb_Items.Refresh();
    f.Dm->Tb_Hist.Refresh();
    f.Dm->SetModified(true);
    return st;
}

} // namespace zorbel::bench
