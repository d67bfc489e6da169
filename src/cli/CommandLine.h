#pragma once

#include <optional>

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QString>
#include <QStringList>

#include "naming/NamingConfig.h"

namespace glintwork::cli {

// Options every subcommand takes. Paths are kept as the bytes given on the command line:
// a file name need not be valid UTF-8.
struct CommonOptions {
    std::optional<QByteArray> outputDirectory; // "-": the one result to standard output
    std::optional<NamingMode> naming;
    std::optional<QString> suffix;
    std::optional<QString> prefix;
    std::optional<QString> start;
    std::optional<int> jobs;
    int shardIndex = 0;
    int shardCount = 1;
    bool json = false;
    bool progress = false;
    bool quiet = false;
    bool skipExisting = false;
    QList<QByteArray> paths;
};

// One option as the help, the man page and the parser know it.
struct OptionInfo {
    QString shortName; // "o", or empty
    QString longName;  // "output"
    QString valueName; // "DIR", or empty for a switch
    QString description;
    QString defaultText; // empty: nothing to say
};

struct SubcommandInfo {
    QString name;
    QString summary;
    QList<OptionInfo> options; // its own, before the common ones
    QString example;
};

// The three subcommands, in the order the help lists them.
[[nodiscard]] const QList<SubcommandInfo>& subcommands();
[[nodiscard]] const SubcommandInfo* findSubcommand(const QString& name);
[[nodiscard]] const QList<OptionInfo>& commonOptions();

struct ParsedCommand {
    const SubcommandInfo* subcommand = nullptr;
    CommonOptions common;
    bool helpAsked = false;
    QHash<QString, QString> values; // the subcommand's own options by long name, last one given
    QStringList switches;           // the subcommand's own switches given
    [[nodiscard]] std::optional<QString> value(const QString& name) const;
    [[nodiscard]] bool has(const QString& name) const { return switches.contains(name); }
};

class UsageError : public std::exception {
public:
    explicit UsageError(QString message)
        : m_message(std::move(message)), m_utf8(m_message.toUtf8()) {}
    [[nodiscard]] const QString& message() const { return m_message; }
    [[nodiscard]] const char* what() const noexcept override { return m_utf8.constData(); }

private:
    QString m_message;
    QByteArray m_utf8;
};

// The program's arguments without its own name. An argument that is not valid UTF-8 is
// held by a stand-in text that rawArgument() turns back into its bytes.
[[nodiscard]] QStringList argumentsFrom(int argc, char** argv);
[[nodiscard]] QByteArray rawArgument(const QString& argument);

// `arguments` begins with the subcommand. Throws UsageError.
[[nodiscard]] ParsedCommand parseCommandLine(const QStringList& arguments);

[[nodiscard]] int parseInteger(const QString& option, const QString& text, int minimum,
                               int maximum);

// The overview (no subcommand, or "help") and one subcommand's help.
[[nodiscard]] QString overviewHelp();
[[nodiscard]] QString subcommandHelp(const SubcommandInfo& subcommand);
// The version and the networks installed.
[[nodiscard]] QString versionText();

} // namespace glintwork::cli
