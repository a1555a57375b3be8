#include "app/dialogs/CorrespondentDialog.h"

#include "app/dialogs/ScreenCentre.h"
#include "app/widgets/CodePageValidator.h"
#include "text/Normalization.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QShowEvent>

using namespace Qt::StringLiterals;

namespace {

constexpr int kClientWidth = 349;
constexpr int kClientHeight = 105;
constexpr int kEditWidth = 257;

QLabel* boldLabel(const QString& text, QWidget* parent) {
    auto* label = new QLabel(text, parent);
    QFont font = label->font();
    font.setBold(true);
    label->setFont(font);
    return label;
}

}  // namespace

CorrespondentDialog::CorrespondentDialog(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint),
      nameEdit(new QLineEdit(this)),
      addressEdit(new QLineEdit(this)),
      okButton(new QPushButton(u"OK"_s, this)) {
    setWindowTitle(u"Корреспондент"_s);
    setModal(true);

    QLabel* nameLabel = boldLabel(u"Имя  :  "_s, this);
    QLabel* addressLabel = boldLabel(u"IP-адрес : "_s, this);
    auto* exampleLabel = new QLabel(u"Пример IP-адреса :   192.168.1.1"_s, this);

    nameLabel->setTextFormat(Qt::PlainText);
    addressLabel->setTextFormat(Qt::PlainText);
    exampleLabel->setTextFormat(Qt::PlainText);
    nameLabel->setBuddy(nameEdit);
    addressLabel->setBuddy(addressEdit);
    nameEdit->setFixedWidth(kEditWidth);
    addressEdit->setFixedWidth(kEditWidth);
    CodePageValidator::restrict(nameEdit);
    CodePageValidator::restrict(addressEdit);

    okButton->setDefault(true);
    connect(okButton, &QPushButton::clicked, this, &QDialog::accept);

    auto* grid = new QGridLayout(this);
    grid->setContentsMargins(6, 4, 6, 4);
    grid->setHorizontalSpacing(4);
    grid->setVerticalSpacing(2);
    grid->addWidget(nameLabel, 0, 0);
    grid->addWidget(nameEdit, 0, 1, Qt::AlignRight);
    grid->addWidget(addressLabel, 1, 0);
    grid->addWidget(addressEdit, 1, 1, Qt::AlignRight);
    grid->addWidget(exampleLabel, 2, 0, 1, 2);
    grid->addWidget(okButton, 3, 0, 1, 2, Qt::AlignHCenter);
    grid->setColumnStretch(0, 1);

    setFixedSize(kClientWidth, kClientHeight);

    setTabOrder(okButton, nameEdit);
    setTabOrder(nameEdit, addressEdit);
}

bool CorrespondentDialog::ask(QString& name, QString& address) {
    cutSpaces(name);
    cutSpaces(address);
    nameEdit->setText(name);
    addressEdit->setText(address);
    // Every use starts on OK, the first control of the tab order.
    okButton->setFocus(Qt::OtherFocusReason);
    if (exec() != QDialog::Accepted) {
        return false;
    }
    name = nameEdit->text();
    address = addressEdit->text();
    cutSpaces(name);
    cutSpaces(address);
    return true;
}

void CorrespondentDialog::keyPressEvent(QKeyEvent* event) {
    // QDialog rejects on Escape; this dialog can only be left by OK, Enter or
    // the close box.
    if (event->key() == Qt::Key_Escape || event->matches(QKeySequence::Cancel)) {
        event->accept();
        return;
    }
    QDialog::keyPressEvent(event);
}

void CorrespondentDialog::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (!event->spontaneous()) {
        centreOnScreen(*this);
    }
}
