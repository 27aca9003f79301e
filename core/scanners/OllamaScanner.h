#pragma once

#include "model/SourceScan.h"

#include <QDateTime>
#include <QSet>
#include <QString>
#include <QStringList>

// Ollama stores: tags from manifests, unfinished downloads, and blobs no manifest references.
namespace OllamaScanner {

// $OLLAMA_MODELS when set, not empty and existing, else ~/.ollama/models.
[[nodiscard]] QString modelsDir();
// The store of Ollama's system service.
[[nodiscard]] QString systemStoreDir();
// The stores a scan reads: modelsDir, then the given system store when it exists and is not the
// same folder.
[[nodiscard]] QStringList storeDirs(const QString& systemStore = systemStoreDir());
// Whether something accepts TCP connections on 127.0.0.1:11434 within 200 ms.
[[nodiscard]] bool isRunning();
[[nodiscard]] SourceScan scan(bool ollamaRunning);
// The scan over the given stores: all tag entries in store order, then per blobs folder its
// unfinished downloads and its orphan blobs. Stores whose blobs folders are one folder share
// their reference counts, downloads and orphans. A download with a file changed in the ten
// minutes before `now` may still be running and is not listed; so may a pull that has not yet
// written its manifest: no orphan changed in the hour before `now` is listed, and none at all
// from a blobs folder whose downloads are not quiet.
[[nodiscard]] SourceScan scanStores(const QStringList& stores, bool ollamaRunning,
                                    const QDateTime& now = QDateTime::currentDateTimeUtc());

} // namespace OllamaScanner
