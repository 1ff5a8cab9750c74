// Notices and questions of the window-free core, shown in the program's boxes.
#include "core/ZorbDialogHost.h"

#include "core/TulnDlg.h"

#include <QWidget>

namespace zorbel {

void TDialogHost::Notice(const QString &Text)
{
    ShowNotice(Text, false);
}

bool TDialogHost::InputLine(const QString &Caption, const QString &Prompt, QString &Value)
{
    return zorbel::InputLine(Caption, Prompt, Value, false);
}

void TDialogHost::RepaintOwner(QWidget *Owner)
{
    if (Owner)
        Owner->repaint();
}

} // namespace zorbel
