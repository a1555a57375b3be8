#pragma once

#include <QObject>

class QAbstractItemView;
class Reachability;

// The tooltip of a directory line: when its address last answered anything,
// or that nothing did since the start, and the round trip of its last link
// check. Nothing of it is kept in the line or in the directory file.
class ReachabilityTips : public QObject {
    Q_OBJECT
  public:
    ReachabilityTips(QAbstractItemView* view, const Reachability& reachability,
                     QObject* parent = nullptr);

    // The tooltip's text for the directory line in this row; empty for a
    // row without an address.
    [[nodiscard]] QString textFor(int row) const;

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    QAbstractItemView* view_;
    const Reachability& reachability_;
};
