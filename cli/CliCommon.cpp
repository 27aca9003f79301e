#include "CliCommon.h"

#include "fs/AppSettings.h"
#include "fs/CustomFolders.h"
#include "scanners/Scanner.h"

#include <QDir>
#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <mutex>
#include <thread>
#include <unistd.h>

namespace CliCommon {

QString singleLine(QString text)
{
    for (QChar& c : text) {
        if (c.category() == QChar::Other_Control || c == QChar::LineSeparator ||
            c == QChar::ParagraphSeparator)
            c = u' ';
    }
    return text;
}

namespace {

void write(FILE* stream, const QString& text)
{
    const QByteArray bytes = text.toUtf8();
    std::fwrite(bytes.constData(), 1, static_cast<size_t>(bytes.size()), stream);
    std::fflush(stream);
}

} // namespace

void out(const QString& text)
{
    write(stdout, text);
}

void err(const QString& text)
{
    write(stderr, text);
}

void printJson(const QJsonDocument& document)
{
    const QByteArray bytes = document.toJson(QJsonDocument::Indented);
    std::fwrite(bytes.constData(), 1, static_cast<size_t>(bytes.size()), stdout);
    std::fflush(stdout);
}

QString usage()
{
    return QStringLiteral(
        "Usage:\n"
        "  brimvale-cli scan    [--json] [--unused-for DAYS] [--loose | --no-loose] "
        "[--folder DIR]...\n"
        "  brimvale-cli report  [--output FILE] [--loose | --no-loose] [--folder DIR]...\n"
        "  brimvale-cli trash   [--json] [--force] [--loose | --no-loose] [--folder DIR]... ID...\n"
        "  brimvale-cli trashed [--json]\n"
        "  brimvale-cli restore [--json] TRASH-ID...\n"
        "  brimvale-cli delete  [--json] --yes TRASH-ID...\n"
        "  brimvale-cli move    [--json] [--no-symlinks] [--loose | --no-loose] [--folder DIR]... "
        "--to DIR ID...\n"
        "  brimvale-cli move-back [--json] [--loose | --no-loose] [--folder DIR]... ID...\n"
        "  brimvale-cli dedupe  [--json] [--dry-run] [--hard-link] [--loose | --no-loose] "
        "[--folder DIR]... ID...\n"
        "  brimvale-cli folders [list | add DIR | remove DIR]\n"
        "  brimvale-cli --version | --help\n"
        "\n"
        "Finds AI model files and AI-tool caches in your home folder, shows what each source\n"
        "takes, and reclaims the space safely.\n");
}

int usageError(const QString& message)
{
    err(QStringLiteral("brimvale-cli: ") + message + u'\n' + usage());
    return kUsage;
}

bool stderrIsTerminal()
{
    return ::isatty(STDERR_FILENO) == 1;
}

QString cleanPath(const QString& path)
{
    return QDir::cleanPath(QDir::current().absoluteFilePath(path));
}

bool ScanOptions::resolvedIncludeLoose() const
{
    return includeLoose.value_or(AppSettings::includeLoose());
}

QStringList ScanOptions::resolvedFolders() const
{
    return CustomFolders::withExtra(CustomFolders::load(), extraFolders);
}

std::optional<QString> parse(const QStringList& arguments, const QStringList& allowedFlags,
                             bool scanOptions, bool allowTo, bool allowOutput, Arguments& parsed)
{
    bool optionsEnded = false;
    for (qsizetype i = 0; i < arguments.size(); ++i) {
        const QString& argument = arguments[i];
        // A lone "-" is an argument; anything else starting with "-" is an option.
        if (optionsEnded || !argument.startsWith(u'-') || argument == QStringLiteral("-")) {
            parsed.positional.push_back(argument);
            continue;
        }
        if (argument == QStringLiteral("--")) {
            optionsEnded = true;
            continue;
        }
        const bool takesValue = (scanOptions && argument == QStringLiteral("--folder")) ||
                                (allowTo && argument == QStringLiteral("--to")) ||
                                (allowOutput && argument == QStringLiteral("--output"));
        if (takesValue) {
            if (i + 1 >= arguments.size())
                return QStringLiteral("missing value for ") + argument;
            const QString value = cleanPath(arguments[++i]);
            if (argument == QStringLiteral("--folder"))
                parsed.scan.extraFolders.push_back(value);
            else if (argument == QStringLiteral("--to"))
                parsed.to = value;
            else
                parsed.output = value;
            continue;
        }
        if (scanOptions && argument == QStringLiteral("--loose")) {
            parsed.scan.includeLoose = true;
            continue;
        }
        if (scanOptions && argument == QStringLiteral("--no-loose")) {
            parsed.scan.includeLoose = false;
            continue;
        }
        if (allowedFlags.contains(argument)) {
            if (!parsed.flags.contains(argument))
                parsed.flags.push_back(argument);
            continue;
        }
        return QStringLiteral("unknown option: ") + argument;
    }
    return std::nullopt;
}

namespace {

// The progress line of a running scan: sources and entries while the sources are scanned, then
// the bytes of duplicate candidates read in full.
QString progressLine(const ScanProgress& progress)
{
    const int done = progress.sourcesDone.load();
    const int total = progress.sourcesTotal.load();
    const qint64 toHash = progress.bytesToHash.load();
    if (done == total && toHash > 0)
        return QStringLiteral("Confirming duplicates: %1 of %2 MB read")
            .arg(progress.bytesHashed.load() / 1'000'000)
            .arg(toHash / 1'000'000);
    return QStringLiteral("Scanning: %1 of %2 sources done, %3 entries seen")
        .arg(done)
        .arg(total)
        .arg(progress.entriesWalked.load());
}

} // namespace

ScanResult runScan(const ScanOptions& options)
{
    ScanRequest request{options.resolvedIncludeLoose(), options.resolvedFolders()};
    if (!stderrIsTerminal())
        return Scanner::scanAll(request).value(); // never stopped

    ScanProgress progress;
    request.progress = &progress;
    std::mutex mutex;
    std::condition_variable done;
    bool finished = false;
    std::thread reporter([&] {
        std::unique_lock lock(mutex);
        while (!done.wait_for(lock, std::chrono::milliseconds(250), [&] { return finished; }))
            err(QStringLiteral("\r") + progressLine(progress) + QStringLiteral("\033[K"));
        err(QStringLiteral("\r\033[K"));
    });
    std::optional<ScanResult> result = Scanner::scanAll(request);
    {
        std::lock_guard lock(mutex);
        finished = true;
    }
    done.notify_all();
    reporter.join();
    return std::move(result).value(); // never stopped
}

std::optional<QList<ModelEntry>> entriesWithIds(const ScanResult& result, const QStringList& ids)
{
    QList<ModelEntry> entries;
    for (const QString& id : ids) {
        const auto found = std::find_if(result.models.cbegin(), result.models.cend(),
                                        [&](const ModelEntry& entry) { return entry.id == id; });
        if (found == result.models.cend()) {
            err(QStringLiteral("No entry with id ") + id + u'\n');
            return std::nullopt;
        }
        entries.push_back(*found);
    }
    return entries;
}

} // namespace CliCommon
