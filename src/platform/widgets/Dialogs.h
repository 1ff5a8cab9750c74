// TFontDialog: the font dialog, a modal window that
// offers the system's fonts (Qt's font chooser embedded in a TForm), so it is
// shown and answered through the same modal hook as every other window.
#pragma once

#include "platform/widgets/Forms.h"

#include <QFont>

class QFontDialog;

namespace zorbel {

class TButton;

class TFontDialog {
public:
    TFontDialog() = default;
    TFontDialog(const TFontDialog &) = delete;
    TFontDialog &operator=(const TFontDialog &) = delete;

    QFont Font() const { return font_; }
    void SetFont(const QFont &font) { font_ = font; }
    // Shows the dialog on Font; true when the user confirmed a choice, which
    // then is the new Font.
    bool Execute();

private:
    QFont font_;
};

// The window TFontDialog shows ("Шрифт"): the chooser Chooser and the buttons
// ButOk and ButCancel.
class TFontForm : public TForm {
    Q_OBJECT
public:
    explicit TFontForm(const QFont &font);
    ~TFontForm() override;
    QFontDialog *Chooser;
    TButton *ButOk, *ButCancel;
    QFont SelectedFont() const;
};

} // namespace zorbel
