#include "scanners/ComfyUIScanner.h"

#include "fs/AppPaths.h"
#include "fs/FS.h"
#include "fs/PosixIO.h"
#include "model/PathParts.h"
#include "scanners/ModelFileRules.h"
#include "scanners/MovedLink.h"

#include <QDir>
#include <QFileInfo>
#include <QStringDecoder>
#include <array>

namespace {

constexpr qint64 kMinimumSize = 1'000'000;
constexpr qint64 kMaxYamlBytes = qint64(1) << 20;

constexpr std::array<const char16_t*, 5> kRoots{u"ComfyUI", u"Documents/ComfyUI",
                                                u"Desktop/ComfyUI", u".local/share/ComfyUI",
                                                // comfy-cli's default workspace.
                                                u"comfy/ComfyUI"};

struct Category
{
    const char16_t* folder;
    const char16_t* label;
};

constexpr std::array<Category, 11> kCategories{{
    {u"models/checkpoints", u"Stable Diffusion checkpoint"},
    {u"models/loras", u"LoRA adapter"},
    {u"models/vae", u"VAE model"},
    {u"models/controlnet", u"ControlNet model"},
    {u"models/unet", u"UNet model"},
    {u"models/diffusion_models", u"Diffusion model"},
    {u"models/clip", u"CLIP model"},
    {u"models/text_encoders", u"Text encoder"},
    {u"models/upscale_models", u"Upscale model"},
    {u"models/embeddings", u"Textual inversion embedding"},
    {u"models/diffusers", u"Diffusers model"},
}};

bool isModelFile(const WalkedFile& file)
{
    return file.size >= kMinimumSize && !ModelFileRules::isHidden(file.name) &&
           ModelFileRules::hasExtension(file.name,
                                        {".safetensors", ".ckpt", ".pt", ".pth", ".bin", ".gguf"});
}

bool isLineBreak(QChar c)
{
    switch (c.unicode()) {
    case u'\n':
    case u'\r':
    case u'\v':
    case u'\f':
    case 0x0085:
    case 0x2028:
    case 0x2029:
        return true;
    default:
        return false;
    }
}

bool isHorizontalSpace(QChar c)
{
    return c == u'\t' || c.category() == QChar::Separator_Space;
}

QStringView trimmed(QStringView text, bool (*strip)(QChar))
{
    qsizetype begin = 0;
    qsizetype end = text.size();
    while (begin < end && strip(text[begin]))
        ++begin;
    while (end > begin && strip(text[end - 1]))
        --end;
    return text.sliced(begin, end - begin);
}

bool isQuote(QChar c)
{
    return c == u'"' || c == u'\'';
}

// The folder a "base_path:" line names, or nothing when the line names none.
std::optional<QString> basePathOf(QStringView line, const QString& yamlFolder)
{
    static constexpr QStringView kKey = u"base_path:";
    const QStringView content = trimmed(line, isHorizontalSpace);
    if (!content.startsWith(kKey))
        return std::nullopt;
    QString value =
        trimmed(trimmed(content.sliced(kKey.size()), isHorizontalSpace), isQuote).toString();
    if (value.isEmpty() || PathParts::holdsNul(value))
        return std::nullopt;
    if (value.startsWith(u"~/"))
        value = AppPaths::home() + u'/' + value.sliced(2);
    if (!value.startsWith(u'/'))
        value = yamlFolder + u'/' + value;
    return QDir::cleanPath(value);
}

} // namespace

namespace ComfyUIScanner {

QStringList roots()
{
    const QString home = AppPaths::home();
    QStringList result;
    for (const char16_t* relative : kRoots) {
        const QString root = home + u'/' + QString::fromUtf16(relative);
        if (PosixIO::exists(root))
            result.push_back(root);
    }
    return result;
}

QStringList extraModelPaths(const QString& yaml, std::optional<QStringView> section)
{
    const std::optional<QByteArray> bytes = PosixIO::readRegularFile(yaml, kMaxYamlBytes);
    if (!bytes)
        return {};
    QStringDecoder decoder(QStringDecoder::Utf8);
    const QString text = decoder.decode(*bytes);
    if (decoder.hasError())
        return {};
    const QString yamlFolder = QFileInfo(yaml).absolutePath();

    QStringList result;
    qsizetype start = 0;
    const qsizetype size = text.size();
    bool inSection = !section;
    while (start < size) {
        qsizetype end = start;
        while (end < size && !isLineBreak(text[end]))
            ++end;
        const QStringView line = QStringView(text).sliced(start, end - start);
        if (section && !line.isEmpty() && !isHorizontalSpace(line.front()) &&
            line.front() != u'#') {
            const QStringView key = trimmed(line, isHorizontalSpace);
            inSection = key.endsWith(u':') && trimmed(key.chopped(1), isQuote) == *section;
        }
        if (inSection && !line.isEmpty()) {
            if (const std::optional<QString> path = basePathOf(line, yamlFolder);
                path && PosixIO::exists(*path))
                result.push_back(*path);
        }
        start = end + 1;
    }
    return result;
}

SourceScan scan()
{
    QStringList searched = roots();
    const QStringList candidates = searched;
    for (const QString& root : candidates)
        searched += extraModelPaths(root + QStringLiteral("/extra_model_paths.yaml"));

    SourceScan result;
    QSet<QString> visited;
    for (const QString& root : std::as_const(searched)) {
        // Standardised: "." and ".." resolved as text, no trailing slash, links not resolved.
        const QString standard = QDir::cleanPath(root);
        if (visited.contains(standard))
            continue;
        visited.insert(standard);
        for (const Category& category : kCategories) {
            const QString folder = standard + u'/' + QString::fromUtf16(category.folder);
            if (!PosixIO::exists(folder))
                continue;
            const QString label = QString::fromUtf16(category.label);
            for (const FileInfo& file :
                 MovedLink::files(folder, false, std::nullopt, isModelFile)) {
                const QString name = file.fileName();
                QString id = ModelFileRules::stem(name).toLower();
                id.replace(u' ', u'_');
                result.models.push_back(ModelEntry(QStringLiteral("comfy-") + id, name,
                                                   ModelSource::comfyUI, file.size, std::nullopt,
                                                   file.path, {file.path}, file.modified,
                                                   DeleteRisk::safe, std::nullopt, label));
                result.models.back().lastUsed = file.accessed;
                MovedLink::mark(result.models.back());
            }
        }
    }
    return result;
}

} // namespace ComfyUIScanner
