#pragma once

#include <QHash>
#include <QObject>
#include <QString>
#include <QStringList>

class EntryList;

// The addresses that the lines of a directory or roster name, for quick
// "is this address one of ours" questions. It follows every change of the
// list's model row by row, so a question costs one look-up and a change
// costs what the changed rows cost, whatever the list's length.
class ListAddresses : public QObject {
    Q_OBJECT
  public:
    explicit ListAddresses(EntryList& list, QObject* parent = nullptr);

    // True when a line of the list has exactly this address part (blanks at
    // its ends cut).
    [[nodiscard]] bool contains(const QString& address) const { return counts_.contains(address); }

  private:
    [[nodiscard]] QString addressAt(int row) const;
    void count(const QString& address);
    void uncount(const QString& address);
    void rebuild();

    EntryList& list_;
    // The address of every row, in row order: a changed row's old address
    // is read here, since the model holds only the new text.
    QStringList rows_;
    // How many rows have each address; addresses of no row are not kept.
    QHash<QString, int> counts_;
};
