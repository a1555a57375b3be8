#pragma once

#include <QElapsedTimer>
#include <QObject>
#include <QString>

class QThread;

// Plays the desktop's event sounds: an event of the freedesktop sound theme
// ("message-new-instant", "service-login"), or its "bell" where the theme
// lacks the event, through libcanberra. The library is loaded when the first
// sound is asked for, not before, and every call into it runs on a thread of
// its own, so the GUI thread never waits for the sound system. A flood plays
// at most one sound a second; the rest are dropped.
//
// Where there is no library or no sound system, silent() is emitted and the
// caller rings the default beep. Sounds the user has switched off in the
// desktop stay off.
class EventSounds : public QObject {
    Q_OBJECT
  public:
    explicit EventSounds(QObject* parent = nullptr);
    ~EventSounds() override;

    void play(const QString& soundEvent);

  signals:
    // A sound asked for could not be played.
    void silent();

  private:
    class Player;

    QThread* thread_ = nullptr;
    Player* player_ = nullptr;
    QElapsedTimer lastPlayed_;
};
