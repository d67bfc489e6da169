#include "platform/DescribedError.h"

#include <new>

#include <QCoreApplication>

namespace glintwork {

const char* DescribedError::what() const noexcept {
    try {
        if (m_what.isEmpty())
            m_what = description().toUtf8();
        return m_what.constData();
    } catch (...) {
        return "error";
    }
}

QString describeCurrentException() {
    try {
        throw;
    } catch (const DescribedError& error) {
        return error.description();
    } catch (const std::bad_alloc&) {
        return QCoreApplication::translate("DescribedError", "Not enough memory for this image.");
    } catch (const std::exception& error) {
        return QString::fromUtf8(error.what());
    } catch (...) {
        return QCoreApplication::translate("DescribedError", "Unknown error.");
    }
}

} // namespace glintwork
