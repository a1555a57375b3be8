#include "app/desktop/EventSounds.h"

#include <windows.h>

// Windows has no sound theme to ask for an event: each beep rule plays the
// system's default sound, as the beep of any Windows program does. A flood
// plays at most one sound a second, as on Linux; MessageBeep itself returns
// at once, the sound plays on the system's side.

namespace {

constexpr qint64 kMinimumGapMs = 1000;

}  // namespace

EventSounds::EventSounds(QObject* parent) : QObject(parent) {}

EventSounds::~EventSounds() = default;

void EventSounds::play(const QString& /*soundEvent*/) {
    if (lastPlayed_.isValid() && lastPlayed_.elapsed() < kMinimumGapMs) {
        return;
    }
    lastPlayed_.start();
    if (!::MessageBeep(MB_OK)) {
        emit silent();
    }
}
