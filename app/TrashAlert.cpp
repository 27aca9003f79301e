#include "app/TrashAlert.h"

#include <QCoreApplication>

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
    const int others = count - 1;
    const QString title =
        count == 1 ? QCoreApplication::translate("TrashAlert", "%1 is in use").arg(first->name)
                   : QCoreApplication::translate("TrashAlert", "%1 and %n more are in use", nullptr,
                                                 others)
                         .arg(first->name);
    return TrashAlert{title, QCoreApplication::translate("TrashAlert",
                                                         "%1 has it open. Moving it to the Trash "
                                                         "now may make %1 fail.")
                                 .arg(process)};
}

TrashAlert TrashAlert::ollamaRunning()
{
    return {QCoreApplication::translate("TrashAlert", "Ollama is running"),
            QCoreApplication::translate(
                "TrashAlert", "Trashing models while Ollama is running can leave it in a broken "
                              "state. Quit Ollama first, or continue anyway.")};
}

TrashAlert TrashAlert::of(const QList<ModelEntry>& entries)
{
    return inUse(entries).value_or(ollamaRunning());
}
