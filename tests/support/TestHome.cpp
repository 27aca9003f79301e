#include "TestHome.h"

#include <QDir>
#include <QFile>
#include <ftw.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

int removeEntry(const char* path, const struct stat* st, int type, FTW*)
{
    if (type == FTW_DP || (st != nullptr && S_ISDIR(st->st_mode)))
        ::rmdir(path);
    else
        ::unlink(path);
    return 0; // go on whatever happened
}

// Removes a tree whatever its names hold (QDir cannot remove names that are not UTF-8).
void removeTree(const QByteArray& path)
{
    ::nftw(path.constData(), removeEntry, 32, FTW_DEPTH | FTW_PHYS);
}

} // namespace

TestHome::TestHome()
{
    m_home = m_dir.path() + u"/home"_qs;
    QDir().mkpath(m_home);
    setEnv("HOME", QFile::encodeName(m_home));
    setEnv("XDG_DATA_HOME", QFile::encodeName(m_home + u"/.local/share"_qs));
    setEnv("XDG_CACHE_HOME", QFile::encodeName(m_home + u"/.cache"_qs));
    setEnv("XDG_CONFIG_HOME", QFile::encodeName(m_home + u"/.config"_qs));
    setEnv("XDG_STATE_HOME", QFile::encodeName(m_home + u"/.local/state"_qs));
    for (const char* name :
         {"OLLAMA_MODELS", "HF_HOME", "HF_HUB_CACHE", "HUGGINGFACE_HUB_CACHE", "HF_XET_CACHE",
          "HF_DATASETS_CACHE", "BRIMVALE_UPDATE_URL", "LLAMA_CACHE", "MODELS_PATH", "TORCH_HOME",
          "INVOKEAI_ROOT", "MODELSCOPE_CACHE", "VLLM_CACHE_ROOT", "KERAS_HOME", "INSIGHTFACE_HOME",
          "EASYOCR_MODULE_PATH", "TTS_HOME"})
        setEnv(name, QByteArray());
}

TestHome::~TestHome()
{
    if (m_dir.isValid())
        removeTree(QFile::encodeName(m_dir.path()));
    for (auto it = m_saved.cbegin(); it != m_saved.cend(); ++it) {
        if (it.value())
            qputenv(it.key().constData(), *it.value());
        else
            qunsetenv(it.key().constData());
    }
}

QString TestHome::file(const QString& relative) const
{
    return m_home + u'/' + relative;
}

void TestHome::setEnv(const char* name, const QByteArray& value)
{
    const QByteArray key(name);
    if (!m_saved.contains(key))
        m_saved.insert(key, qEnvironmentVariableIsSet(name)
                                ? std::optional<QByteArray>(qgetenv(name))
                                : std::nullopt);
    if (value.isEmpty())
        qunsetenv(name);
    else
        qputenv(name, value);
}

void TestHome::openToEveryone() const
{
    ::chmod(QFile::encodeName(m_dir.path()).constData(), 0755);
    ::chmod(QFile::encodeName(m_home).constData(), 0777);
}
