#pragma once

#include <QByteArray>
#include <QStringList>
#include <chrono>

// The models a running Ollama server has loaded, from its GET /api/ps.
namespace OllamaLoaded {

// The names ("name:tag", or "namespace/name:tag") the server at 127.0.0.1:11434 lists as
// loaded; nothing when it does not answer in full within the limit.
[[nodiscard]] QStringList models(std::chrono::milliseconds limit = std::chrono::seconds(1));

// The names in an /api/ps answer body (its "models" array, each "name", else "model").
[[nodiscard]] QStringList namesIn(const QByteArray& body);

// Whether an /api/ps name stands for the tag a manifest names ("name:tag"): the same after its
// registry and namespace, an absent tag being "latest".
[[nodiscard]] bool namesTag(const QString& loaded, const QString& tag);

} // namespace OllamaLoaded
