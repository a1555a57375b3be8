#include "core/Handshake.h"

#include "core/Protocol.h"
#include "net/Ipv4Address.h"
#include "text/Cp1251.h"

#include <QRandomGenerator>

#include <algorithm>

namespace {

constexpr qint64 kBudgetPeriodMs = 60'000;

// Drops the entry with the smallest value of key(entry) from a full table.
template <typename Table, typename Key>
void dropOldest(Table& table, Key key) {
    const auto oldest = std::min_element(
        table.begin(), table.end(), [&](const auto& a, const auto& b) { return key(a) < key(b); });
    if (oldest != table.end()) {
        table.erase(oldest);
    }
}

}  // namespace

Handshake::Handshake(SendBytes send, Admits admits)
    : send_(std::move(send)), admits_(std::move(admits)) {}

void Handshake::setEnabled(bool enabled) {
    enabled_ = enabled;
    if (!enabled) {
        confirmed_.clear();
        checking_.clear();
        challenges_.clear();
        hinted_.clear();
        budgets_.clear();
    }
}

bool Handshake::confirms(const QString& address) const {
    return enabled_ && confirmed_.contains(address) && !checking_.contains(address);
}

bool Handshake::mayTalkTo(const QString& address) const {
    // Strangers are neither answered nor remembered, so forged senders can
    // neither fill the tables nor turn this copy into a reflector.
    return enabled_ && Ipv4Address::dottedQuad(address) && admits_(address);
}

bool Handshake::sendWithinBudget(const QString& address, const QString& text) {
    const qint64 now = clock_();
    auto budget = budgets_.find(address);
    if (budget == budgets_.end()) {
        if (budgets_.size() >= kRemembered) {
            dropOldest(budgets_, [](const Budget& b) { return b.sinceMs; });
        }
        budget = budgets_.insert(address, {now, 0});
    } else if (now - budget->sinceMs >= kBudgetPeriodMs) {
        *budget = {now, 0};
    }
    if (budget->sent >= kDatagramsPerMinute) {
        return false;
    }
    ++budget->sent;
    send_(address, Cp1251::encode(text));
    return true;
}

quint32 Handshake::challengeFor(const QString& address) {
    const qint64 now = clock_();
    auto found = challenges_.find(address);
    if (found != challenges_.end() && now - found->sentAtMs < kChallengeLifeMs) {
        // Hellos that cross each other are answered with the challenge that
        // is out already, so either answer completes the exchange.
        return found->value;
    }
    if (found == challenges_.end() && challenges_.size() >= kRemembered) {
        dropOldest(challenges_, [](const Challenge& c) { return c.sentAtMs; });
    }
    // From the system's source: a challenge must not be foreseeable from
    // the ones seen before.
    const Challenge challenge{QRandomGenerator::system()->generate(), now};
    challenges_.insert(address, challenge);
    return challenge.value;
}

bool Handshake::matches(const QString& address, quint32 echo) {
    const auto found = challenges_.constFind(address);
    if (found == challenges_.cend() || found->value != echo ||
        clock_() - found->sentAtMs >= kChallengeLifeMs) {
        return false;
    }
    challenges_.erase(found);
    return true;
}

void Handshake::confirm(const QString& address) {
    if (!mayTalkTo(address)) {
        return;
    }
    if (!confirmed_.contains(address) && confirmed_.size() >= kRemembered) {
        dropOldest(confirmed_, [](qint64 proofAt) { return proofAt; });
    }
    confirmed_.insert(address, clock_());
    checking_.remove(address);
}

void Handshake::greet(const QString& address) {
    // A confirming address that is being checked has its challenge already.
    if (!enabled_ || confirmed_.contains(address) || !mayTalkTo(address)) {
        return;
    }
    (void)sendWithinBudget(address, Protocol::helloText(challengeFor(address)));
}

void Handshake::presenceReceived(const QString& address, bool freshRegistration) {
    const auto proof = confirmed_.constFind(address);
    if (proof == confirmed_.cend() || checking_.contains(address) || !mayTalkTo(address)) {
        return;
    }
    const qint64 now = clock_();
    if (!freshRegistration && now - *proof < kProofFreshForMs) {
        return;
    }
    // Another copy may have started there. Only a challenge that went out
    // puts the standing in question: beyond the budget, registrations (of
    // which any host can forge plenty) change nothing.
    if (sendWithinBudget(address, Protocol::helloText(challengeFor(address)))) {
        checking_.insert(address, now);
    }
}

void Handshake::helloReceived(const QString& address, quint32 challenge) {
    if (!mayTalkTo(address)) {
        return;
    }
    // The very challenge that went to the address, back from it: this copy
    // sent it to itself, so the address is its own.
    if (const auto out = challenges_.constFind(address);
        out != challenges_.cend() && out->value == challenge &&
        clock_() - out->sentAtMs < kChallengeLifeMs) {
        selfAddress_ = address;
    }
    (void)sendWithinBudget(address, Protocol::helloAnswerText(challenge, challengeFor(address)));
}

void Handshake::answerReceived(const QString& address, quint32 echo, quint32 challenge) {
    // An answer that does not echo our challenge is not answered at all.
    if (!mayTalkTo(address) || !matches(address, echo)) {
        return;
    }
    confirm(address);
    (void)sendWithinBudget(address, Protocol::echoText(challenge));
}

void Handshake::echoReceived(const QString& address, quint32 echo) {
    if (mayTalkTo(address) && matches(address, echo)) {
        confirm(address);
    }
}

void Handshake::proven(const QString& address) {
    confirm(address);
}

void Handshake::taggedLineReceived(const QString& address) {
    if (confirmed_.contains(address) || !mayTalkTo(address)) {
        return;
    }
    if (!hinted_.contains(address) && hinted_.size() >= kRemembered) {
        dropOldest(hinted_, [](qint64 at) { return at; });
    }
    hinted_.insert(address, clock_());
}

void Handshake::lineSentPlain(const QString& address) {
    if (hinted_.remove(address) > 0) {
        greet(address);
    }
}

void Handshake::look() {
    if (!enabled_) {
        return;
    }
    const qint64 now = clock_();
    challenges_.removeIf(
        [&](const auto& item) { return now - item.value().sentAtMs >= kChallengeLifeMs; });
    budgets_.removeIf(
        [&](const auto& item) { return now - item.value().sinceMs >= kBudgetPeriodMs; });
    hinted_.removeIf([&](const auto& item) { return now - item.value() >= kChallengeLifeMs; });
    checking_.removeIf([&](const auto& item) {
        if (now - item.value() < kAnswerWithinMs) {
            return false;
        }
        confirmed_.remove(item.key());  // an older copy answers there now
        return true;
    });
    confirmed_.removeIf([&](const auto& item) {
        return now - item.value() >= kProofFreshForMs && !admits_(item.key());
    });
}
