#include "CliCommon.h"

#include "CustomFolders.h"

#include <QDir>
#include <QSettings>
#include <cstdio>
#include <unistd.h>

namespace CliCommon {

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
        "  brimvale-cli scan    [--json] [--loose | --no-loose] [--folder DIR]...\n"
        "  brimvale-cli report  [--output FILE] [--loose | --no-loose] [--folder DIR]...\n"
        "  brimvale-cli trash   [--json] [--force] [--loose | --no-loose] [--folder DIR]... ID...\n"
        "  brimvale-cli trashed [--json]\n"
        "  brimvale-cli restore [--json] TRASH-ID...\n"
        "  brimvale-cli delete  [--json] --yes TRASH-ID...\n"
        "  brimvale-cli move    [--json] [--no-symlinks] [--loose | --no-loose] [--folder DIR]... "
        "--to DIR ID...\n"
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
    QString cleaned = QDir::cleanPath(QDir::current().absoluteFilePath(path));
    return withoutTrailingSlashes(cleaned);
}

QString withoutTrailingSlashes(const QString& path)
{
    QString result = path;
    while (result.size() > 1 && result.endsWith(u'/'))
        result.chop(1);
    return result;
}

bool ScanOptions::resolvedIncludeLoose() const
{
    if (includeLoose)
        return *includeLoose;
    const QSettings settings(QStringLiteral("Brimvale"), QStringLiteral("Brimvale"));
    return settings.value(QStringLiteral("includeLoose"), false).toBool();
}

QStringList ScanOptions::resolvedFolders() const
{
    QStringList folders = CustomFolders::load();
    QStringList seen;
    for (const QString& folder : folders)
        seen.push_back(withoutTrailingSlashes(folder));
    for (const QString& folder : extraFolders) {
        const QString key = withoutTrailingSlashes(folder);
        if (seen.contains(key))
            continue;
        seen.push_back(key);
        folders.push_back(folder);
    }
    return folders;
}

std::optional<QString> parse(const QStringList& arguments, const QStringList& allowedFlags,
                             bool scanOptions, bool allowTo, bool allowOutput, Arguments& parsed)
{
    bool optionsEnded = false;
    for (qsizetype i = 0; i < arguments.size(); ++i) {
        const QString& argument = arguments[i];
        if (optionsEnded || !argument.startsWith(QStringLiteral("--"))) {
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

} // namespace CliCommon
