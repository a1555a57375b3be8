#include "core/SteadyClock.h"

#include <QDeadlineTimer>

SteadyClock systemSteadyClock() {
    return [] { return QDeadlineTimer::current().deadline(); };
}
