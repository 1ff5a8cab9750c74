// The program's settings as stored in the registry key
// "Software\Ventaro\Zorbel": 139 named values of four kinds (string,
// integer, Boolean, bytes). TMainOptions holds the values that are fields of
// the main window under their own (or a given) name; TMainLayout those that go
// straight to controls of the main window. TZorbSettings is both plus the
// recent data file, and the table SettingDefs() lists every value once, in
// the order in which they are written, with its field and what a missing
// value means. The members' initial values are the defaults.
//
// Reading never stops at a bad value: a value of another kind than the table
// gives (or a character set above 255) is read as its default, and its name is
// reported to the caller.
#pragma once

#include <QByteArray>
#include <QList>
#include <QRect>
#include <QString>
#include <QStringList>

#include <span>
#include <variant>

namespace zorbel {

class TRegistry;

// Options read by the windows of the program (fields of TFormMain).
struct TMainOptions {
    bool ShowBar = true;     // value "Bar": the tool bar PanTop is visible
    bool ShowStatus = true;  // value "Status": the status bar Sb is visible
    bool Mem_Sum = true, Mem_Price = true, Mem_Quant = true, Mem_Rate = true, Mem_Prs = true, Mem_Frm = true,
         Mem_Comm = true;    // the card fills the values its category remembers
    int Format_Qnt = 0, Format_Prc = 3, Format_Rte = 3; // digits: 0 as entered, 1 four ... 5 none
    int TreeFilter = 0;      // value "Tree": alternative category tree shown, 0 all
    int LastPacket = 0;      // value "AddPack": packet of the last batch entry
    bool FConfirm = true;    // ask before closing
    bool Grp_Conf = true;    // confirmation in batch entry
    bool QuantDefault = false; // value "Quant": quantity 1 when left empty
    bool AutoSum = false;    // compute the third of sum, price and quantity
    bool Last_Date = false;  // entry date := date of the last operation at opening
    bool Acc_Def = true;     // stay on the default account at opening
    bool LimQuant = false, LimPlan = false, LimSum = false;
    int LimFilter = 0;
    bool DiffSum = false, DiffAcc = false;
    bool Escape = false;     // Escape closes the main window
    int AutoCor = 0;         // always recompute: 0 nothing, 1 quantity, 2 price, 3 sum
    int LimLev = 0, DiffLev = 0;
    int Day1 = 0, Day2 = 0;  // birthday reminders: days before and after
    QString CSV = QStringLiteral(";"); // one character: grid export separator
    QString Rem_Flag;        // one character: the mark of a reminder row
    // The calculator F9 starts. The default names another system's program,
    // which settings files carry: it, like an empty value, stands for the
    // program's own calculator (IsOwnCalculator).
    QString Calc = QStringLiteral("calc.exe");
    QString PathReserve, PathBak, SaveDir, ImpList, ImpDelims;
    QString DateForm = QStringLiteral("dd.mm.yy ddd");
    bool Res_Max = false;
    int Res_Left = 20, Res_Width = 750, Res_Top = 5, Res_Height = 560;
    int Res_Wdt = 0, Res_Ord = 0, Res_Stat = 0;
    bool Res_Bar = false, Res_Desc = false, Res_Legend = false, Res_LegBar = false;
    int Res_Bars = 0, Res_Dyn = 0, Res_Diag = 1, Res_Day = 0;
    int Itm_Left = 4, Itm_Width = 790, Itm_Top = 4, Itm_Height = 460, Itm_Wdt = 455;
    bool Itm_Max = false;
    int Lim_Left = 4, Lim_Width = 790, Lim_Top = 4, Lim_Height = 400;
    bool Lim_Max = false;
    int Bal_Left = 4, Bal_Width = 790, Bal_Top = 4, Bal_Height = 515;
    int BalCur = 0, BalSel = 0, BalYear = 0, BalEqv = 0;
    int Mrk_Left = 4, Mrk_Width = 790, Mrk_Top = 4, Mrk_Height = 200;
    int Diff_Left = 4, Diff_Width = 790, Diff_Top = 4, Diff_Height = 400;
    bool Diff_Max = false;
    int Acc_Left = 4, Acc_Width = 530, Acc_Top = 4, Acc_Height = 360;
    int RstEd_Left = 4, RstEd_Width = 460, RstEd_Top = 4, RstEd_Height = 380;
    int Days_Left = 260, Days_Width = 390, Days_Top = 80, Days_Height = 350;
    int Card_Left = 155, Card_Width = 530, Card_Top = 85, Card_Height = 420;
    int Com_Left = 170, Com_Width = 500, Com_Top = 80, Com_Height = 370;
    int Sets_Height = 565, Sets_Width = 485;
    int RestDt = 0;          // bit set of the balances window's check boxes; written only above 0
    QString Col_Rst, Col_Mrk, Col_Lim, Sum_Lim, Col_Diff, Col_Acc; // column layouts of other windows
};

// Values that the main window applies to its controls (designed values as
// initial values; a missing value leaves the control as designed).
struct TMainLayout {
    int Left = 93, Top = 86, Width = 804, Height = 544;
    int Wdt_Itm = 185;       // width of the tree panel PanD
    bool MainMaxim = false;  // maximized
    int Sel_Per = -1;        // item of the period box CbPer; -1 none
    int AcRest_Width = 340;  // width of PanAcRest, applied only above 50
    QString F1_Name = QStringLiteral("Arial"); // data font of the main grid
    int F1_CharSet = 204, F1_Size = 8, F1_Color = 0;
    bool F1_Bold = false;
    QString F2_Name = QStringLiteral("Arial"); // title font of the main grid
    int F2_CharSet = 204, F2_Size = 8, F2_Color = 0;
    bool F2_Bold = false;
    QString Col_Pers, Col_Fam, Col_Log, Col_Firm, Col_PF; // column layouts of the main window's grids
    QByteArray Grid;         // columns of the main grid DBG
};

struct TZorbSettings : TMainOptions, TMainLayout {
    QString Recent_Catalog;  // the data file open at the last close
};

enum class TSettingKind { String, Integer, Boolean, Binary };

// What a missing value does to its field.
enum class TIfMissing {
    Default, // the field takes the table's default (the member's initial value)
    Keep,    // the field (a control's designed state) stays as it is
};

struct TSettingDef {
    const char *Name;
    std::variant<QString TZorbSettings::*, int TZorbSettings::*, bool TZorbSettings::*,
                 QByteArray TZorbSettings::*>
        Field;
    TIfMissing IfMissing = TIfMissing::Default;

    TSettingKind Kind() const { return TSettingKind(Field.index()); }
};

// The 139 values in the order in which they are written.
std::span<const TSettingDef> SettingDefs();

// The registry key of the settings.
QString SettingsKey();

// Calc names no program to start: it is empty or the stored default
// "calc.exe", and F9 opens the program's own calculator.
bool IsOwnCalculator(const QString &Calc);

// Window bounds read from the settings, made visible: a size that is not
// positive becomes Fallback's, a size larger than the free area of a screen
// is cut to it, and the window is moved into the area it overlaps most (the
// first one when it overlaps none). Areas: the screens' free areas, the
// primary first; with none the bounds are only given a positive size.
QRect ClampWindowBounds(const QRect &Wanted, const QList<QRect> &Areas, const QSize &Fallback);

// Reads every value of the current key of reg into s (Recent_Catalog too).
// Values of the wrong kind take their default; their names go to badValues.
void ReadSettings(const TRegistry &reg, TZorbSettings &s, QStringList *badValues);
// Writes every value of s into the current key of reg in the table's order;
// RestDt only when above 0 and Grid only when not empty.
void WriteSettings(TRegistry &reg, const TZorbSettings &s);

} // namespace zorbel
