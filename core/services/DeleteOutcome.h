#pragma once

#include "model/BrimvaleError.h"

#include <QString>
#include <QStringList>
#include <optional>

// What one permanent deletion of a restore-log record gave: the items (paths in the Trash)
// deleted for good, and the first problem. Items deleted before a failure stay deleted.
struct DeleteOutcome
{
    QStringList deleted;
    std::optional<QString> error;
    BrimvaleError::Kind errorKind = BrimvaleError::Kind::general; // meaningful with an error

    [[nodiscard]] bool succeeded() const { return !error.has_value(); }

    friend bool operator==(const DeleteOutcome&, const DeleteOutcome&) = default;
};
