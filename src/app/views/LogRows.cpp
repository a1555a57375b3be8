#include "app/views/LogRows.h"

#include "core/LogText.h"

#include <QFontMetricsF>

#include <algorithm>
#include <limits>

namespace {

// Lines kept laid out: more than a tall view shows.
constexpr int kLaidOutLines = 400;

}  // namespace

LogRows::LogRows(const LogText& text) : text_(text), layouts_(kLaidOutLines) {
    rowHeight_ = std::max(1.0, QFontMetricsF(wrap_.font()).lineSpacing());
    countFrom(0);
}

void LogRows::setFont(const QFont& font) {
    wrap_.setFont(font);
    rowHeight_ = std::max(1.0, QFontMetricsF(wrap_.font()).lineSpacing());
    // Every line is measured anew in the new font.
    std::fill(fits_.begin(), fits_.end(), std::numeric_limits<float>::max());
    recount();
}

void LogRows::setWidth(qreal width) {
    wrap_.setWidth(width);
    recount();
}

void LogRows::countFrom(qsizetype line) {
    const auto counted = static_cast<qsizetype>(rowStarts_.size());
    if (line == 0) {
        layouts_.clear();
    }
    for (qsizetype each = line; each < counted; ++each) {
        layouts_.remove(each);
    }
    rowCount_ = line < counted ? firstRow(line) : rowCount_;
    rowStarts_.resize(static_cast<size_t>(line));
    fits_.resize(static_cast<size_t>(line));
    for (qsizetype each = line; each < text_.lineCount(); ++each) {
        qreal fit = 0;
        const int rows = wrap_.rows(text_.line(each), nullptr, &fit);
        rowStarts_.push_back(rowCount_);
        fits_.push_back(static_cast<float>(fit));
        rowCount_ += rows;
    }
}

void LogRows::recount() {
    rowCount_ = 0;
    // A line no wider than the new width takes one row; only the others are
    // measured again.
    const qreal width = wrap_.width() - 0.01;
    for (qsizetype line = 0; line < text_.lineCount(); ++line) {
        rowStarts_[static_cast<size_t>(line)] = rowCount_;
        float& fit = fits_[static_cast<size_t>(line)];
        if (fit <= width) {
            ++rowCount_;
            continue;
        }
        qreal measured = 0;
        rowCount_ += wrap_.rows(text_.line(line), nullptr, &measured);
        fit = static_cast<float>(measured);
    }
    layouts_.clear();
}

qsizetype LogRows::lineOfRow(qsizetype row) const {
    const auto after = std::upper_bound(rowStarts_.begin(), rowStarts_.end(), row);
    return std::max<qsizetype>(0, (after - rowStarts_.begin()) - 1);
}

int LogRows::rowInLine(qsizetype line, qsizetype column) const {
    LineWrap::Ends ends;
    wrap_.rows(text_.line(line), &ends);
    for (int row = 0; row + 1 < ends.size(); ++row) {
        if (column < ends[row]) {
            return row;
        }
    }
    return static_cast<int>(ends.size()) - 1;
}

LogPosition LogRows::rowStart(qsizetype row) const {
    row = std::clamp<qsizetype>(row, 0, rowCount_ - 1);
    const qsizetype line = lineOfRow(row);
    const qsizetype inLine = row - firstRow(line);
    if (inLine == 0) {
        return {line, 0};
    }
    LineWrap::Ends ends;
    wrap_.rows(text_.line(line), &ends);
    return {line, ends[std::min<qsizetype>(inLine, ends.size()) - 1]};
}

QTextLayout* LogRows::layoutOf(qsizetype line) const {
    if (QTextLayout* known = layouts_.object(line)) {
        return known;
    }
    const QStringView text = text_.line(line);
    auto* layout = new QTextLayout(LineWrap::laidOut(text), wrap_.font());
    QTextOption option;
    option.setWrapMode(QTextOption::WrapAnywhere);
    layout->setTextOption(option);
    layout->setCacheEnabled(true);
    LineWrap::Ends ends;
    wrap_.rows(text, &ends);
    // Each row takes exactly the characters LineWrap gave it, so the rows
    // shown are the rows counted.
    layout->beginLayout();
    int start = 0;
    for (int row = 0; row < ends.size(); ++row) {
        QTextLine laid = layout->createLine();
        if (!laid.isValid()) {
            break;
        }
        laid.setNumColumns(std::max(1, ends[row] - start));
        laid.setPosition(QPointF(0, row * rowHeight_));
        Q_ASSERT_X(laid.textStart() == start && laid.textStart() + laid.textLength() == ends[row],
                   "LogRows", "a row laid out other than counted");
        start = laid.textStart() + laid.textLength();
    }
    layout->endLayout();
    layouts_.insert(line, layout);
    return layout;
}

LogPosition LogRows::positionInRow(qsizetype row, qreal x, QTextLine::CursorPosition how) const {
    row = std::clamp<qsizetype>(row, 0, rowCount_ - 1);
    const qsizetype line = lineOfRow(row);
    const QTextLayout* layout = layoutOf(line);
    const QTextLine laid = layout->lineAt(static_cast<int>(row - firstRow(line)));
    if (!laid.isValid()) {
        return {line, text_.line(line).size()};
    }
    qsizetype column = laid.xToCursor(x, how);
    // The row's end is where the next row begins, so a place past a wrapped
    // row's end that hangs a blank stands before the blank.
    const qsizetype end = laid.textStart() + laid.textLength();
    if (column == end && laid.lineNumber() + 1 < layout->lineCount() && end > laid.textStart() &&
        LineWrap::isBlank(text_.line(line)[end - 1])) {
        --column;
    }
    return {line, column};
}

QRectF LogRows::characterBox(LogPosition position) const {
    const QTextLayout* layout = layoutOf(position.line);
    const QTextLine laid = layout->lineAt(rowInLine(position.line, position.column));
    if (!laid.isValid()) {
        return {};
    }
    const qreal left = laid.cursorToX(static_cast<int>(position.column));
    const qreal right = position.column < text_.line(position.line).size()
                            ? laid.cursorToX(static_cast<int>(position.column + 1))
                            : left + QFontMetricsF(wrap_.font()).averageCharWidth();
    return {left, 0, std::max<qreal>(1, right - left), rowHeight_};
}

qreal LogRows::xOf(LogPosition position) const {
    const QTextLayout* layout = layoutOf(position.line);
    const QTextLine laid = layout->lineAt(rowInLine(position.line, position.column));
    return laid.isValid() ? laid.cursorToX(static_cast<int>(position.column)) : 0;
}
