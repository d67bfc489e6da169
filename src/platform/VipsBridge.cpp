#include "platform/VipsBridge.h"

#include <algorithm>
#include <mutex>
#include <optional>
#include <utility>

#include <vips/vips8>

#include <QFile>
#include <QHash>
#include <QRegularExpression>
#include <QStringList>

namespace glintwork::VipsBridge {

using vips::VError;

namespace {

// libvips keeps one error buffer for the whole process, and a failing operation on any
// thread appends its lines to it; a VError copies the whole buffer when it is thrown.
// Clearing the buffer before each call would erase what another file's failure had just put
// there, and the first line of a copy may well be another file's. So each call writes a
// numbered mark into the buffer as it begins, and a failure picks its own lines from its
// copy: those after its mark (all of them when libvips emptied the buffer meanwhile, which
// it does itself now and then) that no other failure has claimed, and of those the ones
// naming its file when any does, never one naming another file. The buffer is emptied only
// when it grows large and every failure in it has been claimed, or when it is nearly full.
class VipsErrorLog {
public:
    struct Start {
        quint64 mark = 0;
        QByteArray file; // the file the call reads, as libvips names it; empty for none
    };

    // Whether the last lines taken on this thread were surely its failure's own.
    static thread_local bool t_certain;

    [[nodiscard]] static Start start(QByteArray file) {
        const std::lock_guard lock(s_mutex);
        emptyWhenLarge();
        const quint64 mark = ++s_lastMark;
        vips_error(kMarkDomain, "%llu", static_cast<unsigned long long>(mark));
        return {mark, std::move(file)};
    }

    // The lines of the failure of a call that began at `start` and whose VError copied
    // `copied`; they are claimed, so no other failure reports them.
    [[nodiscard]] static QStringList take(const Start& start, const char* copied) {
        const std::lock_guard lock(s_mutex);
        const QList<QByteArray> lines = QByteArray(copied).split('\n');
        const bool ownMarkKept = lines.contains(markLine(start.mark));
        bool afterOwnMark = !ownMarkKept;
        quint64 lastMark = 0;
        QList<Claim> candidates, naming;
        for (const QByteArray& line : lines) {
            if (const auto mark = markOf(line)) {
                lastMark = *mark;
                afterOwnMark = afterOwnMark || *mark == start.mark;
                continue;
            }
            const Claim claim{lastMark, line};
            // Lines before any mark came after libvips emptied the buffer; a claim of the
            // same text made before this call began was of a line that went with it.
            const auto claimed = s_claimed.constFind(claim);
            const bool taken = claimed != s_claimed.cend() &&
                               (ownMarkKept || lastMark != 0 || *claimed >= start.mark);
            if (!afterOwnMark || line.trimmed().isEmpty() || taken)
                continue;
            if (!start.file.isEmpty() && line.contains(start.file))
                naming.append(claim);
            else if (!line.contains("\"/") && !line.contains("`/"))
                candidates.append(claim);
        }
        QStringList own;
        for (const Claim& claim : naming.isEmpty() ? candidates : naming) {
            s_claimed.insert(claim, s_lastMark);
            own.append(QString::fromUtf8(claim.second));
        }
        // Without its file's name to go by, a failure's lines are the last ones before its
        // copy was made, all from one source: what another file's probe wrote meanwhile (and
        // libvips then emptied away) comes before them.
        t_certain = !naming.isEmpty();
        if (naming.isEmpty()) {
            qsizetype first = own.size() - 1;
            while (first > 0 && sourceOf(own[first - 1]) == sourceOf(own.last()))
                --first;
            // Lines from elsewhere, or a mark that libvips emptied away, mean another file's
            // probe ran while this call failed.
            t_certain = ownMarkKept && first == 0 && !own.isEmpty();
            own = own.mid(std::max<qsizetype>(first, 0));
        }
        return own;
    }

private:
    // The libvips domain a line begins with ("vipspng" in "vipspng: libpng read error").
    static QString sourceOf(const QString& line) { return line.section(QLatin1Char(':'), 0, 0); }

    // A line and the mark before it.
    using Claim = QPair<quint64, QByteArray>;
    static constexpr const char* kMarkDomain = "glintwork-call";

    static QByteArray markLine(quint64 mark) {
        return QByteArray(kMarkDomain) + ": " + QByteArray::number(mark);
    }
    static std::optional<quint64> markOf(const QByteArray& line) {
        const QByteArray prefix = QByteArray(kMarkDomain) + ": ";
        if (!line.startsWith(prefix))
            return std::nullopt;
        bool ok = false;
        const quint64 mark = line.mid(prefix.size()).toULongLong(&ok);
        return ok ? std::optional(mark) : std::nullopt;
    }

    static void emptyWhenLarge() {
        const QByteArray buffer(vips_error_buffer());
        forgetOldClaims(buffer);
        constexpr qsizetype kLarge = 4096, kNearlyFull = 8192;
        if (buffer.size() < kLarge)
            return;
        bool allClaimed = true;
        quint64 lastMark = 0;
        for (const QByteArray& line : buffer.split('\n')) {
            if (const auto mark = markOf(line))
                lastMark = *mark;
            else if (!line.trimmed().isEmpty() && !s_claimed.contains(Claim{lastMark, line}))
                allClaimed = false;
        }
        if (allClaimed || buffer.size() >= kNearlyFull) {
            vips_error_clear();
            s_claimed.clear();
        }
    }

    // Claims of lines libvips has since emptied away need not be kept.
    static void forgetOldClaims(const QByteArray& buffer) {
        constexpr qsizetype kManyClaims = 1024;
        if (s_claimed.size() < kManyClaims)
            return;
        quint64 oldest = s_lastMark;
        for (const QByteArray& line : buffer.split('\n')) {
            if (const auto mark = markOf(line)) {
                oldest = *mark;
                break;
            }
        }
        s_claimed.removeIf([oldest](const auto& claim) { return claim.key().first < oldest; });
    }

    static inline std::mutex s_mutex;
    static inline quint64 s_lastMark = 0;
    // Each claimed line, with the last mark written when it was claimed.
    static inline QHash<Claim, quint64> s_claimed;
};

thread_local bool VipsErrorLog::t_certain = true;

// Where the innermost call into libvips on this thread began.
thread_local VipsErrorLog::Start t_callStart;

// Marks where a call into libvips begins on this thread, for the length of a scope.
class VipsCall {
public:
    explicit VipsCall(const QString& file = {})
        : m_outer(std::exchange(t_callStart, VipsErrorLog::start(QFile::encodeName(file)))) {}
    VipsCall(const VipsCall&) = delete;
    VipsCall& operator=(const VipsCall&) = delete;
    ~VipsCall() { t_callStart = std::move(m_outer); }

private:
    VipsErrorLog::Start m_outer;
};

// This failure's own lines.
QStringList linesOf(const VError& error) {
    return VipsErrorLog::take(t_callStart, error.what());
}

// libvips messages look like `VipsForeignLoad: "x.png" is not a known file format` and
// may continue with lines of detail; the user needs the first statement only.
QString usefulLine(const QStringList& lines) {
    static const QRegularExpression prefix(QStringLiteral("^[A-Za-z0-9_]+: "));
    for (QString line : lines) {
        line = line.trimmed();
        line.remove(prefix);
        if (!line.isEmpty())
            return line;
    }
    return QStringLiteral("unknown error");
}

} // namespace

void ensureVipsStarted() {
    static std::once_flag once;
    std::call_once(once, [] {
        if (VIPS_INIT("glintwork") != 0)
            throw ImageErrors::failure(Kind::imageUnreadable,
                                       QStringLiteral("the image library could not start"));
        // libvips caches loads by file name and would hand back stale pixels after a file
        // is rewritten in place, which a batch tool does all the time.
        vips_cache_set_max(0);
        // Damaged files are reported through our own errors; libvips' warnings about them
        // would otherwise land on the terminal of every CLI run.
        g_log_set_handler(
            "VIPS", static_cast<GLogLevelFlags>(G_LOG_LEVEL_WARNING | G_LOG_LEVEL_MESSAGE),
            [](const gchar*, GLogLevelFlags, const gchar*, gpointer) {}, nullptr);
    });
}

Error fromVips(const VError& error, Kind kind, const QString& file) {
    QString reason = usefulLine(linesOf(error));
    // libvips names the full path here; the user already knows which file it is.
    if (reason.endsWith(QStringLiteral(" is not a known file format")))
        reason = QStringLiteral("it is not in a known image format");
    return ImageErrors::failure(kind, reason, file);
}

bool lastReasonCertain() {
    return VipsErrorLog::t_certain;
}

void resetLastReasonCertain() {
    VipsErrorLog::t_certain = true;
}

void runGuarded(const QString& file, Kind kind, const std::function<void()>& work) {
    ensureVipsStarted();
    const VipsCall call(file);
    try {
        work();
    } catch (const VError& error) {
        throw fromVips(error, kind, file);
    }
}

} // namespace glintwork::VipsBridge
