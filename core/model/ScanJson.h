#pragma once

#include "model/ModelEntry.h"
#include "model/ScanResult.h"

#include <QDateTime>
#include <QJsonObject>
#include <QJsonValue>
#include <optional>

// The JSON form of scan results that brimvale-cli prints: a contract other programs read.
// Field names are the record's own; sources and risks are raw values; sizes are integers;
// absent values are null.
namespace ScanJson {

// Whole seconds since 1970, rounded down, or null when no date was reported.
[[nodiscard]] QJsonValue date(const std::optional<QDateTime>& date);

// The fifteen fields of the entry.
[[nodiscard]] QJsonObject entry(const ModelEntry& entry);

// models, errors, ollamaRunning and totalBytes.
[[nodiscard]] QJsonObject result(const ScanResult& result);

} // namespace ScanJson
