// The future days of an account (see ZorbDaysCalc.h).
#include "analysis/ZorbDaysCalc.h"

#include "analysis/ZorbAnalysisTables.h"
#include "platform/dataset/Fields.h"
#include "platform/rtl/Exceptions.h"
#include "platform/rtl/Money.h"

namespace zorbel {

void OpenDaysTable(TVemtMemTable &TbDays)
{
    const QString money = QStringLiteral("#,##0.00");
    const TMemFieldDef fields[] = {
        {QStringLiteral("Date_Real"), ftDateTime, 0, QStringLiteral("Дата"), {}, 15},
        {QStringLiteral("Dt"), ftFloat, 0, QStringLiteral("Приход"), money, 10},
        {QStringLiteral("Ct"), ftFloat, 0, QStringLiteral("Расход"), money, 10},
        {QStringLiteral("Rest"), ftFloat, 0, QStringLiteral("Остаток"), money, 12},
    };
    OpenMemTable(TbDays, fields);
}

int64_t FillDays(TDatabase &Db, int AccountId, double Beg, TDateTime StartDay, TVemtMemTable &TbDays,
                 THistSums *Sums)
{
    auto prepare = [&](TQuery &q, QStringList sql) {
        q.SetDatabase(&Db);
        q.SQL() = std::move(sql);
        q.ParamByName(QStringLiteral("d"))->SetAsDateTime(StartDay);
        q.ParamByName(QStringLiteral("a"))->SetAsSmallInt(AccountId);
    };
    TbDays.EmptyTable();
    try {
        // The realised operations up to the day: from the day sums (every
        // day they model, from the earliest) once checked against the rows,
        // else from the operations.
        constexpr TDateTime Earliest = -1099511627775.0; // the day sums' first day
        int64_t in = 0, out = 0;
        if (!Sums || !Sums->Checked() || !Sums->Sums(AccountId, TSumClass::Realised, Earliest, StartDay, in, out)) {
            TQuery qbeg;
            prepare(qbeg, {QStringLiteral("Select sum(dt),sum(ct) from tb_hist where date_real<=:d "),
                           QStringLiteral("and id_account=:a and kind='1'")});
            qbeg.Open();
            in = MoneyToUnits(qbeg.Fields()[0]->AsFloat());
            out = MoneyToUnits(qbeg.Fields()[1]->AsFloat());
            qbeg.Close();
        }
        const int64_t start = MoneyToUnits(Beg) + in - out;

        TQuery qd;
        prepare(qd, {QStringLiteral("Select date_real,sum(dt) dt,sum(ct) ct"), QStringLiteral("from tb_hist "),
                     QStringLiteral("where  date_real>:d"), QStringLiteral("and id_account=:a"),
                     QStringLiteral("group by date_real"), QStringLiteral("order by date_real")});
        qd.Open();
        TField *date = qd.Fields()[0], *dt = qd.Fields()[1], *ct = qd.Fields()[2];
        TField *tDate = TbDays.FieldByName(QStringLiteral("Date_Real"));
        TField *tDt = TbDays.FieldByName(QStringLiteral("Dt"));
        TField *tCt = TbDays.FieldByName(QStringLiteral("Ct")), *tRest = TbDays.FieldByName(QStringLiteral("Rest"));
        int64_t rest = start;
        for (; !qd.Eof(); qd.Next()) {
            if (date->IsNull())
                continue;
            const int64_t in = MoneyToUnits(dt->AsFloat()), out = MoneyToUnits(ct->AsFloat());
            rest += in - out;
            TbDays.Append();
            tDate->SetAsDateTime(date->AsDateTime());
            if (!dt->IsNull())
                tDt->SetAsFloat(UnitsToMoney(in));
            if (!ct->IsNull())
                tCt->SetAsFloat(UnitsToMoney(out));
            tRest->SetAsFloat(UnitsToMoney(rest));
            TbDays.Post();
        }
        qd.Close();
        TbDays.First();
        return start;
    } catch (...) {
        // A list cut short would show balances of a part of the rows.
        if (TbDays.State() == dsInsert)
            TbDays.Cancel();
        TbDays.EmptyTable();
        throw;
    }
}

} // namespace zorbel
