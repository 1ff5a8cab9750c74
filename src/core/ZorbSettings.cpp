// The settings values and their reading and writing (see ZorbSettings.h).
#include "core/ZorbSettings.h"

#include "platform/rtl/Exceptions.h"
#include "platform/system/Registry.h"

namespace zorbel {

namespace {

using S = TZorbSettings;
constexpr TIfMissing Keep = TIfMissing::Keep;

// name | field | missing value. In the order of writing; Recent_Catalog first.
const TSettingDef Defs[] = {
    {"Recent_Catalog", &S::Recent_Catalog},
    {"Left", &S::Left, Keep}, {"Top", &S::Top, Keep}, {"Width", &S::Width, Keep}, {"Height", &S::Height, Keep},
    {"Wdt_Itm", &S::Wdt_Itm, Keep},
    {"MainMaxim", &S::MainMaxim},
    {"Sel_Per", &S::Sel_Per, Keep},
    {"Bar", &S::ShowBar}, {"Status", &S::ShowStatus},
    {"Mem_Sum", &S::Mem_Sum}, {"Mem_Price", &S::Mem_Price}, {"Mem_Quant", &S::Mem_Quant},
    {"Mem_Rate", &S::Mem_Rate}, {"Mem_Prs", &S::Mem_Prs}, {"Mem_Frm", &S::Mem_Frm}, {"Mem_Comm", &S::Mem_Comm},
    {"Format_Qnt", &S::Format_Qnt}, {"Format_Prc", &S::Format_Prc}, {"Format_Rte", &S::Format_Rte},
    {"Tree", &S::TreeFilter}, {"AddPack", &S::LastPacket},
    {"FConfirm", &S::FConfirm}, {"Grp_Conf", &S::Grp_Conf}, {"Quant", &S::QuantDefault},
    {"AutoSum", &S::AutoSum}, {"Last_Date", &S::Last_Date}, {"Acc_Def", &S::Acc_Def},
    {"LimQuant", &S::LimQuant}, {"LimPlan", &S::LimPlan}, {"LimSum", &S::LimSum}, {"LimFilter", &S::LimFilter},
    {"DiffSum", &S::DiffSum}, {"DiffAcc", &S::DiffAcc}, {"Escape", &S::Escape}, {"AutoCor", &S::AutoCor},
    {"LimLev", &S::LimLev}, {"DiffLev", &S::DiffLev}, {"Day1", &S::Day1}, {"Day2", &S::Day2},
    {"CSV", &S::CSV}, {"Rem_Flag", &S::Rem_Flag}, {"Calc", &S::Calc},
    {"PathReserve", &S::PathReserve}, {"PathBak", &S::PathBak}, {"SaveDir", &S::SaveDir},
    {"ImpList", &S::ImpList}, {"ImpDelims", &S::ImpDelims}, {"DateForm", &S::DateForm},
    {"Res_Max", &S::Res_Max}, {"Res_Left", &S::Res_Left}, {"Res_Width", &S::Res_Width},
    {"Res_Top", &S::Res_Top}, {"Res_Height", &S::Res_Height}, {"Res_Wdt", &S::Res_Wdt},
    {"Res_Ord", &S::Res_Ord}, {"Res_Stat", &S::Res_Stat}, {"Res_Bar", &S::Res_Bar},
    {"Res_Desc", &S::Res_Desc}, {"Res_Legend", &S::Res_Legend}, {"Res_LegBar", &S::Res_LegBar},
    {"Res_Bars", &S::Res_Bars}, {"Res_Dyn", &S::Res_Dyn}, {"Res_Diag", &S::Res_Diag}, {"Res_Day", &S::Res_Day},
    {"Itm_Left", &S::Itm_Left}, {"Itm_Width", &S::Itm_Width}, {"Itm_Top", &S::Itm_Top},
    {"Itm_Height", &S::Itm_Height}, {"Itm_Wdt", &S::Itm_Wdt}, {"Itm_Max", &S::Itm_Max},
    {"Lim_Left", &S::Lim_Left}, {"Lim_Width", &S::Lim_Width}, {"Lim_Top", &S::Lim_Top},
    {"Lim_Height", &S::Lim_Height}, {"Lim_Max", &S::Lim_Max},
    {"Bal_Left", &S::Bal_Left}, {"Bal_Width", &S::Bal_Width}, {"Bal_Top", &S::Bal_Top},
    {"Bal_Height", &S::Bal_Height}, {"BalCur", &S::BalCur}, {"BalSel", &S::BalSel}, {"BalYear", &S::BalYear},
    {"BalEqv", &S::BalEqv},
    {"Mrk_Left", &S::Mrk_Left}, {"Mrk_Width", &S::Mrk_Width}, {"Mrk_Top", &S::Mrk_Top},
    {"Mrk_Height", &S::Mrk_Height},
    {"Diff_Left", &S::Diff_Left}, {"Diff_Width", &S::Diff_Width}, {"Diff_Top", &S::Diff_Top},
    {"Diff_Height", &S::Diff_Height}, {"Diff_Max", &S::Diff_Max},
    {"Acc_Left", &S::Acc_Left}, {"Acc_Width", &S::Acc_Width}, {"Acc_Top", &S::Acc_Top},
    {"Acc_Height", &S::Acc_Height},
    {"RstEd_Left", &S::RstEd_Left}, {"RstEd_Width", &S::RstEd_Width}, {"RstEd_Top", &S::RstEd_Top},
    {"RstEd_Height", &S::RstEd_Height},
    {"Days_Left", &S::Days_Left}, {"Days_Width", &S::Days_Width}, {"Days_Top", &S::Days_Top},
    {"Days_Height", &S::Days_Height},
    {"Card_Left", &S::Card_Left}, {"Card_Width", &S::Card_Width}, {"Card_Top", &S::Card_Top},
    {"Card_Height", &S::Card_Height},
    {"Com_Left", &S::Com_Left}, {"Com_Width", &S::Com_Width}, {"Com_Top", &S::Com_Top},
    {"Com_Height", &S::Com_Height},
    {"Sets_Height", &S::Sets_Height}, {"Sets_Width", &S::Sets_Width},
    {"AcRest_Width", &S::AcRest_Width, Keep},
    {"RestDt", &S::RestDt, Keep},
    {"F1_Name", &S::F1_Name, Keep}, {"F1_CharSet", &S::F1_CharSet, Keep}, {"F1_Size", &S::F1_Size, Keep},
    {"F1_Color", &S::F1_Color, Keep}, {"F1_Bold", &S::F1_Bold, Keep},
    {"F2_Name", &S::F2_Name, Keep}, {"F2_CharSet", &S::F2_CharSet, Keep}, {"F2_Size", &S::F2_Size, Keep},
    {"F2_Color", &S::F2_Color, Keep}, {"F2_Bold", &S::F2_Bold, Keep},
    {"Col_Pers", &S::Col_Pers}, {"Col_Fam", &S::Col_Fam}, {"Col_Log", &S::Col_Log},
    {"Col_Firm", &S::Col_Firm}, {"Col_PF", &S::Col_PF}, {"Col_Rst", &S::Col_Rst},
    {"Col_Mrk", &S::Col_Mrk}, {"Col_Lim", &S::Col_Lim}, {"Sum_Lim", &S::Sum_Lim},
    {"Col_Diff", &S::Col_Diff}, {"Col_Acc", &S::Col_Acc},
    {"Grid", &S::Grid, Keep},
};
static_assert(std::size(Defs) == 139);

// Sets the field of def in s to the same field of from.
void CopyField(const TSettingDef &def, TZorbSettings &s, const TZorbSettings &from)
{
    std::visit([&](auto member) { s.*member = from.*member; }, def.Field);
}

// Reads one present value into its field; raises on a value of another kind.
void ReadValue(const TRegistry &reg, const TSettingDef &def, TZorbSettings &s)
{
    const QString name = QString::fromLatin1(def.Name);
    switch (def.Kind()) {
    case TSettingKind::String: {
        QString text = reg.ReadString(name);
        if (name == QLatin1String("CSV") || name == QLatin1String("Rem_Flag"))
            text = text.left(1);
        s.*std::get<QString S::*>(def.Field) = text;
        break;
    }
    case TSettingKind::Integer: {
        const int value = reg.ReadInteger(name);
        if ((name == QLatin1String("F1_CharSet") || name == QLatin1String("F2_CharSet")) &&
            (value < 0 || value > 255))
            throw Exception(QStringLiteral("Range check error for '%1'").arg(name));
        s.*std::get<int S::*>(def.Field) = value;
        break;
    }
    case TSettingKind::Boolean:
        s.*std::get<bool S::*>(def.Field) = reg.ReadBool(name);
        break;
    case TSettingKind::Binary: {
        const int size = reg.GetDataSize(name);
        QByteArray bytes(size > 0 ? size : 0, '\0');
        if (size > 0)
            reg.ReadBinaryData(name, bytes.data(), size);
        // An empty block is not applied.
        if (!bytes.isEmpty())
            s.*std::get<QByteArray S::*>(def.Field) = bytes;
        break;
    }
    }
}

} // namespace

std::span<const TSettingDef> SettingDefs() { return Defs; }

QString SettingsKey() { return QStringLiteral("Software\\Ventaro\\Zorbel"); }

bool IsOwnCalculator(const QString &Calc)
{
    const QString program = Calc.trimmed();
    return program.isEmpty() || program.compare(QStringLiteral("calc.exe"), Qt::CaseInsensitive) == 0;
}

void ReadSettings(const TRegistry &reg, TZorbSettings &s, QStringList *badValues)
{
    const TZorbSettings defaults;
    for (const TSettingDef &def : Defs) {
        const QString name = QString::fromLatin1(def.Name);
        if (!reg.ValueExists(name)) {
            if (def.IfMissing == TIfMissing::Default)
                CopyField(def, s, defaults);
            continue;
        }
        try {
            ReadValue(reg, def, s);
        } catch (const Exception &) {
            // One value of the wrong kind (edited by hand, or left by another
            // version) takes its default; the rest still apply, and the
            // program starts instead of failing at its first window.
            CopyField(def, s, defaults);
            if (badValues)
                badValues->append(name);
        }
    }
}

void WriteSettings(TRegistry &reg, const TZorbSettings &s)
{
    for (const TSettingDef &def : Defs) {
        const QString name = QString::fromLatin1(def.Name);
        switch (def.Kind()) {
        case TSettingKind::String:
            reg.WriteString(name, s.*std::get<QString S::*>(def.Field));
            break;
        case TSettingKind::Integer: {
            const int value = s.*std::get<int S::*>(def.Field);
            if (name == QLatin1String("RestDt") && value <= 0)
                break;
            reg.WriteInteger(name, value);
            break;
        }
        case TSettingKind::Boolean:
            reg.WriteBool(name, s.*std::get<bool S::*>(def.Field));
            break;
        case TSettingKind::Binary: {
            const QByteArray &bytes = s.*std::get<QByteArray S::*>(def.Field);
            if (!bytes.isEmpty())
                reg.WriteBinaryData(name, bytes.constData(), int(bytes.size()));
            break;
        }
        }
    }
}

} // namespace zorbel

namespace zorbel {

QRect ClampWindowBounds(const QRect &Wanted, const QList<QRect> &Areas, const QSize &Fallback)
{
    int width = Wanted.width() > 0 ? Wanted.width() : Fallback.width();
    int height = Wanted.height() > 0 ? Wanted.height() : Fallback.height();
    if (Areas.isEmpty())
        return QRect(Wanted.left(), Wanted.top(), width, height);
    // The area the window overlaps most.
    QRect area = Areas.first();
    qint64 best = 0;
    for (const QRect &a : Areas) {
        const QRect common = a.intersected(QRect(Wanted.left(), Wanted.top(), width, height));
        const qint64 overlap = common.isEmpty() ? 0 : qint64(common.width()) * common.height();
        if (overlap > best) {
            best = overlap;
            area = a;
        }
    }
    width = std::min(width, area.width());
    height = std::min(height, area.height());
    const int left = std::clamp(Wanted.left(), area.left(), area.left() + area.width() - width);
    const int top = std::clamp(Wanted.top(), area.top(), area.top() + area.height() - height);
    return QRect(left, top, width, height);
}

} // namespace zorbel
