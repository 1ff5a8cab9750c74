// Speed buttons (tool buttons that may stay down, in groups) and bit buttons
// (push buttons with a glyph).
//
// Speed buttons with the same GroupIndex (above 0) under the same parent form
// a group: pressing one releases the others. With AllowAllUp a pressed button
// of the group releases on a click, so all may be up; a button alone in its
// group with AllowAllUp is a toggle.
#pragma once

#include "platform/widgets/StdCtrls.h"

#include <QToolButton>

namespace zorbel {

class TSpeedButton : public QToolButton, public TControl {
    Q_OBJECT
public:
    explicit TSpeedButton(QWidget *parent, const QString &name = {});
    QString Caption() const { return text(); }
    void SetCaption(const QString &caption);
    void SetGlyph(const QPixmap &glyph);
    int GroupIndex() const { return groupIndex_; }
    void SetGroupIndex(int group);
    bool AllowAllUp() const { return allowAllUp_; }
    void SetAllowAllUp(bool allow);
    bool Down() const { return isChecked(); }
    // Setting Down releases the others of the group; it fires nothing.
    void SetDown(bool down);
    void SetFlat(bool flat) { setAutoRaise(flat); }
    // Fires OnClick alone, without toggling: code that calls Click runs the
    // button's handler and leaves the group's state to the handler.
    void Click() override { Fire(OnClick, this); }
    // Presses as the user would: the button toggles by the group's rules,
    // then OnClick.
    void Press();

private:
    void ReleaseOthers();
    // Applies the group's rules after Qt toggled the button, then OnClick.
    void Pressed();
    int groupIndex_ = 0;
    bool allowAllUp_ = false;
    bool pressing_ = false;
};

enum class TButtonLayout { blGlyphLeft, blGlyphRight, blGlyphTop, blGlyphBottom };

class TBitBtn : public TButton {
    Q_OBJECT
public:
    explicit TBitBtn(QWidget *parent, const QString &name = {});
    void SetGlyph(const QPixmap &glyph);
    void SetLayout(TButtonLayout layout);
};

} // namespace zorbel
