#include "app/commands/ConferenceCommands.h"

#include "app/dialogs/UserMessages.h"
#include "core/ConferenceTexts.h"
#include "core/SelfName.h"
#include "core/Session.h"

#include <QButtonGroup>
#include <QLineEdit>
#include <QTimer>

#include <utility>

ConferenceCommands::ConferenceCommands(Session& session, const Widgets& widgets,
                                       UserMessages& messages, std::function<void()> beep,
                                       std::function<void()> focusMessage)
    : session_(session),
      conference_(session.conference()),
      w_(widgets),
      messages_(messages),
      beep_(std::move(beep)),
      focusMessage_(std::move(focusMessage)) {}

Recipients ConferenceCommands::recipients() const {
    return w_.recipientChoice->checkedId() > 0 ? Recipients::Selected : Recipients::Everyone;
}

void ConferenceCommands::sendMessage() {
    switch (conference_.sendChat(w_.messageEdit->text(), recipients())) {
        case ChatOutcome::EmptyMessage:
            beep_();
            [[fallthrough]];
        case ChatOutcome::Sent:
        case ChatOutcome::NothingToSend:
            w_.messageEdit->clear();
            focusMessage_();
            break;
        case ChatOutcome::NameTooLong:
            messages_.tell(ConferenceTexts::nameTooLong());
            break;
        case ChatOutcome::TooLong:
            messages_.tell(ConferenceTexts::chatTooLong());
            break;
    }
}

void ConferenceCommands::registerWithDirectory() {
    session_.registerWithDirectory();
}

void ConferenceCommands::checkLink() {
    if (conference_.checkLink() == LinkCheckOutcome::IncorrectCorrespondent) {
        messages_.tell(ConferenceTexts::incorrectCorrespondent());
    }
}

void ConferenceCommands::shareDirectory() {
    showSharingOutcome(conference_.shareDirectory(recipients()));
}

void ConferenceCommands::shareSelectedEntry() {
    showSharingOutcome(conference_.shareSelectedEntry(recipients()));
}

void ConferenceCommands::showSharingOutcome(const SharingOutcome& outcome) {
    if (outcome.outcome == PresenceOutcome::NameTooLong) {
        messages_.tell(ConferenceTexts::nameTooLong());
    } else if (outcome.entriesNotSent > 0) {
        messages_.tell(ConferenceTexts::entriesNotSent(outcome.entriesNotSent));
    }
}

void ConferenceCommands::updateSelfName() {
    const QString typed = w_.selfNameEdit->text();
    const QString cleaned = cleanTypedSelfName(typed);
    if (cleaned != typed) {
        // Setting the text comes back here with the clean name. The person is
        // told once, after the keystroke has been handled.
        w_.selfNameEdit->setText(cleaned);
        if (!std::exchange(selfNameNoticeShown_, true)) {
            QTimer::singleShot(0, w_.selfNameEdit, [this] {
                messages_.tell(ConferenceTexts::selfNameCleaned(conference_.selfName()));
            });
        }
        return;
    }
    conference_.setSelfName(typed);
}
