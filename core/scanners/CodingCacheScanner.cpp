#include "scanners/CodingCacheScanner.h"

#include "fs/AppPaths.h"
#include "fs/FS.h"
#include "fs/PosixIO.h"
#include "scanners/ModelFileRules.h"
#include "scanners/MovedLink.h"

#include <QFile>
#include <QTextBoundaryFinder>
#include <array>
#include <sys/stat.h>

namespace {

constexpr qint64 kMinimumSize = 100'000;

// Where a row's folder is written relative to, when no variable names it.
enum class Base
{
    home,
    dataHome, // $XDG_DATA_HOME
};

struct CacheRow
{
    const char16_t* folder;
    const char16_t* tool;
    const char16_t* kind;
    bool perProject;
    const char16_t* description;
    // The tool's variable naming the folder instead (expanded as Python tools do), and what
    // goes after its value.
    const char* variable = nullptr;
    const char16_t* belowVariable = u"";
    Base base = Base::home;
};

constexpr const char16_t* kCursorIndex =
    u"Per-project code embeddings and AI context built by Cursor. Rebuilds automatically when "
    u"you reopen the project.";
constexpr const char16_t* kCursorCache =
    u"Cursor application cache (downloaded assets, GPU cache). Safe to delete.";

constexpr const char16_t* kKernels = u"Compiled kernels \u2014 rebuilt when needed";
constexpr const char16_t* kModels = u"Downloaded models \u2014 downloaded again when needed";

constexpr std::array<CacheRow, 17> kRows{{
    {u".cursor/chat", u"Cursor", u"Chat History", false,
     u"AI conversation history from Cursor IDE. Safe to delete \u2014 only removes past chats."},
    {u"Library/Application Support/Cursor/User/workspaceStorage", u"Cursor", u"Workspace Index",
     true, kCursorIndex},
    {u"Library/Caches/Cursor", u"Cursor", u"App Cache", false, kCursorCache},
    {u".claude/projects", u"Claude Code", u"Project Memory", true,
     u"Per-project memory and conversation summaries saved by Claude Code. Deleting removes AI "
     u"context for those projects."},
    {u".continue", u"Continue.dev", u"Model Cache", false,
     u"Continue.dev assistant cache including downloaded model data and conversation history."},
    {u".codeium", u"Windsurf / Codeium", u"AI Cache", false,
     u"Windsurf / Codeium AI assistant cache including completions and local index."},
    {u"Library/Application Support/com.github.copilot", u"GitHub Copilot", u"Cache", false,
     u"GitHub Copilot cached completions and authentication data."},
    {u".config/github-copilot", u"GitHub Copilot", u"Config Cache", false,
     u"GitHub Copilot configuration and local cache."},
    // Where Cursor keeps the same data on Linux.
    {u".config/Cursor/User/workspaceStorage", u"Cursor", u"Workspace Index", true, kCursorIndex},
    {u".config/Cursor/CachedData", u"Cursor", u"App Cache", false, kCursorCache},
    // Machine-learning libraries.
    {u".cache/vllm", u"vLLM", u"Kernel Cache", false, kKernels, "VLLM_CACHE_ROOT"},
    {u".triton/cache", u"Triton", u"Kernel Cache", false, kKernels},
    {u".keras/models", u"Keras", u"Models", false, kModels, "KERAS_HOME", u"/models"},
    {u".insightface/models", u"InsightFace", u"Models", false, kModels, "INSIGHTFACE_HOME"},
    {u".EasyOCR/model", u"EasyOCR", u"Models", false, kModels, "EASYOCR_MODULE_PATH"},
    {u"tts", u"Coqui TTS", u"Models", false, kModels, "TTS_HOME", u"", Base::dataHome},
    {u".cache/torch/sentence_transformers", u"sentence-transformers", u"Models", false, kModels},
}};

// The row's folder: the variable's value when it is set, else the folder below its base.
QString folderOf(const CacheRow& row)
{
    if (row.variable != nullptr) {
        const QString value = AppPaths::expandedFromEnvironment(row.variable);
        if (!value.isEmpty())
            return value + QString::fromUtf16(row.belowVariable);
    }
    const QString base = row.base == Base::dataHome ? AppPaths::xdgDataHome() : AppPaths::home();
    return base + u'/' + QString::fromUtf16(row.folder);
}

QString slug(const char16_t* text)
{
    return QString::fromUtf16(text).toLower().remove(u' ');
}

// Present: a folder is there, or a link that a move left in its place.
bool isPresent(const QString& folder)
{
    struct stat st
    {
    };
    if (::lstat(QFile::encodeName(folder).constData(), &st) != 0)
        return false;
    if (S_ISLNK(st.st_mode))
        return MovedLink::read(folder, MovedLink::Kind::folder).has_value();
    return PosixIO::exists(folder);
}

QList<qsizetype> graphemeEnds(const QString& text)
{
    QList<qsizetype> ends;
    QTextBoundaryFinder finder(QTextBoundaryFinder::Grapheme, text);
    for (qsizetype end = finder.toNextBoundary(); end > 0; end = finder.toNextBoundary())
        ends.push_back(end);
    return ends;
}

QString projectName(const CacheRow& row, const QString& folderName)
{
    const QString prefix =
        QString::fromUtf16(row.tool) + QStringLiteral(" \u2014 ") + QString::fromUtf16(row.kind);
    const QList<qsizetype> ends = graphemeEnds(folderName);
    // 32 characters: a 128-bit hash in hexadecimal; 36: a UUID.
    if (ends.size() == 32 || ends.size() == 36)
        return prefix + QStringLiteral(" (") + folderName.left(ends[7]) + QStringLiteral("\u2026)");
    return prefix + QStringLiteral(" \u00b7 ") + folderName;
}

std::optional<ModelEntry> entryFor(const QString& folder, QString id, QString name,
                                   const CacheRow& row)
{
    const FS::Totals totals = FS::totals(folder, false);
    const std::optional<MovedLink> moved = MovedLink::read(folder, MovedLink::Kind::folder);
    // One out of reach is judged by its place alone.
    if (totals.bytes < kMinimumSize && (!moved || moved->reachable()))
        return std::nullopt;
    ModelEntry entry(std::move(id), std::move(name), ModelSource::codingCache, totals.bytes,
                     std::nullopt, folder, {folder}, totals.newest, DeleteRisk::safe, std::nullopt,
                     QString::fromUtf16(row.description));
    entry.lastUsed = totals.newestAccess;
    if (moved)
        MovedLink::mark(entry);
    return entry;
}

} // namespace

namespace CodingCacheScanner {

QStringList folders()
{
    QStringList result;
    for (const CacheRow& row : kRows) {
        const QString folder = folderOf(row);
        if (isPresent(folder))
            result.push_back(folder);
    }
    return result;
}

SourceScan scan()
{
    SourceScan result;
    for (const CacheRow& row : kRows) {
        const QString folder = folderOf(row);
        if (!isPresent(folder))
            continue;
        const QString idPrefix = QStringLiteral("cache-") + slug(row.tool) + u'-';
        if (!row.perProject) {
            const QString name = QString::fromUtf16(row.tool) + QStringLiteral(" \u2014 ") +
                                 QString::fromUtf16(row.kind);
            if (auto entry = entryFor(folder, idPrefix + slug(row.kind), name, row))
                result.models.push_back(std::move(*entry));
            continue;
        }
        for (const QString& project : MovedLink::folders(folder)) {
            const QString folderName = ModelFileRules::fileName(project);
            if (folderName.startsWith(u'.'))
                continue;
            if (auto entry =
                    entryFor(project, idPrefix + folderName, projectName(row, folderName), row))
                result.models.push_back(std::move(*entry));
        }
    }
    return result;
}

} // namespace CodingCacheScanner
