#include "app/views/AccessibleViews.h"
#include "app/views/ConversationLog.h"
#include "app/views/UniformListView.h"

#include <QAccessible>
#include <QItemSelectionModel>
#include <QStringListModel>
#include <QTest>

using namespace Qt::StringLiterals;

class AccessibleViewsTest : public QObject {
    Q_OBJECT
  private slots:
    void initTestCase();
    void logIsAReadOnlyTextForScreenReaders();
    void rosterIsAListOfItemsWithTextAndSelection();
};

void AccessibleViewsTest::initTestCase() {
    installAccessibleViews();
}

void AccessibleViewsTest::logIsAReadOnlyTextForScreenReaders() {
    ConversationLog log;
    log.resize(200, 150);
    log.show();
    QVERIFY(QTest::qWaitForWindowExposed(&log));
    const QString wrapped = u"длинная строка, которая не помещается в одну строку окна"_s;
    log.appendLine(u"ИВАН: привет"_s);
    log.appendLine(wrapped);
    log.appendLine(u"ПЕТР: пока\r\nвсем"_s);

    QAccessibleInterface* face = QAccessible::queryAccessibleInterface(&log);
    QVERIFY(face != nullptr);
    QCOMPARE(face->role(), QAccessible::EditableText);
    QVERIFY(face->state().readOnly);
    QVERIFY(face->state().multiLine);
    QVERIFY(!face->state().editable);
    QAccessibleTextInterface* text = face->textInterface();
    QVERIFY(text != nullptr);
    const QString shown = log.toPlainText();
    QCOMPARE(text->characterCount(), shown.size());
    QCOMPARE(text->text(0, text->characterCount()), shown);
    QCOMPARE(text->text(6, 12), u"привет"_s);
    QCOMPARE(text->cursorPosition(), shown.size());  // the caret follows the end

    // A paragraph is a shown line with its break; a line is a row on screen.
    const int second = int(shown.indexOf(wrapped));
    int start = -1;
    int end = -1;
    QCOMPARE(text->textAtOffset(second + 3, QAccessible::ParagraphBoundary, &start, &end),
             wrapped + u'\n');
    QVERIFY(log.rowOf({1, wrapped.size()}) > log.rowOf({1, 0}));
    const QString firstRow =
        text->textAtOffset(second + 3, QAccessible::LineBoundary, &start, &end);
    QCOMPARE(start, second);
    QVERIFY(firstRow.size() < wrapped.size() && wrapped.startsWith(firstRow));
    QCOMPARE(text->textAfterOffset(second, QAccessible::ParagraphBoundary, &start, &end),
             u"ПЕТР: пока\n"_s);
    QCOMPARE(text->textAtOffset(1, QAccessible::WordBoundary, &start, &end), u"ИВАН"_s);

    // Selection and caret set by a screen reader show in the view.
    text->setSelection(0, 6, 12);
    QCOMPARE(log.selectedText(), u"привет"_s);
    int from = 0;
    int to = 0;
    text->selection(0, &from, &to);
    QCOMPARE(QPair(from, to), QPair(6, 12));
    QCOMPARE(text->selectionCount(), 1);
    text->setCursorPosition(second);
    QCOMPARE(text->selectionCount(), 0);
    QCOMPARE(log.caret(), (ConversationLog::Position{1, 0}));

    // A character's box on screen, and the character at a point of it.
    const QRect box = text->characterRect(7);
    QVERIFY(!box.isEmpty());
    QCOMPARE(text->offsetAtPoint(box.center()), 7);
    QCOMPARE(text->offsetAtPoint(log.viewport()->mapToGlobal(QPoint(-10, -10))), -1);
}

void AccessibleViewsTest::rosterIsAListOfItemsWithTextAndSelection() {
    QStringListModel model({u"АННА _|_ 10.0.0.1"_s, u"БОРИС _|_ 10.0.0.2"_s});
    QItemSelectionModel selection(&model);
    UniformListView view;
    view.setModel(&model);
    view.setSelectionModel(&selection);
    view.resize(200, 100);
    view.show();
    QVERIFY(QTest::qWaitForWindowExposed(&view));

    QAccessibleInterface* list = QAccessible::queryAccessibleInterface(&view);
    QCOMPARE(list->role(), QAccessible::List);
    QCOMPARE(list->childCount(), 2);
    QAccessibleInterface* second = list->child(1);
    QCOMPARE(second->role(), QAccessible::ListItem);
    QCOMPARE(second->text(QAccessible::Name), u"БОРИС _|_ 10.0.0.2"_s);
    QCOMPARE(second->parent(), list);
    QCOMPARE(list->indexOfChild(second), 1);
    QVERIFY(!second->state().selected);
    selection.select(model.index(1), QItemSelectionModel::ClearAndSelect);
    QVERIFY(second->state().selected);
    QVERIFY(!list->child(0)->state().selected);
    // Where a row is on screen, and the row at a point.
    const QRect place = second->rect();
    QCOMPARE(place.topLeft(),
             view.viewport()->mapToGlobal(view.visualRect(model.index(1)).topLeft()));
    QCOMPARE(list->childAt(place.center().x(), place.center().y()), second);

    // Once lines come or go, the items handed out before are stale.
    model.insertRows(0, 1);
    model.setData(model.index(0), u"ВЕРА _|_ 10.0.0.3"_s);
    QVERIFY(!second->isValid());
    QCOMPARE(list->childCount(), 3);
    QCOMPARE(list->child(2)->text(QAccessible::Name), u"БОРИС _|_ 10.0.0.2"_s);
    QVERIFY(list->child(2)->state().selected);
}

QTEST_MAIN(AccessibleViewsTest)
#include "test_accessible_views.moc"
