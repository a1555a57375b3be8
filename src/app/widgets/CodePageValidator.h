#pragma once

#include <QValidator>

class QLineEdit;

// Keeps what a person types or pastes into a line edit inside the program's
// code page: the text is normalised and every character outside the code
// page becomes "?" before the edit takes it, so the edit's change signals
// only ever carry restricted text. The cursor stays after the same character.
class CodePageValidator : public QValidator {
    Q_OBJECT
  public:
    explicit CodePageValidator(QObject* parent = nullptr);

    State validate(QString& input, int& pos) const override;
    void fixup(QString& input) const override;

    // Gives edit a validator of this kind, owned by the edit.
    static void restrict(QLineEdit* edit);
};
