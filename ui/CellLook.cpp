#include "ui/CellLook.h"

#include "ui/Contrast.h"
#include "ui/Icons.h"
#include "ui/Palette.h"
#include "ui/SourceStyle.h"
#include "ui/Tag.h"

#include <QGuiApplication>
#include <QPalette>

CellLook::CellLook(QAbstractItemModel& source, QObject* parent) : QIdentityProxyModel(parent)
{
    setSourceModel(&source);
}

QColor CellLook::color(ItemTone tone, const QPalette& palette)
{
    switch (tone) {
    case ItemTone::plain:
        return palette.color(QPalette::Text);
    case ItemTone::secondary:
        return Contrast::over(palette.color(QPalette::PlaceholderText),
                              palette.color(QPalette::Base));
    case ItemTone::accent:
        return palette.color(QPalette::Highlight);
    case ItemTone::warning:
        return Palette::orange;
    case ItemTone::danger:
        return Palette::red;
    case ItemTone::moved:
        return Palette::brown;
    }
    return palette.color(QPalette::Text);
}

QIcon CellLook::icon(const QModelIndex& index) const
{
    const QVariant source = QIdentityProxyModel::data(index, ItemRoles::source);
    const QString name = QIdentityProxyModel::data(index, ItemRoles::iconName).toString();
    if (!source.isValid() && name.isEmpty())
        return {};
    const auto tone =
        static_cast<ItemTone>(QIdentityProxyModel::data(index, ItemRoles::tone).toInt());
    const QString key = source.isValid()
                            ? QString(QStringLiteral("source:") + source.toString())
                            : QString(name + u':' + QString::number(static_cast<int>(tone)));
    auto found = m_icons.constFind(key);
    if (found == m_icons.constEnd()) {
        QIcon made;
        if (source.isValid())
            made = SourceStyle::icon(static_cast<ModelSource::Value>(source.toInt()));
        else if (tone == ItemTone::plain)
            made = Icons::named(name);
        else
            made = Icons::tinted(name, color(tone, QGuiApplication::palette()));
        found = m_icons.insert(key, made);
    }
    return *found;
}

QVariant CellLook::data(const QModelIndex& index, int role) const
{
    switch (role) {
    case Qt::DecorationRole: {
        const QIcon shown = icon(index);
        return shown.isNull() ? QVariant() : QVariant(shown);
    }
    case Qt::ForegroundRole: {
        const QVariant tone = QIdentityProxyModel::data(index, ItemRoles::tone);
        if (!tone.isValid() || static_cast<ItemTone>(tone.toInt()) == ItemTone::plain)
            return {};
        return color(static_cast<ItemTone>(tone.toInt()), QGuiApplication::palette());
    }
    case ItemRoles::tags: {
        const QVariant tags = QIdentityProxyModel::data(index, role);
        if (!tags.isValid())
            return {};
        QList<Tag> drawn;
        const QPalette palette = QGuiApplication::palette();
        for (const ItemTag& tag : tags.value<QList<ItemTag>>())
            drawn << Tag(tag.text, color(tag.tone, palette), tag.toolTip);
        return QVariant::fromValue(drawn);
    }
    default:
        return QIdentityProxyModel::data(index, role);
    }
}
