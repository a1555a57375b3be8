#include "app/widgets/CodePageValidator.h"

#include "text/Cp1251.h"

#include <QLineEdit>

CodePageValidator::CodePageValidator(QObject* parent) : QValidator(parent) {}

QValidator::State CodePageValidator::validate(QString& input, int& pos) const {
    const QString restricted = Cp1251::fromTyped(input);
    if (restricted != input) {
        const int clamped = qBound(0, pos, static_cast<int>(input.size()));
        pos = static_cast<int>(Cp1251::fromTyped(input.left(clamped)).size());
        input = restricted;
    }
    return Acceptable;
}

void CodePageValidator::fixup(QString& input) const {
    input = Cp1251::fromTyped(input);
}

void CodePageValidator::restrict(QLineEdit* edit) {
    edit->setValidator(new CodePageValidator(edit));
}
