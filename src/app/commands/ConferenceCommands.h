#pragma once

#include "core/Conference.h"

#include <functional>

class QButtonGroup;
class QLineEdit;
class Session;
class UserMessages;

// The commands of the conference page and of the directory's menu that send:
// the chat line, the registration, the link check, the sharing of entries;
// and the self-name field, whose every change becomes the self name. Each
// reads the widgets it needs, calls the session's conference and tells the
// person what came back.
class ConferenceCommands {
  public:
    struct Widgets {
        QLineEdit* messageEdit;
        QLineEdit* selfNameEdit;
        QButtonGroup* recipientChoice;  // ids 0 "Всем" and 1 "Выборочно"
    };

    // beep: the plain beep of an empty message; focusMessage: gives the
    // message line the keyboard where it can take it.
    ConferenceCommands(Session& session, const Widgets& widgets, UserMessages& messages,
                       std::function<void()> beep, std::function<void()> focusMessage);

    void sendMessage();
    void registerWithDirectory();
    void checkLink();
    void shareDirectory();
    void shareSelectedEntry();
    // The self-name field changed.
    void updateSelfName();

    // The recipient choice: only an id above 0 means "Выборочно"; no choice
    // at all (-1) counts as "Всем".
    [[nodiscard]] Recipients recipients() const;

  private:
    void showSharingOutcome(const SharingOutcome& outcome);

    Session& session_;
    Conference& conference_;
    Widgets w_;
    UserMessages& messages_;
    std::function<void()> beep_;
    std::function<void()> focusMessage_;
    bool selfNameNoticeShown_ = false;
};
