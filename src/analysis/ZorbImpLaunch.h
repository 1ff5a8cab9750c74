// The main window's import command: opens the import window over the main
// window's data module and state, and takes the field separator back.
#pragma once

namespace zorbel {

class TFormMain;

// Creates TFormImp (FormImp refers to it while it exists) with the field
// separator box seeded from the main window's CSV setting and the date order
// at its first item, shows it modally, then stores the box's first character
// back into CSV when the box is not empty, and frees the window (also when
// the window fails).
void OpenImportWindow(TFormMain &Main);

} // namespace zorbel
