#include "app/TDlgCorr1.h"

using namespace Qt::StringLiterals;

TDlgCorr1::TDlgCorr1(QWidget* parent) : QDialog(parent) {
    setWindowTitle(u"Корреспондент"_s);
}
