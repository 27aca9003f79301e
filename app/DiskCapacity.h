#pragma once

#include <QtGlobal>

// The space of one drive as the window shows it.
struct DiskCapacity
{
    qint64 available = 0; // bytes an unprivileged user can still write
    qint64 total = 0;

    friend bool operator==(const DiskCapacity&, const DiskCapacity&) = default;
};
