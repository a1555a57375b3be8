#include "core/LogText.h"

LogText::LogText() : starts_{0} {}

void LogText::append(QStringView text) {
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar ch = text[i];
        if (ch == u'\r' && i + 1 < text.size() && text[i + 1] == u'\n') {
            ++i;
            starts_.push_back(text_.size() + i + 1);
        } else if (ch == u'\r' || ch == u'\n') {
            starts_.push_back(text_.size() + i + 1);
        }
    }
    text_.append(text);
    text_.append(u"\r\n");
    starts_.push_back(text_.size());
}

void LogText::clear() {
    text_ = QString();
    starts_.assign(1, 0);
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
    QString plain;
    plain.reserve(text_.size());
    for (qsizetype i = 0; i < lineCount(); ++i) {
        if (i > 0) {
            plain.append(u'\n');
        }
        plain.append(line(i));
    }
    return plain;
}
