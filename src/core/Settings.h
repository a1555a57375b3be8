#pragma once

#include "core/Entry.h"

#include <QString>

// Everything the settings file keeps, one field per key, with the value the
// program uses when the key is missing. The four Yes*/Text* pairs are the
// alert rules: whether the alert is on and the subject it is limited to.
struct Settings {
    QString myName = kDefaultSelfName;  // self name, EditSelfName
    bool yesPopUpMess = true;           // CheckBox1
    QString textPopUpMess;              // Edit1
    bool yesPopUpCorr = true;           // CheckBox2
    QString textPopUpCorr;              // Edit2
    bool yesBeepMess = true;            // CheckBox3
    QString textBeepMess;               // Edit3
    bool yesBeepCorr = true;            // CheckBox4
    QString textBeepCorr;               // Edit4
    bool minimizeOnStart = false;       // CheckBox5; only kept, nothing acts on it

    friend bool operator==(const Settings&, const Settings&) = default;
};
