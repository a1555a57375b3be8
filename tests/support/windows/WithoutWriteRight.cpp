#include "support/WithoutWriteRight.h"

std::optional<QStringList> runWithoutWriteRight(const QString& /*folder*/,
                                                const QStringList& /*files*/,
                                                const std::function<QStringList()>& /*body*/) {
    // A folder's write right lives in its access list on Windows; the
    // permission bits Qt sets there are only the read-only attribute.
    return std::nullopt;
}
