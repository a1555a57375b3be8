#pragma once

#include <QDialog>

class QFrame;
class QLabel;
class QPushButton;
class QTextEdit;

// The About box: the product's name and version and a short user guide.
// Shown modally; closes on OK, Enter and its close box.
class TAboutBox : public QDialog {
    Q_OBJECT
  public:
    explicit TAboutBox(QWidget* parent = nullptr);

    QFrame* Panel1 = nullptr;
    QLabel* ProgramIcon = nullptr;
    QLabel* ProductName = nullptr;
    QLabel* Version = nullptr;
    QTextEdit* Memo1 = nullptr;  // the guide, read-only, every line centred
    QPushButton* OKButton = nullptr;

    // The guide, one entry per line.
    [[nodiscard]] static QStringList guideLines();

  protected:
    void showEvent(QShowEvent* event) override;
};
