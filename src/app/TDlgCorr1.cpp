#include "app/TDlgCorr1.h"

#include "app/CodePageValidator.h"
#include "app/ScreenCentre.h"
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

QLabel* BoldLabel(const QString& text, QWidget* parent) {
    auto* label = new QLabel(text, parent);
    QFont font = label->font();
    font.setBold(true);
    label->setFont(font);
    return label;
}

}  // namespace

TDlgCorr1::TDlgCorr1(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint),
      Label1(BoldLabel(u"Имя  :  "_s, this)),
      Edit1(new QLineEdit(this)),
      Label2(BoldLabel(u"IP-адрес : "_s, this)),
      Edit2(new QLineEdit(this)),
      Label3(new QLabel(u"Пример IP-адреса :   192.168.1.1"_s, this)),
      OKButton(new QPushButton(u"OK"_s, this)) {
    setWindowTitle(u"Корреспондент"_s);
    setModal(true);

    Label1->setTextFormat(Qt::PlainText);
    Label2->setTextFormat(Qt::PlainText);
    Label3->setTextFormat(Qt::PlainText);
    Label1->setBuddy(Edit1);
    Label2->setBuddy(Edit2);
    Edit1->setFixedWidth(kEditWidth);
    Edit2->setFixedWidth(kEditWidth);
    CodePageValidator::restrict(Edit1);
    CodePageValidator::restrict(Edit2);

    OKButton->setDefault(true);
    connect(OKButton, &QPushButton::clicked, this, &QDialog::accept);

    auto* grid = new QGridLayout(this);
    grid->setContentsMargins(6, 4, 6, 4);
    grid->setHorizontalSpacing(4);
    grid->setVerticalSpacing(2);
    grid->addWidget(Label1, 0, 0);
    grid->addWidget(Edit1, 0, 1, Qt::AlignRight);
    grid->addWidget(Label2, 1, 0);
    grid->addWidget(Edit2, 1, 1, Qt::AlignRight);
    grid->addWidget(Label3, 2, 0, 1, 2);
    grid->addWidget(OKButton, 3, 0, 1, 2, Qt::AlignHCenter);
    grid->setColumnStretch(0, 1);

    setFixedSize(kClientWidth, kClientHeight);

    setTabOrder(OKButton, Edit1);
    setTabOrder(Edit1, Edit2);
}

bool TDlgCorr1::ExecuteCorrespondentDialog(QString& name, QString& address) {
    CutSpaces(name);
    CutSpaces(address);
    Edit1->setText(name);
    Edit2->setText(address);
    // Every use starts on OK, the first control of the tab order.
    OKButton->setFocus(Qt::OtherFocusReason);
    if (exec() != QDialog::Accepted) {
        return false;
    }
    name = Edit1->text();
    address = Edit2->text();
    CutSpaces(name);
    CutSpaces(address);
    return true;
}

void TDlgCorr1::keyPressEvent(QKeyEvent* event) {
    // QDialog rejects on Escape; this dialog can only be left by OK, Enter or
    // the close box.
    if (event->key() == Qt::Key_Escape || event->matches(QKeySequence::Cancel)) {
        event->accept();
        return;
    }
    QDialog::keyPressEvent(event);
}

void TDlgCorr1::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (!event->spontaneous()) {
        CentreOnScreen(*this);
    }
}
