// Batch entry by packets: the packet query, membership digits and the writing
// of a packet. The lines are read from Qgrp first and written afterwards, so
// the transaction that writes them never runs under an open walk of Qgrp.
#include "core/ZorbPacket.h"

#include "core/ZorbCategories.h"
#include "platform/sqltable/Database.h"
#include "core/ZorbDm.h"
#include "core/ZorbPost.h"
#include "platform/rtl/Money.h"

#include <vector>

namespace zorbel {

namespace {

// One line of the packet as read from Qgrp.
struct TPacketLine {
    QString Name;
    int Id = 0;
    double Sum = 0;
    Variant Price, Quantity, Person, Firm, Comment;
};

// Lines switched in with a sum above 0, in query order; Qgrp keeps its row.
std::vector<TPacketLine> LinesToWrite(TQuery &q)
{
    std::vector<TPacketLine> lines;
    const TBookmark mark = q.GetBookmark();
    q.DisableControls();
    try {
        const auto f = [&q](const char *name) { return q.FieldByName(QString::fromLatin1(name)); };
        for (q.First(); !q.Eof(); q.Next()) {
            if (f("S")->AsString() == u"N" || MoneyToUnits(f("Sm")->AsFloat()) <= 0)
                continue;
            lines.push_back({f("Itm")->AsString(), f("Id_Itm")->AsInteger(), f("Sm")->AsFloat(),
                             f("Pr")->AsVariant(), f("Qn")->AsVariant(), f("Id_Prs")->AsVariant(),
                             f("Id_Frm")->AsVariant(), f("Comm")->AsVariant()});
        }
        q.GotoBookmark(mark);
    } catch (...) {
        q.EnableControls();
        throw;
    }
    q.EnableControls();
    return lines;
}

} // namespace

int PacketFromSetting(int LastPacket) { return LastPacket >= 0 && LastPacket <= 9 ? LastPacket : 1; }

QString AddPacketDigit(const QString &Grp, int Digit)
{
    const QChar digit(u'0' + Digit);
    if (Grp.contains(digit) || Grp.size() >= 10)
        return Grp;
    return Grp + digit;
}

QString RemovePacketDigit(const QString &Grp, int Digit)
{
    QString result = Grp;
    const qsizetype at = result.indexOf(QChar(u'0' + Digit));
    if (at >= 0)
        result.remove(at, 1);
    return result;
}

bool OpenPacket(TDm &dm, int Digit)
{
    TQuery &q = dm.Qgrp;
    q.Close();
    // The digit is the program's own 0..9, never typed text.
    const int digit = Digit >= 0 && Digit <= 9 ? Digit : 1;
    QStringList &sql = q.SQL();
    while (sql.size() < 3)
        sql << QString();
    sql[2] = QStringLiteral("'%") + QChar(u'0' + digit) + QStringLiteral("%'");
    try {
        q.Open();
    } catch (const Exception &) {
        q.Close();
    }
    return q.Active();
}

TPacketResult WritePacketLines(TDm &dm, int Digit, TDateTime EntryDate, TDateTime Today,
                               const TPacketOptions &Options)
{
    TPacketResult result;
    TQuery &q = dm.Qgrp;
    if (!q.Active() && !OpenPacket(dm, Digit))
        return result;
    std::vector<TPacketLine> lines;
    try {
        if (q.State() == dsEdit || q.State() == dsInsert) {
            try {
                q.Post();
            } catch (const Exception &) {
                q.Cancel();
            }
        }
        lines = LinesToWrite(q);
    } catch (...) {
        q.Close();
        throw;
    }
    q.Close();
    if (lines.empty())
        return result;

    TTable &acc = dm.Tb_Account;
    TTable &hist = dm.Tb_Hist;
    const int account = acc.FieldByName(QStringLiteral("Id_Account"))->AsInteger();
    // The account's rate as it stands: an account without one gives rows
    // without one (a rate of 0 is refused when the row is edited).
    const Variant accountRate = acc.FieldByName(QStringLiteral("Rate"))->AsVariant();
    const double dayRate =
        Options.Mem_Rate && !accountRate.IsNull() && accountRate.AsDouble() > 0 ? DayRate(dm, account, EntryDate) : 0;
    const TDateTime day = DateOf(EntryDate);
    result.Realised = DateOf(Today) >= day;
    int year = 0, month = 0, dom = 0;
    DecodeDate(day, year, month, dom);

    // Category paths first: GetCategoryLevels moves Tb_Items.
    struct TPath {
        int L1 = NoLevel, L2 = NoLevel, L3 = NoLevel;
        bool Ok = false;
    };
    std::vector<TPath> paths(lines.size());
    for (size_t i = 0; i < lines.size(); ++i)
        paths[i].Ok = dm.GetCategoryLevels(int16_t(lines[i].Id), paths[i].L1, paths[i].L2, paths[i].L3);

    int64_t total = 0;
    // On a failure the scope rolls back first and then refreshes the ledger
    // and the account, so they show what is stored, none of the rows undone;
    // the ledger goes back to the row the person stood on.
    const TBookmark stoodOn = hist.IsEmpty() ? TBookmark() : hist.GetBookmark();
    TTransactionScope transaction(dm.Db, {&hist, &acc});
    hist.DisableControls();
    try {
        for (size_t i = 0; i < lines.size(); ++i) {
            const TPacketLine &line = lines[i];
            if (!paths[i].Ok)
                continue;
            hist.Insert();
            try {
                const auto f = [&hist](const char *name) { return hist.FieldByName(QString::fromLatin1(name)); };
                f("Date_Real")->SetAsDateTime(day);
                f("Level1")->SetAsInteger(paths[i].L1);
                if (paths[i].L2 >= 0)
                    f("Level2")->SetAsInteger(paths[i].L2);
                if (paths[i].L3 >= 0)
                    f("Level3")->SetAsInteger(paths[i].L3);
                f("Kind")->SetAsString(result.Realised ? QStringLiteral("1") : QStringLiteral("2"));
                f("Ct")->SetAsFloat(line.Sum);
                if (Options.Mem_Price)
                    f("Price")->SetAsVariant(line.Price);
                if (Options.Mem_Quant)
                    f("Qdt")->SetAsVariant(line.Quantity);
                if (Options.Mem_Prs)
                    f("ID_Person")->SetAsVariant(line.Person);
                if (Options.Mem_Frm)
                    f("ID_Firm")->SetAsVariant(line.Firm);
                if (Options.Mem_Comm)
                    f("Comment")->SetAsVariant(line.Comment);
                if (Options.Mem_Rate)
                    f("Rate")->SetAsVariant(dayRate > 0 ? Variant(dayRate) : accountRate);
                f("Yr")->SetAsInteger(year);
                f("Mn")->SetAsInteger(month);
                hist.Post();
            } catch (const Exception &) {
                hist.Cancel();
                result.NotWritten << line.Name;
                continue;
            }
            ++result.Written;
            total -= MoneyToUnits(line.Sum);
        }
        if (result.Realised && total != 0) {
            const int64_t rest = MoneyToUnits(acc.FieldByName(QStringLiteral("Rest"))->AsFloat());
            acc.Edit();
            try {
                acc.FieldByName(QStringLiteral("Rest"))->SetAsFloat(UnitsToMoney(rest + total));
                acc.Post();
            } catch (...) {
                acc.Cancel();
                throw;
            }
        }
        transaction.Commit();
    } catch (...) {
        transaction.Rollback();
        if (!stoodOn.isEmpty() && hist.BookmarkValid(stoodOn)) {
            try {
                hist.GotoBookmark(stoodOn);
            } catch (const Exception &) {
                // The ledger stays where the refresh left it.
            }
        }
        hist.EnableControls();
        throw;
    }
    hist.EnableControls();
    result.Delta = result.Realised ? total : 0;
    if (result.Written > 0)
        dm.SetModified(true);
    return result;
}

} // namespace zorbel
