#pragma once

#include "model/BrimvaleError.h"
#include "services/MovedItem.h"

#include <QList>
#include <QString>
#include <QStringList>
#include <optional>

// The result of one MoveService::move call.
struct MoveOutcome
{
    QStringList movedTo;          // the new path of each item moved, in the order of moving
    QStringList symlinksCreated;  // the old path of each item where a symlink now stands
    std::optional<QString> error; // the first problem met, for the user
    // What kind of problem `error` is (stopped, busy, invalidPath, or general).
    BrimvaleError::Kind errorKind = BrimvaleError::Kind::general;
    QList<MovedItem> items; // each item moved, in the order of moving, with its old path

    [[nodiscard]] bool succeeded() const { return !movedTo.isEmpty() && !error; }

    friend bool operator==(const MoveOutcome&, const MoveOutcome&) = default;
};
