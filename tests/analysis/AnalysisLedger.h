// A ledger for the monthly, yearly, future-days and limits tests, on the
// import tests' data set (template tables opened by the data module):
//   accounts    1 "Мой первый счёт" ($, opening 10), 2 "Банк" ($, opening
//               100,50), 3 "Евро" (EUR, opening 50)
//   categories  the data set's roots 0 "Статья расхода" and 1 "Статья дохода"
//               with Еда > Хлеб/Прочее and Зарплата > Прочее below them, and
//               a root Авто (-) with Бензин (-) below it; the transfer -1
//   limits      Авто 500 (money), Бензин 40 (quantity), Зарплата 1000
// Operations are drawn at random over 2019-2022 (a leap year and three year
// ends) from a fixed seed and kept in Ops, so a test can compute any figure
// from them without the database. Category 99 does not exist.
#pragma once

#include "ImportFixture.h"
#include "support/DataSetBuilder.h"

#include <optional>
#include <random>
#include <vector>

namespace zorbel::test {

struct TOp {
    int Acc;
    TDateTime Date;
    char Kind;                 // '1' realised, '2' planned
    std::optional<double> Dt, Ct, Qdt, Qct;
    std::optional<int> L1, L2, L3;
    int Year() const { int y, m, d; DecodeDate(Date, y, m, d); return y; }
    int Month() const { int y, m, d; DecodeDate(Date, y, m, d); return m; }
};

class TAnalysisLedger {
public:
    TAnalysisLedger()
    {
        Exec(QStringLiteral("update tb_account set beg=10 where id_account=1"));
        Build.Account({.Id = 2, .Name = U("Банк"), .Currency = U("$"), .Rate = {}, .Beg = 100.5});
        Build.Account({.Id = 3, .Name = U("Евро"), .Currency = U("EUR"), .Rate = {}, .Beg = 50});
        Food = Ds.Id("Еда", 0);
        Bread = Ds.Id("Хлеб", Food);
        FoodOther = Ds.Id("Прочее", Food);
        Salary = Ds.Id("Зарплата", 1);
        SalaryOther = Ds.Id("Прочее", Salary);
        Auto = Ds.AddItem("Авто", 0, 0, "-");
        Petrol = Ds.AddItem("Бензин", 1, Auto, "-");
        Exec(QStringLiteral("update tb_items set lim=500 where id_itm=%1").arg(Auto));
        Exec(QStringLiteral("update tb_items set qlim=40 where id_itm=%1").arg(Petrol));
        Exec(QStringLiteral("update tb_items set lim=1000 where id_itm=%1").arg(Salary));
    }

    // Writes n random operations.
    void AddRandom(int n, unsigned seed = 11)
    {
        std::mt19937 rng(seed);
        struct TPath {
            std::optional<int> L1, L2, L3;
            bool Income;
        };
        const TPath paths[] = {{0, {}, {}, false},     {0, Food, {}, false},      {0, Food, Bread, false},
                               {0, Food, FoodOther, false}, {1, Salary, {}, true}, {1, Salary, SalaryOther, true},
                               {Auto, {}, {}, false},  {Auto, Petrol, {}, false}, {-1, {}, {}, false},
                               {-1, {}, {}, true},     {99, {}, {}, false},       {1, {}, {}, true}};
        const TDateTime first = EncodeDate(2019, 1, 1);
        for (int i = 0; i < n; ++i) {
            const TPath &p = paths[rng() % std::size(paths)];
            TOp op{int(rng() % 3) + 1, first + double(rng() % 1461), rng() % 6 ? '1' : '2', {}, {}, {}, {},
                   p.L1, p.L2, p.L3};
            const double amount = double(rng() % 200000 + 1) / 100;
            (p.Income ? op.Dt : op.Ct) = amount;
            if (rng() % 3 == 0)
                (p.Income ? op.Qct : op.Qdt) = double(rng() % 50 + 1) / 4;
            Add(op);
        }
    }

    void Add(const TOp &op)
    {
        Build.Operation({.Account = op.Acc, .Date = op.Date, .Kind = QString(QChar(op.Kind)), .Dt = op.Dt, .Ct = op.Ct,
                         .Level1 = op.L1, .Level2 = op.L2, .Level3 = op.L3, .Qdt = op.Qdt, .Qct = op.Qct});
        Ops.push_back(op);
    }

    void Exec(const QString &sql) { Build.Exec(sql); }

    static QString Currency(int acc) { return acc == 3 ? QStringLiteral("EUR") : QStringLiteral("$"); }
    static double Beg(int acc) { return acc == 1 ? 10 : acc == 2 ? 100.5 : 50; }

    TImportDataSet Ds;
    TDataSetBuilder Build{Ds.Dm.Db};
    int Food = 0, Bread = 0, FoodOther = 0, Salary = 0, SalaryOther = 0, Auto = 0, Petrol = 0;
    std::vector<TOp> Ops;

};

} // namespace zorbel::test
