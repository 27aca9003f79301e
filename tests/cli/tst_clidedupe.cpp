// brimvale-cli dedupe on a home holding two identical model files and one of its own: what it
// reads from its arguments, what it prints and exits with, and what it leaves on disk.
#include "Fixtures.h"
#include "TestHome.h"
#include "TrashFixtures.h"
#include "services/DedupeService.h"

#include <QFile>
#include <QJsonDocument>
#include <QTest>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

using TrashFixtures::runCli;

namespace {

constexpr qint64 kSize = 60'000'000;

bool modelFile(const QString& path, quint32 seed)
{
    return Fixtures::modelFile(path, kSize, seed);
}

std::optional<ino_t> inodeOf(const QString& path)
{
    struct stat st
    {
    };
    if (::stat(QFile::encodeName(path).constData(), &st) != 0)
        return std::nullopt;
    return st.st_ino;
}

bool sameContent(const QString& a, const QString& b)
{
    QFile one(a), two(b);
    if (!one.open(QIODevice::ReadOnly) || !two.open(QIODevice::ReadOnly) ||
        one.size() != two.size())
        return false;
    while (!one.atEnd()) {
        if (one.read(1 << 20) != two.read(1 << 20))
            return false;
    }
    return true;
}

// Whether the text matches the pattern, in which each "*" stands for any text.
bool matches(const QString& text, const QString& pattern)
{
    const QStringList pieces = pattern.split(u'*');
    if (pieces.size() == 1)
        return text == pattern;
    if (!text.startsWith(pieces.first()) || !text.endsWith(pieces.last()) ||
        text.size() < pieces.first().size() + pieces.last().size())
        return false;
    qsizetype at = pieces.first().size();
    for (qsizetype i = 1; i + 1 < pieces.size(); ++i) {
        at = text.indexOf(pieces[i], at);
        if (at < 0)
            return false;
        at += pieces[i].size();
    }
    return at <= text.size() - pieces.last().size();
}

} // namespace

class CliDedupeTest : public QObject
{
    Q_OBJECT

private slots:
    void init()
    {
        m_home = std::make_unique<TestHome>();
        QVERIFY(modelFile(m_home->file(u"models/a.gguf"_qs), 7));
        QVERIFY(modelFile(m_home->file(u"models/b.gguf"_qs), 7));
        QVERIFY(Fixtures::writeFile(m_home->file(u"models/c.gguf"_qs),
                                    Fixtures::headBytes(3, 1'000'000)));
    }

    void cleanup() { m_home.reset(); }

    void runs_data()
    {
        QTest::addColumn<QString>("arguments"); // after "dedupe --no-loose --folder {home}/models"
        QTest::addColumn<bool>("unshared");     // only where blocks cannot be shared
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QString>("out"); // "*" stands for any text; JSON in its compact form
        QTest::addColumn<QString>("err"); // a usage error is followed by the usage
        QTest::addColumn<bool>("linked"); // b.gguf a hard link to a.gguf afterwards

        const QString b = u"custom-b-60000000"_qs, c = u"custom-c-1000000"_qs;
        const QString noCopy = u"{c}: No identical copy found — scan again\n"_qs;
        QTest::newRow("no ids") << QString() << false << 2 << QString()
                                << u"brimvale-cli: no ids given\n"_qs << false;
        QTest::newRow("unknown option") << u"--force "_qs + b << false << 2 << QString()
                                        << u"brimvale-cli: unknown option: --force\n"_qs << false;
        QTest::newRow("unknown id frees nothing")
            << b + u" no-such-id"_qs << false << 1 << QString()
            << u"No entry with id no-such-id\n"_qs << false;
        QTest::newRow("entry without a duplicate")
            << c << false << 1 << u"*Freed Zero KB\n"_qs << noCopy << false;
        QTest::newRow("dry run changes nothing")
            << u"--dry-run --hard-link "_qs + b + u' ' + c << false << 0
            << u"{b}\t{a}\t60 MB\nWould free 60 MB\n"_qs << noCopy << false;
        QTest::newRow("hard link where blocks cannot be shared")
            << u"--hard-link "_qs + b << true << 0
            << u"{b}\t{a}\t60 MB\nFree space on *\nFreed 60 MB\n"_qs << QString() << true;
        QTest::newRow("refused where blocks cannot be shared")
            << b << true << 1 << u"*Freed Zero KB\n"_qs << u"{b}: *cannot share blocks*\n"_qs
            << false;
        QTest::newRow("JSON dry run")
            << u"--json --dry-run --hard-link "_qs + b << false << 0
            << uR"({"bytesShared":60000000,"dryRun":true,"error":null,"files":[{"bytesShared":)"
               uR"(60000000,"entryId":"custom-b-60000000","freed":true,"hardLinked":true,"keepPath":)"
               uR"("{a}","path":"{b}","reason":null}],"filesystems":[{"freeAfter":*,"freeBefore":*,)"
               uR"("freed":0,"mountPoint":"*"}],"notes":[]})"_qs
            << QString() << false;
        QTest::newRow("JSON entry without a duplicate")
            << u"--json "_qs + c << false << 1
            << uR"({"bytesShared":0,"dryRun":false,"error":null,"files":[{"bytesShared":0,"entryId":)"
               uR"("custom-c-1000000","freed":false,"hardLinked":false,"keepPath":"","path":"{c}",)"
               uR"("reason":"No identical copy found — scan again"}],"filesystems":[],"notes":[]})"_qs
            << noCopy << false;
    }

    void runs()
    {
        QFETCH(QString, arguments);
        QFETCH(bool, unshared);
        QFETCH(int, exitCode);
        QFETCH(QString, out);
        QFETCH(QString, err);
        QFETCH(bool, linked);
        const QString a = expand(u"{a}"_qs), b = expand(u"{b}"_qs);
        if (unshared && DedupeService::canShareBlocks(b))
            QSKIP("The temporary folder's filesystem can share blocks");

        const TrashFixtures::CliRun run = dedupe(arguments);

        QCOMPARE(run.exitCode, exitCode);
        const QString printed =
            QString::fromUtf8(arguments.contains(u"--json"_qs)
                                  ? QJsonDocument::fromJson(run.out).toJson(QJsonDocument::Compact)
                                  : run.out);
        QVERIFY2(matches(printed, expand(out)), qPrintable(printed));
        const QString printedErr = QString::fromUtf8(run.err);
        QVERIFY2(matches(printedErr, expand(err) + (exitCode == 2 ? u"*"_qs : QString())),
                 qPrintable(printedErr));
        QCOMPARE(inodeOf(a) == inodeOf(b), linked);
        QVERIFY(inodeOf(a) && sameContent(a, b));
    }

private:
    // "{a}", "{b}", "{c}" stand for the model files, "{home}" for the home.
    QString expand(QString text) const
    {
        for (const char16_t name : {u'a', u'b', u'c'})
            text.replace(u'{' + QChar(name) + u'}',
                         m_home->file(u"models/"_qs + QChar(name) + u".gguf"_qs));
        return text.replace(u"{home}"_qs, m_home->path());
    }

    TrashFixtures::CliRun dedupe(const QString& arguments) const
    {
        return runCli(QStringList{u"dedupe"_qs, u"--no-loose"_qs, u"--folder"_qs,
                                  m_home->file(u"models"_qs)} +
                      arguments.split(u' ', Qt::SkipEmptyParts));
    }

    std::unique_ptr<TestHome> m_home;
};

QTEST_GUILESS_MAIN(CliDedupeTest)
#include "tst_clidedupe.moc"
