#include "model/TrashEntry.h"

#include <QJsonArray>
#include <QJsonValue>

namespace {

std::optional<QStringList> stringList(const QJsonValue& value)
{
    if (!value.isArray())
        return std::nullopt;
    QStringList list;
    for (const QJsonValue element : value.toArray()) {
        if (!element.isString())
            return std::nullopt;
        list.push_back(element.toString());
    }
    return list;
}

std::optional<qint64> integer(const QJsonValue& value)
{
    if (!value.isDouble())
        return std::nullopt;
    // toInteger falls back to its argument unless the number is a whole qint64.
    const qint64 a = value.toInteger(0);
    const qint64 b = value.toInteger(1);
    if (a != b)
        return std::nullopt;
    return a;
}

} // namespace

QDateTime TrashEntry::trashedDate() const
{
    return QDateTime::fromSecsSinceEpoch(trashedAt, Qt::UTC);
}

std::optional<ModelSource> TrashEntry::modelSource() const
{
    return ModelSource::fromRawValue(source);
}

QJsonObject TrashEntry::toJson() const
{
    return QJsonObject{
        {QStringLiteral("id"), id},
        {QStringLiteral("modelName"), modelName},
        {QStringLiteral("originalPaths"), QJsonArray::fromStringList(originalPaths)},
        {QStringLiteral("trashedPaths"), QJsonArray::fromStringList(trashedPaths)},
        {QStringLiteral("trashedAt"), trashedAt},
        {QStringLiteral("sizeBytes"), sizeBytes},
        {QStringLiteral("source"), source},
    };
}

std::optional<TrashEntry> TrashEntry::fromJson(const QJsonValue& value)
{
    if (!value.isObject())
        return std::nullopt;
    const QJsonObject object = value.toObject();
    const QJsonValue id = object.value(QStringLiteral("id"));
    const QJsonValue modelName = object.value(QStringLiteral("modelName"));
    const QJsonValue source = object.value(QStringLiteral("source"));
    const std::optional<QStringList> originalPaths =
        stringList(object.value(QStringLiteral("originalPaths")));
    const std::optional<QStringList> trashedPaths =
        stringList(object.value(QStringLiteral("trashedPaths")));
    const std::optional<qint64> trashedAt = integer(object.value(QStringLiteral("trashedAt")));
    const std::optional<qint64> sizeBytes = integer(object.value(QStringLiteral("sizeBytes")));
    if (!id.isString() || !modelName.isString() || !source.isString() || !originalPaths ||
        !trashedPaths || !trashedAt || !sizeBytes)
        return std::nullopt;
    return TrashEntry{id.toString(), modelName.toString(), *originalPaths,   *trashedPaths,
                      *trashedAt,    *sizeBytes,           source.toString()};
}

size_t qHash(const TrashEntry& entry, size_t seed) noexcept
{
    return qHashMulti(seed, entry.id, entry.modelName, entry.originalPaths, entry.trashedPaths,
                      entry.trashedAt, entry.sizeBytes, entry.source);
}
