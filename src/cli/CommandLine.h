#pragma once

#include <optional>

#include <QString>
#include <QStringList>

#include "naming/NamingConfig.h"

namespace glintwork::cli {

// Options every subcommand takes.
struct CommonOptions {
    std::optional<QString> outputDirectory;
    std::optional<NamingMode> naming;
    std::optional<QString> suffix;
    std::optional<QString> prefix;
    std::optional<QString> start;
    std::optional<int> jobs;
    int shardIndex = 0;
    int shardCount = 1;
    bool json = false;
    bool quiet = false;
    QStringList paths;
};

// Subcommand-specific options, kept as text and validated by their subcommand.
struct ParsedCommand {
    QString subcommand;
    CommonOptions common;
    QStringList flags;                      // options without a value, e.g. --export-mask
    QList<QPair<QString, QString>> values;  // options with a value, in order
    [[nodiscard]] std::optional<QString> value(const QString& name) const;
    [[nodiscard]] bool hasFlag(const QString& name) const { return flags.contains(name); }
};

class UsageError : public std::exception {
public:
    explicit UsageError(QString message) : m_message(std::move(message)), m_utf8(m_message.toUtf8()) {}
    [[nodiscard]] const QString& message() const { return m_message; }
    [[nodiscard]] const char* what() const noexcept override { return m_utf8.constData(); }

private:
    QString m_message;
    QByteArray m_utf8;
};

// `valueOptions` and `flagOptions` are the subcommand's own. Throws UsageError.
[[nodiscard]] ParsedCommand parseCommandLine(const QStringList& arguments,
                                             const QStringList& valueOptions,
                                             const QStringList& flagOptions);

[[nodiscard]] int parseInteger(const QString& option, const QString& text, int minimum, int maximum);

[[nodiscard]] const char* usageText();

} // namespace glintwork::cli
