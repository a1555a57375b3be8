#pragma once

#include <QDialog>
#include <QString>

class QKeyEvent;
class QLineEdit;
class QPushButton;
class QShowEvent;

// The correspondent dialog: a name and an address typed by the user. Created
// once with the main window and reused; there is no cancel button: Enter
// anywhere presses OK, Escape does nothing, the close box ends the dialog
// without confirming it.
class CorrespondentDialog : public QDialog {
    Q_OBJECT
  public:
    explicit CorrespondentDialog(QWidget* parent = nullptr);

    // Cuts the blanks around name and address (they stay cut even when the
    // dialog is not confirmed), shows them in nameEdit and addressEdit and runs the
    // dialog modally. On OK the two texts are read back with their blanks cut
    // and true is returned; otherwise the variables keep the cut input.
    bool ask(QString& name, QString& address);

    QLineEdit* nameEdit;
    QLineEdit* addressEdit;
    QPushButton* okButton;

  protected:
    void keyPressEvent(QKeyEvent* event) override;
    void showEvent(QShowEvent* event) override;
};
