// Times the models page with 10,000 rows: sorting by each column (a header click) and filtering
// per keystroke, each until the page has updated and repainted. Prints medians in milliseconds.
#include "app/AppModel.h"
#include "app/CoreCalls.h"
#include "app/ScanFilterProxy.h"
#include "app/ScanItemModel.h"
#include "ui/ModelTable.h"
#include "ui/ModelsView.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFuture>
#include <QHeaderView>
#include <QTextStream>
#include <algorithm>
#include <ctime>

namespace {

class CannedCore : public CoreCalls
{
public:
    explicit CannedCore(ScanResult scan) : m_scan(std::move(scan)) {}
    std::optional<ScanResult> scan(bool, const QStringList&, const StopToken*,
                                   ScanProgress*) override
    {
        return m_scan;
    }
    QList<TrashEntry> trashEntries() override { return {}; }
    std::optional<UpdateInfo> checkForUpdate() override { return std::nullopt; }
    bool includeLoose() const override { return false; }
    QStringList customFolders() override { return {}; }

private:
    ScanResult m_scan;
};

class NoDialogs : public Dialogs
{
public:
    void chooseFolders(const FolderPanel&, std::function<void(const QStringList&)>) override {}
    void chooseSaveFile(const SavePanel&,
                        std::function<void(const std::optional<QString>&)>) override
    {}
    void reveal(const QStringList&) override {}
    void ask(const Question&, std::function<void(bool)>) override {}
    void openUrl(const QUrl&) override {}
};

ScanResult rows(int count)
{
    static const char* const families[] = {"llama", "qwen",    "mistral", "phi",
                                           "gemma", "whisper", "sdxl",    "deepseek"};
    static const char* const quants[] = {"Q4_K_M", "Q5_K_S", "Q8_0", "F16"};
    ScanResult scan;
    const QDateTime base(QDate(2025, 1, 1), QTime(12, 0), Qt::UTC); // as the scanners give dates
    quint64 state = 88172645463325252ULL;
    const auto next = [&] {
        state ^= state << 13;
        state ^= state >> 7;
        state ^= state << 17;
        return state;
    };
    for (int i = 0; i < count; ++i) {
        const QString family = QString::fromLatin1(families[next() % 8]);
        const QString name = family + u'-' + QString::number(next() % 90 + 1) +
                             QStringLiteral("b-") + QString::fromLatin1(quants[next() % 4]) + u'-' +
                             QString::number(i);
        const QString path =
            QStringLiteral("/home/user/models/") + family + u'/' + name + QStringLiteral(".gguf");
        const qint64 size = static_cast<qint64>(next() % 20'000'000'000ULL);
        const ModelSource source = ModelSource::allCases()[next() % 8];
        ModelEntry entry(QStringLiteral("id-") + QString::number(i), name, source, size,
                         std::nullopt, path, {path}, base.addSecs(-qint64(next() % 40'000'000)),
                         DeleteRisk::safe, std::nullopt, std::nullopt);
        entry.isDuplicate = i % 17 == 0;
        scan.models << entry;
    }
    return scan;
}

double cpuMs()
{
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) * 1e3 + static_cast<double>(now.tv_nsec) / 1e6;
}

// Median wall-clock and median CPU time of the GUI thread, in milliseconds.
template <typename Step> QString median(int runs, Step step, QWidget& page)
{
    QList<double> wall;
    QList<double> cpu;
    for (int run = 0; run < runs; ++run) {
        QElapsedTimer timer;
        const double start = cpuMs();
        timer.start();
        step(run);
        page.repaint();
        wall << static_cast<double>(timer.nsecsElapsed()) / 1e6;
        cpu << cpuMs() - start;
    }
    std::sort(wall.begin(), wall.end());
    std::sort(cpu.begin(), cpu.end());
    return QString::number(wall[wall.size() / 2], 'f', 2) + QStringLiteral(" (CPU ") +
           QString::number(cpu[cpu.size() / 2], 'f', 2) + u')';
}

} // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    const int count = argc > 1 ? QString::fromLocal8Bit(argv[1]).toInt() : 10'000;
    NoDialogs dialogs;
    AppModel model(std::make_shared<CannedCore>(rows(count)), dialogs);
    QFuture<void> scanned = model.rescan();
    while (!scanned.isFinished())
        QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
    ModelsView page(model);
    page.resize(1200, 800);
    page.show();
    QCoreApplication::processEvents();

    QTextStream out(stdout);
    out << count << " rows; median wall-clock (and GUI-thread CPU) time in ms\n";
    QHeaderView& header = *page.table().horizontalHeader();
    for (int column = ScanItemModel::name; column <= ScanItemModel::modified; ++column) {
        const QString ms = median(
            11, [&](int) { emit header.sectionClicked(column); }, page);
        out << "sort by "
            << page.table().rows().headerData(column, Qt::Horizontal, Qt::DisplayRole).toString()
            << ": " << ms << '\n';
    }
    const QString typed = QStringLiteral("llama-3");
    QStringList steps;
    for (qsizetype i = 1; i <= typed.size(); ++i)
        steps << typed.left(i);
    for (qsizetype i = typed.size() - 1; i >= 0; --i)
        steps << typed.left(i);
    const QString filter = median(
        static_cast<int>(steps.size()), [&](int run) { model.setSearch(steps[run]); }, page);
    out << "filter per keystroke: " << filter << '\n';
    return 0;
}
