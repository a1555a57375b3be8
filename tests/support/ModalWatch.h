#pragma once

#include <QAbstractButton>
#include <QApplication>
#include <QMessageBox>
#include <QObject>
#include <QTest>
#include <QTimer>
#include <QWidget>

#include <functional>

// Acts on the next modal window of type T once it is open: tests close the
// program's modal dialogs and boxes this way, from inside their event loop.
// A watch whose window never opens simply never runs (see ran()).
template <class T>
class ModalWatch {
  public:
    explicit ModalWatch(std::function<void(T*)> action) : action_(std::move(action)) {
        QObject::connect(&timer_, &QTimer::timeout, [this] { poll(); });
        timer_.start(5);
    }

    [[nodiscard]] bool ran() const { return ran_; }

  private:
    void poll() {
        auto* window = qobject_cast<T*>(QApplication::activeModalWidget());
        if (window == nullptr || !window->isVisible()) {
            return;
        }
        timer_.stop();
        ran_ = true;
        action_(window);
    }

    std::function<void(T*)> action_;
    QTimer timer_;
    bool ran_ = false;
};

// The ways a person can end a confirmation box.
enum class Answer { Ok, Cancel, Enter, Escape, CloseBox };

// Ends the box the way answer says: a click on a button found by its text, a
// key, or the window's close box.
inline void answerBox(QMessageBox* box, Answer answer) {
    const auto click = [box](const QString& text) {
        for (QAbstractButton* button : box->buttons()) {
            if (button->text() == text) {
                button->click();
                return;
            }
        }
        QFAIL("no such button");
    };
    switch (answer) {
        case Answer::Ok:
            click(QStringLiteral("OK"));
            break;
        case Answer::Cancel:
            click(QStringLiteral("Cancel"));
            break;
        case Answer::Enter:
            QTest::keyClick(box, Qt::Key_Return);
            break;
        case Answer::Escape:
            QTest::keyClick(box, Qt::Key_Escape);
            break;
        case Answer::CloseBox:
            box->close();
            break;
    }
}
