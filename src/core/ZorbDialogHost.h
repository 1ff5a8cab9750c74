// The windows layer's answer to the window-free core: TDialogHost shows the
// data module's and the data-file routines' notices and questions in the
// program's own boxes (TulnDlg.h). The main window's host derives from it;
// so does any host that must show them without the main window.
#pragma once

#include "core/ZorbDm.h"

namespace zorbel {

class TDialogHost : public TDmHost {
public:
    void Notice(const QString &Text) override;
    bool InputLine(const QString &Caption, const QString &Prompt, QString &Value) override;
    void RepaintOwner(QWidget *Owner) override;
};

} // namespace zorbel
