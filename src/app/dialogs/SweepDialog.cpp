#include "app/dialogs/SweepDialog.h"

#include "app/dialogs/MessageBoxes.h"
#include "core/SweepRanges.h"
#include "core/SweepTexts.h"

#include <QDialogButtonBox>
#include <QFontDatabase>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QShortcut>
#include <QVBoxLayout>

using namespace Qt::StringLiterals;

SweepDialog::SweepDialog(QWidget* parent) : QDialog(parent) {
    setObjectName(u"SweepDialog"_s);
    setWindowTitle(SweepTexts::dialogTitle());
    auto* layout = new QVBoxLayout(this);
    auto* prompt = new QLabel(SweepTexts::dialogPrompt(), this);
    prompt->setObjectName(u"prompt"_s);
    layout->addWidget(prompt);
    rangesEdit = new QPlainTextEdit(this);
    rangesEdit->setObjectName(u"rangesEdit"_s);
    rangesEdit->setTabChangesFocus(true);
    rangesEdit->setLineWrapMode(QPlainTextEdit::NoWrap);
    rangesEdit->setMinimumSize(300, 120);
    layout->addWidget(rangesEdit, 1);
    auto* buttons = new QDialogButtonBox(this);
    startButton = buttons->addButton(SweepTexts::startButton(), QDialogButtonBox::AcceptRole);
    startButton->setObjectName(u"startButton"_s);
    cancelButton = buttons->addButton(SweepTexts::cancelButton(), QDialogButtonBox::RejectRole);
    cancelButton->setObjectName(u"cancelButton"_s);
    layout->addWidget(buttons);
    connect(buttons, &QDialogButtonBox::accepted, this, &SweepDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    // Enter in the list starts a new line; Ctrl+Enter starts the search.
    for (const QKeySequence& key :
         {QKeySequence(Qt::CTRL | Qt::Key_Return), QKeySequence(Qt::CTRL | Qt::Key_Enter)}) {
        connect(new QShortcut(key, this), &QShortcut::activated, this, &SweepDialog::accept);
    }
}

std::optional<QList<quint32>> SweepDialog::ask(const QList<LocalNetwork>& networks) {
    networks_ = networks;
    addresses_.clear();
    rangesEdit->setPlainText(SweepRanges::proposedRanges(networks).join(u'\n'));
    rangesEdit->setFocus(Qt::OtherFocusReason);
    if (exec() != QDialog::Accepted) {
        return std::nullopt;
    }
    return addresses_;
}

void SweepDialog::accept() {
    SweepRanges::Plan plan = SweepRanges::plan(rangesEdit->toPlainText(), networks_);
    switch (plan.status) {
        case SweepRanges::Plan::Status::Malformed:
            showPlainMessage(SweepTexts::malformedLine(plan.badLineNumber, plan.badLine), this);
            return;
        case SweepRanges::Plan::Status::TooMany:
            showPlainMessage(SweepTexts::tooManyAddresses(plan.covered), this);
            return;
        case SweepRanges::Plan::Status::Ready:
            break;
    }
    if (plan.addresses.isEmpty()) {
        showPlainMessage(SweepTexts::nothingToAsk(), this);
        return;
    }
    if (plan.addresses.size() > SweepRanges::kConfirmAbove &&
        !confirm(SweepTexts::confirmMany(int(plan.addresses.size())), this)) {
        return;
    }
    addresses_ = std::move(plan.addresses);
    QDialog::accept();
}
