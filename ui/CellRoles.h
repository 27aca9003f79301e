#pragma once

#include <Qt>

// Item data roles the tables add to Qt's own, read by their cell delegates and by tests.
namespace CellRoles {
enum : int
{
    id = Qt::UserRole + 1, // the row's entry id (text)
    secondLine,            // the smaller second line of a name cell
    tags                   // QList<Tag> drawn after the name
};
} // namespace CellRoles
