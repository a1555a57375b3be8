#pragma once

#include "net/platform/LocalNetworks.h"

#include <QDialog>
#include <QList>

#include <optional>

class QPlainTextEdit;
class QPushButton;

// The dialog of the network search: the ranges to ask, one a line, proposed
// from the machine's own networks and free to edit. "Начать" (also
// Ctrl+Enter) checks them: a malformed line is named in a message, too many
// addresses are refused, many ask for confirmation; the dialog stays open
// until the ranges are usable or it is cancelled. Nothing is sent from here.
class SweepDialog : public QDialog {
    Q_OBJECT
  public:
    explicit SweepDialog(QWidget* parent = nullptr);

    // Proposes the ranges of these networks (the own addresses among them
    // are never asked) and waits for the user. The addresses to ask, or
    // nothing when the dialog was cancelled.
    [[nodiscard]] std::optional<QList<quint32>> ask(const QList<LocalNetwork>& networks);

    QPlainTextEdit* rangesEdit = nullptr;
    QPushButton* startButton = nullptr;
    QPushButton* cancelButton = nullptr;

  public slots:
    void accept() override;

  private:
    QList<LocalNetwork> networks_;
    QList<quint32> addresses_;
};
