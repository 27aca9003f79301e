#pragma once

#include <QList>
#include <QString>

// How long a full scan takes to return once a stop is requested.
namespace ScanStop {

// Scans the home (with its loose files and the given custom folders) once per delay, requests
// a stop that many seconds after the start, and prints the time from the request to the
// scan's return, with the progress counts at both moments. The hash cache goes to a temporary
// folder, so the home is left as it was. Returns 0, or 1 when a stopped scan gave a result.
int run(const QString& home, const QStringList& customFolders, const QList<double>& delays);

} // namespace ScanStop
