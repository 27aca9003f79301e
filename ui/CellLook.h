#pragma once

#include "app/ItemRoles.h"

#include <QHash>
#include <QIcon>
#include <QIdentityProxyModel>

// How the application's item models look in the views: the tones of texts, tags and icons
// become the palette's and the program's colours, icon names and sources become icons, and the
// tags become drawable Tags.
class CellLook : public QIdentityProxyModel
{
    Q_OBJECT

public:
    explicit CellLook(QAbstractItemModel& source, QObject* parent = nullptr);

    [[nodiscard]] QVariant data(const QModelIndex& index, int role) const override;

    // The colour of the tone in the palette.
    [[nodiscard]] static QColor color(ItemTone tone, const QPalette& palette);

private:
    [[nodiscard]] QIcon icon(const QModelIndex& index) const;

    mutable QHash<QString, QIcon> m_icons;
};
