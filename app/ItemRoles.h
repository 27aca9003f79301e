#pragma once

#include <QList>
#include <QMetaType>
#include <QString>
#include <Qt>

// How a cell's text, tag or icon is coloured; the views pick the colour of each tone.
enum class ItemTone
{
    plain,     // the text colour; an icon drawn as the theme has it
    secondary, // dates, the "Safe" status, quantization tags
    accent,    // the palette's highlight
    warning,   // in use, duplicates
    danger,    // very large entries
    moved      // entries and folders on other drives
};

// A short label drawn after a name ("Q4_K_M", "DUPLICATE"), with a tooltip of its own.
struct ItemTag
{
    QString text;
    ItemTone tone = ItemTone::plain;
    QString toolTip;

    friend bool operator==(const ItemTag&, const ItemTag&) = default;
};

Q_DECLARE_METATYPE(ItemTag)

// Item data roles the application's item models add to Qt's own.
namespace ItemRoles {
enum : int
{
    id = Qt::UserRole + 1, // the row's entry id (text)
    secondLine,            // the smaller second line of a name cell
    tags,                  // QList<ItemTag> drawn after the name
    tone,                  // ItemTone (int) of the cell's text and icon
    iconName,              // the freedesktop.org name of the cell's icon
    source,                // ModelSource value (int) whose icon the cell shows
    last_
};
} // namespace ItemRoles
