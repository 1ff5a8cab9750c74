// The texts of the dialogs a modal script answered, in order (a message
// box's text, or a window's caption), for failure messages and checks.
#pragma once

#include "platform/widgets/ModalScript.h"

#include <QStringList>

namespace zorbel::test {

inline QStringList Texts(const TModalScript &script)
{
    QStringList texts;
    for (const auto &seen : script.Seen())
        texts << (seen.Text.isEmpty() ? seen.Caption : seen.Text);
    return texts;
}

} // namespace zorbel::test
