#pragma once

#include <QHash>
#include <QString>
#include <QStringList>

class EntryList;

// The roster's lines by address, each address's lines in the order they
// came, so that the lines of one address are found without reading the
// roster: whether an address takes part, how many names it has, and which
// lines leave with it.
//
// The roster is bounded: at most kLinesPerAddress names per address (a peer
// that renamed itself and registered again has two for a while; a further
// name takes the place of the oldest) and at most kMaxLines lines in all.
//
// The conference tells the index of every line it adds or removes. A
// roster changed behind its back (a test that fills it directly) is read
// afresh the next time the index is used, when the counts differ.
class RosterIndex {
  public:
    static constexpr int kLinesPerAddress = 2;
    static constexpr int kMaxLines = 1024;

    explicit RosterIndex(const EntryList& roster) : roster_(roster) {}

    // Whether some roster line has this address.
    [[nodiscard]] bool isMember(const QString& address);
    // The address's lines, oldest first, as the roster holds them.
    [[nodiscard]] QStringList linesOf(const QString& address);
    // Every address that has a line, and how many there are.
    [[nodiscard]] QStringList addresses();
    [[nodiscard]] int addressCount();

    // A line was added to the roster, or removed from it (text as held).
    void added(const QString& address, const QString& line);
    void removed(const QString& address, const QString& line);
    // Every line of the address was removed.
    void forget(const QString& address);

  private:
    void catchUp();

    const EntryList& roster_;
    QHash<QString, QStringList> lines_;
    int lineCount_ = 0;
};
