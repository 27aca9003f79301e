#include "model/ScanJson.h"

#include <QJsonArray>

namespace {

QJsonValue optionalText(const std::optional<QString>& text)
{
    return text ? QJsonValue(*text) : QJsonValue(QJsonValue::Null);
}

// The targets of the entry's moved paths, in order.
QJsonArray movedTargets(const ModelEntry& entry)
{
    QJsonArray targets;
    for (const MovedPath& path : entry.moved)
        targets.push_back(path.target);
    return targets;
}

} // namespace

namespace ScanJson {

QJsonValue date(const std::optional<QDateTime>& date)
{
    if (!date || !date->isValid())
        return QJsonValue(QJsonValue::Null);
    const qint64 ms = date->toMSecsSinceEpoch();
    qint64 seconds = ms / 1000;
    if (ms % 1000 < 0)
        --seconds;
    return QJsonValue(seconds);
}

QJsonObject entry(const ModelEntry& entry)
{
    QJsonObject object{
        {QStringLiteral("id"), entry.id},
        {QStringLiteral("name"), entry.name},
        {QStringLiteral("source"), entry.source.rawValue()},
        {QStringLiteral("sizeBytes"), entry.sizeBytes},
        {QStringLiteral("reclaimableBytes"), entry.reclaimableBytes},
        {QStringLiteral("primaryPath"), entry.primaryPath},
        {QStringLiteral("allPaths"), QJsonArray::fromStringList(entry.allPaths)},
        {QStringLiteral("lastModified"), date(entry.lastModified)},
        {QStringLiteral("deleteRisk"), entry.deleteRisk.rawValue()},
        {QStringLiteral("quantization"), optionalText(entry.quantization)},
        {QStringLiteral("detail"), optionalText(entry.detail)},
        {QStringLiteral("partialHash"), optionalText(entry.partialHash)},
        {QStringLiteral("isDuplicate"), entry.isDuplicate},
        {QStringLiteral("lastUsed"), date(entry.lastUsed)},
        {QStringLiteral("inUseBy"), optionalText(entry.inUseBy)},
    };
    if (entry.isMoved())
        object.insert(QStringLiteral("movedTo"), movedTargets(entry));
    return object;
}

QJsonObject result(const ScanResult& result)
{
    QJsonArray models;
    for (const ModelEntry& model : result.models)
        models.push_back(entry(model));
    return QJsonObject{
        {QStringLiteral("models"), models},
        {QStringLiteral("errors"), QJsonArray::fromStringList(result.errors)},
        {QStringLiteral("ollamaRunning"), result.ollamaRunning},
        {QStringLiteral("totalBytes"), result.totalBytes()},
    };
}

} // namespace ScanJson
