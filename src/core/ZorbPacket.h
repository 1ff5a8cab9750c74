// Batch entry by packets without its window: which categories a packet
// lists, adding and removing a packet's digit, the packet's total and the
// writing of a packet as expense operations.
//
// A packet is one of ten lists "0".."9". A category belongs to a packet when
// its TB_ITEMS.Grp (up to 10 characters) holds the packet's digit; each digit
// appears at most once, in the order packets were added. The data module's
// live query Qgrp lists a packet's categories of kind "-" or "0"; its rows
// are the packet's lines, each with the values the category remembers:
//   Sm sum, Pr price, Qn quantity, Comm comment, Id_Prs person, Id_Frm firm,
//   S  line switch: "N" leaves the line out, empty takes it in.
// A line is written when it is switched in and its sum is above 0; only such
// lines count in the packet's total.
#pragma once

#include "platform/rtl/DateTime.h"

#include <QString>
#include <QStringList>
#include <cstdint>

namespace zorbel {

class TDm;

// The packet shown for a remembered packet number (a value outside 0..9 is 1).
int PacketFromSetting(int LastPacket);

// Grp with Digit appended; unchanged when Digit is already there or Grp is full.
QString AddPacketDigit(const QString &Grp, int Digit);
// Grp without the first occurrence of Digit.
QString RemovePacketDigit(const QString &Grp, int Digit);

// Reopens Qgrp on packet Digit (0..9). A failure to open is swallowed and
// leaves Qgrp closed; returns whether Qgrp is open.
bool OpenPacket(TDm &dm, int Digit);

// What the writing copies from a line besides its sum (the settings Mem_*).
struct TPacketOptions {
    bool Mem_Price = true, Mem_Quant = true, Mem_Prs = true, Mem_Frm = true, Mem_Comm = true, Mem_Rate = true;
};

struct TPacketResult {
    int Written = 0;         // operations written
    int64_t Delta = 0;       // change of the account's stored balance, units of 1/10000
    bool Realised = false;   // the operations are realised (entry date not after today)
    QStringList NotWritten;  // names of lines whose operation could not be posted
};

// Writes the open packet (Qgrp, or packet Digit when it is closed) as expense
// operations of the current account on EntryDate: one per line switched in
// with a sum above 0, in query order. Kind "1" when EntryDate is not after
// Today, else "2" (planned, the balance unchanged). A line whose category
// chain does not end at a root is skipped silently; a line whose post fails
// is left out and named in NotWritten, and the rest go on. The operations and
// the account's new Rest are written in one transaction (a failure of Rest
// undoes the operations and passes on). Qgrp is closed afterwards.
// Requires: Tb_Hist and Tb_Account open on the current account.
TPacketResult WritePacketLines(TDm &dm, int Digit, TDateTime EntryDate, TDateTime Today,
                               const TPacketOptions &Options);

} // namespace zorbel
