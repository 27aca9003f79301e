#include "ScanRoots.h"

#include "scanners/CodingCacheScanner.h"
#include "scanners/ComfyUIScanner.h"
#include "scanners/HuggingFaceScanner.h"
#include "scanners/LMStudioScanner.h"
#include "scanners/OllamaScanner.h"
#include "scanners/WhisperScanner.h"

#include <QDir>
#include <QFileInfo>

namespace ScanRoots {

QStringList walkedBy(const QStringList& customFolders)
{
    QStringList candidates = OllamaScanner::storeDirs();
    candidates += {HuggingFaceScanner::hubDir(), HuggingFaceScanner::xetDir(),
                   HuggingFaceScanner::datasetsDir()};
    candidates += LMStudioScanner::modelsDirs();
    candidates += ComfyUIScanner::roots();
    candidates += WhisperScanner::folders();
    candidates += CodingCacheScanner::folders();
    candidates += customFolders;

    QStringList roots;
    for (const QString& candidate : candidates) {
        const QString path = QDir::cleanPath(QFileInfo(candidate).absoluteFilePath());
        if (!QFileInfo(path).isDir())
            continue;
        const bool nested = std::any_of(roots.cbegin(), roots.cend(), [&](const QString& root) {
            return path == root || path.startsWith(root + u'/');
        });
        if (nested)
            continue;
        roots.removeIf([&](const QString& root) { return root.startsWith(path + u'/'); });
        roots.push_back(path);
    }
    return roots;
}

} // namespace ScanRoots
