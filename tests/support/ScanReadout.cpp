#include "ScanReadout.h"

#include "Fixtures.h"
#include "TestHome.h"

#include <QDebug>
#include <QFile>
#include <QTest>
#include <chrono>
#include <fcntl.h>
#include <future>
#include <thread>
#include <unistd.h>

namespace {

// Runs the work on a thread of its own. Work blocked opening or reading one of the FIFOs never
// returns by itself: after a generous wait the FIFOs are opened for writing and closed until it
// does, and the call counts as blocked (false).
bool returnsWithoutBlocking(const QStringList& fifos, const std::function<void()>& work)
{
    std::promise<void> done;
    std::future<void> finished = done.get_future();
    std::thread worker([&] {
        work();
        done.set_value();
    });
    const bool returned = finished.wait_for(std::chrono::seconds(30)) == std::future_status::ready;
    while (finished.wait_for(std::chrono::seconds(1)) != std::future_status::ready) {
        for (const QString& fifo : fifos) {
            const int fd = ::open(QFile::encodeName(fifo).constData(), O_WRONLY | O_NONBLOCK);
            if (fd >= 0)
                ::close(fd);
        }
    }
    worker.join();
    return returned;
}

} // namespace

namespace ScanReadout {

QStringList idsOf(const SourceScan& scan)
{
    QStringList ids;
    for (const ModelEntry& entry : scan.models)
        ids.push_back(entry.id);
    return ids;
}

QStringList entriesIn(const SourceScan& scan, const TestHome& home)
{
    QStringList entries;
    for (const ModelEntry& entry : scan.models) {
        QString path = entry.primaryPath;
        if (path.startsWith(home.path() + u'/'))
            path = path.mid(home.path().size() + 1);
        entries.push_back(path + u':' + QString::number(entry.sizeBytes));
    }
    return entries;
}

void checkLayout(const std::function<SourceScan(const TestHome&)>& scan, const QString& base)
{
    QFETCH(QStringList, tree);
    QFETCH(QStringList, expected);
    TestHome home;
    QStringList fifos;
    bool closed = false;
    for (QString& entry : expected)
        entry.prepend(base);
    for (QString& line : tree) {
        line.prepend(base).replace(u"<HOME>"_qs, home.path());
        if (!line.contains(u'=') && line.endsWith(u'|'))
            fifos.push_back(home.file(line.chopped(1)));
        closed = closed || (!line.contains(u'=') && line.endsWith(u'!'));
    }
    QVERIFY(Fixtures::makeTree(home.path(), tree));
    if (closed) {
        // As root every folder is readable, which would prove nothing.
        home.openToEveryone();
        QVERIFY2(Fixtures::runUnprivileged([&] {
                     const SourceScan result = scan(home);
                     const QStringList found = entriesIn(result, home);
                     if (result.errors.isEmpty() && found == expected)
                         return true;
                     qWarning() << "found" << found << "errors" << result.errors;
                     return false;
                 }),
                 "the scan at uid 65534 differs (see above)");
        return;
    }
    SourceScan result;
    QVERIFY(returnsWithoutBlocking(fifos, [&] { result = scan(home); }));
    QCOMPARE(result.errors, QStringList());
    QCOMPARE(entriesIn(result, home), expected);
}

} // namespace ScanReadout
