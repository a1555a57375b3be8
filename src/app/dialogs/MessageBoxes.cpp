#include "app/dialogs/MessageBoxes.h"

#include "app/dialogs/ScreenCentre.h"
#include "app/widgets/ApplicationTitle.h"

#include <QMessageBox>
#include <QPushButton>
#include <QShowEvent>

using namespace Qt::StringLiterals;

namespace {

// A message box that places itself in the middle of the screen instead of
// over its parent.
class ScreenCentredMessageBox : public QMessageBox {
  public:
    using QMessageBox::QMessageBox;

  protected:
    void showEvent(QShowEvent* event) override {
        QMessageBox::showEvent(event);
        if (!event->spontaneous()) {
            centreOnScreen(*this);
        }
    }
};

std::unique_ptr<QMessageBox> makeBox(QMessageBox::Icon icon, const QString& caption,
                                     const QString& text, QWidget* parent) {
    auto box = std::make_unique<QMessageBox>(icon, caption, text, QMessageBox::Ok, parent);
    box->setTextFormat(Qt::PlainText);
    box->button(QMessageBox::Ok)->setText(u"OK"_s);
    return box;
}

}  // namespace

std::unique_ptr<QMessageBox> makePlainMessage(const QString& text, QWidget* parent) {
    return makeBox(QMessageBox::NoIcon, kApplicationTitle, text, parent);
}

void showPlainMessage(const QString& text, QWidget* parent) {
    makePlainMessage(text, parent)->exec();
}

bool confirm(const QString& question, QWidget* parent) {
    ScreenCentredMessageBox box(parent);
    box.setWindowTitle(u"Confirm"_s);
    box.setIcon(QMessageBox::Question);
    box.setTextFormat(Qt::PlainText);
    box.setText(question);
    // Own buttons rather than standard ones, so the texts are exactly these
    // whatever the platform theme or translation would make of them.
    QPushButton* ok = box.addButton(u"OK"_s, QMessageBox::AcceptRole);
    QPushButton* cancel = box.addButton(u"Cancel"_s, QMessageBox::RejectRole);
    box.setDefaultButton(ok);
    box.setEscapeButton(cancel);
    box.exec();
    return box.clickedButton() == ok;
}

void showErrorBox(const QString& caption, const QString& text) {
    makeBox(QMessageBox::Critical, caption, text, nullptr)->exec();
}

void showCaptionedMessage(const QString& caption, const QString& text) {
    makeBox(QMessageBox::NoIcon, caption, text, nullptr)->exec();
}
