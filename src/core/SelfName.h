#pragma once

#include <QString>

// The self name goes inside control datagrams, so it must never hold text
// that the receiving dispatcher reads as protocol: the control prefix, the
// relay separator or a keyword. A name that did would make every peer, and a
// copy whose own address is in its directory, answer it over and over.
//
// Each such occurrence is spoilt by turning its first character into "?",
// which no protocol text contains, until none is left.

// The normalised name (blanks cut, upper-cased) made safe.
[[nodiscard]] QString cleanSelfName(QString normalized);

// The name as typed, with the same characters spoilt as cleanSelfName would
// spoil in its normalised form; case and blanks stay as typed.
[[nodiscard]] QString cleanTypedSelfName(QString typed);

// A name that came from the wire (a registration, an answer, an exit
// notice), made fit to stand in a roster or directory line: control
// characters (line breaks included) become "?", the blanks around it are
// cut, it is upper-cased, and every entry separator, control prefix and
// relay separator in it is spoilt as cleanSelfName spoils them. So the line
// built from it is one line with one separator, and its address is the one
// put after that.
[[nodiscard]] QString cleanPeerName(QString name);
