#pragma once

#include <functional>

class EntryList;
class QWidget;
class CorrespondentDialog;

// The editing commands of the directory's pop-up menu: add, insert, edit,
// delete and delete all, through the correspondent dialog and the
// confirmation box. The directory may change while the dialog or the box is
// open (datagrams are still handled), so edit and delete act on the line
// selected when it closes, and do nothing when by then no line is selected.
class DirectoryCommands {
  public:
    // Gives the dialog; called at each use, so the window can build it on
    // first use and hand out the same one afterwards.
    using DialogSource = std::function<CorrespondentDialog&()>;

    // boxParent is the window the confirmation boxes belong to.
    DirectoryCommands(EntryList& directory, DialogSource dialog, QWidget* boxParent = nullptr);
    DirectoryCommands(EntryList& directory, CorrespondentDialog& dialog,
                      QWidget* boxParent = nullptr);

    // Edit: the selected line, split into name and address, is replaced by
    // the confirmed entry at the same position.
    void editEntry();
    // Add: a confirmed entry is appended.
    void addEntry();
    // Insert: a confirmed entry goes above the selected line, or first when
    // no line is selected.
    void insertEntry();
    // Delete: removes the selected line, asking first unless its name and
    // address are both empty.
    void deleteEntry();
    // Delete all: empties the directory after asking.
    void deleteAllEntries();

  private:
    EntryList& directory_;
    DialogSource dialog_;
    QWidget* boxParent_;
};
