// The small common window (About box and password prompt), the link label,
// and the case-insensitive text search of the reference-book and ledger
// searches.
//
// FindTextNoCase folds letters with the program's own capital table over the
// Windows-1251 repertoire: a character that Windows-1251 can hold is folded
// through its byte (Latin and Russian letters, Ё/ё, the Ukrainian and
// Belarusian letters, Serbian and Macedonian letters), any other character
// only matches itself. The table, by Windows-1251 byte:
//   0x61..0x7A -> 0x41..0x5A  (a..z -> A..Z)
//   0xE0..0xFF -> 0xC0..0xDF  (а..я -> А..Я)
//   0x83->0x81 ѓ->Ѓ   0x90->0x80 ђ->Ђ   0x9A->0x8A љ->Љ   0x9C->0x8C њ->Њ
//   0x9D->0x8D ќ->Ќ   0x9E->0x8E ћ->Ћ   0x9F->0x8F џ->Џ   0xA2->0xA1 ў->Ў
//   0xB3->0xB2 і->І   0xB4->0xA5 ґ->Ґ   0xB8->0xA8 ё->Ё   0xBA->0xAA є->Є
//   0xBC->0xA3 ј->Ј   0xBE->0xBD ѕ->Ѕ   0xBF->0xAF ї->Ї
// every other byte (0xB5 µ included) stays itself.
#pragma once

#include "platform/widgets/ExtCtrls.h"
#include "platform/widgets/Forms.h"
#include "platform/widgets/StdCtrls.h"

#include <QString>

namespace zorbel {

// The capital of a character by the table above.
QChar FoldCapital(QChar c);

// The 1-based position of the first case-insensitive occurrence of
// TextToFind in TextToSearch that begins at or after StartPos, or 0.
// Requires: StartPos >= 1.
int FindTextNoCase(const QString &TextToFind, const QString &TextToSearch, int StartPos);

// A label showing a web or "mailto:" address: blue and underlined, red while
// the mouse is over it; a click opens the address through the shell.
class TUrllabel : public TLabel {
    Q_OBJECT
public:
    explicit TUrllabel(QWidget *parent, const QString &name = {});
    void Click() override;

protected:
    bool ControlEvent(QEvent *event) override;
};

// The About window, also the password prompt: the caller shows EdPas (and
// hides Image1) for the prompt and reads EdPas when it returns 1.
class TFormCommon : public TForm {
    Q_OBJECT
public:
    TFormCommon();
    ~TFormCommon() override;

    TImage *Image1;
    TPanel *PanName;
    TEdit *EdPas;
    // The link labels the About mode adds on showing (nullptr before).
    TUrllabel *LinkMail = nullptr;
    TUrllabel *LinkWeb = nullptr;

    void FormShow(TObject *Sender);
    void FormKeyPress(TObject *Sender, QChar &Key);
    void EdPasKeyPress(TObject *Sender, QChar &Key);
    void Image1Click(TObject *Sender);
};

// The addresses the About window shows and opens.
extern const QString AuthorMailAddress; // "mailto:..."
extern const QString ProgramWebAddress;
extern const QString MakerWebAddress;    // opened by a click on the picture
extern const QString AlternativeAddress; // named in the picture's hint

// The program's version as four numbers joined by points, from the build.
QString ProgramVersionText();

} // namespace zorbel
