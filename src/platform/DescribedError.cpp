#include "platform/DescribedError.h"

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

} // namespace glintwork
