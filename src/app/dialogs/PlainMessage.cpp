#include "app/dialogs/PlainMessage.h"

#include "app/program/Application.h"

#include <QMessageBox>
#include <QPushButton>

using namespace Qt::StringLiterals;

std::unique_ptr<QMessageBox> makePlainMessage(const QString& text, QWidget* parent) {
    auto box = std::make_unique<QMessageBox>(QMessageBox::NoIcon, kApplicationTitle, text,
                                             QMessageBox::Ok, parent);
    box->setTextFormat(Qt::PlainText);
    // The program's own button text, the same in every locale.
    box->button(QMessageBox::Ok)->setText(u"OK"_s);
    return box;
}

void showPlainMessage(const QString& text, QWidget* parent) {
    makePlainMessage(text, parent)->exec();
}
