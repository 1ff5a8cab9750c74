// Writes the rows of a test's data set into its open database: accounts,
// categories, people, firms, operations and transfers, each by one INSERT
// with bound values (no data module or window needed). An operation's Yr and
// Mn follow its date; its creation stamp is the one given or the next of the
// test program (one second apart from 2023-01-01, so keys never collide). A
// transfer is the program's pair of legs: an expense of the source and an
// income of the target under the transfer category -1, one stamp, each leg
// naming the other account.
//
// Fields left out are NULL, as the program stores empty values; Rate is 1
// unless given.
#pragma once

#include "platform/rtl/DateTime.h"
#include "platform/rtl/StrUtils.h"
#include "platform/sqltable/Query.h"

#include <QString>
#include <optional>

namespace zorbel::test {

struct TAccountRow {
    int Id = 0;
    QString Name{};
    QString Currency = U("руб");
    double Rest = 0;
    std::optional<double> Rate = 1.0, Beg{};
    QString C{}, A{}; // the hidden mark and the group mark ("!", "+")
};

struct TCategoryRow {
    int Id = 0;
    QString Name{};
    std::optional<int> Parent{}; // none for a root
    int Level = 0;
    QString C = QStringLiteral("-"); // "-" expense, "+" income, "0" either
};

struct TOperationRow {
    int Account = 0;
    TDateTime Date = 0;
    QString Kind = QStringLiteral("1"); // "1" realised, "2" planned
    std::optional<double> Dt{}, Ct{};
    std::optional<int> Level1{}, Level2{}, Level3{};
    std::optional<double> Price{}, Qdt{}, Qct{};
    std::optional<double> Rate = 1.0;
    std::optional<int> Person{}, Firm{}, RefAccount{};
    QString Comment{};
    bool Mark = false;
    std::optional<TDateTime> Stamp{};
};

class TDataSetBuilder {
public:
    explicit TDataSetBuilder(TDatabase &db) : db_(db) {}

    void Exec(const QString &sql)
    {
        TQuery q;
        Prepare(q, sql);
        q.ExecSQL();
    }

    void Account(const TAccountRow &r)
    {
        TQuery q;
        Prepare(q, U("insert into tb_account (id_account,account,currency,rest,rate,beg,c,a) "
                               "values (:id,:n,:cur,:rest,:rate,:beg,:c,:a)"));
        Int(q, "id", r.Id);
        Text(q, "n", r.Name);
        Text(q, "cur", r.Currency);
        Float(q, "rest", r.Rest);
        Float(q, "rate", r.Rate);
        Float(q, "beg", r.Beg);
        Text(q, "c", r.C);
        Text(q, "a", r.A);
        q.ExecSQL();
    }

    void Category(const TCategoryRow &r)
    {
        TQuery q;
        Prepare(q, U("insert into tb_items (id_itm,itm,id_ref,lev,c) values (:id,:n,:ref,:lev,:c)"));
        Int(q, "id", r.Id);
        Text(q, "n", r.Name);
        Int(q, "ref", r.Parent);
        Int(q, "lev", r.Level);
        Text(q, "c", r.C);
        q.ExecSQL();
    }

    void Person(int id, const QString &name) { Named(U("tb_person (id_person,name)"), id, name); }
    void Firm(int id, const QString &name) { Named(U("tb_firm (id_firm,firm)"), id, name); }

    // Returns the row's creation stamp.
    TDateTime Operation(const TOperationRow &r)
    {
        TQuery q;
        Prepare(q, 
            U("insert into tb_hist (id_account,date_real,date_create,kind,dt,ct,level1,level2,level3,price,"
              "id_person,id_firm,ref_account,comment,qdt,qct,rate,yr,mn,b) values (:a,:d,:s,:k,:dt,:ct,:l1,:l2,"
              ":l3,:pr,:p,:f,:ref,:cm,:qdt,:qct,:rt,:yr,:mn,:b)"));
        const TDateTime stamp = r.Stamp ? *r.Stamp : NextStamp();
        Int(q, "a", r.Account);
        q.ParamByName(QStringLiteral("d"))->SetAsDate(r.Date);
        q.ParamByName(QStringLiteral("s"))->SetAsDateTime(stamp);
        Text(q, "k", r.Kind);
        Float(q, "dt", r.Dt);
        Float(q, "ct", r.Ct);
        Int(q, "l1", r.Level1);
        Int(q, "l2", r.Level2);
        Int(q, "l3", r.Level3);
        Float(q, "pr", r.Price);
        Int(q, "p", r.Person);
        Int(q, "f", r.Firm);
        Int(q, "ref", r.RefAccount);
        Text(q, "cm", r.Comment);
        Float(q, "qdt", r.Qdt);
        Float(q, "qct", r.Qct);
        Float(q, "rt", r.Rate);
        int y = 0, m = 0, d = 0;
        DecodeDate(r.Date, y, m, d);
        Int(q, "yr", y);
        Int(q, "mn", m);
        Text(q, "b", r.Mark ? QStringLiteral("+") : QString());
        q.ExecSQL();
        return stamp;
    }

    // The two legs of a transfer of amount out of from, of received into to
    // (in the target's currency); returns their stamp.
    TDateTime Transfer(int from, int to, TDateTime date, double amount, double received,
                       const QString &kind = QStringLiteral("1"))
    {
        const TDateTime stamp = NextStamp();
        Operation({.Account = from, .Date = date, .Kind = kind, .Ct = amount, .Level1 = -1, .RefAccount = to,
                   .Stamp = stamp});
        Operation({.Account = to, .Date = date, .Kind = kind, .Dt = received, .Level1 = -1, .RefAccount = from,
                   .Stamp = stamp});
        return stamp;
    }

    // Counted for the whole test program, so builders made one after another
    // never repeat a stamp.
    static TDateTime NextStamp()
    {
        static int stamps = 0;
        return EncodeDate(2023, 1, 1) + ++stamps / 86400.0;
    }

private:
    void Prepare(TQuery &q, const QString &sql)
    {
        q.SetDatabase(&db_);
        q.SQL() = {sql};
    }
    void Named(const QString &table, int id, const QString &name)
    {
        TQuery q;
        Prepare(q, U("insert into ") + table + U(" values (:id,:n)"));
        Int(q, "id", id);
        Text(q, "n", name);
        q.ExecSQL();
    }
    static void Int(TQuery &q, const char *name, std::optional<int> v)
    {
        TParam *p = q.ParamByName(QString::fromLatin1(name));
        v ? p->SetAsInteger(*v) : p->Clear();
    }
    static void Float(TQuery &q, const char *name, std::optional<double> v)
    {
        TParam *p = q.ParamByName(QString::fromLatin1(name));
        v ? p->SetAsFloat(*v) : p->Clear();
    }
    static void Text(TQuery &q, const char *name, const QString &v)
    {
        TParam *p = q.ParamByName(QString::fromLatin1(name));
        v.isEmpty() ? p->Clear() : p->SetAsString(v);
    }

    TDatabase &db_;
};

} // namespace zorbel::test
