#include "app/TrashAlert.h"

std::optional<TrashAlert> TrashAlert::inUse(const QList<ModelEntry>& entries)
{
    const ModelEntry* first = nullptr;
    qsizetype count = 0;
    for (const ModelEntry& entry : entries) {
        if (!entry.inUseBy || entry.isOllamaTag())
            continue;
        if (first == nullptr)
            first = &entry;
        ++count;
    }
    if (first == nullptr)
        return std::nullopt;
    const QString& process = *first->inUseBy;
    const QString title =
        count == 1 ? first->name + QStringLiteral(" is in use")
                   : QStringLiteral("%1 and %2 more are in use").arg(first->name).arg(count - 1);
    return TrashAlert{title, process +
                                 QStringLiteral(" has it open. Moving it to the Trash now "
                                                "may make ") +
                                 process + QStringLiteral(" fail.")};
}

TrashAlert TrashAlert::ollamaRunning()
{
    return {QStringLiteral("Ollama is running"),
            QStringLiteral("Trashing models while Ollama is running can leave it in a broken "
                           "state. Quit Ollama first, or continue anyway.")};
}

TrashAlert TrashAlert::of(const QList<ModelEntry>& entries)
{
    return inUse(entries).value_or(ollamaRunning());
}
