#pragma once

#include <QCache>
#include <QDateTime>
#include <QString>

// What each address has shown of itself since the start: when anything last
// arrived from it, and the round trip of the last link check (a request for
// its name, or a registration, and the answer to it). Kept for the most
// recently heard addresses only; nothing of it is saved.
class Reachability {
  public:
    static constexpr int kAddresses = 4096;
    // An answer later than this after the request is not its round trip.
    static constexpr qint64 kAnswerWithinMs = 10'000;

    Reachability() : table_(kAddresses) {}

    void heard(const QString& address, const QDateTime& when);
    // A link check (or a registration) went to this address.
    void requestSent(const QString& address, qint64 nowMs);
    // The answer to it came back: true when it came within kAnswerWithinMs
    // of the request, so that the round trip was measured.
    bool answerReceived(const QString& address, qint64 nowMs);

    // The time of the last datagram from the address; null when none came.
    [[nodiscard]] QDateTime lastHeard(const QString& address) const;
    // The last round trip in milliseconds; -1 when none was measured.
    [[nodiscard]] qint64 roundTripMs(const QString& address) const;

    // For the directory line of this address, one line each:
    // "Последний ответ: dd.MM.yyyy HH:mm:ss" or "Ответов не было с момента
    // запуска", then "Проверка связи: N мс" once a round trip was measured.
    [[nodiscard]] QString describe(const QString& address) const;

  private:
    struct Record {
        QDateTime lastHeard;
        qint64 requestAtMs = -1;
        qint64 roundTripMs = -1;
    };
    Record& record(const QString& address);

    QCache<QString, Record> table_;
};
