#include "core/LogText.h"

#include <algorithm>

LogText::LogText() : starts_{0}, shownStarts_{0} {}

void LogText::append(QStringView text) {
    // The last shown line, empty until now, takes the text's first line.
    qsizetype shown = shownStarts_.back();
    qsizetype lineStart = 0;
    const auto breakAt = [&](qsizetype end, qsizetype next) {
        shown += end - lineStart + 1;
        lineStart = next;
        starts_.push_back(text_.size() + next);
        shownStarts_.push_back(shown);
    };
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar ch = text[i];
        if (ch == u'\r' && i + 1 < text.size() && text[i + 1] == u'\n') {
            breakAt(i, i + 2);
            ++i;
        } else if (ch == u'\r' || ch == u'\n') {
            breakAt(i, i + 1);
        }
    }
    breakAt(text.size(), text.size() + 2);
    text_.append(text);
    text_.append(u"\r\n");
}

void LogText::clear() {
    text_ = QString();
    starts_.assign(1, 0);
    shownStarts_.assign(1, 0);
}

QStringView LogText::line(qsizetype index) const {
    const qsizetype start = starts_[static_cast<size_t>(index)];
    if (index + 1 == lineCount()) {
        return QStringView(text_).sliced(start);
    }
    const qsizetype next = starts_[static_cast<size_t>(index) + 1];
    // The break before next is CR LF, CR or LF; a CR right before an LF is
    // always part of a CR LF.
    qsizetype end = next - 1;
    if (text_[end] == u'\n' && end > start && text_[end - 1] == u'\r') {
        --end;
    }
    return QStringView(text_).sliced(start, end - start);
}

QString LogText::plainText() const {
    if (text_.isEmpty()) {
        return {};
    }
    return shownText(0, shownSize());
}

qsizetype LogText::shownSize() const {
    return shownStarts_.back() + line(lineCount() - 1).size();
}

qsizetype LogText::lineAtShownOffset(qsizetype offset) const {
    const auto after = std::upper_bound(shownStarts_.begin(), shownStarts_.end(), offset);
    return std::max<qsizetype>(0, (after - shownStarts_.begin()) - 1);
}

QString LogText::shownText(qsizetype from, qsizetype to) const {
    from = std::clamp<qsizetype>(from, 0, shownSize());
    to = std::clamp<qsizetype>(to, from, shownSize());
    QString shown;
    shown.reserve(to - from);
    for (qsizetype line = lineAtShownOffset(from); line < lineCount() && from < to; ++line) {
        const qsizetype start = shownStart(line);
        const QStringView text = this->line(line);
        const qsizetype last = std::min<qsizetype>(text.size(), to - start);
        shown.append(text.sliced(from - start, last - (from - start)));
        from = start + last;
        // The break after the line is one LF in the shown text.
        if (from < to) {
            shown.append(u'\n');
            ++from;
        }
    }
    return shown;
}
