// Basic vocabulary of the window layer: the root object that event handlers
// receive as Sender, components with a name and a tag, shift states, virtual
// key codes, shortcuts and modal result codes (colours come from the canvas).
//
// Key codes are the Windows virtual-key numbers the program's handlers compare
// against (VK_RETURN 13, VK_F1 112, letters and digits by their ASCII capital).
// A shortcut packs a key code with modifier bits in one 16-bit word, as menus
// store it: bit 13 Shift, bit 14 Ctrl, bit 15 Alt.
#pragma once

#include "platform/canvas/Graphics.h"
#include "platform/rtl/ModalResults.h"
#include <QString>
#include <cstdint>
#include <functional>

namespace zorbel {

// Root of everything that can be an event's Sender.
class TObject {
public:
    TObject() = default;
    TObject(const TObject &) = delete;
    TObject &operator=(const TObject &) = delete;
    virtual ~TObject() = default;
};

// A named object with an integer tag that shared handlers branch on.
class TComponent : public TObject {
public:
    virtual QString Name() const { return name_; }
    virtual void SetName(const QString &name) { name_ = name; }
    int Tag() const { return tag_; }
    void SetTag(int tag) { tag_ = tag; }

private:
    QString name_;
    int tag_ = 0;
};

using TNotifyEvent = std::function<void(TObject *Sender)>;

// Modifier keys and mouse buttons held during an input event.
using TShiftState = unsigned;
constexpr TShiftState ssShift = 1, ssAlt = 2, ssCtrl = 4, ssLeft = 8, ssRight = 16, ssMiddle = 32,
                      ssDouble = 64;
// The keyboard modifiers alone, without mouse buttons.
constexpr TShiftState KeyModifiers(TShiftState s) { return s & (ssShift | ssAlt | ssCtrl); }

using WORD = std::uint16_t;

// Virtual key codes the program tests.
constexpr WORD VK_BACK = 8, VK_TAB = 9, VK_RETURN = 13, VK_SHIFT = 16, VK_CONTROL = 17, VK_MENU = 18,
               VK_ESCAPE = 27, VK_SPACE = 32, VK_PRIOR = 33, VK_NEXT = 34, VK_END = 35, VK_HOME = 36,
               VK_LEFT = 37, VK_UP = 38, VK_RIGHT = 39, VK_DOWN = 40, VK_INSERT = 45, VK_DELETE = 46,
               VK_NUMPAD0 = 96, VK_MULTIPLY = 106, VK_ADD = 107, VK_SUBTRACT = 109, VK_DECIMAL = 110,
               VK_DIVIDE = 111, VK_F1 = 112, VK_F2 = 113, VK_F3 = 114, VK_F4 = 115, VK_F5 = 116,
               VK_F6 = 117, VK_F7 = 118, VK_F8 = 119, VK_F9 = 120, VK_F10 = 121, VK_F11 = 122,
               VK_F12 = 123, VK_OEM_PLUS = 187, VK_OEM_MINUS = 189, VK_OEM_5 = 220;

// Menu shortcut: key code with modifier bits.
using TShortCut = std::uint16_t;
constexpr TShortCut scShift = 0x2000, scCtrl = 0x4000, scAlt = 0x8000;
constexpr TShortCut ShortCut(WORD key, TShiftState shift)
{
    return TShortCut((key & 0x0FFF) | ((shift & ssShift) ? scShift : 0) | ((shift & ssCtrl) ? scCtrl : 0) |
                     ((shift & ssAlt) ? scAlt : 0));
}
// The text a menu shows for a shortcut ("Ctrl+F3", "Shift+Ins", "Ctrl+\").
QString ShortCutToText(TShortCut shortcut);



} // namespace zorbel
