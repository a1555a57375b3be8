#include "app/commands/DirectoryCommands.h"

#include "app/dialogs/CorrespondentDialog.h"
#include "app/dialogs/MessageBoxes.h"
#include "core/Entry.h"
#include "core/EntryList.h"
#include "text/Normalization.h"

#include <algorithm>
#include <utility>

using namespace Qt::StringLiterals;

DirectoryCommands::DirectoryCommands(EntryList& directory, DialogSource dialog, QWidget* boxParent)
    : directory_(directory), dialog_(std::move(dialog)), boxParent_(boxParent) {}

DirectoryCommands::DirectoryCommands(EntryList& directory, CorrespondentDialog& dialog,
                                     QWidget* boxParent)
    : DirectoryCommands(
          directory, [&dialog]() -> CorrespondentDialog& { return dialog; }, boxParent) {}

void DirectoryCommands::editEntry() {
    if (directory_.count() == 0 || directory_.selectedIndex() < 0) {
        return;
    }
    // A line that is no entry opens the dialog with both fields empty.
    auto [name, address, isEntry] =
        splitEntry(cutSpacesCopy(directory_.line(directory_.selectedIndex())));
    if (!dialog_().ask(name, address)) {
        return;
    }
    const int selected = directory_.selectedIndex();
    if (selected < 0) {
        return;
    }
    directory_.replace(selected, makeEntry(name, address));
}

void DirectoryCommands::addEntry() {
    QString name;
    QString address;
    if (dialog_().ask(name, address)) {
        directory_.add(makeEntry(name, address));
    }
}

void DirectoryCommands::insertEntry() {
    QString name;
    QString address;
    if (!dialog_().ask(name, address)) {
        return;
    }
    const QString entry = makeEntry(name, address);
    if (directory_.count() == 0) {
        directory_.add(entry);
    } else {
        directory_.insert(std::max(directory_.selectedIndex(), 0), entry);
    }
}

void DirectoryCommands::deleteEntry() {
    if (directory_.count() == 0 || directory_.selectedIndex() < 0) {
        return;
    }
    const EntryParts parts = splitEntry(directory_.line(directory_.selectedIndex()));
    if (!parts.name.isEmpty() || !parts.address.isEmpty()) {
        if (!confirm(u"Вы желаете удалить эту строку из списка ?"_s, boxParent_)) {
            return;
        }
    }
    const int selected = directory_.selectedIndex();
    if (selected < 0) {
        return;
    }
    directory_.remove(selected);
}

void DirectoryCommands::deleteAllEntries() {
    if (directory_.count() == 0) {
        return;
    }
    if (confirm(u"Вы желаете очистить ВЕСЬ список ?"_s, boxParent_)) {
        directory_.clear();
    }
}
