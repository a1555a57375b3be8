#include "app/dialogs/LogSaveDialog.h"

#include <QFileDialog>

using namespace Qt::StringLiterals;

QStringList textFilePatterns() {
    // Every letter-case spelling of "txt": file names on Linux are matched
    // case-sensitively, and files saved elsewhere carry any of them.
    QStringList patterns;
    for (int mask = 0; mask < 8; ++mask) {
        QString suffix = u"TXT"_s;
        for (int i = 0; i < 3; ++i) {
            if ((mask & (1 << i)) != 0) {
                suffix[i] = suffix[i].toLower();
            }
        }
        patterns.append(u"*."_s + suffix);
    }
    return patterns;
}

QFileDialog* createLogSaveDialog(QWidget* parent) {
    auto* dialog = new QFileDialog(parent);
    dialog->setObjectName(u"saveLogDialog"_s);
    dialog->setOption(QFileDialog::DontUseNativeDialog);
    dialog->setAcceptMode(QFileDialog::AcceptSave);
    dialog->setFileMode(QFileDialog::AnyFile);
    dialog->setDefaultSuffix(u"TXT"_s);
    // The list of spellings stays out of sight: the filters read
    // "Текстовые файлы" and "Все файлы".
    dialog->setOption(QFileDialog::HideNameFilterDetails);
    dialog->setNameFilters(
        {u"Текстовые файлы ("_s + textFilePatterns().join(u' ') + u')', u"Все файлы (*)"_s});
    dialog->setOption(QFileDialog::DontConfirmOverwrite, false);
    dialog->setSizeGripEnabled(true);
    return dialog;
}
