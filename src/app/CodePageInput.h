#pragma once

class QLineEdit;

// Keeps what a person types or pastes into the edit inside the Windows-1251
// repertoire: after every edit by the user, the text is composed and each
// character outside the code page becomes "?" (Cp1251::fromTyped). Text set
// by the program is left as it is.
void RestrictToCodePage(QLineEdit& edit);
