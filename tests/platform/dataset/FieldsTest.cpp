// Field classes: sizes, nulls, string cutting, integer ranges and conversions.
#include "DataSetTestSupport.h"

#include "platform/rtl/DateTime.h"
#include "platform/rtl/Exceptions.h"
#include "platform/rtl/Money.h"

#include <cstring>

using namespace zorbel;
using namespace zorbel::test;

namespace {

// One field of every kind the program stores.
class AllTypes : public TVectorDataSet {
public:
    AllTypes()
    {
        FieldDefs().Add(QStringLiteral("S"), ftString, 5);
        FieldDefs().Add(QStringLiteral("Sm"), ftSmallint);
        FieldDefs().Add(QStringLiteral("I"), ftInteger);
        FieldDefs().Add(QStringLiteral("W"), ftWord);
        FieldDefs().Add(QStringLiteral("F"), ftFloat);
        FieldDefs().Add(QStringLiteral("C"), ftCurrency);
        FieldDefs().Add(QStringLiteral("B"), ftBoolean);
        FieldDefs().Add(QStringLiteral("D"), ftDate);
        FieldDefs().Add(QStringLiteral("T"), ftTime);
        FieldDefs().Add(QStringLiteral("DT"), ftDateTime);
        FieldDefs().Add(QStringLiteral("L"), ftLargeint);
        Open();
        Append();
    }
    TField *F(const char *name) const { return FieldByName(QString::fromLatin1(name)); }
};

template <class T> T Native(const TField *field)
{
    std::vector<uint8_t> buffer(size_t(field->DataSize()));
    EXPECT_TRUE(field->GetData(buffer.data()));
    T value;
    std::memcpy(&value, buffer.data(), sizeof(T));
    return value;
}

} // namespace

TEST(Fields, DefaultFieldClassesAndSizesFollowTheDefinitions)
{
    AllTypes ds;
    EXPECT_NE(dynamic_cast<TStringField *>(ds.F("S")), nullptr);
    EXPECT_NE(dynamic_cast<TSmallintField *>(ds.F("Sm")), nullptr);
    EXPECT_NE(dynamic_cast<TCurrencyField *>(ds.F("C")), nullptr);
    EXPECT_NE(dynamic_cast<TDateField *>(ds.F("D")), nullptr);
    EXPECT_EQ(ds.F("S")->DataSize(), 12);
    EXPECT_EQ(ds.F("Sm")->DataSize(), 2);
    EXPECT_EQ(ds.F("B")->DataSize(), 2);
    EXPECT_EQ(ds.F("I")->DataSize(), 4);
    EXPECT_EQ(ds.F("D")->DataSize(), 8);
    EXPECT_EQ(ds.F("L")->FieldNo(), 11);
    EXPECT_EQ(static_cast<int>(ds.F("L")->DataType()), 25);
    EXPECT_EQ(ds.F("F")->Alignment(), taRightJustify);
    EXPECT_EQ(ds.F("S")->Alignment(), taLeftJustify);
    EXPECT_EQ(ds.F("S")->DisplayWidth(), 5);
}

TEST(Fields, NullsReadAsZeroAndEmptyAndEmptyTextWritesNull)
{
    AllTypes ds;
    for (const char *name : {"S", "Sm", "I", "F", "D", "B"}) {
        SCOPED_TRACE(name);
        EXPECT_TRUE(ds.F(name)->IsNull());
        EXPECT_EQ(ds.F(name)->AsString(), QString());
        EXPECT_EQ(ds.F(name)->DisplayText(), QString());
        EXPECT_TRUE(ds.F(name)->AsVariant().IsNull());
    }
    EXPECT_EQ(ds.F("I")->AsInteger(), 0);
    EXPECT_EQ(ds.F("F")->AsFloat(), 0.0);
    EXPECT_EQ(ds.F("S")->AsInteger(), 0);
    EXPECT_FALSE(ds.F("B")->AsBoolean());

    ds.F("S")->SetAsString(QStringLiteral("abc"));
    ds.F("I")->SetAsInteger(0);
    EXPECT_FALSE(ds.F("I")->IsNull());
    ds.F("S")->SetAsString(QString());
    ds.F("I")->SetAsString(QString());
    EXPECT_TRUE(ds.F("S")->IsNull());
    EXPECT_TRUE(ds.F("I")->IsNull());
    ds.F("F")->SetAsFloat(1);
    ds.F("F")->Clear();
    EXPECT_TRUE(ds.F("F")->IsNull());
    ds.F("F")->SetValue(Variant::Null());
    EXPECT_TRUE(ds.F("F")->IsNull());
}

TEST(Fields, StringsAreCutToTheFieldSizeInCharacters)
{
    AllTypes ds;
    ds.F("S")->SetAsString(QStringLiteral("Щукин-Петров"));
    EXPECT_EQ(ds.F("S")->AsString(), QStringLiteral("Щукин"));
    ds.F("S")->SetAsString(QStringLiteral("ab"));
    EXPECT_EQ(ds.F("S")->AsString(), QStringLiteral("ab"));
    // The native buffer holds UTF-16 characters, zero-terminated.
    const auto raw = Native<std::array<char16_t, 3>>(ds.F("S"));
    EXPECT_EQ(raw[0], u'a');
    EXPECT_EQ(raw[2], u'\0');
}

TEST(Fields, IntegersAreCheckedAgainstTheirRange)
{
    AllTypes ds;
    TField *sm = ds.F("Sm");
    sm->SetAsInteger(-32768);
    EXPECT_EQ(Native<int16_t>(sm), -32768);
    EXPECT_RAISES(sm->SetAsInteger(40000), EDatabaseError,
                  "Значение 40000 не подходит для поля 'Sm': допустимо от -32768 до 32767");
    EXPECT_EQ(sm->AsInteger(), -32768);
    EXPECT_RAISES(ds.F("W")->SetAsInteger(-1), EDatabaseError,
                  "Значение -1 не подходит для поля 'W': допустимо от 0 до 65535");
    auto *i = static_cast<TIntegerField *>(ds.F("I"));
    i->SetMinValue(1);
    i->SetMaxValue(10);
    EXPECT_THROW(i->SetAsInteger(11), EDatabaseError);
    EXPECT_RAISES(i->SetAsString(QStringLiteral("abc")), EDatabaseError,
                  "'abc' - не целое число (поле 'I')");
    i->SetAsFloat(2.5); // rounds half to even
    EXPECT_EQ(i->AsInteger(), 2);
    ds.F("L")->SetAsLargeInt(int64_t(1) << 40);
    EXPECT_EQ(ds.F("L")->AsLargeInt(), int64_t(1) << 40);
}

TEST(Fields, NumbersFormatThroughDisplayAndEditFormats)
{
    AllTypes ds;
    TField *f = ds.F("F");
    f->SetAsString(QStringLiteral("1234,5"));
    EXPECT_EQ(f->AsFloat(), 1234.5);
    EXPECT_EQ(f->AsString(), QStringLiteral("1234,5"));
    f->SetDisplayFormat(QStringLiteral("#,##0.00"));
    EXPECT_EQ(f->DisplayText(), QStringLiteral("1\u00A0234,50"));
    EXPECT_EQ(f->Text(), QStringLiteral("1\u00A0234,50"));
    f->SetEditFormat(QStringLiteral("0.0"));
    EXPECT_EQ(f->Text(), QStringLiteral("1234,5"));
    EXPECT_RAISES(f->SetAsString(QStringLiteral("1.5")), EDatabaseError,
                  "'1.5' - не число (поле 'F')");
    // A typed number the money arithmetic in 1/10000 cannot hold is refused,
    // the field keeping its value; exponent notation inside the range is a
    // number like any other and shows in the field's format.
    for (const char *typed : {"1e20", "1e15", "-1e11", "100000000000", "1e400", "nan", "inf"}) {
        try {
            f->SetAsString(QString::fromLatin1(typed));
            ADD_FAILURE() << typed << " was taken";
        } catch (const EConvertError &e) {
            EXPECT_EQ(e.Message(), MoneyRangeMessage()) << typed;
        } catch (const EDatabaseError &) {
            // not a number at all in the runtime's eyes: refused as well
        }
        EXPECT_EQ(f->AsFloat(), 1234.5) << typed;
    }
    EXPECT_TRUE(MoneyRangeMessage().contains(QStringLiteral("100\u00A0000\u00A0000\u00A0000")));
    f->SetAsString(QStringLiteral("1e5"));
    EXPECT_EQ(f->Text(), QStringLiteral("100000,0"));
    EXPECT_EQ(f->DisplayText(), QStringLiteral("100\u00A0000,00"));
    f->SetAsString(QStringLiteral("-99999999999,9999"));
    EXPECT_EQ(MoneyToUnits(f->AsFloat()), -999999999999999LL);
    f->SetAsString(QStringLiteral("1234,5"));
    ds.F("C")->SetAsCurrency(-2.5);
    EXPECT_EQ(ds.F("C")->DisplayText(), QStringLiteral("-2,50р."));
    ds.F("I")->SetAsInteger(7);
    ds.F("I")->SetDisplayFormat(QStringLiteral("000"));
    EXPECT_EQ(ds.F("I")->DisplayText(), QStringLiteral("007"));
    EXPECT_EQ(ds.F("I")->AsString(), QStringLiteral("7"));
}

TEST(Fields, DatesTravelAsDayNumbersAndMilliseconds)
{
    AllTypes ds;
    const TDateTime noonOfDayZero = 0.5;
    ds.F("D")->SetAsDateTime(EncodeDate(1899, 12, 30));
    EXPECT_EQ(Native<int32_t>(ds.F("D")), 693594);
    ds.F("D")->SetAsDateTime(EncodeDate(1, 1, 1));
    EXPECT_EQ(Native<int32_t>(ds.F("D")), 1);
    ds.F("T")->SetAsDateTime(noonOfDayZero);
    EXPECT_EQ(Native<int32_t>(ds.F("T")), 43200000);
    ds.F("DT")->SetAsDateTime(noonOfDayZero);
    EXPECT_EQ(Native<double>(ds.F("DT")), 693594.0 * 86400000 + 43200000);

    const TDateTime when = EncodeDate(2005, 3, 8) + EncodeTime(14, 30, 5, 250);
    ds.F("DT")->SetAsDateTime(when);
    EXPECT_NEAR(ds.F("DT")->AsDateTime(), when, 1e-9);
    ds.F("D")->SetAsDateTime(when);
    EXPECT_EQ(ds.F("D")->AsDateTime(), EncodeDate(2005, 3, 8));
    EXPECT_EQ(ds.F("D")->AsString(), QStringLiteral("08.03.2005"));
    ds.F("D")->SetDisplayFormat(QStringLiteral("d mmmm yyyy"));
    EXPECT_EQ(ds.F("D")->DisplayText(), QStringLiteral("8 марта 2005"));
    // The last text is kept by value and format: both are looked at.
    EXPECT_EQ(ds.F("D")->AsString(), QStringLiteral("08.03.2005"));
    ds.F("D")->SetAsString(QStringLiteral("31.12.2004"));
    EXPECT_EQ(ds.F("D")->AsDateTime(), EncodeDate(2004, 12, 31));
    EXPECT_EQ(ds.F("D")->DisplayText(), QStringLiteral("31 декабря 2004"));
    ds.F("D")->Clear();
    EXPECT_EQ(ds.F("D")->DisplayText(), QString());
    ds.F("D")->SetAsString(QStringLiteral("31.12.2004"));
    EXPECT_THROW(ds.F("D")->SetAsString(QStringLiteral("32.12.2004")), EConvertError);
    EXPECT_EQ(ds.F("D")->AsVariant().VarType(), varDate);
}

TEST(Fields, BooleanTextsAndVariantKinds)
{
    AllTypes ds;
    auto *b = static_cast<TBooleanField *>(ds.F("B"));
    b->SetAsBoolean(true);
    EXPECT_EQ(Native<uint16_t>(b), 1);
    EXPECT_EQ(b->AsString(), QStringLiteral("True"));
    b->SetDisplayValues(QStringLiteral("Да;Нет"));
    b->SetAsString(QStringLiteral("н"));
    EXPECT_FALSE(b->AsBoolean());
    EXPECT_EQ(b->DisplayText(), QStringLiteral("Нет"));
    EXPECT_RAISES(b->SetAsString(QStringLiteral("может")), EDatabaseError,
                  "'может' - не логическое значение (поле 'B')");
    EXPECT_RAISES(b->AsInteger(), EDatabaseError, "Поле «B» нельзя прочитать как Integer");

    ds.F("I")->SetValue(Variant(QStringLiteral("42")));
    EXPECT_EQ(ds.F("I")->AsVariant().VarType(), varInteger);
    EXPECT_EQ(ds.F("I")->AsInteger(), 42);
    ds.F("F")->SetValue(Variant(QStringLiteral("12,5")));
    EXPECT_EQ(ds.F("F")->AsFloat(), 12.5);
    ds.F("S")->SetValue(Variant(3));
    EXPECT_EQ(ds.F("S")->AsString(), QStringLiteral("3"));
}

TEST(Fields, ValidateSeesTheNewValueAndCanRefuseIt)
{
    AllTypes ds;
    TField *i = ds.F("I");
    i->SetAsInteger(1);
    std::vector<int> seen;
    i->OnValidate = [&](TField *f) {
        seen.push_back(f->AsInteger());
        if (f->AsInteger() < 0)
            throw EDatabaseError(QStringLiteral("negative"));
    };
    int changes = 0;
    i->OnChange = [&](TField *) { ++changes; };
    i->SetAsInteger(5);
    EXPECT_THROW(i->SetAsInteger(-3), EDatabaseError);
    EXPECT_EQ(i->AsInteger(), 5);
    EXPECT_EQ(seen, (std::vector<int>{5, -3}));
    EXPECT_EQ(changes, 1);

    i->OnGetText = [](TField *f, QString &text, bool display) {
        text = (display ? QStringLiteral("D") : QStringLiteral("E")) + f->AsString();
    };
    EXPECT_EQ(i->DisplayText(), QStringLiteral("D5"));
    EXPECT_EQ(i->Text(), QStringLiteral("E5"));
    i->OnSetText = [](TField *f, const QString &text) { f->SetAsInteger(int(text.size())); };
    i->SetText(QStringLiteral("abcd"));
    EXPECT_EQ(i->AsInteger(), 4);
}

TEST(FieldDefs, DefinitionsAndIndexDefinitions)
{
    TFieldDefs defs;
    defs.Add(QStringLiteral("Id"), ftSmallint, 0, true);
    defs.Add(QStringLiteral("Name"), ftString, 30);
    EXPECT_EQ(defs.Find(QStringLiteral("NAME"))->FieldNo(), 2);
    EXPECT_TRUE(defs[0]->Required());
    EXPECT_RAISES(defs.Add(QStringLiteral("name"), ftString, 5), EDatabaseError, "Поле «name» названо дважды");
    EXPECT_RAISES(defs.Find(QStringLiteral("X")), EDatabaseError, "Field 'X' not found");
    defs.Delete(0);
    EXPECT_EQ(defs[0]->FieldNo(), 1);

    TIndexDefs indexes;
    indexes.Add(QStringLiteral("ByName"), QStringLiteral("Name"), {ixCaseInsensitive});
    indexes.Add(QStringLiteral("Pk"), QStringLiteral("Id; Name"), {ixPrimary, ixUnique});
    EXPECT_EQ(indexes.GetIndexForFields(QStringLiteral("id;name"), false)->Name(), QStringLiteral("Pk"));
    EXPECT_EQ(indexes.GetIndexForFields(QStringLiteral("Name"), false), nullptr);
    EXPECT_EQ(indexes.FindIndexForFields(QStringLiteral("Name"))->Name(), QStringLiteral("ByName"));
    EXPECT_TRUE(indexes.Find(QStringLiteral("pk"))->Options().Contains(ixUnique));
    EXPECT_RAISES(indexes.Find(QStringLiteral("Q")), EDatabaseError, "Индекс «Q» не найден");
}

namespace {

// Reads its definitions from a "source" only when asked.
class Described : public TVectorDataSet {
public:
    int reads = 0;

protected:
    void InternalInitFieldDefs() override
    {
        ++reads;
        FieldDefs().Clear();
        FieldDefs().Add(QStringLiteral("Id"), ftInteger);
    }
};

} // namespace

TEST(FieldDefs, UpdateReadsTheDefinitionsOfAClosedDataSet)
{
    Described ds;
    EXPECT_EQ(ds.FieldDefs().Count(), 0);
    ds.FieldDefs().Update();
    EXPECT_EQ(ds.reads, 1);
    EXPECT_EQ(ds.FieldDefs()[0]->Name(), QStringLiteral("Id"));
    ds.Open();
    EXPECT_EQ(ds.reads, 2);
    ds.FieldDefs().Update();
    EXPECT_EQ(ds.reads, 2);
    EXPECT_EQ(ds.FieldByName(QStringLiteral("ID"))->FieldNo(), 1);
}

TEST(Fields, NamesAreFoundAgainAfterTheFieldsChange)
{
    // Names found once are remembered: adding, removing and renaming fields
    // must show through at once.
    TVectorDataSet ds;
    TField *a = ds.AddField<TIntegerField>(QStringLiteral("A"));
    TField *b = ds.AddField<TIntegerField>(QStringLiteral("B"));
    EXPECT_EQ(ds.FindField(QStringLiteral("a")), a);
    EXPECT_EQ(ds.FindField(QStringLiteral("B")), b);
    EXPECT_EQ(ds.FindField(QStringLiteral("C")), nullptr);
    TField *c = ds.AddField<TIntegerField>(QStringLiteral("C"));
    EXPECT_EQ(ds.FindField(QStringLiteral("C")), c);
    ds.RemoveField(b);
    EXPECT_EQ(ds.FindField(QStringLiteral("B")), nullptr);
    EXPECT_EQ(ds.GetFieldList(QStringLiteral("A; C")), (std::vector<TField *>{a, c}));
    a->SetFieldName(QStringLiteral("X"));
    EXPECT_EQ(ds.FindField(QStringLiteral("A")), nullptr);
    EXPECT_EQ(ds.FindField(QStringLiteral("x")), a);
    EXPECT_RAISES(ds.FieldByName(QStringLiteral("A")), EDatabaseError, "Field 'A' not found");
    EXPECT_RAISES(c->SetFieldName(QStringLiteral("x")), EDatabaseError, "Поле «x» названо дважды");
    EXPECT_EQ(ds.FindField(QStringLiteral("C")), c);
    EXPECT_EQ(ds.GetFieldList(QStringLiteral(" X ")), std::vector<TField *>{a});
}

TEST(Fields, PersistentFieldsBindToDefinitionsOrFail)
{
    TVectorDataSet ds;
    ds.FieldDefs().Add(QStringLiteral("A"), ftInteger);
    ds.AddField<TStringField>(QStringLiteral("A"), fkData, 10);
    EXPECT_RAISES(ds.Open(), EDatabaseError, "Тип поля «A» не тот: ожидался String, а он Integer");
    EXPECT_FALSE(ds.Active());
    TVectorDataSet other;
    other.FieldDefs().Add(QStringLiteral("A"), ftInteger);
    other.AddField<TIntegerField>(QStringLiteral("B"));
    EXPECT_RAISES(other.Open(), EDatabaseError, "Field 'B' not found");
    TVectorDataSet lookup;
    lookup.FieldDefs().Add(QStringLiteral("A"), ftInteger);
    lookup.AddField<TStringField>(QStringLiteral("L"), fkLookup, 10);
    EXPECT_RAISES(lookup.Open(), EDatabaseError, "Подстановка поля «L» описана не полностью");

    // Default fields of a failed open are dropped: the next open makes them again.
    TVectorDataSet unknown;
    unknown.FieldDefs().Add(QStringLiteral("A"), ftInteger);
    unknown.FieldDefs().Add(QStringLiteral("W"), ftCursor);
    EXPECT_RAISES(unknown.Open(), EDatabaseError, "Field 'W' is of an unknown type");
    EXPECT_EQ(unknown.FieldCount(), 0);
    unknown.FieldDefs().Delete(1);
    unknown.Open();
    EXPECT_TRUE(unknown.DefaultFields());
    EXPECT_EQ(unknown.FieldCount(), 1);
}

namespace {

// Keeps one memo value outside the records, as blob-storing datasets do.
class MemoHolder : public TVectorDataSet {
public:
    QByteArray stored;
    bool has = false;
    MemoHolder()
    {
        FieldDefs().Add(QStringLiteral("M"), ftMemo);
        Open();
        Append();
    }
    bool GetBlobData(TField *, QByteArray &data) const override
    {
        data = stored;
        return has;
    }
    void SetBlobData(TField *, const QByteArray *data) override
    {
        has = data != nullptr;
        stored = data ? *data : QByteArray();
    }
};

} // namespace

TEST(Fields, MemoTextTravelsAsUtf8AndShowsItsKind)
{
    MemoHolder ds;
    TField *m = ds.FieldByName(QStringLiteral("M"));
    EXPECT_TRUE(m->IsBlob());
    EXPECT_TRUE(m->IsNull());
    EXPECT_EQ(m->DisplayText(), QStringLiteral("(Memo)"));
    m->SetAsString(QStringLiteral("Заметка"));
    EXPECT_EQ(ds.stored, QStringLiteral("Заметка").toUtf8());
    EXPECT_EQ(m->AsString(), QStringLiteral("Заметка"));
    EXPECT_EQ(m->Text(), QStringLiteral("Заметка"));
    EXPECT_EQ(m->DisplayText(), QStringLiteral("(MEMO)"));
    m->SetAsString(QString());
    EXPECT_TRUE(m->IsNull());
}
