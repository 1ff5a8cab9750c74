// The program's own message box (ShowNotice), question box (AskDialog) and
// one-line input box (InputLine, InputLineDefault): Russian titles and button
// captions, the system's message font, always centred on the screen.
//
// Each call builds its window, shows it modally (through the window layer's
// modal hook, so tests answer it) and frees it before returning, also when an
// exception passes.
#pragma once

#include "platform/widgets/Forms.h"

#include <QString>
#include <array>
#include <cstdint>

namespace zorbel {

// Dialog type: decides the title and the icon.
enum class TMsgDlgType { mtWarning = 0, mtError = 1, mtInformation = 2, mtConfirmation = 3, mtCustom = 4 };

// Button set: bit i stands for the i-th button kind, shown in bit order.
using TMsgDlgButtons = std::uint16_t;
constexpr TMsgDlgButtons mbYes = 1, mbNo = 2, mbOK = 4, mbCancel = 8, mbAbort = 16, mbRetry = 32,
                         mbIgnore = 64, mbAll = 128, mbNoToAll = 256, mbYesToAll = 512, mbHelp = 1024;
constexpr int MsgDlgButtonKinds = 11;

// The message and question window.
class TMessageForm : public TForm {
    Q_OBJECT
public:
    TMessageForm();
    ~TMessageForm() override;
};

// Shows Text with the single button OK, titled with the application's title.
// Returns 1 for OK (mouse, Enter or Escape), 2 when closed from the title bar.
int ShowNotice(const QString &Text, bool StayOnTop);

// Shows Text with the type's title and icon and the buttons of the set.
// Returns the pressed button's result (Yes 6, No 7, OK 1, Cancel 2 ...), or 2
// when closed from the title bar.
int AskDialog(const QString &Text, TMsgDlgType DlgType, TMsgDlgButtons Buttons, bool StayOnTop);

// One-line input: on OK (or Enter) stores the edited text in Value and
// returns true; on Cancel, Escape or closing leaves Value alone and returns false.
bool InputLine(const QString &Caption, const QString &Prompt, QString &Value, bool StayOnTop);

// Sets Value to Default, then behaves as InputLine.
bool InputLineDefault(const QString &Caption, const QString &Prompt, const QString &Default, bool StayOnTop,
                      QString &Value);

// The file a file dialog's answer names on disk (ReachableName, SysPaths.h:
// Qt's dialogs show a name whose bytes are not UTF-8 with U+FFFD and give it
// back so). Empty, after telling the user, when several names in the folder
// look the same as the answer.
QString ReachableDialogName(const QString &Chosen);

// Button widths measured so far, by kind (0 until a kind is first shown).
const std::array<int, MsgDlgButtonKinds> &MessageButtonWidths();

} // namespace zorbel
