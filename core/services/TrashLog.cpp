#include "services/TrashLog.h"

#include "fs/AppPaths.h"
#include "fs/JSONStore.h"
#include "fs/PosixIO.h"
#include "fs/UniqueFd.h"
#include "model/BrimvaleError.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QSet>
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

[[noreturn]] void failJournal(int error)
{
    throw BrimvaleError(QStringLiteral("Cannot write ") + JSONStore::pathOf(TrashLog::journalName) +
                        QStringLiteral(": ") + BrimvaleError::describe(error));
}

// The journal's records in their order; `damaged` is set when a line is not a complete record.
QList<TrashEntry> journalEntries(bool& present, bool& damaged)
{
    const QString path = JSONStore::pathOf(TrashLog::journalName);
    present = PosixIO::lexists(path);
    if (!present)
        return {};
    const std::optional<QByteArray> bytes = PosixIO::readRegularFile(path);
    if (!bytes) {
        damaged = true;
        return {};
    }
    QList<TrashEntry> entries;
    QList<QByteArray> lines = bytes->split('\n');
    if (!lines.last().isEmpty())
        damaged = true; // the last line was never finished
    lines.removeLast();
    for (const QByteArray& line : lines) {
        if (line.isEmpty())
            continue; // a line ended after an unfinished one
        const std::optional<QJsonObject> object = JSONStore::objectOf(line);
        std::optional<TrashEntry> entry =
            object ? TrashEntry::fromJson(QJsonValue(*object)) : std::nullopt;
        if (entry)
            entries.push_back(std::move(*entry));
        else
            damaged = true;
    }
    return entries;
}

// The log file's own records; `unusable` is set when it is there but not an array of entries.
QList<TrashEntry> logEntries(bool& unusable)
{
    const JSONStore::ReadResult result = JSONStore::read(TrashLog::fileName);
    if (result.status == JSONStore::ReadStatus::missing)
        return {};
    unusable = true;
    if (result.status != JSONStore::ReadStatus::ok || !result.document.isArray())
        return {};
    QList<TrashEntry> entries;
    const QJsonArray array = result.document.array();
    entries.reserve(array.size());
    for (const QJsonValue value : array) {
        std::optional<TrashEntry> entry = TrashEntry::fromJson(value);
        if (!entry)
            return {}; // one bad element makes the whole file read as empty
        entries.push_back(std::move(*entry));
    }
    unusable = false;
    return entries;
}

} // namespace

namespace TrashLog {

Contents read()
{
    Contents contents;
    const QList<TrashEntry> journal = journalEntries(contents.journaled, contents.journalDamaged);
    contents.entries = logEntries(contents.unusable);
    QSet<QString> ids;
    for (const TrashEntry& entry : std::as_const(contents.entries))
        ids.insert(entry.id);
    for (const TrashEntry& entry : journal) {
        if (!ids.contains(entry.id))
            contents.entries.push_back(entry);
    }
    return contents;
}

void write(const QList<TrashEntry>& entries, const Contents& before)
{
    QJsonArray array;
    for (const TrashEntry& entry : entries)
        array.push_back(entry.toJson());
    JSONStore::write(QJsonDocument(array), fileName, before.unusable);
    if (before.journalDamaged)
        JSONStore::keepAside(journalName);
    else if (before.journaled &&
             ::unlink(QFile::encodeName(JSONStore::pathOf(journalName)).constData()) != 0 &&
             errno != ENOENT)
        failJournal(errno);
}

void append(const TrashEntry& entry)
{
    PosixIO::makePath(AppPaths::dataDir());
    const QByteArray path = QFile::encodeName(JSONStore::pathOf(journalName));
    const UniqueFd fd(
        ::open(path.constData(), O_RDWR | O_APPEND | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0666));
    if (!fd.isValid())
        failJournal(errno);
    struct stat status
    {
    };
    if (::fstat(fd.get(), &status) != 0)
        failJournal(errno);
    if (!S_ISREG(status.st_mode))
        failJournal(EINVAL);
    QByteArray line = QJsonDocument(entry.toJson()).toJson(QJsonDocument::Compact) + '\n';
    char last = '\n';
    if (status.st_size > 0) {
        const ssize_t got = ::pread(fd.get(), &last, 1, status.st_size - 1);
        if (got != 1)
            failJournal(got < 0 ? errno : EIO);
    }
    if (last != '\n')
        line.prepend('\n');
    if (const int error = PosixIO::writeAll(fd.get(), line); error != 0)
        failJournal(error);
}

void fold()
{
    const Contents before = read();
    if (before.journaled)
        write(before.entries, before);
}

QList<TrashEntry> without(const QList<TrashEntry>& entries, const QString& id)
{
    QList<TrashEntry> kept;
    kept.reserve(entries.size());
    for (const TrashEntry& entry : entries) {
        if (entry.id != id)
            kept.push_back(entry);
    }
    return kept;
}

} // namespace TrashLog
