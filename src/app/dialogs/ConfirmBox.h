#pragma once

#include <QString>

class QWidget;

// The program's confirmation box: a modal box titled "Confirm" with the
// question icon, the question as plain text and the buttons "OK" (the
// default, answering Enter) and "Cancel" (also the answer to Escape and to
// the close box), centred on the screen. The event loop keeps running while
// it is open.
class ConfirmBox {
  public:
    // Asks the question; true only when the answer is "OK". The parent only
    // ties the box to its window (modality, task bar); it is not centred on it.
    [[nodiscard]] static bool ask(const QString& question, QWidget* parent = nullptr);
};
