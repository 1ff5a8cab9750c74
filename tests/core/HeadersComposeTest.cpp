// The program's windows include the archive, the tables, the memory tables and
// the window layer in one unit: their names must not collide, and the shared
// constants must mean the same everywhere.
#include "archive/ZipReader.h"
#include "archive/ZipWriter.h"
#include "core/TulnDlg.h"
#include "core/ZorbDm.h"
#include "memtable/VemtMemTable.h"
#include "platform/dataset/DBTypes.h"
#include "platform/sqltable/Table.h"
#include "platform/widgets/Buttons.h"
#include "platform/widgets/ComCtrls.h"
#include "platform/widgets/ExtCtrls.h"
#include "platform/widgets/Forms.h"
#include "platform/widgets/Menus.h"
#include "platform/widgets/StdCtrls.h"

#include <gtest/gtest.h>

using namespace zorbel;

TEST(HeadersCompose, ModalResultsAreTheDialogResults)
{
    // AskDialog answers 6 Yes, 7 No, 1 OK, 2 Cancel; the zip component's
    // message-box hook and ShowModal use the same numbers.
    EXPECT_EQ(mrOk, 1);
    EXPECT_EQ(mrCancel, 2);
    EXPECT_EQ(mrYes, 6);
    EXPECT_EQ(mrNo, 7);
    EXPECT_EQ(mrYesToAll, 10);
    TLabel label(nullptr);
    label.SetAlignment(taRightJustify); // the dataset's alignment drives the controls
    EXPECT_TRUE(label.alignment() & Qt::AlignRight);
}
