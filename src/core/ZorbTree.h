// TFormTree: "Деревья", five check boxes for the alternative trees a category
// belongs to, with OK and Cancel. The category search window fills and reads it.
#pragma once

#include "platform/widgets/Forms.h"
#include "platform/widgets/StdCtrls.h"

#include <array>

namespace zorbel {

class TFormTree : public TForm {
    Q_OBJECT
public:
    TFormTree();
    ~TFormTree() override;

    TCheckBox *Ch1, *Ch2, *Ch3, *Ch4, *Ch5;
    TButton *ButOk, *ButCancel;

    // The boxes as tree bits (1 for Ch1 .. 16 for Ch5), and back.
    int Bits() const;
    void SetBits(int Bits);

private:
    std::array<TCheckBox *, 5> boxes() const { return {Ch1, Ch2, Ch3, Ch4, Ch5}; }
};

} // namespace zorbel
