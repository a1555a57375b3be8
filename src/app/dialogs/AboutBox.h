#pragma once

#include <QDialog>

class QLabel;
class QPushButton;
class QTextEdit;

// The About box: the product's name and version and a short user guide.
// Shown modally; closes on OK, Enter and its close box.
class AboutBox : public QDialog {
    Q_OBJECT
  public:
    explicit AboutBox(QWidget* parent = nullptr);

    QLabel* productName = nullptr;
    QLabel* version = nullptr;
    QTextEdit* guide = nullptr;  // the guide, read-only, every line centred
    QPushButton* okButton = nullptr;

    // The guide, one entry per line.
    [[nodiscard]] static QStringList guideLines();

  protected:
    void showEvent(QShowEvent* event) override;
};
