#pragma once

#include <QDialog>

// The correspondent dialog: a name and an address typed by the user.
class TDlgCorr1 : public QDialog {
    Q_OBJECT
  public:
    explicit TDlgCorr1(QWidget* parent = nullptr);
};
