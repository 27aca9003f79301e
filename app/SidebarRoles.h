#pragma once

#include "app/ItemRoles.h"
#include "app/SidebarItem.h"

#include <QMetaType>

Q_DECLARE_METATYPE(SidebarItem)

// Item data roles of the sidebar's rows, besides the shared ones (iconName, tone, source).
namespace SidebarRoles {
enum : int
{
    item = ItemRoles::last_ + 1, // the SidebarItem a row chooses; none on other rows
    trailing,                    // size text, or the Trash count as a badge
    badge,                       // true: the trailing text is a count badge
    header,                      // true: a section header (an empty title: a spacer)
    addFolder                    // true: the row holding the "Add Folder…" button
};
} // namespace SidebarRoles
