#pragma once

#include <QString>
#include <QStringView>

#include <vector>

// The text of the conversation log and its division into shown lines. The
// exact text is every appended text followed by CR LF, verbatim; the shown
// lines are that text cut at each CR LF, lone CR and lone LF, as a memo shows
// it, and always end with the empty line after the last break. Appending
// costs the same however long the log is, and the log holds its text once
// plus two offsets per shown line.
//
// The shown text is the shown lines joined by LF; its offsets are the ones
// a screen reader counts in.
class LogText {
  public:
    LogText();

    void append(QStringView text);
    void clear();

    [[nodiscard]] const QString& text() const { return text_; }
    [[nodiscard]] bool isEmpty() const { return text_.isEmpty(); }

    // Shown lines: one more than the breaks in the text.
    [[nodiscard]] qsizetype lineCount() const { return static_cast<qsizetype>(starts_.size()); }
    // The shown line without its break.
    [[nodiscard]] QStringView line(qsizetype index) const;
    // The shown lines joined by LF: the log as a plain-text view gives it.
    [[nodiscard]] QString plainText() const;

    // Characters in the shown text.
    [[nodiscard]] qsizetype shownSize() const;
    // Where a shown line begins in the shown text.
    [[nodiscard]] qsizetype shownStart(qsizetype line) const {
        return shownStarts_[static_cast<size_t>(line)];
    }
    // The shown line that holds a shown-text offset (the last line for the
    // offset at the very end).
    [[nodiscard]] qsizetype lineAtShownOffset(qsizetype offset) const;
    // The shown text from one offset up to another, clamped to the text.
    [[nodiscard]] QString shownText(qsizetype from, qsizetype to) const;

  private:
    QString text_;
    // Where each shown line begins in text_, and in the shown text.
    std::vector<qsizetype> starts_;
    std::vector<qsizetype> shownStarts_;
};
