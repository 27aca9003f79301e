#pragma once

#include "model/TrashEntry.h"

#include <QByteArray>
#include <QList>
#include <QString>

// Trash fixtures that go through the services: the restore log as the service stores it, and
// items trashed by the service.
namespace TrashFixtures {

// Writes the records as the service stores the log; false when that fails.
bool writeLog(const QList<TrashEntry>& records);
// Writes a file at the path and trashes it as one model; its record.
[[nodiscard]] TrashEntry trashedFile(const QString& path, const QByteArray& content = "x");

} // namespace TrashFixtures
