// The main window's batch entry: Ctrl+0..Ctrl+9 and "Па&кеты..." start
// EnterPacket, which shows the packet window when asked to (or when the
// packet has no sums), asks for confirmation and writes the packet.
#include "core/ZorbGrp.h"
#include "platform/rtl/StrUtils.h"
#include "core/ZorbMain.h"
#include "core/ZorbPacket.h"
#include "core/TulnDlg.h"
#include "platform/rtl/Format.h"

namespace zorbel {

void TFormMain::BuildPacketCommands()
{
    mPacks->SetVisible(true);
    mPacks->OnClick = [this](TObject *s) { mpPackClick(s); };
    mpPack->OnClick = [this](TObject *s) { mpPackClick(s); };
    mpPack->SetVisible(mCt->Checked());
    // Ctrl+digit reaches the window before the focused control.
    SetKeyPreview(true);
    TKeyEvent previous = OnKeyDown;
    OnKeyDown = [this, previous](TObject *Sender, WORD &Key, TShiftState Shift) {
        if (PacketKey(Key, Shift)) {
            Key = 0;
            return;
        }
        if (previous)
            previous(Sender, Key, Shift);
    };
}

bool TFormMain::PacketKey(WORD Key, TShiftState Shift)
{
    if (KeyModifiers(Shift) != ssCtrl || Key < '0' || Key > '9' || !mCt->Checked() || !Dm ||
        !Dm->Tb_Items.Active())
        return false;
    EnterPacket(Key - '0', Grp_Conf);
    return true;
}

void TFormMain::mpPackClick(TObject *) { EnterPacket(PacketFromSetting(LastPacket), true); }

void TFormMain::EnterPacket(int Digit, bool ShowWindow)
{
    if (!mCt->Checked() || !Dm)
        return;
    int count = 0;
    // The confirmation, when asked for; true to write.
    const auto confirmed = [&](double sum) {
        return !Grp_Conf ||
               AskDialog(U("Вы уверены, что хотите выполнить пакетный ввод данных") + u'\r' + QString::number(count) +
                             U(" строк на сумму ") + FormatFloat(QStringLiteral("#,##0.00"), sum) + u'?',
                         TMsgDlgType::mtConfirmation, mbYes | mbNo, false) == mrYes;
    };
    if (!ShowWindow) {
        OpenPacket(*Dm, Digit);
        const double sum = Dm->SumPacket(count);
        if (sum != 0) {
            if (confirmed(sum)) {
                packetDigit_ = Digit;
                WritePacket();
            }
            return;
        }
    }
    TFormGrp form(*this);
    form.CbGrp->SetItemIndex(Digit);
    form.ChConf->SetChecked(Grp_Conf);
    // The packet is written while the window is still open: when the ledger
    // refuses it, the window stays on the lines as they were typed.
    form.OnAccept = [&] {
        LastPacket = Digit = std::max(0, form.CbGrp->ItemIndex());
        Grp_Conf = form.ChConf->Checked();
        const double sum = Dm->SumPacket(count);
        if (sum == 0) {
            ShowNotice(U("Не внесены суммы!"), false);
            return true;
        }
        if (!confirmed(sum))
            return true;
        packetDigit_ = Digit;
        return WritePacket(true);
    };
    form.ShowModal();
    Repaint();
    LastPacket = std::max(0, form.CbGrp->ItemIndex());
    Grp_Conf = form.ChConf->Checked();
}

bool TFormMain::WritePacket(bool KeepLines)
{
    TPacketOptions options;
    options.Mem_Price = Mem_Price;
    options.Mem_Quant = Mem_Quant;
    options.Mem_Prs = Mem_Prs;
    options.Mem_Frm = Mem_Frm;
    options.Mem_Comm = Mem_Comm;
    options.Mem_Rate = Mem_Rate;
    TPacketResult result;
    try {
        result = WritePacketLines(*Dm, packetDigit_, EntryDate, Date(), options);
    } catch (const Exception &e) {
        if (KeepLines)
            OpenPacket(*Dm, packetDigit_);
        else
            Dm->Qgrp.Close();
        UpdateBalances(false, 0);
        ShowNotice(U("Пакет не записан: ") + e.Message(), false);
        return false;
    }
    // The balance was written with the operations; only the totals follow.
    UpdateBalances(false, 0);
    if (!result.NotWritten.isEmpty())
        ShowNotice(U("Не записаны строки пакета:\r") + result.NotWritten.join(u'\r'), false);
    return true;
}

} // namespace zorbel
