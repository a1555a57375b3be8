#include "app/views/UniformListView.h"

#include <QHoverEvent>
#include <QScrollBar>
#include <QStandardItemModel>
#include <QStringListModel>
#include <QStyledItemDelegate>
#include <QTest>

using namespace Qt::StringLiterals;

class UniformListViewTest : public QObject {
    Q_OBJECT
  private slots:
    void rowsAreFoundByNumberAndSelectedByClick();
    void linesInSightStayWhenLinesComeAndGoAbove();
    void aTallerRowMakesAllRowsTallerAndTheHoveredRowShowsIt();
};

namespace {

QStringList numbered(int count) {
    QStringList lines;
    for (int i = 0; i < count; ++i) {
        lines.append(u"строка %1"_s.arg(i));
    }
    return lines;
}

}  // namespace

void UniformListViewTest::rowsAreFoundByNumberAndSelectedByClick() {
    QStringListModel model(numbered(100));
    UniformListView view;
    view.setSelectionMode(QAbstractItemView::SingleSelection);
    view.setModel(&model);
    view.resize(200, 150);
    view.show();
    QVERIFY(QTest::qWaitForWindowExposed(&view));

    for (const int row : {0, 3}) {
        const QRect line = view.visualRect(model.index(row));
        QVERIFY(view.viewport()->rect().contains(line));
        QCOMPARE(view.indexAt(line.center()), model.index(row));
    }
    QTest::mouseClick(view.viewport(), Qt::LeftButton, {},
                      view.visualRect(model.index(3)).center());
    QCOMPARE(view.selectionModel()->selectedRows(), QModelIndexList{model.index(3)});
    QTest::keyClick(&view, Qt::Key_Down);
    QCOMPARE(view.selectionModel()->selectedRows(), QModelIndexList{model.index(4)});
    QTest::keyClick(&view, Qt::Key_End);
    QCOMPARE(view.currentIndex(), model.index(99));
    QVERIFY(view.viewport()->rect().contains(view.visualRect(model.index(99))));
}

void UniformListViewTest::linesInSightStayWhenLinesComeAndGoAbove() {
    QStringListModel model(numbered(100));
    UniformListView view;
    view.setModel(&model);
    view.resize(200, 150);
    view.show();
    QVERIFY(QTest::qWaitForWindowExposed(&view));
    // No current line: a current line that goes away would be scrolled to.
    view.selectionModel()->clearCurrentIndex();
    view.scrollTo(model.index(50), QAbstractItemView::PositionAtTop);
    const auto topLine = [&] { return view.indexAt(QPoint(5, 2)).data().toString(); };
    QCOMPARE(topLine(), u"строка 50"_s);

    model.insertRows(10, 3);
    QCOMPARE(topLine(), u"строка 50"_s);
    model.removeRows(0, 5);
    QCOMPARE(topLine(), u"строка 50"_s);
    // A line added below the top line shows where it belongs.
    model.insertRows(49, 1);
    model.setData(model.index(49), u"новая"_s);
    QCOMPARE(view.indexAt(view.visualRect(model.index(49)).center()).data().toString(), u"новая"_s);

    // The scroll bar follows the length of the list soon after.
    const int page = view.verticalScrollBar()->pageStep();
    QTRY_COMPARE(view.verticalScrollBar()->maximum(), model.rowCount() - page);
    QCOMPARE(view.verticalScrollBar()->value(), 48);
    // Removing everything leaves an empty, unscrolled view.
    model.removeRows(0, model.rowCount());
    QTRY_COMPARE(view.verticalScrollBar()->maximum(), 0);
    QVERIFY(!view.indexAt(QPoint(5, 2)).isValid());
}

namespace {

// Notes the state each row was last painted with.
class NotingDelegate : public QStyledItemDelegate {
  public:
    using QStyledItemDelegate::QStyledItemDelegate;
    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override {
        states[index.row()] = option.state;
        QStyledItemDelegate::paint(painter, option, index);
    }
    mutable QHash<int, QStyle::State> states;
};

}  // namespace

void UniformListViewTest::aTallerRowMakesAllRowsTallerAndTheHoveredRowShowsIt() {
    QStandardItemModel model;
    for (const QString& line : numbered(20)) {
        model.appendRow(new QStandardItem(line));
    }
    UniformListView view;
    NotingDelegate delegate;
    view.setItemDelegate(&delegate);
    view.setModel(&model);
    view.resize(200, 300);
    view.show();
    QVERIFY(QTest::qWaitForWindowExposed(&view));
    const int plain = view.visualRect(model.index(0, 0)).height();

    // A row in sight that needs more room than row 0: every row grows to it.
    QFont big = view.font();
    big.setPointSize(big.pointSize() * 3);
    model.item(3)->setFont(big);
    QTRY_VERIFY(view.visualRect(model.index(0, 0)).height() > plain);
    QStyleOptionViewItem option;
    option.initFrom(&view);
    QVERIFY(view.visualRect(model.index(3, 0)).height() >=
            delegate.sizeHint(option, model.index(3, 0)).height());

    // The row under the mouse paints as hovered, and only while it is.
    const QPoint onRow5 = view.visualRect(model.index(5, 0)).center();
    QHoverEvent enter(QEvent::HoverEnter, onRow5, view.viewport()->mapToGlobal(onRow5),
                      QPointF(-1, -1));
    QApplication::sendEvent(view.viewport(), &enter);
    QTRY_VERIFY(delegate.states.value(5).testFlag(QStyle::State_MouseOver));
    QVERIFY(!delegate.states.value(4).testFlag(QStyle::State_MouseOver));
    QHoverEvent leave(QEvent::HoverLeave, QPointF(-1, -1), QPointF(-1, -1), onRow5);
    QApplication::sendEvent(view.viewport(), &leave);
    QTRY_VERIFY(!delegate.states.value(5).testFlag(QStyle::State_MouseOver));
}

QTEST_MAIN(UniformListViewTest)
#include "test_uniform_list_view.moc"
