#include "core/ProfileFile.h"

#include "core/FileErrorTexts.h"
#include "text/Cp1251.h"
#include "text/Exception.h"

#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

using namespace Qt::StringLiterals;

namespace {

const QString kLineEnd = u"\r\n"_s;

bool isBlank(QChar ch) {
    return ch == u' ' || ch == u'\t';
}

QStringView trimBlanks(QStringView text) {
    qsizetype begin = 0;
    qsizetype end = text.size();
    while (begin < end && isBlank(text[begin])) {
        ++begin;
    }
    while (end > begin && isBlank(text[end - 1])) {
        --end;
    }
    return text.sliced(begin, end - begin);
}

// The name of the section that the line opens, or nullopt for any other line.
std::optional<QStringView> sectionOf(QStringView line) {
    const QStringView text = trimBlanks(line);
    if (!text.startsWith(u'[')) {
        return std::nullopt;
    }
    const qsizetype close = text.indexOf(u']');
    return trimBlanks(close < 0 ? text.sliced(1) : text.sliced(1, close - 1));
}

struct KeyLine {
    QStringView key;
    QStringView value;
};

// The key and value of a "key=value" line, or nullopt for any other line.
std::optional<KeyLine> keyOf(QStringView line) {
    const QStringView text = trimBlanks(line);
    if (text.isEmpty() || text.front() == u';') {
        return std::nullopt;
    }
    const qsizetype equals = text.indexOf(u'=');
    if (equals < 0) {
        return std::nullopt;
    }
    const QStringView key = trimBlanks(text.first(equals));
    if (key.isEmpty()) {
        return std::nullopt;
    }
    return KeyLine{key, trimBlanks(text.sliced(equals + 1))};
}

bool sameName(QStringView a, QStringView b) {
    return a.compare(b, Qt::CaseInsensitive) == 0;
}

QStringView withoutQuotes(QStringView value) {
    if (value.size() >= 2 && value.front() == value.back() &&
        (value.front() == u'"' || value.front() == u'\'')) {
        return value.sliced(1, value.size() - 2);
    }
    return value;
}

QString oneLine(QString text) {
    for (QChar& ch : text) {
        if (ch == u'\r' || ch == u'\n' || ch.isNull()) {
            ch = u'?';
        }
    }
    return text;
}

// The value as written after "=": quoted where reading would otherwise change
// it (blanks at its ends are cut, and one pair of enclosing quotes removed).
QString storedValue(const QString& value) {
    const QString text = oneLine(value);
    if (text.isEmpty()) {
        return text;
    }
    const bool blankAtEnd = isBlank(text.front()) || isBlank(text.back());
    if (blankAtEnd || withoutQuotes(text).size() != text.size()) {
        return u'"' + text + u'"';
    }
    return text;
}

}  // namespace

ProfileFile::ProfileFile(QString path) : path_(std::move(path)) {
    if (!QFileInfo::exists(path_)) {
        return;
    }
    QFile file(path_);
    if (!file.open(QIODevice::ReadOnly)) {
        throw Exception(cannotOpenFileText(path_));
    }
    const QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError) {
        throw Exception(cannotOpenFileText(path_));
    }
    const QString text = Cp1251::decode(bytes);
    qsizetype start = 0;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar ch = text.at(i);
        if (ch != u'\r' && ch != u'\n') {
            continue;
        }
        const qsizetype endLength =
            (ch == u'\r' && i + 1 < text.size() && text.at(i + 1) == u'\n') ? 2 : 1;
        lines_.append(Line{text.sliced(start, i - start), text.sliced(i, endLength)});
        i += endLength - 1;
        start = i + 1;
    }
    if (start < text.size()) {
        lines_.append(Line{text.sliced(start), QString()});
    }
}

ProfileFile::Position ProfileFile::locate(const QString& section, const QString& key) const {
    Position position;
    for (qsizetype i = 0; i < lines_.size(); ++i) {
        const QString& text = lines_.at(i).text;
        if (const auto name = sectionOf(text)) {
            if (position.header >= 0) {
                break;  // the first matching section ends here
            }
            if (sameName(*name, section)) {
                position.header = i;
                position.lastKey = i;
            }
            continue;
        }
        if (position.header < 0) {
            continue;
        }
        if (const auto line = keyOf(text)) {
            position.lastKey = i;
            if (position.key < 0 && sameName(line->key, key)) {
                position.key = i;
            }
        }
    }
    return position;
}

std::optional<QString> ProfileFile::find(const QString& section, const QString& key) const {
    const Position position = locate(section, key);
    if (position.key < 0) {
        return std::nullopt;
    }
    const QStringView value = withoutQuotes(keyOf(lines_.at(position.key).text)->value);
    return value.first(std::min(kMaxValueLength, value.size())).toString();
}

QString ProfileFile::value(const QString& section, const QString& key,
                           const QString& defaultValue) const {
    return find(section, key).value_or(defaultValue);
}

void ProfileFile::insertLine(qsizetype at, QString text) {
    if (at > 0 && lines_[at - 1].end.isEmpty()) {
        lines_[at - 1].end = kLineEnd;
    }
    lines_.insert(at, Line{std::move(text), kLineEnd});
    changed_ = true;
}

void ProfileFile::setValue(const QString& section, const QString& key, const QString& value) {
    const QString written = storedValue(value);
    const Position position = locate(section, key);
    if (position.key >= 0) {
        Line& line = lines_[position.key];
        const QString text = keyOf(line.text)->key.toString() + u'=' + written;
        if (text != line.text) {
            line.text = text;
            changed_ = true;
        }
        return;
    }
    const QString keyLine = oneLine(key) + u'=' + written;
    if (position.header >= 0) {
        insertLine(position.lastKey + 1, keyLine);
        return;
    }
    if (!lines_.isEmpty() && !trimBlanks(lines_.constLast().text).isEmpty()) {
        insertLine(lines_.size(), QString());
    }
    insertLine(lines_.size(), u'[' + oneLine(section) + u']');
    insertLine(lines_.size(), keyLine);
}

QByteArray ProfileFile::content() const {
    QString text;
    for (const Line& line : lines_) {
        text += line.text;
        text += line.end;
    }
    return Cp1251::encode(text);
}

void ProfileFile::close() {
    if (!changed_) {
        return;
    }
    const QByteArray bytes = content();
    QSaveFile file(path_);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size() || !file.commit()) {
        throw Exception(unableToWriteText(path_));
    }
    changed_ = false;
}
