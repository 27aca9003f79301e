#include "services/TrashLog.h"

#include "fs/JSONStore.h"

#include <QJsonArray>
#include <QJsonDocument>

namespace TrashLog {

Contents read()
{
    const JSONStore::ReadResult result = JSONStore::read(fileName);
    if (result.status == JSONStore::ReadStatus::missing)
        return {};
    if (result.status != JSONStore::ReadStatus::ok || !result.document.isArray())
        return {{}, true};
    Contents contents;
    const QJsonArray array = result.document.array();
    contents.entries.reserve(array.size());
    for (const QJsonValue& value : array) {
        std::optional<TrashEntry> entry = TrashEntry::fromJson(value);
        if (!entry)
            return {{}, true}; // one bad element makes the whole file read as empty
        contents.entries.push_back(std::move(*entry));
    }
    return contents;
}

void write(const QList<TrashEntry>& entries, const Contents& before)
{
    QJsonArray array;
    for (const TrashEntry& entry : entries)
        array.push_back(entry.toJson());
    JSONStore::write(QJsonDocument(array), fileName, before.unusable);
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
