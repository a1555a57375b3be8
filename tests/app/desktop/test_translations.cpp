#include "app/desktop/QtTranslations.h"
#include "app/dialogs/AboutBox.h"
#include "app/dialogs/CorrespondentDialog.h"
#include "app/dialogs/ErrorReport.h"
#include "app/dialogs/LogSaveDialog.h"
#include "app/dialogs/MessageBoxes.h"
#include "support/ModalWatch.h"

#include <QAction>
#include <QFileDialog>
#include <QLabel>
#include <QLibraryInfo>
#include <QLineEdit>
#include <QLocale>
#include <QMenu>
#include <QMessageBox>
#include <QPushButton>
#include <QRegularExpression>
#include <QTest>

#include <memory>

using namespace Qt::StringLiterals;

namespace {

QStringList buttonTexts(const QMessageBox& box) {
    QStringList texts;
    for (QAbstractButton* button : box.buttons()) {
        texts.append(button->text());
    }
    texts.sort();
    return texts;
}

}  // namespace

// Under a Russian locale Qt's own texts read Russian, and the program's own
// box texts stay exactly as they are everywhere else.
class TranslationsTest : public QObject {
    Q_OBJECT
  private slots:
    void initTestCase();
    void qtTextsAreRussian();
    void ownBoxTextsStayUnchanged();
};

void TranslationsTest::initTestCase() {
    if (!installQtTranslations(*QCoreApplication::instance(), QLocale(QLocale::Russian))) {
        QSKIP("Qt's Russian translation is not installed (Debian qt6-translations-l10n)");
    }
}

void TranslationsTest::qtTextsAreRussian() {
    QLineEdit edit;
    const std::unique_ptr<QMenu> menu(edit.createStandardContextMenu());
    QStringList items;
    for (const QAction* action : menu->actions()) {
        if (!action->isSeparator()) {
            items.append(action->text());
        }
    }
    QVERIFY(!items.isEmpty());
    for (const QString& item : items) {
        QVERIFY2(item.contains(QRegularExpression(u"[А-Яа-я]"_s)), qPrintable(item));
    }

    QFileDialog* dialog = createLogSaveDialog(nullptr);
    const std::unique_ptr<QFileDialog> owner(dialog);
    auto* fileNameLabel = dialog->findChild<QLabel*>(u"fileNameLabel"_s);
    QVERIFY(fileNameLabel != nullptr);
    QVERIFY2(fileNameLabel->text().contains(u"Имя"_s), qPrintable(fileNameLabel->text()));
}

void TranslationsTest::ownBoxTextsStayUnchanged() {
    const auto plain = makePlainMessage(u"текст"_s, nullptr);
    QCOMPARE(buttonTexts(*plain), QStringList{u"OK"_s});

    QStringList confirmButtons;
    QString confirmTitle;
    ModalWatch<QMessageBox> question([&](QMessageBox* box) {
        confirmTitle = box->windowTitle();
        confirmButtons = buttonTexts(*box);
        box->reject();
    });
    QVERIFY(!confirm(u"вопрос"_s, nullptr));
    QVERIFY(question.ran());
    QCOMPARE(confirmTitle, u"Confirm"_s);
    QCOMPARE(confirmButtons, (QStringList{u"Cancel"_s, u"OK"_s}));

    QStringList errorButtons;
    ModalWatch<QMessageBox> error([&](QMessageBox* box) {
        errorButtons = buttonTexts(*box);
        box->accept();
    });
    showErrorBox(u"Зовница"_s, u"Ошибка."_s);
    QVERIFY(error.ran());
    QCOMPARE(errorButtons, QStringList{u"OK"_s});

    AboutBox about;
    QCOMPARE(about.windowTitle(), u"About"_s);
    QCOMPARE(about.okButton->text(), u"OK"_s);
    CorrespondentDialog correspondent;
    QCOMPARE(correspondent.okButton->text(), u"OK"_s);
}

QTEST_MAIN(TranslationsTest)
#include "test_translations.moc"
