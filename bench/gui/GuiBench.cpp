// Drives the application model through a large scan, a trash and a cross-drive move, then
// through a folder add, a trash and a move while another process holds the lock each needs,
// while a 5 ms timer on the GUI thread records the longest gap between its ticks.

#include "app/AppModel.h"
#include "fs/AppPaths.h"
#include "fs/AppSettings.h"
#include "fs/CustomFolders.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QTimer>
#include <cstdio>

namespace {

class PanelAnswers : public Dialogs
{
public:
    QString folder;
    void chooseFolders(const FolderPanel&, std::function<void(const QStringList&)> chosen) override
    {
        chosen({folder});
    }
    void chooseSaveFile(const SavePanel&,
                        std::function<void(const std::optional<QString>&)> chosen) override
    {
        chosen(std::nullopt);
    }
    void reveal(const QStringList&) override {}
    void ask(const Question&, std::function<void(bool)>) override {}
    void openUrl(const QUrl&) override {}
};

// The longest gap between ticks of a 5 ms timer since the last reset.
class GapMeter
{
public:
    GapMeter()
    {
        m_timer.setTimerType(Qt::PreciseTimer);
        m_timer.setInterval(5);
        QObject::connect(&m_timer, &QTimer::timeout, [this] {
            m_longest = std::max(m_longest, m_clock.restart());
            ++m_ticks;
        });
    }
    void reset()
    {
        m_longest = 0;
        m_ticks = 0;
        m_clock.start();
        m_timer.start();
    }
    [[nodiscard]] qint64 longest() const { return m_longest; }
    [[nodiscard]] qint64 ticks() const { return m_ticks; }

private:
    QTimer m_timer;
    QElapsedTimer m_clock;
    qint64 m_longest = 0;
    qint64 m_ticks = 0;
};

// Runs the operation, turning the event loop until it is done; prints one line.
void measure(GapMeter& meter, const char* what, const std::function<QFuture<void>()>& operation)
{
    QElapsedTimer total;
    total.start();
    meter.reset();
    const QFuture<void> future = operation();
    while (!future.isFinished())
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
    std::printf("%-28s %8lld ms  longest GUI gap %4lld ms  (%lld ticks)\n", what,
                static_cast<long long>(total.elapsed()), static_cast<long long>(meter.longest()),
                static_cast<long long>(meter.ticks()));
    std::fflush(stdout);
}

void writeModel(const QString& path, qint64 size, bool sparse)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        qFatal("cannot write %s", qPrintable(path));
    file.write("GGUF");
    if (sparse) {
        file.resize(size);
        return;
    }
    const QByteArray block(1 << 16, 'm');
    for (qint64 written = 4; written < size; written += block.size())
        file.write(block.left(static_cast<int>(std::min<qint64>(block.size(), size - written))));
}

// Another process (flock) holding the data folder's lock file of that name until it goes away.
class LockHolder
{
public:
    explicit LockHolder(const QString& name)
    {
        QDir().mkpath(AppPaths::dataDir());
        m_child.start(QStringLiteral("flock"),
                      {AppPaths::dataDir() + u'/' + name + QStringLiteral(".lock"),
                       QStringLiteral("-c"), QStringLiteral("echo held; exec sleep 600")});
        if (!m_child.waitForReadyRead(30000))
            qFatal("flock did not start");
    }
    ~LockHolder()
    {
        m_child.kill();
        m_child.waitForFinished();
    }

private:
    QProcess m_child;
};

void pointHomeAt(const QString& home, const QString& state)
{
    qputenv("HOME", home.toUtf8());
    qputenv("XDG_DATA_HOME", (state + QStringLiteral("/data")).toUtf8());
    qputenv("XDG_CACHE_HOME", (state + QStringLiteral("/cache")).toUtf8());
    qputenv("XDG_CONFIG_HOME", (state + QStringLiteral("/config")).toUtf8());
    for (const char* name : {"OLLAMA_MODELS", "HF_HOME", "HF_HUB_CACHE"})
        qunsetenv(name);
}

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication application(argc, argv);
    const QString synthetic =
        argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral("/tmp/brimvale-home");
    if (!QFileInfo(synthetic).isDir()) {
        std::fprintf(stderr, "usage: brimvale-guibench [SYNTHETIC_HOME]  (made by brimvale-bench "
                             "generate)\n");
        return 2;
    }
    QTemporaryDir work;
    QTemporaryDir otherDrive(QStringLiteral("/dev/shm/brimvale-guibench-XXXXXX"));
    if (!work.isValid() || !otherDrive.isValid())
        return 1;
    GapMeter meter;
    PanelAnswers panels;
    panels.folder = otherDrive.path();

    // What the loaded machine alone costs: the timer with nothing else to do for 3 s.
    measure(meter, "idle, for comparison", [] {
        auto idle = std::make_shared<QPromise<void>>();
        idle->start();
        QTimer::singleShot(3000, [idle] { idle->finish(); });
        return idle->future();
    });

    // The synthetic home with its big custom folder and loose files; all state in a temp dir.
    pointHomeAt(synthetic, work.filePath(QStringLiteral("state-big")));
    CustomFolders::add(synthetic + QStringLiteral("/Models-archive"));
    AppSettings::setIncludeLoose(true);
    {
        AppModel model(panels);
        measure(meter, "scan, first (no hash cache)", [&] {
            model.setIncludeLoose(true);
            return model.rescan();
        });
        measure(meter, "scan, again", [&] { return model.rescan(); });
        std::printf("  %lld entries\n", static_cast<long long>(model.scan()->models.size()));
    }

    // A small home of our own: 100 models to trash and 20 real ones to move across drives.
    const QString home = work.filePath(QStringLiteral("home"));
    pointHomeAt(home, work.filePath(QStringLiteral("state-small")));
    const QString toTrash = home + QStringLiteral("/trash-these");
    const QString toMove = home + QStringLiteral("/move-these");
    const QString held = home + QStringLiteral("/held-these");
    QDir().mkpath(toTrash);
    QDir().mkpath(toMove);
    QDir().mkpath(held);
    for (int i = 0; i < 5; ++i)
        writeModel(held + QStringLiteral("/held-%1.gguf").arg(i), 2'000'000 + i * 4096, false);
    for (int i = 0; i < 100; ++i)
        writeModel(toTrash + QStringLiteral("/model-%1.gguf").arg(i), 1'000'000 + i * 4096, true);
    for (int i = 0; i < 20; ++i)
        writeModel(toMove + QStringLiteral("/model-%1.gguf").arg(i), 2'000'000 + i * 4096, false);
    CustomFolders::add(toTrash);
    CustomFolders::add(toMove);
    CustomFolders::add(held);
    AppModel model(panels);
    measure(meter, "scan of the small home", [&] { return model.rescan(); });
    const QList<ModelEntry> trashing = model.models(SidebarItem::ofFolder(toTrash));
    const QList<ModelEntry> moving = model.models(SidebarItem::ofFolder(toMove));
    measure(meter, "trash of 100 entries", [&] { return model.trash(trashing); });
    measure(meter, "move of 20 to /dev/shm", [&] { return model.move(moving); });
    std::printf("  trashed %lld, moved %lld; last toast: %s\n",
                static_cast<long long>(trashing.size()), static_cast<long long>(moving.size()),
                model.toast() ? qPrintable(model.toast()->text) : "none");

    // Each lock held by another process: the model waits off the GUI thread up to the desktop's
    // limit, then says so in a toast.
    const QList<ModelEntry> holding = model.models(SidebarItem::ofFolder(held));
    const auto lastToast = [&] { return model.toast() ? qPrintable(model.toast()->text) : "none"; };
    {
        const LockHolder holder(QStringLiteral("custom_paths.json"));
        measure(meter, "folder add, list locked", [&] { return model.addFolder(); });
        std::printf("  toast: %s\n", lastToast());
    }
    {
        const LockHolder holder(QStringLiteral("trash_log.json"));
        measure(meter, "trash of 5, log locked", [&] { return model.trash(holding); });
        std::printf("  toast: %s\n", lastToast());
    }
    {
        const LockHolder holder(QStringLiteral("move"));
        measure(meter, "move of 5, move locked", [&] { return model.move(holding); });
        std::printf("  toast: %s\n", lastToast());
    }
    return 0;
}
