// Steps the units of the form layer share and nobody else calls.
#pragma once

namespace zorbel {

class TForm;

// Installs the application's key router once an application object exists
// (FormsKeys.cpp); every form's constructor asks for it.
void EnsureKeyRouter();
// Takes a form being destroyed off the modal stack (FormsModal.cpp).
void ForgetModalForm(TForm *form);
// The innermost form shown modally, or none (FormsModal.cpp).
TForm *TopModalForm();

} // namespace zorbel
