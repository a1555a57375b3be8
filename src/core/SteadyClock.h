#pragma once

#include <QtGlobal>

#include <functional>

// Milliseconds on a clock that never jumps (not the wall clock), for the
// timing of resends and silences. Tests hand in a clock they move by hand.
using SteadyClock = std::function<qint64()>;

// The system's monotonic clock.
[[nodiscard]] SteadyClock systemSteadyClock();
