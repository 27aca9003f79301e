// When entries were last used and which are in use now: access times as the walk reads them,
// reads of Brimvale's own that leave them alone, files held by running processes, and the
// models a running Ollama server has loaded (a stand-in answers on 127.0.0.1:11434).
#include "FileHolder.h"
#include "Fixtures.h"
#include "TestHome.h"
#include "fs/UniqueFd.h"
#include "scanners/OllamaLoaded.h"
#include "scanners/Scanner.h"
#include "services/DedupePlan.h"
#include "services/DedupeService.h"
#include "services/MoveService.h"

#include <QDir>
#include <QTest>
#include <arpa/inet.h>
#include <atomic>
#include <netinet/in.h>
#include <poll.h>
#include <sys/mount.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <thread>

namespace {

constexpr qint64 kModelSize = 60'000'000;
constexpr qint64 kDay = 86'400;
const QString kBlob = QString(64, u'b');
const QString kConfig = QString(64, u'c');

const ModelEntry* entryWithId(const ScanResult& result, const QString& id)
{
    for (const ModelEntry& entry : result.models)
        if (entry.id == id)
            return &entry;
    return nullptr;
}

// Who holds the entry with the id ("-": no one) and its delete risk, as "who|risk".
QString useOf(const ScanResult& result, const QString& id)
{
    const ModelEntry* entry = entryWithId(result, id);
    return entry ? entry->inUseBy.value_or(u"-"_qs) + u'|' + entry->deleteRisk.rawValue()
                 : u"missing"_qs;
}

ScanResult scan(const QStringList& folders = {})
{
    ScanRequest request;
    request.folders = folders;
    return Scanner::scanAll(request).value_or(ScanResult());
}

// Answers GET /api/ps on 127.0.0.1:11434 with the body until it goes away; connections that
// send nothing (the running probe) are closed.
class PsStandIn
{
public:
    explicit PsStandIn(const QByteArray& body)
        : m_socket(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0))
    {
        const int on = 1;
        ::setsockopt(m_socket.get(), SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_port = htons(11434);
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        m_listening =
            ::bind(m_socket.get(), reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
            ::listen(m_socket.get(), 8) == 0;
        if (m_listening)
            m_thread = std::thread([this, body] { serve(body); });
    }
    ~PsStandIn()
    {
        m_done = true;
        if (m_thread.joinable())
            m_thread.join();
    }
    [[nodiscard]] bool listening() const { return m_listening; }

private:
    void serve(const QByteArray& body)
    {
        const QByteArray answer = "HTTP/1.1 200 OK\r\nContent-Type: application/json\r\n"
                                  "Content-Length: " +
                                  QByteArray::number(body.size()) + "\r\n\r\n" + body;
        while (!m_done) {
            pollfd wait{m_socket.get(), POLLIN, 0};
            if (::poll(&wait, 1, 50) <= 0)
                continue;
            const UniqueFd client(::accept4(m_socket.get(), nullptr, nullptr, SOCK_CLOEXEC));
            QByteArray request;
            char buffer[4096];
            while (client.isValid() && !request.contains("\r\n\r\n")) {
                const ssize_t n = ::recv(client.get(), buffer, sizeof buffer, 0);
                if (n <= 0)
                    break;
                request.append(buffer, n);
            }
            if (request.startsWith("GET /api/ps "))
                (void)::send(client.get(), answer.constData(), size_t(answer.size()), 0);
        }
    }

    UniqueFd m_socket;
    bool m_listening = false;
    std::atomic<bool> m_done{false};
    std::thread m_thread;
};

} // namespace

class TestLastUsed : public QObject
{
    Q_OBJECT

private slots:
    void lastUsedOfEachKind_data()
    {
        // Files below the home with their access times in days before the fixed date; the entry's
        // lastUsed must be the one marked "*".
        QTest::addColumn<QString>("id");
        QTest::addColumn<QStringList>("files");
        QTest::newRow("LM Studio file")
            << u"lmstudio-m-q4_k_m"_qs << QStringList{u"*.lmstudio/models/o/r/m-Q4_K_M.gguf:3"_qs};
        QTest::newRow("custom folder file")
            << u"custom-w-60000000"_qs << QStringList{u"*mine/w.safetensors:40"_qs};
        QTest::newRow("Hugging Face repository: newest blob")
            << u"hf-models--o--r"_qs
            << QStringList{u".cache/huggingface/hub/models--o--r/blobs/"_qs + QString(64, u'1') +
                               u":9"_qs,
                           u"*.cache/huggingface/hub/models--o--r/blobs/"_qs + kBlob + u":2"_qs};
        QTest::newRow("Ollama tag: its model layer, not the manifest or config")
            << u"ollama-llama-8b"_qs
            << QStringList{u"*.ollama/models/blobs/sha256-"_qs + kBlob + u":5"_qs,
                           u".ollama/models/blobs/sha256-"_qs + kConfig + u":1"_qs,
                           u".ollama/models/manifests/registry.ollama.ai/library/llama/8b:1"_qs};
        QTest::newRow("whole-folder cache: any file in it")
            << u"cache-cursor-chathistory"_qs
            << QStringList{u".cursor/chat/big.db:30"_qs, u"*.cursor/chat/small.json:4"_qs};
        QTest::newRow("a later source's file")
            << u"gpt4all-g"_qs << QStringList{u"*.cache/gpt4all/g.gguf:7"_qs};
        QTest::newRow("Hugging Face xet cache: any file in it")
            << u"hf-xet"_qs
            << QStringList{u".cache/huggingface/xet/a:8"_qs, u"*.cache/huggingface/xet/b/c:6"_qs};
    }

    void lastUsedOfEachKind()
    {
        QFETCH(QString, id);
        QFETCH(QStringList, files);
        TestHome home;
        QVERIFY(
            !Fixtures::ollamaTag(home.path(), u"llama"_qs, u"8b"_qs, u'b', kModelSize).isEmpty());
        Fixtures::makeSparseFile(home.file(u".lmstudio/models/o/r/m-Q4_K_M.gguf"_qs), kModelSize);
        Fixtures::makeSparseFile(home.file(u"mine/w.safetensors"_qs), kModelSize);
        const QString hub = home.file(u".cache/huggingface/hub/models--o--r/blobs/"_qs);
        Fixtures::makeSparseFile(hub + kBlob, kModelSize, "weights");
        Fixtures::writeFile(hub + QString(64, u'1'), "{}");
        Fixtures::makeSparseFile(home.file(u".cursor/chat/big.db"_qs), 200'000);
        Fixtures::writeFile(home.file(u".cursor/chat/small.json"_qs), "[]");
        Fixtures::makeSparseFile(home.file(u".cache/gpt4all/g.gguf"_qs), 2'000'000);
        Fixtures::writeFile(home.file(u".cache/huggingface/xet/a"_qs), "a");
        Fixtures::writeFile(home.file(u".cache/huggingface/xet/b/c"_qs), "c");
        constexpr qint64 kNow = 1'790'000'000;
        qint64 expected = 0;
        for (QString file : files) {
            const bool marked = file.startsWith(u'*');
            const qsizetype colon = file.lastIndexOf(u':');
            const qint64 seconds = kNow - file.mid(colon + 1).toLongLong() * kDay;
            QVERIFY(Fixtures::setAccessed(home.file(file.mid(marked ? 1 : 0, colon - marked)),
                                          seconds, 750'000'000));
            if (marked)
                expected = seconds * 1000 + 750;
        }
        const ScanResult result = scan({home.file(u"mine"_qs)});
        const ModelEntry* entry = entryWithId(result, id);
        QVERIFY(entry);
        QVERIFY(entry->lastUsed);
        QCOMPARE(entry->lastUsed->toMSecsSinceEpoch(), expected);
    }

    void noLastUsedOnNoatimeMount()
    {
        TestHome home;
        const QString mount = home.file(u"fast"_qs);
        QVERIFY(QDir().mkpath(mount));
        if (::mount("tmpfs", QFile::encodeName(mount).constData(), "tmpfs", MS_NOATIME,
                    "size=64m") != 0)
            QSKIP(qPrintable(u"cannot mount a noatime tmpfs here: "_qs +
                             QString::fromLocal8Bit(std::strerror(errno))));
        const auto unmount =
            qScopeGuard([&] { ::umount2(QFile::encodeName(mount).constData(), MNT_DETACH); });
        QVERIFY(Fixtures::makeSparseFile(mount + u"/w.gguf"_qs, kModelSize));
        QVERIFY(Fixtures::makeSparseFile(home.file(u"mine/w.gguf"_qs), kModelSize));
        const ScanResult result = scan({mount, home.file(u"mine"_qs)});
        QCOMPARE(result.models.size(), 2);
        for (const ModelEntry& entry : result.models)
            QCOMPARE(entry.lastUsed.has_value(), !entry.primaryPath.startsWith(mount));
    }

    // A scan that confirms duplicates by their content, a dedupe that hashes both copies again
    // before linking them, and a move across filesystems all read files whose access times lie two
    // days back (so relatime would move them): every time stays to the nanosecond.
    void ownReadsLeaveAccessTimes()
    {
        TestHome home;
        const QString a = home.file(u"mine/a.gguf"_qs);
        const QString b = home.file(u"mine/b.gguf"_qs);
        const QString c = home.file(u"mine/c.gguf"_qs);
        QVERIFY(Fixtures::modelFile(a, kModelSize, 7) && Fixtures::modelFile(b, kModelSize, 7) &&
                Fixtures::modelFile(c, kModelSize, 8));
        const qint64 twoDaysBack = QDateTime::currentSecsSinceEpoch() - 2 * kDay;
        for (const QString& path : {a, b, c})
            QVERIFY(Fixtures::setAccessed(path, twoDaysBack, 123'456'789));
        const qint64 before = Fixtures::accessedNs(a);

        const ScanResult result = scan({home.file(u"mine"_qs)});
        QCOMPARE(result.duplicateGroups.size(), 1);
        for (const QString& path : {a, b, c})
            QCOMPARE(Fixtures::accessedNs(path), before);

        const ModelEntry* duplicate = entryWithId(result, u"custom-b-60000000"_qs);
        QVERIFY(duplicate);
        DedupeService::Options options;
        options.hardLink = true;
        const DedupeOutcome outcome =
            DedupeService::run(DedupePlan::of(result, {*duplicate}), options);
        QVERIFY2(!outcome.error, qPrintable(outcome.error.value_or(QString())));
        QCOMPARE(Fixtures::accessedNs(a), before);

        struct stat home_ = {}, shm = {};
        if (::stat("/dev/shm", &shm) != 0 ||
            ::stat(QFile::encodeName(c).constData(), &home_) != 0 || home_.st_dev == shm.st_dev)
            QSKIP("no /dev/shm on a filesystem other than the temporary home's");
        QTemporaryDir second(u"/dev/shm/brimvale-lastused-XXXXXX"_qs);
        QVERIFY(second.isValid());
        ModelEntry item;
        item.id = c;
        item.allPaths = {c};
        QVERIFY(!MoveService::move({item}, second.path(), false).error);
        QCOMPARE(Fixtures::accessedNs(second.filePath(u"c.gguf"_qs)), before);
    }

    void heldFileIsInUse_data()
    {
        QTest::addColumn<FileHolder::How>("how");
        QTest::newRow("mapped, descriptor closed") << FileHolder::How::mapped;
        QTest::newRow("open") << FileHolder::How::open;
    }

    // The process that maps or opens a model makes its entry in use; once it ends the next scan
    // shows the entry free again. Another entry of the folder is never marked.
    void heldFileIsInUse()
    {
        QFETCH(FileHolder::How, how);
        TestHome home;
        QVERIFY(Fixtures::makeSparseFile(home.file(u"mine/held.gguf"_qs), kModelSize, "held"));
        QVERIFY(Fixtures::makeSparseFile(home.file(u"mine/free.gguf"_qs), kModelSize, "free"));
        FileHolder holder(home.file(u"mine/held.gguf"_qs), how);
        if (!holder.holding())
            QSKIP("python3 could not hold the file here");
        const QString held = u"custom-held-60000000"_qs;
        const ScanResult result = scan({home.file(u"mine"_qs)});
        QCOMPARE(useOf(result, held), holder.processName() + u"|Risky"_qs);
        QCOMPARE(useOf(result, u"custom-free-60000000"_qs), u"-|Safe"_qs);
        holder.release();
        QCOMPARE(useOf(scan({home.file(u"mine"_qs)}), held), u"-|Safe"_qs);
    }

    void ollamaLoadedModelsAreInUse()
    {
        TestHome home;
        QVERIFY(
            !Fixtures::ollamaTag(home.path(), u"llama"_qs, u"8b"_qs, u'b', kModelSize).isEmpty());
        QVERIFY(!Fixtures::ollamaTag(home.path(), u"qwen"_qs, u"latest"_qs, u'd', kModelSize)
                     .isEmpty());
        const PsStandIn ollama(R"({"models":[{"name":"llama:8b","model":"llama:8b","size":1}]})");
        if (!ollama.listening())
            QSKIP("cannot listen on 127.0.0.1:11434 here");
        const ScanResult result = scan();
        QVERIFY(result.ollamaRunning);
        QCOMPARE(useOf(result, u"ollama-llama-8b"_qs), u"Ollama|Risky"_qs);
        QCOMPARE(useOf(result, u"ollama-qwen-latest"_qs), u"-|Risky"_qs);
    }

    void psNamesMatchTags_data()
    {
        QTest::addColumn<QString>("loaded");
        QTest::addColumn<QString>("tag");
        QTest::addColumn<bool>("matches");
        QTest::newRow("same") << u"llama:8b"_qs << u"llama:8b"_qs << true;
        QTest::newRow("no tag is latest") << u"llama"_qs << u"llama:latest"_qs << true;
        QTest::newRow("namespace") << u"me/llama:8b"_qs << u"llama:8b"_qs << true;
        QTest::newRow("other tag") << u"llama:70b"_qs << u"llama:8b"_qs << false;
        QTest::newRow("prefix only") << u"llama:8"_qs << u"llama:8b"_qs << false;
    }

    void psNamesMatchTags()
    {
        QFETCH(QString, loaded);
        QFETCH(QString, tag);
        QFETCH(bool, matches);
        QCOMPARE(OllamaLoaded::namesTag(loaded, tag), matches);
    }
};

QTEST_GUILESS_MAIN(TestLastUsed)
#include "tst_lastused.moc"
