// The data module: components, persistent fields, fixed queries and table
// events. Opening a data set (upgrade and first-run rows) is in ZorbDmOpen.cpp.
#include "core/ZorbDm.h"

#include "core/ZorbBound.h"
#include "core/ZorbDmTables.h"
#include "core/ZorbText.h"
#include "platform/rtl/Format.h"
#include "platform/rtl/FormatSettings.h"
#include "platform/rtl/Money.h"
#include "platform/rtl/StrUtils.h"

#include <cmath>

namespace zorbel {
namespace {


// Lines of an upgrade statement of the local SQL dialect:
//   ALTER TABLE "T.db" <line break>
//   ADD "T.db"."F1" type1,
//   ADD "T.db"."F2" type2
QStringList AlterTable(const QString &file, std::initializer_list<std::pair<const char *, const char *>> fields)
{
    const QString quoted = u'"' + file + u'"';
    QStringList lines{QStringLiteral("ALTER TABLE ") + quoted + u' '};
    size_t n = 0;
    for (const auto &[name, type] : fields) {
        QString line = QStringLiteral("ADD ") + quoted + QStringLiteral(".\"") + U(name) + QStringLiteral("\" ") + U(type);
        if (++n < fields.size())
            line += u',';
        lines << line;
    }
    return lines;
}

} // namespace

TDm::TDm(TDmHost *host)
    : DataAccount(&Tb_Account), DataHist(&Tb_Hist), DataItems(&Tb_Items),
      DataPerson(&Tb_Person), DataFirm(&Tb_Firm), DataFamily(&Tb_Family), DataLog(&Tb_Log),
      DataPers_Firm(&QPers_Firm), DataAcn(&Qacn), DataTrans(&Qtrans), host_(host ? host : &defaultHost_)
{
    Db.SetDatabaseName(QStringLiteral("DbZorb"));
    DefineTables();
    DefineQueries();
    BindEvents();
}

TDm::~TDm()
{
    host_ = &defaultHost_;
    Db.Close();
    QPers_Firm.SetDataSource(nullptr);
}

void TDm::SetHost(TDmHost *host)
{
    host_ = host ? host : &defaultHost_;
}

// ---- components ---------------------------------------------------------------

void TDm::DefineTables()
{
    for (TTable *t : {&Tb_Account, &Tb_Hist, &Tb_Items, &Tb_Person, &Tb_Firm, &Tb_Family, &Tb_Log}) {
        t->SetDatabase(&Db);
        t->SetExclusive(true);
    }
    Tb_Account.SetName(QStringLiteral("Tb_Account"));
    Tb_Hist.SetName(QStringLiteral("Tb_Hist"));
    Tb_Items.SetName(QStringLiteral("Tb_Items"));
    Tb_Person.SetName(QStringLiteral("Tb_Person"));
    Tb_Firm.SetName(QStringLiteral("Tb_Firm"));
    Tb_Family.SetName(QStringLiteral("Tb_Family"));
    Tb_Log.SetName(QStringLiteral("Tb_Log"));
    for (TTable *t : {&Tb_Account, &Tb_Hist, &Tb_Items, &Tb_Person, &Tb_Firm, &Tb_Family, &Tb_Log})
        DefineFields(*t);
    Tb_Family.SetFiltered(true);

    Tb_Account.AddField<TStringField>(QStringLiteral("AcRest"), fkCalculated, 50);
    Tb_Account.FieldByName(QStringLiteral("Rest"))->SetDefaultExpression(QStringLiteral("0"));

    // The names of the category path carry the labels of its level fields.
    for (const auto &[name, level] : {std::pair{"Category", "Level1"}, {"Item", "Level2"}, {"Article", "Level3"}})
        AddLookup(Tb_Hist, U(name), U(level), Tb_Items, QStringLiteral("ID_ITM"), QStringLiteral("ITM"),
                  Tb_Hist.FieldByName(U(level))->DisplayLabel());
    AddLookup(Tb_Hist, QStringLiteral("Person"), QStringLiteral("ID_Person"), Tb_Person, QStringLiteral("ID_PERSON"),
              QStringLiteral("NAME"), U("Кто?"));
    AddLookup(Tb_Hist, QStringLiteral("Firm"), QStringLiteral("ID_Firm"), Tb_Firm, QStringLiteral("ID_FIRM"),
              QStringLiteral("FIRM"), U("Где?"));
    AddLookup(Tb_Hist, QStringLiteral("Ref_Acc"), QStringLiteral("Ref_Account"), Tb_Account,
              QStringLiteral("ID_ACCOUNT"), QStringLiteral("ACCOUNT"), U("Кор.счёт"));
    Tb_Hist.AddField<TFloatField>(QStringLiteral("Quant"), fkCalculated)->SetDisplayLabel(U("Кол-во"));

    AddLookup(Tb_Person, QStringLiteral("Firm"), QStringLiteral("Id_Firm"), Tb_Firm, QStringLiteral("ID_FIRM"),
              QStringLiteral("FIRM"), U("Место работы"));

    Tb_Log.AddField<TStringField>(QStringLiteral("Knd"), fkCalculated, 10)->SetDisplayLabel(U("Напомнить"));
    AddLookup(Tb_Log, QStringLiteral("Person"), QStringLiteral("Id_Person"), Tb_Person, QStringLiteral("ID_PERSON"),
              QStringLiteral("NAME"), U("Кто"));
    AddLookup(Tb_Log, QStringLiteral("Firm"), QStringLiteral("Id_firm"), Tb_Firm, QStringLiteral("ID_FIRM"),
              QStringLiteral("FIRM"), U("Где"));

    // The packet's lines: every stored field of a category, with the names of
    // the person and firm it remembers.
    AddStoredFields(Qgrp, *DmTable("Tb_Items"));
    AddLookup(Qgrp, QStringLiteral("Prs"), QStringLiteral("Id_Prs"), Tb_Person, QStringLiteral("ID_PERSON"),
              QStringLiteral("NAME"), U("Кто"));
    AddLookup(Qgrp, QStringLiteral("Frm"), QStringLiteral("Id_Frm"), Tb_Firm, QStringLiteral("ID_FIRM"),
              QStringLiteral("FIRM"), U("Где"));
}

void TDm::DefineFields(TTable &table)
{
    const TDmTableDef *def = DmTable(table.Name().toLatin1().constData());
    table.SetTableName(U(def->TableName));
    table.SetTag(def->Tag);
    if (*def->OrderFields)
        table.SetIndexFieldNames(U(def->OrderFields));
    if (*def->OrderIndex)
        table.SetIndexName(U(def->OrderIndex));
    AddStoredFields(table, *def);
}

void TDm::AddStoredFields(TDataSet &table, const TDmTableDef &def)
{
    for (const TDmFieldDef &f : def.Fields) {
        const QString name = U(f.Name);
        TField *field = nullptr;
        switch (f.Type) {
        case ftSmallint: field = table.AddField<TSmallintField>(name); break;
        case ftString: field = table.AddField<TStringField>(name, fkData, f.Size); break;
        case ftFloat: field = table.AddField<TFloatField>(name); break;
        case ftDate: field = table.AddField<TDateField>(name); break;
        default: field = table.AddField<TDateTimeField>(name); break;
        }
        field->SetRequired(f.Required);
        field->SetVisible(f.Visible);
        if (*f.Label)
            field->SetDisplayLabel(U(f.Label));
        if (*f.Format)
            field->SetDisplayFormat(U(f.Format));
    }
}

void TDm::AddLookup(TDataSet &table, const QString &name, const QString &keyField, TTable &source,
                    const QString &sourceKey, const QString &result, const QString &label)
{
    TField *field = table.AddField<TStringField>(name, fkLookup, 30);
    field->SetLookupDataSet(&source);
    field->SetKeyFields(keyField);
    field->SetLookupKeyFields(sourceKey);
    field->SetLookupResultField(result);
    if (!label.isEmpty())
        field->SetDisplayLabel(label);
}

void TDm::SetSql(TQuery &query, const QStringList &lines)
{
    query.SetDatabase(&Db);
    query.SQL() = lines;
}

void TDm::DefineQueries()
{
    const auto L = [](std::initializer_list<const char *> lines) {
        QStringList result;
        for (const char *line : lines)
            result << QString::fromUtf8(line);
        return result;
    };
    const char *const findHead1 = "select id_account,date_real,date_create";
    const char *const findHead2 = "from tb_hist where id_account=:id and (date_real between :d1 and :d2) and";

    // clang-format off
    const std::pair<TQuery *, QStringList> texts[] = {
        {&Qtemp, {}},
        {&Qsum, L({"Select Sum(dt),Sum(ct) from tb_hist", "where id_account=:id_account",
                   "and date_real between :d1 and :d2", "and kind='1'"})},
        {&Qplan, L({"Select sum(dt),sum(ct) from tb_hist", "where id_account=:id_account",
                    "and date_real between :d1 and :d2", "and kind>'1'"})},
        {&Qtrans, L({"Select Dt from tb_hist", "where id_account=:ref_account", "and date_create=:date_create"})},
        {&QPers_Firm, L({"Select Id_Person,Name,Phone,Address,Birthday,Comment,Note from tb_person ",
                         "where id_firm=:id_firm", "order by 1"})},
        {&Qacn, L({"Select Currency,count(*) as Cnt,avg(rate) as Rte, sum(Beg) Bg,sum(rest)  Rst,",
                   "sum(rest)/avg(rate) ye", "from tb_account", "group by Currency"})},
        {&QRate, L({"Update Tb_Account", "set Rate=:Rate", "where Currency=:Currency"})},
        {&Qtv, L({"select itm1.itm itm1,itm2.itm itm2,itm3.itm itm3,",
                  "itm1.id_itm id1,itm2.id_itm id2,itm3.id_itm id3,",
                  "itm1.c c1,itm2.c c2,itm3.c c3,itm1.a a1,itm2.a a2,itm3.a a3",
                  "from tb_items itm1 left join tb_items itm2", "on itm2.id_ref=itm1.id_itm",
                  "left join tb_items itm3 ", "on itm3.id_ref=itm2.id_itm", "where itm1.id_ref is null",
                  "order by  1,2,3"})},
        {&Qrem_pers, L({"Select Birthday,Name,Phone,Address,Comment,Note,id_person,id_firm from Tb_Person",
                        "where not Birthday is null", "order by 1,2"})},
        {&Qrem_fam, L({"Select Birthday,Name,Comment,id_family,id_person from Tb_Family",
                       "where not Birthday is null", "order by 1,2"})},
        {&Qrem_log, L({"Select Date_Remind,Note,Date_create,Id_Person,Id_Firm from Tb_Log",
                       "where (Date_Remind<=:date_now and c='1')or", "(dy=:d and c='2')", "order by 1,2"})},
        {&QFind, L({findHead1, findHead2, "comment like ", ":p"})},
        {&QcomFind, L({findHead1, findHead2, "lower(comment) =:com"})},
        {&Qgrp, L({"select * from tb_items", "where ((c='-')or(c='0')) and grp like ", "'%2%'"})},
        {&Qdup, L({"select itm from tb_items", "where id_itm<>:id"})},
        {&QItmOne, L({"Select sum(dt),sum(ct),sum(qdt),sum(qct) from tb_hist h,tb_account a",
                      "where a.id_account=h.id_account and kind='1' ", "and yr=2000"})},
        {&QdelHist, L({"delete from tb_hist where date_real<:dt"})},
        // The realised rows themselves, not their sums: the purge adds their
        // units, which a sum of doubles in the engine would round away.
        {&QAccSum, L({"select id_account,dt,ct from tb_hist", "where kind='1'", "order by id_account"})},
        {&QAccBeg, L({"select id_account,dt,ct from tb_hist", "where kind='1'", "and date_real<:dt",
                      "order by id_account"})},
        {&Qcalc, L({"Select sum(dt),sum(ct)", "from tb_hist", "where not B is null", "and id_account=:acc",
                    "and (date_real between :d1 and :d2) "})},
        {&QDayRate, L({"select avg(rate) from tb_hist", "where id_account=:a and date_real=:d"})},
        {&Qmn, L({"update tb_hist", "set mn=EXTRACT(MONTH FROM date_real),", "yr= EXTRACT(YEAR FROM date_real)",
                  "where yr is null or mn is null"})},
        {&Qacc2, AlterTable(QStringLiteral("Tb_Account.db"), {{"A", "CHAR(1)"}, {"Rate", "NUMERIC"}, {"Beg", "NUMERIC"}})},
        {&Qhist21, AlterTable(QStringLiteral("Tb_Hist.db"), {{"B", "CHAR(1)"}})},
        {&Qhist2, AlterTable(QStringLiteral("Tb_Hist.db"), {{"Comment", "VARCHAR(50)"}, {"Qdt", "NUMERIC"},
                             {"Qct", "NUMERIC"}, {"Rate", "NUMERIC"}, {"Yr", "smallint"}, {"Mn", "smallint"}})},
        {&Qitm2, AlterTable(QStringLiteral("Tb_Items.db"), {{"A", "CHAR(1)"}, {"Z", "CHAR(1)"}, {"Sm", "NUMERIC"},
                            {"Pr", "NUMERIC"}, {"Qn", "NUMERIC"}, {"Dte", "DATE"}})},
        {&Qitm3, AlterTable(QStringLiteral("Tb_Items.db"), {{"Id_Prs", "Smallint"}, {"Id_Frm", "Smallint"},
                            {"Comm", "VARCHAR(50)"}, {"Grp", "VARCHAR(10)"}, {"Lim", "NUMERIC"}})},
        {&Qitm4, AlterTable(QStringLiteral("Tb_Items.db"), {{"QLim", "NUMERIC"}})},
        {&Qpers2, AlterTable(QStringLiteral("Tb_Person.db"), {{"Note", "VARCHAR(200)"}})},
    };
    // clang-format on
    static const char *const names[] = {
        "Qtemp", "Qsum", "Qplan", "Qtrans", "QPers_Firm", "Qacn", "QRate", "Qtv", "Qrem_pers", "Qrem_fam",
        "Qrem_log", "QFind", "QcomFind", "Qgrp", "Qdup", "QItmOne", "QdelHist", "QAccSum", "QAccBeg", "Qcalc",
        "QDayRate", "Qmn", "Qacc2", "Qhist21", "Qhist2", "Qitm2", "Qitm3", "Qitm4", "Qpers2"};
    static_assert(std::size(names) == 29);
    size_t i = 0;
    for (const auto &[query, lines] : texts) {
        SetSql(*query, lines);
        query->SetName(U(names[i++]));
    }
    Qtrans.SetRequestLive(true);
    Qgrp.SetRequestLive(true);
    QPers_Firm.SetDataSource(&DataFirm);
    for (TQuery *q : {&Qacc2, &Qhist2, &Qitm2, &Qitm3, &Qitm4})
        q->SetParamCheck(false);
}

void TDm::BindEvents()
{
    Tb_Hist.OnNewRecord = [this](TDataSet *d) { Tb_HistNewRecord(d); };
    // Every road that writes an operation posts it here (ZorbBound.h).
    Tb_Hist.BeforePost = [this](TDataSet *) { CheckOperationRow(*this, Tb_Hist); };
    Tb_Hist.BeforeDelete = [this](TDataSet *) { CheckOperationDelete(*this, Tb_Hist); };
    // The ledger's row count (status bar, scroll bar) from the day sums.
    Tb_Hist.SetRowCounter(LedgerRowCounter(HistSums));
    Tb_Hist.OnCalcFields = [this](TDataSet *d) { Tb_HistCalcFields(d); };
    // Typed amounts may carry the locale's thousands separators.
    for (const char *name : {"Dt", "Ct", "Price", "Rate"})
        Tb_Hist.FieldByName(U(name))->OnSetText = [](TField *sender, const QString &text) {
            QString plain = text;
            plain.remove(FormatSettings().ThousandSeparator);
            sender->SetAsString(plain);
        };
    for (TTable *t : {&Tb_Person, &Tb_Account, &Tb_Firm, &Tb_Family, &Tb_Items}) {
        t->OnNewRecord = [this](TDataSet *d) { Tb_AccountNewRecord(d); };
        t->BeforePost = [this](TDataSet *d) { Tb_AccountBeforePost(d); };
    }
    for (TTable *t : {&Tb_Person, &Tb_Account, &Tb_Firm})
        t->BeforeDelete = [this](TDataSet *d) { Tb_AccountBeforeDelete(d); };
    for (TTable *t : {&Tb_Account, &Tb_Hist, &Tb_Items, &Tb_Person, &Tb_Firm, &Tb_Family, &Tb_Log}) {
        t->AfterPost = [this](TDataSet *d) { Tb_AccountAfterPost(d); };
        t->AfterDelete = [this](TDataSet *d) { Tb_AccountAfterPost(d); };
    }
    Tb_Account.AfterRefresh = [this](TDataSet *d) { Tb_AccountAfterPost(d); };
    Tb_Account.OnCalcFields = [this](TDataSet *d) { Tb_AccountCalcFields(d); };
    Tb_Person.AfterScroll = [this](TDataSet *d) { Tb_PersonAfterScroll(d); };
    Tb_Log.OnNewRecord = [this](TDataSet *d) { Tb_LogNewRecord(d); };
    Tb_Log.BeforePost = [this](TDataSet *d) { Tb_LogBeforePost(d); };
    Tb_Log.OnCalcFields = [this](TDataSet *d) { Tb_LogCalcFields(d); };
    DataHist.OnStateChange = [this](TDataSource *s) { DataHistStateChange(s); };
    DataHist.OnDataChange = [this](TDataSource *s, TField *f) { DataHistDataChange(s, f); };
    DataAccount.OnDataChange = [this](TDataSource *s, TField *f) { DataAccountDataChange(s, f); };
    Qgrp.AfterPost = [this](TDataSet *d) { QgrpAfterPost(d); };
    Qgrp.BeforeInsert = [this](TDataSet *d) { QgrpBeforeInsert(d); };
    Qgrp.BeforeDelete = [this](TDataSet *d) { QgrpBeforeInsert(d); };
}

// ---- stamps and queries ------------------------------------------------------

TDateTime TDm::NextStamp()
{
    int64_t ms = int64_t(TimeStampToMSecs(DateTimeToTimeStamp(Now())));
    if (ms <= lastStampMs_)
        ms = lastStampMs_ + 1;
    lastStampMs_ = ms;
    return TimeStampToDateTime(MSecsToTimeStamp(double(ms)));
}

Variant TDm::ScalarQuery(const QString &text)
{
    Qtemp.Close();
    Qtemp.SQL() = QStringList{text};
    Qtemp.Open();
    const Variant value = Qtemp.IsEmpty() ? Variant::Null() : Qtemp.Fields()[0]->AsVariant();
    Qtemp.Close();
    return value;
}

// ---- table events ------------------------------------------------------------

void TDm::Tb_HistNewRecord(TDataSet *DataSet)
{
    DataSet->FieldByName(QStringLiteral("Id_Account"))
        ->SetAsVariant(Tb_Account.Active() ? Tb_Account.FieldByName(QStringLiteral("Id_Account"))->AsVariant()
                                           : Variant::Null());
    DataSet->FieldByName(QStringLiteral("Date_Create"))->SetAsDateTime(NextStamp());
    DataSet->FieldByName(QStringLiteral("Date_Real"))->SetAsDateTime(host_->EntryDate());
    DataSet->FieldByName(QStringLiteral("Level1"))->SetAsInteger(-10);
}

void TDm::Tb_HistCalcFields(TDataSet *DataSet)
{
    TField *quant = DataSet->FieldByName(QStringLiteral("Quant"));
    const TField *qct = DataSet->FieldByName(QStringLiteral("Qct"));
    const TField *qdt = DataSet->FieldByName(QStringLiteral("Qdt"));
    if (!qct->IsNull())
        quant->SetAsFloat(qct->AsFloat());
    else if (!qdt->IsNull())
        quant->SetAsFloat(qdt->AsFloat());
    else
        quant->Clear();
}

void TDm::Tb_AccountNewRecord(TDataSet *DataSet)
{
    DataSet->Fields()[0]->SetAsInteger(0);
    for (int i = 0; i < DataSet->FieldCount(); ++i) {
        TField *f = DataSet->Fields()[i];
        if (!f->DefaultExpression().isEmpty())
            f->SetAsString(f->DefaultExpression());
    }
    if (DataSet == &Tb_Items)
        DataSet->FieldByName(QStringLiteral("C"))->SetAsString(host_->NewCategoryIsExpense() ? U("-") : U("+"));
}

void TDm::Tb_AccountBeforePost(TDataSet *DataSet)
{
    // Every change of a balance posts the account row (ZorbBound.h).
    if (DataSet == &Tb_Account)
        CheckAccountRow(*this, Tb_Account);
    if (DataSet == &Tb_Person || DataSet == &Tb_Family) {
        const TField *birthday = DataSet->FieldByName(QStringLiteral("Birthday"));
        TField *dy = DataSet->FieldByName(QStringLiteral("Dy"));
        TField *mn = DataSet->FieldByName(QStringLiteral("Mn"));
        if (birthday->IsNull()) {
            dy->Clear();
            mn->Clear();
        } else {
            int y = 0, m = 0, d = 0;
            DecodeDate(birthday->AsDateTime(), y, m, d);
            dy->SetAsInteger(d);
            mn->SetAsInteger(m);
        }
        TField *c = DataSet->FieldByName(QStringLiteral("C"));
        if (c->AsString().isEmpty())
            c->Clear();
    }
    if (DataSet == &Tb_Family) {
        if (!Tb_Person.Active() || Tb_Person.IsEmpty())
            Abort();
        TField *person = DataSet->FieldByName(QStringLiteral("Id_Person"));
        if (person->IsNull())
            person->SetAsVariant(Tb_Person.FieldByName(QStringLiteral("Id_Person"))->AsVariant());
        TField *name = DataSet->FieldByName(QStringLiteral("Name"));
        if (name->IsNull())
            name->SetAsString(U("Потом запишу..."));
    }
    if (DataSet->State() != dsInsert)
        return;
    // The identifier: the table's maximum on the first insert, then counted on.
    int16_t &counter = idCounters_.at(size_t(DataSet->Tag() - 1));
    TField *id = DataSet->Fields()[0];
    if (counter == 0) {
        const Variant max = ScalarQuery(QStringLiteral("Select max(") + id->FieldName() + QStringLiteral(") from ") +
                                        DataSet->Name());
        counter = VarIsClear(max) ? 0 : int16_t(max.AsInteger());
    }
    if (counter == INT16_MAX)
        throw EIntOverflow(U("Переполнение целого числа: номера новых записей таблицы исчерпаны"));
    ++counter;
    id->SetAsInteger(counter);
}

void TDm::Tb_AccountBeforeDelete(TDataSet *DataSet)
{
    const TField *id = DataSet->Fields()[0];
    const QString condition = id->FieldName() + QStringLiteral("='") + id->AsString() + u'\'';
    const auto refuse = [&](const char *head, const char *message) {
        if (ScalarQuery(U(head) + condition).AsInteger() > 0) {
            host_->Notice(U(message));
            Abort();
        }
    };
    if (DataSet == &Tb_Person)
        refuse("Select count(*) from tb_family where ", "Есть члены семьи!");
    if (DataSet == &Tb_Person || DataSet == &Tb_Firm)
        refuse("Select count(*) from tb_log where ", "Есть ссылки в дневнике!");
    if (DataSet == &Tb_Firm)
        refuse("Select count(*) from tb_person where ", "Есть ссылки в персональном справочнике!");
    refuse("Select count(*) from tb_hist where ", "Есть связи в истории!");
    // A planned transfer names its target account only in Ref_Account.
    if (DataSet == &Tb_Account &&
        ScalarQuery(QStringLiteral("Select count(*) from tb_hist where Ref_Account='") + id->AsString() + u'\'')
                .AsInteger() > 0) {
        host_->Notice(U("Есть связи в истории!"));
        Abort();
    }
}

void TDm::Tb_AccountAfterPost(TDataSet *DataSet)
{
    modified_ = true;
    // A new person gets its identifier only on posting, after the filter was
    // set for the unposted row: filter the family again for the row now shown.
    if (DataSet == &Tb_Person && DataSet->State() == dsBrowse && Tb_Family.Filter() != FamilyFilter())
        Tb_Family.SetFilter(FamilyFilter());
}

void TDm::Tb_AccountCalcFields(TDataSet *DataSet)
{
    const QString rest = Trim(FormatFloat(QStringLiteral("#,##0.00"),
                                          DataSet->FieldByName(QStringLiteral("Rest"))->AsFloat()));
    const QString text = Trim(DataSet->FieldByName(QStringLiteral("Account"))->AsString()) + QStringLiteral(" = ") +
                         rest + u' ' + DataSet->FieldByName(QStringLiteral("Currency"))->AsString().left(3);
    DataSet->FieldByName(QStringLiteral("AcRest"))->SetAsString(Trim(text));
}

QString TDm::FamilyFilter() const
{
    if (!host_->PeoplePageActive())
        return QString();
    const TField *id = Tb_Person.FieldByName(QStringLiteral("Id_Person"));
    return id->IsNull() ? QStringLiteral("id_person=null") : QStringLiteral("id_person='") + id->AsString() + u'\'';
}

void TDm::Tb_PersonAfterScroll(TDataSet *DataSet)
{
    (void)DataSet;
    Tb_Family.SetFilter(FamilyFilter());
}

void TDm::Tb_LogNewRecord(TDataSet *DataSet)
{
    DataSet->FieldByName(QStringLiteral("Date_Create"))->SetAsDateTime(NextStamp());
    DataSet->FieldByName(QStringLiteral("Date_Remind"))->SetAsDateTime(Date());
    DataSet->FieldByName(QStringLiteral("C"))->SetAsString(QStringLiteral("0"));
}

void TDm::Tb_LogBeforePost(TDataSet *DataSet)
{
    const TField *remind = DataSet->FieldByName(QStringLiteral("Date_Remind"));
    TField *dy = DataSet->FieldByName(QStringLiteral("Dy"));
    if (remind->IsNull()) {
        dy->Clear();
        return;
    }
    int y = 0, m = 0, d = 0;
    DecodeDate(remind->AsDateTime(), y, m, d);
    dy->SetAsInteger(d);
}

void TDm::Tb_LogCalcFields(TDataSet *DataSet)
{
    const QString c = DataSet->FieldByName(QStringLiteral("C"))->AsString();
    TField *knd = DataSet->FieldByName(QStringLiteral("Knd"));
    if (c == u"1")
        knd->SetAsString(U("Ежедневно"));
    else if (c == u"2")
        knd->SetAsString(U("Ежемесячно"));
    else
        knd->Clear();
}

void TDm::DataHistStateChange(TDataSource *Sender)
{
    (void)Sender;
    host_->SetDatePanelEnabled(Tb_Hist.State() == dsBrowse);
}

void TDm::DataHistDataChange(TDataSource *Sender, TField *Field)
{
    (void)Sender;
    (void)Field;
    UpdateMenus();
}

void TDm::DataAccountDataChange(TDataSource *Sender, TField *Field)
{
    (void)Sender;
    (void)Field;
    if (!Tb_Account.Active())
        return;
    const bool negative = RoundHalfEven(Tb_Account.FieldByName(QStringLiteral("Rest"))->AsFloat()) < 0;
    host_->ShowAccountRest(Tb_Account.FieldByName(QStringLiteral("AcRest"))->AsString(),
                           negative ? QColor(221, 0, 0) : QColor(0, 0, 128));
}

void TDm::QgrpAfterPost(TDataSet *DataSet)
{
    (void)DataSet;
    modified_ = true;
    host_->PacketPosted();
}

void TDm::QgrpBeforeInsert(TDataSet *DataSet)
{
    (void)DataSet;
    Abort();
}

// ---- services ----------------------------------------------------------------

void TDm::UpdateMenus()
{
    host_->ApplyMenuState(ComputeMenuState(host_->MenuView()));
}

TMenuState TDm::ComputeMenuState(const TMenuView &view) const
{
    TMenuState s;
    const bool histOpen = Tb_Hist.Active();
    const bool histRows = histOpen && !Tb_Hist.IsEmpty();
    const auto hist = [this](const char *name) { return Tb_Hist.FieldByName(U(name)); };

    s.mCategory = Tb_Items.Active();
    s.mMoney = Tb_Account.Active() && histOpen;
    s.mView = s.mMoney;
    s.mMoneyNew = (view.ExpenseTreeShown && view.ExpenseTreeHasNodes) ||
                  (view.IncomeTreeShown && view.IncomeTreeHasNodes);
    s.mMoneyDelete = histRows;
    s.mpSetMark = s.mpHistSave = s.mMoneyDelete;
    // The receiving leg of a transfer goes only with its sending leg.
    if (s.mMoneyDelete && hist("Level1")->AsInteger() == -1 && !hist("Dt")->IsNull() && hist("Ct")->IsNull())
        s.mMoneyDelete = false;
    s.mMoneyEdit = s.mMoneyDelete && view.LedgerVisible;
    s.mpMoneyNew = s.mMoneyNew;
    s.mpMoneyEdit = s.mMoneyEdit;
    s.mpMoneyDelete = s.mMoneyDelete;
    s.mpUp = s.mpDown = s.mMoneyDelete;
    s.mpMoneyCopy = s.mpMoneyDelete && hist("Level1")->AsInteger() >= 0;
    s.mpAccCopy = s.mpMoneyCopy;
    s.mFind = histRows;
    s.mpFind = s.mpFindText = s.mpFindTextNext = s.mpFindComment = s.mFind;
    s.mUpdate = histRows && hist("Kind")->AsString() > QStringLiteral("1") &&
                hist("Date_Real")->AsDateTime() <= Date() && view.LedgerVisible;
    s.mpUpdate = s.mUpdate;
    s.mSave = s.mSaveAs = s.mPassword = s.mResult = histOpen;
    s.ButResultVisible = s.mResult;
    s.ButAcc = Tb_Account.Active();
    s.PmHist = histOpen;
    s.PmCat = Tb_Items.Active();
    s.PmPerson = Tb_Person.Active() && Tb_Family.Active();
    s.PmLog = Tb_Log.Active();
    s.PmFirm = Tb_Firm.Active();
    return s;
}

bool TDm::GetCategoryLevels(int16_t Id, int &Level1, int &Level2, int &Level3)
{
    Level1 = Level2 = Level3 = -100;
    const auto find = [this](int id) { return Tb_Items.FindKey({Variant(id)}); };
    const auto lev = [this] { return Tb_Items.FieldByName(QStringLiteral("LEV"))->AsInteger(); };
    const auto parent = [this] { return Tb_Items.FieldByName(QStringLiteral("ID_REF")); };
    if (!find(Id))
        return false;
    if (lev() == 2 && !parent()->IsNull()) {
        Level3 = Id;
        Level2 = parent()->AsInteger();
        if (!find(Level2))
            return false;
        if (lev() == 1 && !parent()->IsNull()) {
            Level1 = parent()->AsInteger();
            if (!find(Level1))
                return false;
        }
    } else if (lev() == 1 && !parent()->IsNull()) {
        Level2 = Id;
        Level1 = parent()->AsInteger();
        if (!find(Level1))
            return false;
    } else if (lev() == 0 && parent()->IsNull()) {
        Level1 = Id;
    }
    return lev() == 0 && parent()->IsNull() && Level1 >= 0;
}

bool TDm::EditCategoryLimit(QWidget *Owner, TDataSet *Source, bool Quantity)
{
    if (!Source || !Source->Active() || Source->IsEmpty())
        return false;
    const int id = Source->FieldByName(QStringLiteral("id_itm"))->AsInteger();
    const bool signedKind = Source->FieldByName(QStringLiteral("C"))->AsString() == u"0";
    const QString limitField = Quantity ? QStringLiteral("QLim") : QStringLiteral("Lim");
    double limit = Source->FieldByName(limitField)->AsFloat();
    if (!signedKind)
        limit = std::fabs(limit);
    const QString initial = limit == 0 ? QString() : FloatToStr(limit);
    const char *prompt = signedKind ? (limit != 0 ? "Ввод числа (+ приход, - расход) или Очистка"
                                                  : "Ввод числа (отрицат. - расход)")
                                    : (limit != 0 ? "Положительное число (или опустошить)"
                                                  : "Введите положительное число");
    QString text = initial;
    if (!host_->InputLine(Quantity ? U("Лимит количества") : U("Лимит денег"), U(prompt), text))
        return false;
    host_->RepaintOwner(Owner);
    if (text == initial)
        return false;
    double value = 0;
    if (!text.isEmpty() && !TryStrToFloat(text, value))
        return false;
    // A limit is compared with turnovers summed in units of 1/10000; one past
    // MoneyLimit would overflow those sums and show a wrong figure, so it is
    // refused with the notice every money entry gives (Money.h).
    if (!MoneyInRange(value)) {
        host_->Notice(MoneyRangeMessage());
        return false;
    }
    if (!signedKind && value < 0)
        value = -value;
    if (!Tb_Items.FindKey({Variant(id)}))
        return true;
    Tb_Items.Edit();
    TField *field = Tb_Items.FieldByName(limitField);
    if (value != 0)
        field->SetAsFloat(value);
    else
        field->Clear();
    try {
        Tb_Items.Post();
    } catch (const Exception &) {
        Tb_Items.Cancel();
    }
    if (auto *query = dynamic_cast<TQuery *>(Source)) {
        TControlsOff off(*query);
        query->Close();
        query->Open();
        query->Locate(QStringLiteral("id_itm"), Variant(id), {});
    }
    return true;
}

double TDm::SumPacket(int &Count)
{
    Count = 0;
    if (!Qgrp.Active() || Qgrp.IsEmpty())
        return 0;
    int64_t units = 0;
    const TBookmark mark = Qgrp.GetBookmark();
    {
        TControlsOff off(Qgrp);
        const TField *s = Qgrp.FieldByName(QStringLiteral("S"));
        const TField *sm = Qgrp.FieldByName(QStringLiteral("Sm"));
        for (Qgrp.First(); !Qgrp.Eof(); Qgrp.Next()) {
            // Only lines that a packet writes count: a negative sum is never written.
            const int64_t sum = MoneyToUnits(sm->AsFloat());
            if (s->AsString() != u"N" && sum > 0) {
                units += sum;
                ++Count;
            }
        }
        Qgrp.GotoBookmark(mark);
    }
    return UnitsToMoney(units);
}

} // namespace zorbel
