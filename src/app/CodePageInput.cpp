#include "app/CodePageInput.h"

#include "text/Cp1251.h"

#include <QLineEdit>

void RestrictToCodePage(QLineEdit& edit) {
    QObject::connect(&edit, &QLineEdit::textEdited, &edit, [&edit](const QString& text) {
        const QString restricted = Cp1251::fromTyped(text);
        if (restricted == text) {
            return;
        }
        // Keep the caret behind the same typed character: the text before it
        // shrinks the same way as the whole.
        const int caret =
            static_cast<int>(Cp1251::fromTyped(text.left(edit.cursorPosition())).size());
        edit.setText(restricted);
        edit.setCursorPosition(caret);
    });
}
