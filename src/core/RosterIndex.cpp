#include "core/RosterIndex.h"

#include "core/Entry.h"
#include "core/EntryList.h"

void RosterIndex::catchUp() {
    if (lineCount_ == roster_.count()) {
        return;
    }
    lines_.clear();
    lineCount_ = 0;
    for (const QString& line : roster_.lines()) {
        added(splitEntry(line).address, line);
    }
}

bool RosterIndex::isMember(const QString& address) {
    catchUp();
    return lines_.contains(address);
}

QStringList RosterIndex::linesOf(const QString& address) {
    catchUp();
    return lines_.value(address);
}

QStringList RosterIndex::addresses() {
    catchUp();
    return lines_.keys();
}

int RosterIndex::addressCount() {
    catchUp();
    return static_cast<int>(lines_.size());
}

void RosterIndex::added(const QString& address, const QString& line) {
    lines_[address].append(line);
    ++lineCount_;
}

void RosterIndex::removed(const QString& address, const QString& line) {
    const auto found = lines_.find(address);
    if (found == lines_.end() || !found->removeOne(line)) {
        return;
    }
    --lineCount_;
    if (found->isEmpty()) {
        lines_.erase(found);
    }
}

void RosterIndex::forget(const QString& address) {
    const auto found = lines_.find(address);
    if (found != lines_.end()) {
        lineCount_ -= static_cast<int>(found->size());
        lines_.erase(found);
    }
}
