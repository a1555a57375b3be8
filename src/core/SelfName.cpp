#include "core/SelfName.h"

#include "core/Entry.h"
#include "core/Protocol.h"
#include "text/Normalization.h"

#include <array>

namespace {

constexpr QChar kSpoiler = u'?';

// The position of the first protocol text in the name, or -1. The dispatcher
// compares letter for letter, so this does too.
qsizetype firstProtocolText(const QString& name) {
    static const std::array<const QString*, 11> kTexts{
        &Protocol::kControlPrefix, &Protocol::kRelaySeparator, &Protocol::kAutoDetect1,
        &Protocol::kMyNameIs1,     &Protocol::kAutoDetect0,    &Protocol::kMyNameIs0,
        &Protocol::kMyNameIs2,     &Protocol::kMyNameIs3,      &Protocol::kIAmExit,
        &Protocol::kNewAddr,       &Protocol::kEditAddr};
    for (const QString* text : kTexts) {
        if (const qsizetype at = name.indexOf(*text); at >= 0) {
            return at;
        }
    }
    // A chat text starts with the name and ": ", which together could form
    // the control prefix.
    if (!name.isEmpty() &&
        Protocol::chatText(name, QString(), false).startsWith(Protocol::kControlPrefix)) {
        return 0;
    }
    return -1;
}

// The normalised name, and how many blanks the typed text had before it.
QString normalizedForm(const QString& typed, qsizetype& leadingBlanks) {
    leadingBlanks = 0;
    while (leadingBlanks < typed.size() && typed.at(leadingBlanks) == u' ') {
        ++leadingBlanks;
    }
    QString name = typed;
    cutSpaces(name);
    upperCaseRussianLatin(name);
    return name;
}

}  // namespace

QString cleanSelfName(QString normalized) {
    for (qsizetype at = firstProtocolText(normalized); at >= 0;
         at = firstProtocolText(normalized)) {
        normalized[at] = kSpoiler;
    }
    return normalized;
}

QString cleanTypedSelfName(QString typed) {
    qsizetype leadingBlanks = 0;
    QString name = normalizedForm(typed, leadingBlanks);
    // Upper-casing keeps every character in its place, and cutting the
    // blanks only shifts them, so a position maps back to the typed text.
    for (qsizetype at = firstProtocolText(name); at >= 0; at = firstProtocolText(name)) {
        name[at] = kSpoiler;
        typed[leadingBlanks + at] = kSpoiler;
    }
    return typed;
}

QString cleanPeerName(QString name) {
    for (QChar& c : name) {
        if (c.category() == QChar::Other_Control) {
            c = kSpoiler;
        }
    }
    cutSpaces(name);
    upperCaseRussianLatin(name);
    // Keywords stay: the dispatcher reads a name with one in it as the text
    // around the keyword it took, and the line holds nothing else of it.
    static const std::array<const QString*, 3> kFraming{&kEntrySeparator, &Protocol::kControlPrefix,
                                                        &Protocol::kRelaySeparator};
    for (;;) {
        qsizetype first = -1;
        for (const QString* text : kFraming) {
            const qsizetype at = name.indexOf(*text);
            if (at >= 0 && (first < 0 || at < first)) {
                first = at;
            }
        }
        if (first < 0) {
            return name;
        }
        name[first] = kSpoiler;
    }
}
