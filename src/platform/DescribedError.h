#pragma once

#include <exception>

#include <QByteArray>
#include <QString>

namespace glintwork {

// Base of every error a user may read in a file's row: each component's error type
// renders its own text through description().
class DescribedError : public std::exception {
public:
    [[nodiscard]] virtual QString description() const = 0;
    [[nodiscard]] const char* what() const noexcept override;

private:
    mutable QByteArray m_what;
};

} // namespace glintwork
