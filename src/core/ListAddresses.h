#pragma once

#include <QObject>
#include <QSet>
#include <QString>

class EntryList;

// The addresses that the lines of a directory or roster name, for quick
// "is this address one of ours" questions. The set is built from the lines
// when it is asked after the list changed, so a burst of changes costs one
// pass over the list, and a question between changes costs one look-up.
class ListAddresses : public QObject {
    Q_OBJECT
  public:
    explicit ListAddresses(EntryList& list, QObject* parent = nullptr);

    // True when a line of the list has exactly this address part (blanks at
    // its ends cut).
    [[nodiscard]] bool contains(const QString& address) const;

  private:
    void rebuild() const;

    EntryList& list_;
    mutable QSet<QString> addresses_;
    mutable bool stale_ = true;
};
