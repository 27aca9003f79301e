#pragma once

#include "model/ModelSource.h"

#include <QDateTime>
#include <QHashFunctions>
#include <QJsonObject>
#include <QString>
#include <QStringList>
#include <optional>

// One record of the restore log: the items of one model moved to the Trash by one call.
// originalPaths and trashedPaths are parallel; an empty trashed path means no location is known.
struct TrashEntry
{
    QString id;
    QString modelName;
    QStringList originalPaths;
    QStringList trashedPaths;
    qint64 trashedAt = 0; // whole seconds since 1970, fraction dropped
    qint64 sizeBytes = 0; // the model's reclaimableBytes when trashed
    QString source;       // raw value of the model's ModelSource

    [[nodiscard]] QDateTime trashedDate() const;
    // The source whose raw value is exactly `source`; absent for an unknown text.
    [[nodiscard]] std::optional<ModelSource> modelSource() const;

    // The log's object form: the seven keys named like the fields.
    [[nodiscard]] QJsonObject toJson() const;
    // Nothing unless every key is present with its type (strings, arrays of strings, integers).
    [[nodiscard]] static std::optional<TrashEntry> fromJson(const QJsonValue& value);

    friend bool operator==(const TrashEntry&, const TrashEntry&) = default;
};

size_t qHash(const TrashEntry& entry, size_t seed = 0) noexcept;
