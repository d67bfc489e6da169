#include "batch/ConversionStatus.h"

namespace glintwork {

QString ConversionStatus::debugText() const {
    switch (m_kind) {
    case Kind::waiting:
        return QStringLiteral("waiting");
    case Kind::processing:
        return QStringLiteral("processing");
    case Kind::completed:
        return QStringLiteral("completed");
    case Kind::cancelled:
        return QStringLiteral("cancelled");
    case Kind::error:
        return QStringLiteral("error(%1)").arg(m_message);
    }
    return {};
}

void PrintTo(const ConversionStatus& status, std::ostream* out) {
    *out << status.debugText().toStdString();
}

} // namespace glintwork
