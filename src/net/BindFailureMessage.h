#pragma once

#include "net/UdpEndpoint.h"

#include <QString>

// What the main window tells the user when the endpoint could not bind its
// port: the cause in words the user can act on, and that receiving is off.
// Empty when there was no failure (NotBound, Bound).
[[nodiscard]] QString bindFailureMessage(UdpEndpoint::BindState state, const QString& reason,
                                         const QString& executablePath, int port);
