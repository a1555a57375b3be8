#include "app/PlainMessage.h"

#include "app/Application.h"

#include <QMessageBox>

std::unique_ptr<QMessageBox> makePlainMessage(const QString& text, QWidget* parent) {
    auto box = std::make_unique<QMessageBox>(QMessageBox::NoIcon, kApplicationTitle, text,
                                             QMessageBox::Ok, parent);
    box->setTextFormat(Qt::PlainText);
    return box;
}

void showPlainMessage(const QString& text, QWidget* parent) {
    makePlainMessage(text, parent)->exec();
}
