#pragma once

#include <QString>
#include <QUrl>
#include <optional>

// A newer published version, as the update banner tells it.
struct UpdateNotice
{
    QString version;
    std::optional<QString> notes;
    QUrl download; // where to get it

    [[nodiscard]] QUrl downloadURL() const { return download; }

    friend bool operator==(const UpdateNotice&, const UpdateNotice&) = default;
};
