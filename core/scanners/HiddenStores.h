#pragma once

#include "model/SourceScan.h"

#include <QDateTime>
#include <QList>
#include <QString>
#include <QStringList>

// Hugging Face hub caches and Ollama stores kept inside other applications' folders.
namespace HiddenStores {

struct Store
{
    enum class Kind
    {
        hub,
        ollama
    };
    Kind kind;
    QString path;

    friend bool operator==(const Store&, const Store&) = default;
};

// The stores below the roots, down to six levels (a root itself at level 0), looked for by
// names alone: a folder holding "models--*" folders that each hold "blobs" or "snapshots" is a
// hub; one holding "manifests" and a "blobs" folder with a "sha256-*" file is an Ollama store.
// Links are not followed, no Trash is entered, nothing below a store is looked at. Each real
// folder is looked at once; the folders in `excluded` (what the sources read, and the folders
// their stores' links point into), compared as real folders, are neither found nor entered.
[[nodiscard]] QList<Store> find(const QStringList& roots, const QStringList& excluded);

// The folders find() leaves out on behalf of the sources: the main Hugging Face hub, the
// Ollama stores, llama.cpp's cache, the folders that links directly in them point into, and
// the folders the other sources list (a store there is already listed by them).
[[nodiscard]] QStringList readBySources();

// Each store found below ~/.config, ~/.local/share, ~/.cache and the custom folders, scanned
// by its own source's rules as a main store of that source is (an Ollama store's tags never
// risky): ids carry a slug of the store's path after the source's prefix, details end with
// "· in {short store path}".
[[nodiscard]] SourceScan scan(const QStringList& customFolders,
                              const QDateTime& now = QDateTime::currentDateTimeUtc());

} // namespace HiddenStores
