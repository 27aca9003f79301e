#include "CliCommon.h"
#include "Commands.h"
#include "fs/CustomFolders.h"
#include "fs/PosixIO.h"
#include "model/BrimvaleError.h"
#include "model/ScanJson.h"
#include "services/ReportBuilder.h"
#include "text/Format.h"

#include <QDateTime>
#include <QDir>
#include <QJsonDocument>
#include <algorithm>
#include <array>
#include <sys/ioctl.h>
#include <unistd.h>

using namespace CliCommon;

namespace {

// Columns padded to their widest cell, two blanks apart; the last column is not padded.
QString columns(const QList<QStringList>& rows, const QList<bool>& alignRight)
{
    QList<qsizetype> widths;
    for (const QStringList& row : rows) {
        widths.resize(std::max(widths.size(), row.size()));
        for (qsizetype c = 0; c < row.size(); ++c)
            widths[c] = std::max(widths[c], row[c].size());
    }
    QString text;
    for (const QStringList& row : rows) {
        QString line;
        for (qsizetype c = 0; c < row.size(); ++c) {
            if (c > 0)
                line += QStringLiteral("  ");
            const bool last = c + 1 == row.size();
            if (c < alignRight.size() && alignRight[c])
                line += row[c].rightJustified(widths[c]);
            else
                line += last ? row[c] : row[c].leftJustified(widths[c]);
        }
        text += line + u'\n';
    }
    return text;
}

// The width of the terminal stdout shows on (its size, else COLUMNS, else 120), or nothing
// when stdout is not a terminal: scripts then get whole values.
std::optional<qsizetype> terminalWidth()
{
    if (::isatty(STDOUT_FILENO) != 1)
        return std::nullopt;
    winsize size{};
    if (::ioctl(STDOUT_FILENO, TIOCGWINSZ, &size) == 0 && size.ws_col > 0)
        return size.ws_col;
    bool ok = false;
    const int columns = qEnvironmentVariableIntValue("COLUMNS", &ok);
    return ok && columns > 0 ? columns : 120;
}

QString elidedMiddle(const QString& text, qsizetype width)
{
    if (text.size() <= width)
        return text;
    if (width <= 1)
        return QString(u'…').left(width);
    const qsizetype left = width / 2;
    return text.left(left) + u'…' + text.right(width - 1 - left);
}

constexpr qsizetype kColumns = 7;
constexpr qsizetype kPathColumn = kColumns - 1;

// Shrinks the ID, NAME and PATH cells (the widest first) so each row fits `width`; the
// duplicate mark after a name is kept whole and paths under the home folder start with "~".
void fitToWidth(QList<QStringList>& rows, const QList<QString>& marks, qsizetype width)
{
    constexpr std::array<qsizetype, 3> elidable{0, 1, kPathColumn};
    const QString home = QDir::homePath();
    for (qsizetype r = 1; r < rows.size(); ++r) {
        QString& path = rows[r][kPathColumn];
        if (home.size() > 1 && (path == home || path.startsWith(home + u'/')))
            path = u'~' + path.mid(home.size());
    }
    std::array<qsizetype, kColumns> widths{};
    for (const QStringList& row : std::as_const(rows))
        for (qsizetype c = 0; c < kColumns; ++c)
            widths[c] = std::max(widths[c], row[c].size());
    qsizetype total = 2 * (kColumns - 1);
    for (const qsizetype w : widths)
        total += w;
    constexpr qsizetype floor = 6;
    while (total > width) {
        qsizetype* widest = &widths[elidable[0]];
        for (const qsizetype c : elidable)
            if (widths[c] > *widest)
                widest = &widths[c];
        if (*widest <= floor)
            break;
        --*widest;
        --total;
    }
    for (qsizetype r = 1; r < rows.size(); ++r) {
        QStringList& row = rows[r];
        row[0] = elidedMiddle(row[0], widths[0]);
        const QString& mark = marks[r];
        row[1] = elidedMiddle(row[1].chopped(mark.size()),
                              std::max<qsizetype>(1, widths[1] - mark.size())) +
                 mark;
        row[kPathColumn] = elidedMiddle(row[kPathColumn], widths[kPathColumn]);
    }
}

QString table(const ScanResult& result)
{
    QList<ModelEntry> models = result.models;
    std::stable_sort(models.begin(), models.end(), [](const ModelEntry& a, const ModelEntry& b) {
        return a.sizeBytes > b.sizeBytes;
    });
    QString text;
    if (models.isEmpty()) {
        text += QStringLiteral("No models found.\n");
    } else {
        const QDateTime now = QDateTime::currentDateTime();
        QList<QStringList> rows{{QStringLiteral("ID"), QStringLiteral("NAME"),
                                 QStringLiteral("SOURCE"), QStringLiteral("SIZE"),
                                 QStringLiteral("MODIFIED"), QStringLiteral("LAST USED"),
                                 QStringLiteral("PATH")}};
        QList<QString> marks{QString()};
        for (const ModelEntry& model : std::as_const(models)) {
            marks.push_back(model.isDuplicate ? QStringLiteral(" ⚠ DUP") : QString());
            rows.push_back(
                {singleLine(model.id), singleLine(model.name) + marks.last(), model.sourceLabel(),
                 Format::bytes(model.sizeBytes), Format::relativeDate(model.lastModified, now),
                 Format::relativeDate(model.lastUsed, now), singleLine(model.primaryPath)});
        }
        if (const std::optional<qsizetype> width = terminalWidth())
            fitToWidth(rows, marks, *width);
        text += columns(rows, {false, false, false, true, false, false, false});
    }
    text += u'\n';
    QList<QStringList> totals{
        {QStringLiteral("SOURCE"), QStringLiteral("MODELS"), QStringLiteral("RECLAIMABLE")}};
    for (const ModelSource source : ModelSource::allCases()) {
        const auto count = std::count_if(models.cbegin(), models.cend(),
                                         [&](const ModelEntry& m) { return m.source == source; });
        if (count > 0)
            totals.push_back(
                {source.label(), QString::number(count), Format::bytes(result.bytes(source))});
    }
    if (totals.size() > 1)
        text += columns(totals, {false, true, true}) + u'\n';
    text += QStringLiteral("Total reclaimable: ") + Format::bytes(result.totalBytes()) + u'\n';
    return text;
}

// Takes "--unused-for DAYS" out of the arguments (before any "--"). The days, nothing when the
// option is absent, or the usage error.
std::optional<QString> takeUnusedFor(QStringList& arguments, std::optional<qint64>& days)
{
    const QString option = QStringLiteral("--unused-for");
    for (qsizetype i = 0; i < arguments.size(); ++i) {
        if (arguments[i] == QStringLiteral("--"))
            break;
        if (arguments[i] != option)
            continue;
        if (i + 1 >= arguments.size())
            return QStringLiteral("missing value for ") + option;
        const QString value = arguments[i + 1];
        bool ok = std::all_of(value.cbegin(), value.cend(),
                              [](QChar c) { return c >= u'0' && c <= u'9'; });
        const qint64 parsed = ok ? value.toLongLong(&ok) : 0;
        if (!ok || parsed <= 0 || parsed > 1'000'000)
            return option + QStringLiteral(" needs a positive whole number of days, not \"") +
                   singleLine(value) + u'"';
        days = parsed;
        arguments.remove(i, 2);
        --i;
    }
    return std::nullopt;
}

// Keeps only the entries last used more than `days` days before now; those without a date go.
void keepUnused(ScanResult& result, qint64 days)
{
    const QDateTime before = QDateTime::currentDateTimeUtc().addDays(-days);
    result.models.removeIf(
        [&](const ModelEntry& model) { return !model.lastUsed || *model.lastUsed >= before; });
}

void printErrors(const ScanResult& result)
{
    for (const QString& error : result.errors)
        err(singleLine(error) + u'\n');
}

// The system's description from a PosixIO failure ("Cannot write {path}: {description}").
QString descriptionOf(const BrimvaleError& error, const QString& path)
{
    const QString prefix = QStringLiteral("Cannot write ") + path + QStringLiteral(": ");
    return error.message().startsWith(prefix) ? error.message().mid(prefix.size())
                                              : error.message();
}

} // namespace

namespace Commands {

int scan(const QStringList& arguments)
{
    QStringList rest = arguments;
    std::optional<qint64> unusedFor;
    if (const auto error = takeUnusedFor(rest, unusedFor))
        return usageError(*error);
    Arguments parsed;
    if (const auto error = parse(rest, {QStringLiteral("--json")}, true, false, false, parsed))
        return usageError(*error);
    if (!parsed.positional.isEmpty())
        return usageError(QStringLiteral("unexpected argument: ") + parsed.positional.first());
    ScanResult result = runScan(parsed.scan);
    if (unusedFor)
        keepUnused(result, *unusedFor);
    printErrors(result);
    if (parsed.flags.contains(QStringLiteral("--json")))
        printJson(QJsonDocument(ScanJson::result(result)));
    else
        out(table(result));
    return kSuccess;
}

int report(const QStringList& arguments)
{
    Arguments parsed;
    if (const auto error = parse(arguments, {}, true, false, true, parsed))
        return usageError(*error);
    if (!parsed.positional.isEmpty())
        return usageError(QStringLiteral("unexpected argument: ") + parsed.positional.first());
    const ScanResult result = runScan(parsed.scan);
    printErrors(result);
    const QString text = ReportBuilder::markdown(result, QDateTime::currentDateTime());
    if (!parsed.output) {
        out(text + u'\n');
        return kSuccess;
    }
    try {
        PosixIO::writeAtomically(*parsed.output, text.toUtf8());
    } catch (const BrimvaleError& error) {
        err(QStringLiteral("Could not save report: ") + descriptionOf(error, *parsed.output) +
            u'\n');
        return kFailure;
    }
    return kSuccess;
}

int folders(const QStringList& arguments)
{
    Arguments parsed;
    if (const auto error = parse(arguments, {}, false, false, false, parsed))
        return usageError(*error);
    const QStringList& words = parsed.positional;
    const QString action = words.isEmpty() ? QStringLiteral("list") : words.first();
    if (action == QStringLiteral("list") && words.size() <= 1) {
        for (const QString& folder : CustomFolders::load())
            out(singleLine(folder) + u'\n');
        return kSuccess;
    }
    if (action != QStringLiteral("add") && action != QStringLiteral("remove"))
        return usageError(QStringLiteral("unexpected argument: ") + words.value(1, action));
    if (words.size() != 2)
        return usageError(words.size() < 2 ? QStringLiteral("missing folder for ") + action
                                           : QStringLiteral("unexpected argument: ") + words[2]);
    const QString path = cleanPath(words[1]);
    try {
        if (action == QStringLiteral("add")) {
            if (!PosixIO::isFolder(path)) {
                err(QStringLiteral("Not a folder: ") + path + u'\n');
                return kFailure;
            }
            CustomFolders::add(path);
            return kSuccess;
        }
        CustomFolders::remove(path);
    } catch (const BrimvaleError& error) {
        err(error.message() + u'\n');
        return kFailure;
    }
    return kSuccess;
}

} // namespace Commands
