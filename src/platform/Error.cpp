#include "platform/Error.h"

#include <cstring>
#include <new>
#include <utility>

#include <QCoreApplication>

namespace glintwork {

Error::Error(ErrorKind kind, QString text, ErrorDetails details)
    : m_kind(kind), m_text(std::move(text)), m_details(std::move(details)),
      m_what(m_text.toUtf8()) {}

QString systemErrorText(int errorNumber) {
    return QString::fromLocal8Bit(std::strerror(errorNumber));
}

QString describeCurrentException() {
    try {
        throw;
    } catch (const Error& error) {
        return error.text();
    } catch (const std::bad_alloc&) {
        return QCoreApplication::translate("Error", "Not enough memory for this image.");
    } catch (const std::exception& error) {
        return QString::fromUtf8(error.what());
    } catch (...) {
        return QCoreApplication::translate("Error", "Unknown error.");
    }
}

} // namespace glintwork
