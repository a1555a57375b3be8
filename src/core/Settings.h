#pragma once

#include "core/Entry.h"

#include <QString>

// Everything the settings file keeps, one field per key, with the value the
// program uses when the key is missing. The four Yes*/Text* pairs are the
// alert rules: whether the alert is on and the subject it is limited to.
struct Settings {
    QString myName = kDefaultSelfName;  // the self name
    bool yesPopUpMess = true;           // a chat line pops the window up,
    QString textPopUpMess;              // ... only this line when not blank
    bool yesPopUpCorr = true;           // a new correspondent pops the window up,
    QString textPopUpCorr;              // ... only this name when not blank
    bool yesBeepMess = true;            // a chat line beeps,
    QString textBeepMess;               // ... only this line when not blank
    bool yesBeepCorr = true;            // a new correspondent beeps,
    QString textBeepCorr;               // ... only this name when not blank
    bool minimizeOnStart = false;       // only kept; nothing acts on it

    friend bool operator==(const Settings&, const Settings&) = default;
};
