#pragma once

#include <ostream>

#include <QString>

namespace glintwork {

// Where an item stands in its batch. Equal when the case is equal and, for error, the
// message is the same text.
class ConversionStatus {
public:
    enum class Kind { waiting, processing, completed, cancelled, error };

    static ConversionStatus waiting() { return ConversionStatus(Kind::waiting); }
    static ConversionStatus processing() { return ConversionStatus(Kind::processing); }
    static ConversionStatus completed() { return ConversionStatus(Kind::completed); }
    static ConversionStatus cancelled() { return ConversionStatus(Kind::cancelled); }
    static ConversionStatus error(const QString& message) {
        return ConversionStatus(Kind::error, message);
    }

    ConversionStatus() = default;

    [[nodiscard]] Kind kind() const { return m_kind; }
    [[nodiscard]] bool is(Kind kind) const { return m_kind == kind; }
    // The failure text; empty for every other case.
    [[nodiscard]] const QString& errorMessage() const { return m_message; }

    friend bool operator==(const ConversionStatus&, const ConversionStatus&) = default;

    // For test failure messages: "waiting", "error(text)", ...
    [[nodiscard]] QString debugText() const;

private:
    explicit ConversionStatus(Kind kind, QString message = {})
        : m_kind(kind), m_message(std::move(message)) {}

    Kind m_kind = Kind::waiting;
    QString m_message;
};

// Lets GoogleTest print a status in failure messages.
void PrintTo(const ConversionStatus& status, std::ostream* out);

} // namespace glintwork
