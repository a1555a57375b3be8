#include "app/PlainMessage.h"

#include "app/VesmarApplication.h"

#include <QMessageBox>

std::unique_ptr<QMessageBox> MakePlainMessage(const QString& text, QWidget* parent) {
    auto box = std::make_unique<QMessageBox>(QMessageBox::NoIcon, kApplicationTitle, text,
                                             QMessageBox::Ok, parent);
    box->setTextFormat(Qt::PlainText);
    return box;
}

void ShowPlainMessage(const QString& text, QWidget* parent) {
    MakePlainMessage(text, parent)->exec();
}
