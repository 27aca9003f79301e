#pragma once

#include "model/ModelEntry.h"
#include "model/ScanResult.h"

#include <QJsonDocument>
#include <QList>
#include <QString>
#include <QStringList>
#include <optional>

// Pieces every brimvale-cli command shares: output, path cleaning and the scan options.
namespace CliCommon {

inline constexpr int kSuccess = 0;
inline constexpr int kFailure = 1;
inline constexpr int kUsage = 2;

void out(const QString& text); // stdout, UTF-8, as given
void err(const QString& text); // stderr, UTF-8, as given
void printJson(const QJsonDocument& document);
// Prints "brimvale-cli: {message}" and the usage on stderr; returns kUsage.
int usageError(const QString& message);
[[nodiscard]] QString usage();
// The text on one line with no raw control character: control characters (line breaks, tabs,
// NUL, escapes) and line or paragraph separators become blanks. For names and paths in plain
// output.
[[nodiscard]] QString singleLine(QString text);
// Whether stderr is a terminal (progress is shown only then).
[[nodiscard]] bool stderrIsTerminal();

// Absolute against the current directory, "." and ".." removed, no trailing "/"; symlinks are
// not resolved.
[[nodiscard]] QString cleanPath(const QString& path);

// --loose / --no-loose / --folder DIR, as the scanning commands take them.
struct ScanOptions
{
    std::optional<bool> includeLoose;
    QStringList extraFolders;

    // The stored "includeLoose" setting unless overridden.
    [[nodiscard]] bool resolvedIncludeLoose() const;
    // The stored folders, then the --folder ones not already there (compared without trailing
    // slashes), in argument order.
    [[nodiscard]] QStringList resolvedFolders() const;
};

// Parsed arguments of one command: flags, options with one value, and the rest in order.
struct Arguments
{
    QStringList flags;
    QStringList positional;
    ScanOptions scan;
    std::optional<QString> to;
    std::optional<QString> output;
};

// Parses the arguments after the command name. Any argument starting with "-" (but a lone "-")
// is an option until "--": flags outside `allowedFlags` and the scan options, unless
// `scanOptions` allows them, are usage errors: the message is returned.
[[nodiscard]] std::optional<QString> parse(const QStringList& arguments,
                                           const QStringList& allowedFlags, bool scanOptions,
                                           bool allowTo, bool allowOutput, Arguments& parsed);

// Runs a full scan with the options (progress on stderr only when it is a terminal).
[[nodiscard]] ScanResult runScan(const ScanOptions& options);

// The entries with the given ids, in the order of the ids. An unknown id prints
// "No entry with id {id}" on stderr and gives nothing.
[[nodiscard]] std::optional<QList<ModelEntry>> entriesWithIds(const ScanResult& result,
                                                              const QStringList& ids);

} // namespace CliCommon
