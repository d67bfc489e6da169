#include "cli/CommandLine.h"

#include <QCommandLineParser>
#include <QFile>
#include <QFileInfo>

#include "cutout/BackgroundRemover.h"
#include "upscale/DnnUpscaler.h"

namespace glintwork::cli {

namespace {

using namespace Qt::StringLiterals;

// Arguments that are not valid UTF-8 are held as this character (from the private use
// area) followed by their index.
constexpr QChar kRawMarker(0xF8FF);
QHash<QString, QByteArray>& rawArguments() {
    static QHash<QString, QByteArray> arguments;
    return arguments;
}

QString wrapped(const QString& text, int indent, int width = 78) {
    QString out;
    QString line;
    for (const QString& word : text.split(u' ', Qt::SkipEmptyParts)) {
        if (!line.isEmpty() && indent + line.size() + 1 + word.size() > width) {
            out += QString(indent, u' ') + line + u'\n';
            line.clear();
        }
        line += (line.isEmpty() ? QString() : u" "_s) + word;
    }
    if (!line.isEmpty())
        out += QString(indent, u' ') + line + u'\n';
    return out;
}

QString optionHelp(const OptionInfo& option, const QString& defaultText) {
    QString head = u"  "_s;
    head += option.shortName.isEmpty() ? u"    "_s : u"-"_s + option.shortName + u", "_s;
    head += u"--"_s + option.longName;
    if (!option.valueName.isEmpty())
        head += u' ' + option.valueName;
    QString text = option.description;
    if (!defaultText.isEmpty())
        text += u" Default: "_s + defaultText + u'.';
    return head + u'\n' + wrapped(text, 8);
}

void applyCommon(CommonOptions& common, const QCommandLineParser& parser) {
    if (parser.isSet(u"output"_s)) {
        common.outputDirectory = rawArgument(parser.value(u"output"_s));
        // An unset variable in a script ("-o $OUT") must not send outputs to "/".
        if (common.outputDirectory->isEmpty())
            throw UsageError(u"--output needs a folder, not an empty text"_s);
    }
    if (parser.isSet(u"naming"_s)) {
        const QString value = parser.value(u"naming"_s);
        common.naming = namingModeFromKeyword(value);
        if (!common.naming)
            throw UsageError(u"--naming must be original, suffix or custom, not '%1'"_s.arg(value));
    }
    if (parser.isSet(u"suffix"_s))
        common.suffix = parser.value(u"suffix"_s);
    if (parser.isSet(u"prefix"_s))
        common.prefix = parser.value(u"prefix"_s);
    if (parser.isSet(u"start"_s))
        common.start = parser.value(u"start"_s);
    if (parser.isSet(u"jobs"_s))
        common.jobs = parseInteger(u"--jobs"_s, parser.value(u"jobs"_s), 1, 256);
    if (parser.isSet(u"shard"_s)) {
        const QStringList parts = parser.value(u"shard"_s).split(u'/');
        if (parts.size() != 2)
            throw UsageError(u"--shard takes I/N, for example 0/4"_s);
        common.shardCount = parseInteger(u"--shard"_s, parts[1], 1, 1'000'000);
        common.shardIndex = parseInteger(u"--shard"_s, parts[0], 0, common.shardCount - 1);
    }
    common.json = parser.isSet(u"json"_s);
    common.progress = parser.isSet(u"progress"_s);
    common.quiet = parser.isSet(u"quiet"_s);
    common.skipExisting = parser.isSet(u"skip-existing"_s);
    if (common.progress && !common.json)
        throw UsageError(
            u"--progress adds records to --json; the terminal shows progress by itself"_s);
    for (const QString& path : parser.positionalArguments())
        common.paths.append(rawArgument(path));
}

} // namespace

const QList<OptionInfo>& commonOptions() {
    static const QList<OptionInfo> options{
        {u"o"_s, u"output"_s, u"DIR"_s,
         u"Write the outputs into DIR (made when missing); a file found inside a folder given as "
         "PATH keeps its path below that folder (in/a/x.jpg goes to DIR/a/). \"-\" writes the one "
         "result to standard output."_s,
         u"beside each input"_s},
        {{},
         u"naming"_s,
         u"MODE"_s,
         u"How outputs are named: original (the input's name), suffix (the name plus --suffix) "
         "or custom (--prefix and a number counted from --start)."_s,
         {}},
        {{},
         u"suffix"_s,
         u"TEXT"_s,
         u"The suffix of suffix naming; alone it selects suffix naming."_s,
         {}},
        {{},
         u"prefix"_s,
         u"TEXT"_s,
         u"The prefix of custom naming; alone it selects custom naming."_s,
         u"image"_s},
        {{},
         u"start"_s,
         u"N"_s,
         u"The first number of custom naming, up to six digits; its length is the least number "
         "of digits."_s,
         u"01"_s},
        {u"j"_s, u"jobs"_s, u"N"_s, u"How many files are processed at once, 1 to 256."_s,
         u"chosen for this machine's processors and memory"_s},
        {{},
         u"shard"_s,
         u"I/N"_s,
         u"Process only the files of share I (counted from 0) of N. A file's share comes from a "
         "hash of its path below the PATH it was found under, so machines that see the same "
         "folder agree on the split whatever order they list it in."_s,
         u"0/1"_s},
        {{},
         u"skip-existing"_s,
         {},
         u"Skip an input whose output name is already taken (a \"skipped\" record) instead of "
         "writing a numbered copy (x-1.webp)."_s,
         {}},
        {{},
         u"json"_s,
         {},
         u"Print one JSON object per line and file on standard output, nothing else."_s,
         {}},
        {{},
         u"progress"_s,
         {},
         u"With --json, also print a \"progress\" record for a file being processed, at most "
         "once a second."_s,
         {}},
        {{},
         u"quiet"_s,
         {},
         u"Print nothing for files that completed, and no progress line. Long form only: -q is "
         "compress's --quality."_s,
         {}},
        {u"h"_s, u"help"_s, {}, u"Show this help."_s, {}},
    };
    return options;
}

const QList<SubcommandInfo>& subcommands() {
    static const QList<SubcommandInfo> list{
        {u"compress"_s,
         u"Re-encodes images smaller, optionally in another format and at a smaller size."_s,
         {{u"f"_s, u"format"_s, u"FORMAT"_s, u"The output format: webp, jpeg, png, heic or avif."_s,
           u"webp"_s},
          {u"q"_s, u"quality"_s, u"N"_s, u"The encoder's quality, 0 to 100."_s, u"80"_s},
          {{},
           u"max-width"_s,
           u"W"_s,
           u"Scale down, keeping the proportions, so that the width is at most W pixels."_s,
           u"no limit"_s},
          {{},
           u"max-height"_s,
           u"H"_s,
           u"Scale down, keeping the proportions, so that the height is at most H pixels."_s,
           u"no limit"_s}},
         u"glintwork-cli compress -f avif -q 60 -o small photos/"_s},
        {u"cutout"_s,
         u"Removes the background of photos, keeping the subject on transparency."_s,
         {{u"m"_s, u"mode"_s, u"MODE"_s,
           u"lossless keeps the subject's pixels as they are; clean-edges also removes the "
           "background's colour from the edges."_s,
           u"lossless"_s},
          {u"f"_s, u"format"_s, u"FORMAT"_s, u"The output format: png or tiff."_s, u"png"_s},
          {{},
           u"export-mask"_s,
           {},
           u"Also write the mask as a grey PNG named after the output with \"-mask\"."_s,
           {}}},
         u"glintwork-cli cutout -m clean-edges --export-mask -o cut products/"_s},
        {u"upscale"_s,
         u"Enlarges images with a super-resolution network."_s,
         {{{},
           u"style"_s,
           u"STYLE"_s,
           u"auto, general (photos) or anime (drawings)."_s,
           u"auto"_s},
          {u"s"_s, u"scale"_s, u"FACTOR"_s, u"The enlargement: 2 or 4."_s, u"2"_s},
          {{},
           u"fast"_s,
           {},
           u"Use the compact network: many times faster on a processor, a little less "
           "detail."_s,
           {}},
          {u"f"_s, u"format"_s, u"FORMAT"_s, u"The output format: png or jpeg."_s, u"png"_s}},
         u"glintwork-cli upscale -s 4 --fast -o big scans/page-1.png"_s},
    };
    return list;
}

const SubcommandInfo* findSubcommand(const QString& name) {
    for (const SubcommandInfo& subcommand : subcommands()) {
        if (subcommand.name == name)
            return &subcommand;
    }
    return nullptr;
}

std::optional<QString> ParsedCommand::value(const QString& name) const {
    const auto found = values.constFind(name);
    return found == values.cend() ? std::nullopt : std::optional<QString>(*found);
}

QStringList argumentsFrom(int argc, char** argv) {
    QStringList arguments;
    for (int i = 1; i < argc; ++i) {
        const QByteArray raw(argv[i]);
        QString text = QFile::decodeName(raw);
        if (QFile::encodeName(text) != raw) {
            text = QString(kRawMarker) + QString::number(i);
            rawArguments().insert(text, raw);
        }
        arguments.append(text);
    }
    return arguments;
}

QByteArray rawArgument(const QString& argument) {
    const auto found = rawArguments().constFind(argument);
    return found != rawArguments().cend() ? *found : QFile::encodeName(argument);
}

int parseInteger(const QString& option, const QString& text, int minimum, int maximum) {
    bool ok = false;
    const qlonglong value = text.toLongLong(&ok);
    if (!ok || value < minimum || value > maximum)
        throw UsageError(u"%1 needs a whole number from %2 to %3, not '%4'"_s.arg(option)
                             .arg(minimum)
                             .arg(maximum)
                             .arg(text));
    return static_cast<int>(value);
}

ParsedCommand parseCommandLine(const QStringList& arguments) {
    if (arguments.isEmpty())
        throw UsageError(u"missing subcommand"_s);
    ParsedCommand command;
    command.subcommand = findSubcommand(arguments.first());
    if (!command.subcommand)
        throw UsageError(u"unknown subcommand '%1'"_s.arg(arguments.first()));

    QCommandLineParser parser;
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsCompactedShortOptions);
    parser.setOptionsAfterPositionalArgumentsMode(QCommandLineParser::ParseAsOptions);
    for (const QList<OptionInfo>* list : {&command.subcommand->options, &commonOptions()}) {
        for (const OptionInfo& info : *list) {
            QStringList names{info.longName};
            if (!info.shortName.isEmpty())
                names.prepend(info.shortName);
            parser.addOption(QCommandLineOption(names, info.description, info.valueName));
        }
    }
    if (!parser.parse(QStringList{u"glintwork-cli"_s} + arguments.mid(1)))
        throw UsageError(parser.errorText());
    command.helpAsked = parser.isSet(u"help"_s);
    if (command.helpAsked)
        return command;
    for (const OptionInfo& info : command.subcommand->options) {
        if (!parser.isSet(info.longName))
            continue;
        if (info.valueName.isEmpty())
            command.switches.append(info.longName);
        else
            command.values.insert(info.longName, parser.value(info.longName));
    }
    applyCommon(command.common, parser);
    if (command.common.paths.isEmpty())
        throw UsageError(u"no files or folders given"_s);
    return command;
}

QString overviewHelp() {
    QString text = u"usage: glintwork-cli SUBCOMMAND [OPTIONS] PATH...\n"
                   "       glintwork-cli SUBCOMMAND --help\n"
                   "       glintwork-cli --version\n\n"
                   "Subcommands:\n"_s;
    for (const SubcommandInfo& subcommand : subcommands())
        text += u"  %1  %2\n"_s.arg(subcommand.name.leftJustified(9), subcommand.summary);
    text += u"\n"_s +
            wrapped(u"PATH may be files or folders (searched recursively, hidden entries "
                    "skipped); put \"--\" before names that begin with \"-\". An existing file is "
                    "never replaced: a taken name gets a number (x-1.webp). Exit status: 0 when "
                    "every file completed, 1 when some failed, had a warning or were cancelled "
                    "(Ctrl-C), 2 on a usage error. \"glintwork-cli SUBCOMMAND --help\" lists the "
                    "options; \"man glintwork-cli\" tells more."_s,
                    0);
    return text;
}

QString subcommandHelp(const SubcommandInfo& subcommand) {
    QString text = u"usage: glintwork-cli %1 [OPTIONS] PATH...\n\n"_s.arg(subcommand.name) +
                   wrapped(subcommand.summary, 0) + u"\nOptions:\n"_s;
    for (const OptionInfo& option : subcommand.options)
        text += optionHelp(option, option.defaultText);
    text += u"\nCommon options:\n"_s;
    const QString namingDefault = subcommand.name == u"compress"_s ? u"original"_s
                                  : subcommand.name == u"cutout"_s
                                      ? u"suffix, with suffix \"-cutout\""_s
                                      : u"suffix, with suffix \"-upscaled-{scale}x\""_s;
    for (const OptionInfo& option : commonOptions())
        text +=
            optionHelp(option, option.longName == u"naming"_s ? namingDefault : option.defaultText);
    text += u"\n"_s;
    text += wrapped(
        u"PATH: files or folders, searched recursively. \"-\" as the only PATH reads one image "
        "from standard input. Put \"--\" before names that begin with \"-\" (-- --help.png)."_s,
        0);
    text += u"\n"_s;
    text += wrapped(
        u"Safe to run twice: outputs are told by their names. An image named as this run would "
        "name the output of another image in its folder (x.webp beside x.jpg when writing WebP, "
        "x-cutout.png beside x.jpg, the numbered x-1.webp too) is taken for an earlier run's "
        "output and skipped, with a \"skipped\" record; with --output inside a PATH folder, "
        "that output folder is not searched."_s,
        0);
    text += u"\n"_s;
    text += wrapped(
        u"Records (--json) carry input, output, status (completed, error, cancelled, skipped), "
        "error, warning, originalSize, outputSize, pixelWidth and pixelHeight. A name that is "
        "not valid UTF-8 is written with each undecodable byte as \\udc80 to \\udcff, as "
        "Python's os.fsdecode() does, so os.fsencode() gives the bytes back."_s,
        0);
    text += u"\nExample:\n  "_s + subcommand.example + u'\n';
    return text;
}

QString versionText() {
    QString text = u"glintwork-cli %1\n"_s.arg(QStringLiteral(GLINTWORK_VERSION));
    QStringList networks;
    if (const auto subject = BackgroundRemover::subjectModelPath())
        networks << u"cutout: "_s + QFileInfo(*subject).fileName();
    for (const UpscaleModel model : kAllUpscaleModels) {
        if (const auto url = DnnUpscaler::modelURL(model))
            networks << u"upscale: "_s + QFileInfo(*url).fileName();
    }
    text += networks.isEmpty() ? u"No networks installed.\n"_s
                               : u"Networks:\n  "_s + networks.join(u"\n  "_s) + u'\n';
    return text;
}

} // namespace glintwork::cli
