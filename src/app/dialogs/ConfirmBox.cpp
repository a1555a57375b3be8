#include "app/dialogs/ConfirmBox.h"

#include "app/dialogs/ScreenCentre.h"

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

}  // namespace

bool ConfirmBox::ask(const QString& question, QWidget* parent) {
    ScreenCentredMessageBox box(parent);
    box.setWindowTitle(u"Confirm"_s);
    box.setIcon(QMessageBox::Question);
    // Questions may quote text that came from a peer: never read as markup.
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
