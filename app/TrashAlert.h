#pragma once

#include "model/ModelEntry.h"

#include <QList>
#include <QString>
#include <optional>

// What the alert before trashing held-back entries says: the in-use alert for entries a running
// program holds (Ollama tags excepted), else the one about Ollama running.
struct TrashAlert
{
    QString title;
    QString message;

    // "{name} is in use" ("{name} and n more are in use" for several) with what the first one's
    // program may do; nothing when no entry but an Ollama tag is in use.
    [[nodiscard]] static std::optional<TrashAlert> inUse(const QList<ModelEntry>& entries);
    // "Ollama is running" and why to quit it first.
    [[nodiscard]] static TrashAlert ollamaRunning();
    // The in-use alert where there is one, else ollamaRunning().
    [[nodiscard]] static TrashAlert of(const QList<ModelEntry>& entries);

    friend bool operator==(const TrashAlert&, const TrashAlert&) = default;
};
