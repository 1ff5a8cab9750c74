// The SQL dialect step: parameters, literals, quoted tokens and date functions.
#include "platform/sqltable/SqlDialect.h"

#include <gtest/gtest.h>

using namespace zorbel;

namespace {
QString One(const QString &text)
{
    const TTranslatedSql t = TranslateSql(text);
    EXPECT_EQ(t.Statements.size(), 1u);
    return t.Statements.empty() ? QString() : t.Statements.front();
}
} // namespace

TEST(SqlDialect, ParametersBecomeNumberedAndMatchWithoutCase)
{
    const TTranslatedSql t = TranslateSql(QStringLiteral(
        "Select Sum(dt),Sum(ct) from tb_hist\nwhere id_account=:id_account\nand date_real between :d1 and :D1"));
    EXPECT_EQ(t.ParamNames, QStringList({"id_account", "d1"}));
    EXPECT_EQ(t.Statements.front(),
              "Select Sum(dt),Sum(ct) from tb_hist\nwhere id_account=?1\nand date_real between ?2 and ?2");
}

TEST(SqlDialect, ColonInsideLiteralsIsNotAParameter)
{
    const TTranslatedSql t = TranslateSql(QStringLiteral("select * from tb_log where note='в 12:30 :x' and id=:id"));
    EXPECT_EQ(t.ParamNames, QStringList({"id"}));
    EXPECT_EQ(t.Statements.front(), "select * from tb_log where note='в 12:30 :x' and id=?1");
}

TEST(SqlDialect, DoubleQuotedTokensAreLiteralsUnlessTableFiles)
{
    EXPECT_EQ(One(QStringLiteral("Select max(date_real)from tb_hist where id_account=3 and kind=\"1\"")),
              "Select max(date_real)from tb_hist where id_account=3 and kind='1'");
    EXPECT_EQ(One(QStringLiteral("select * from \"Tb_Hist.db\" where c=\"it's\"")),
              "select * from Tb_Hist where c='it''s'");
    // Doubled quotes inside single-quoted literals survive unchanged.
    EXPECT_EQ(One(QStringLiteral("select 1 where a='O''Brien'")), "select 1 where a='O''Brien'");
}

TEST(SqlDialect, ExtractBecomesDaySerialFunctions)
{
    EXPECT_EQ(One(QStringLiteral("Update tb_hist set Yr=EXTRACT(YEAR FROM date_real), Mn=extract ( month from date_real)")),
              "Update tb_hist set Yr=zb_year(date_real), Mn=zb_month(date_real)");
}

TEST(SqlDialect, GroupedQueryWithoutOrderGetsGroupOrder)
{
    EXPECT_EQ(One(QStringLiteral("select id_account,sum(dt),sum(ct) from tb_hist\nwhere kind='1'\ngroup by id_account")),
              "select id_account,sum(dt),sum(ct) from tb_hist\nwhere kind='1'\ngroup by id_account\norder by id_account");
    EXPECT_EQ(One(QStringLiteral("select yr,mn,sum(dt) from tb_hist group by yr,mn having sum(dt)>0")),
              "select yr,mn,sum(dt) from tb_hist group by yr,mn having sum(dt)>0\norder by yr,mn");
    const QString ordered = QStringLiteral("select c,count(*) from t group by c order by 2");
    EXPECT_EQ(One(ordered), ordered);
    // A grouped subquery alone does not make the outer query grouped.
    const QString sub = QStringLiteral("select * from t where a in (select a from u group by a)");
    EXPECT_EQ(One(sub), sub);
}

TEST(SqlDialect, AlterTableBecomesOneAddColumnPerField)
{
    const TTranslatedSql t = TranslateSql(QStringLiteral(
        "ALTER TABLE \"Tb_Account.db\" \nADD \"Tb_Account.db\".\"A\" CHAR(1),\nADD \"Tb_Account.db\".\"Rate\" NUMERIC,\n"
        "ADD \"Tb_Account.db\".\"Beg\" NUMERIC"));
    ASSERT_EQ(t.Statements.size(), 3u);
    EXPECT_EQ(t.Statements[0], "ALTER TABLE Tb_Account ADD COLUMN A VARCHAR(1) COLLATE RUSSIAN");
    EXPECT_EQ(t.Statements[1], "ALTER TABLE Tb_Account ADD COLUMN Rate FLOAT");
    EXPECT_EQ(t.Statements[2], "ALTER TABLE Tb_Account ADD COLUMN Beg FLOAT");
    const TTranslatedSql s = TranslateSql(QStringLiteral(
        "ALTER TABLE \"Tb_Hist.db\" \nADD \"Tb_Hist.db\".\"Comment\" VARCHAR(50),\nADD \"Tb_Hist.db\".\"Yr\" smallint"));
    ASSERT_EQ(s.Statements.size(), 2u);
    EXPECT_EQ(s.Statements[0], "ALTER TABLE Tb_Hist ADD COLUMN Comment VARCHAR(50) COLLATE RUSSIAN");
    EXPECT_EQ(s.Statements[1], "ALTER TABLE Tb_Hist ADD COLUMN Yr SMALLINT");
}
