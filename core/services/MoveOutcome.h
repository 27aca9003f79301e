#pragma once

#include <QString>
#include <QStringList>
#include <optional>

// The result of one MoveService::move call.
struct MoveOutcome
{
    QStringList movedTo;          // the new path of each item moved, in the order of moving
    QStringList symlinksCreated;  // the old path of each item where a symlink now stands
    std::optional<QString> error; // the first problem met, for the user

    [[nodiscard]] bool succeeded() const { return !movedTo.isEmpty() && !error; }

    friend bool operator==(const MoveOutcome&, const MoveOutcome&) = default;
};
