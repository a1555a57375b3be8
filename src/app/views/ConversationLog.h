#pragma once

#include "core/LogText.h"

#include <QAbstractScrollArea>
#include <QString>

#include <memory>
#include <vector>

class QTextLayout;
class QTimer;

// The conversation log: a read-only view of the received chat lines. It holds
// the exact text once (LogText) and lays out only the lines in sight when it
// paints, so an append costs the same however long the log is. While lines
// pour in, the view follows them at most kFollowMs apart rather than at every
// line, so a flood does not spend its time painting. Lines wrap at
// the view's width; the vertical scroll bar counts shown lines, and at its
// end the last line stands at the bottom. A person scrolls, selects with the
// mouse (Ctrl+A selects all) and copies the selection (Ctrl+C).
class ConversationLog : public QAbstractScrollArea {
    Q_OBJECT
  public:
    // A place in the shown text: a shown line and a column in it.
    struct Position {
        qsizetype line = 0;
        qsizetype column = 0;
        auto operator<=>(const Position&) const = default;
    };

    // The shortest time between two repaints that follow appended lines.
    static constexpr int kFollowMs = 30;

    explicit ConversationLog(QWidget* parent = nullptr);
    ~ConversationLog() override;

    // Adds text verbatim followed by CR LF at the end of the log, moves the
    // caret there (any selection is lost) and scrolls to it. Costs the same
    // however long the log already is.
    void appendLine(const QString& text);

    // The exact log text: every appended text followed by CR LF.
    [[nodiscard]] const QString& text() const { return log_.text(); }
    [[nodiscard]] bool isEmpty() const { return log_.isEmpty(); }
    // The shown lines joined by LF.
    [[nodiscard]] QString toPlainText() const { return log_.plainText(); }
    // Removes the whole log.
    void clear();

    // The log takes no typing.
    [[nodiscard]] bool isReadOnly() const { return true; }

    void selectAll();
    [[nodiscard]] bool hasSelection() const { return anchor_ != caret_; }
    // The selected part of the shown text, its lines joined by LF.
    [[nodiscard]] QString selectedText() const;
    [[nodiscard]] bool isCaretAtEnd() const { return caret_ == endPosition(); }

  protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void scrollContentsBy(int dx, int dy) override;
    void keyPressEvent(QKeyEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void changeEvent(QEvent* event) override;

  private:
    struct Placed {
        qsizetype line = 0;
        qreal top = 0;
        std::unique_ptr<QTextLayout> layout;
    };

    [[nodiscard]] Position endPosition() const;
    // The lines in sight, top to bottom, laid out at the view's width.
    [[nodiscard]] std::vector<Placed> placeLines() const;
    [[nodiscard]] std::unique_ptr<QTextLayout> layOut(qsizetype line) const;
    [[nodiscard]] Position positionAt(QPointF point) const;
    void updateScrollRange();
    [[nodiscard]] bool atEnd() const;
    void setCaret(Position caret, bool keepAnchor);
    // Shows the end of the log: scroll range, position and a repaint.
    void followEnd();
    void copySelection();

    LogText log_;
    Position anchor_;
    Position caret_;
    bool selecting_ = false;
    // Runs while appends are held back from the view; pending_ says that
    // lines came meanwhile.
    QTimer* followTimer_ = nullptr;
    bool pending_ = false;
};
