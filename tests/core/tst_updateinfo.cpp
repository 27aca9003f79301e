// The update check against a local HTTP server: what counts as an answer, the 64 KiB and time
// limits, https-only download addresses and the version order.
#include "TestHome.h"
#include "services/UpdateInfo.h"

#include <QFuture>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>
#include <QTimer>
#include <memory>

using namespace Qt::StringLiterals;

namespace {

// The endpoint's answers that are no canned response: none at all, or one that never ends.
const QByteArray kSilent;
const QByteArray kTrickle("trickle");

QByteArray httpResponse(int status, const QByteArray& body, bool withLength = true,
                        const QByteArray& extraHeaders = {})
{
    QByteArray response = "HTTP/1.1 " + QByteArray::number(status) + " Status\r\n" +
                          "Content-Type: application/json\r\nConnection: close\r\n" + extraHeaders;
    if (withLength)
        response += "Content-Length: " + QByteArray::number(body.size()) + "\r\n";
    return response + "\r\n" + body;
}

// A JSON object of exactly `size` bytes announcing version 9.9.
QByteArray bodyOfSize(qsizetype size)
{
    const QByteArray head = R"({"version":"9.9","notes":")";
    const QByteArray tail = R"("})";
    return head + QByteArray(size - head.size() - tail.size(), 'n') + tail;
}

// Serves one answer on 127.0.0.1 to every request ("{port}" in it becomes its port) and counts
// the requests.
class FakeEndpoint
{
public:
    explicit FakeEndpoint(QByteArray response)
    {
        m_server.listen(QHostAddress::LocalHost, 0);
        response.replace("{port}", QByteArray::number(m_server.serverPort()));
        QObject::connect(&m_server, &QTcpServer::newConnection, &m_server, [this, response] {
            QTcpSocket* socket = m_server.nextPendingConnection();
            auto received = std::make_shared<QByteArray>();
            QObject::connect(socket, &QTcpSocket::readyRead, socket, [=, this] {
                *received += socket->readAll();
                if (!received->endsWith("\r\n\r\n"))
                    return;
                received->clear();
                ++m_requests;
                if (response == kTrickle) {
                    socket->write(httpResponse(200, {}, false, "Content-Length: 100000000\r\n"));
                    auto* timer = new QTimer(socket);
                    QObject::connect(timer, &QTimer::timeout, socket,
                                     [socket] { socket->write(R"({"version":"9.9"}    )"); });
                    timer->start(20);
                } else if (response != kSilent) {
                    socket->write(response);
                    socket->disconnectFromHost();
                }
            });
        });
    }

    [[nodiscard]] QByteArray url() const
    {
        return "http://127.0.0.1:" + QByteArray::number(m_server.serverPort()) + "/version.json";
    }
    [[nodiscard]] int requests() const { return m_requests; }

private:
    QTcpServer m_server;
    int m_requests = 0;
};

} // namespace

class UpdateInfoTest : public QObject
{
    Q_OBJECT

private slots:
    void compareVersions_data()
    {
        QTest::addColumn<QString>("a");
        QTest::addColumn<QString>("b");
        QTest::addColumn<int>("order"); // of a against b; b against a is the opposite
        QTest::newRow("digit runs by value") << u"1.10.0"_s << u"1.9.3"_s << 1;
        QTest::newRow("the longer version is newer") << u"1.2.0"_s << u"1.2"_s << 1;
        QTest::newRow("equal") << u"1.4.2"_s << u"1.4.2"_s << 0;
        QTest::newRow("an added part is newer") << u"1.2.1"_s << u"1.2"_s << 1;
        QTest::newRow("an added .01 is newer") << u"1.2.01"_s << u"1.2"_s << 1;
        QTest::newRow("leading zeros") << u"01.2"_s << u"1.2"_s << 0;
        QTest::newRow("single digit against two") << u"2"_s << u"10"_s << -1;
        QTest::newRow("longer run") << u"1.20"_s << u"1.3"_s << 1;
        QTest::newRow("suffix") << u"1.2-beta"_s << u"1.2"_s << 1;
        QTest::newRow("runs beyond 64 bits")
            << u"1.99999999999999999999"_s << u"1.100000000000000000000"_s << -1;
    }

    void compareVersions()
    {
        QFETCH(QString, a);
        QFETCH(QString, b);
        QFETCH(int, order);
        const auto sign = [](int value) { return (value > 0) - (value < 0); };
        QCOMPARE(sign(UpdateInfo::compareVersions(a, b)), order);
        QCOMPARE(sign(UpdateInfo::compareVersions(b, a)), -order);
    }

    void decode_data()
    {
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<QString>("notes");        // "-" for none; empty: not decoded
        QTest::addColumn<QString>("download_url"); // "-" for none
        const QString none = u"-"_s;
        QTest::newRow("all fields")
            << QByteArray(R"({"version":"2.0","notes":"New","download_url":"https://e.org/get",)"
                          R"("x":1})")
            << u"New"_s << u"https://e.org/get"_s;
        QTest::newRow("version only") << QByteArray(R"({"version":"2.0"})") << none << none;
        QTest::newRow("nulls") << QByteArray(
                                      R"({"version":"2.0","notes":null,"download_url":null})")
                               << none << none;
        const auto dropped = [&](const char* name, const char* url) {
            QTest::newRow(name) << "{\"version\":\"2.0\",\"download_url\":\"" + QByteArray(url) +
                                       "\"}"
                                << none << none;
        };
        dropped("empty download_url", "");
        dropped("http download_url", "http://example.org/get");
        dropped("script download_url", "javascript:alert(1)");
        for (const char* body :
             {R"({"notes":"x"})", R"({"version":2})", R"({"version":"2","notes":3})",
              R"([{"version":"2"}])", "<html>Not found</html>", ""})
            QTest::newRow(body) << QByteArray(body) << QString() << QString();
    }

    void decode()
    {
        QFETCH(QByteArray, body);
        QFETCH(QString, notes);
        QFETCH(QString, download_url);
        const std::optional<UpdateInfo> info = UpdateInfo::decode(body);
        QCOMPARE(info.has_value(), !notes.isEmpty());
        if (!info)
            return;
        QCOMPARE(info->version, u"2.0"_s);
        QCOMPARE(info->notes.value_or(u"-"_s), notes);
        QCOMPARE(info->download_url.value_or(u"-"_s), download_url);
        QCOMPARE(info->downloadURL().toString(),
                 info->download_url.value_or(u"https://brimvale.app/download"_s));
    }

    void endpoint_data()
    {
        QTest::addColumn<QByteArray>("override");
        QTest::addColumn<QString>("expected"); // empty: refused
        QTest::newRow("default") << QByteArray() << u"https://brimvale.app/version.json"_s;
        QTest::newRow("https") << QByteArray("https://example.org/v.json")
                               << u"https://example.org/v.json"_s;
        QTest::newRow("http on loopback")
            << QByteArray("http://127.0.0.1:8080/v.json") << u"http://127.0.0.1:8080/v.json"_s;
        QTest::newRow("http elsewhere") << QByteArray("http://example.org/v.json") << u""_s;
        QTest::newRow("another scheme") << QByteArray("ftp://127.0.0.1/v.json") << u""_s;
        QTest::newRow("not an address") << QByteArray("version.json") << u""_s;
    }

    void endpoint()
    {
        QFETCH(QByteArray, override);
        QFETCH(QString, expected);
        TestHome home;
        home.setEnv("BRIMVALE_UPDATE_URL", override);
        const QUrl url = UpdateInfo::endpoint();
        QCOMPARE(url.isValid() ? url.toString() : QString(), expected);
        if (expected.isEmpty())
            QCOMPARE(UpdateInfo::check(u"0.1"_s), std::nullopt);
    }

    void check_data()
    {
        QTest::addColumn<QByteArray>("response");
        QTest::addColumn<QString>("current");
        QTest::addColumn<QString>("version"); // empty: no offer
        const QByteArray full = R"({"version":"1.4.2","download_url":"https://example.org/get"})";
        const auto nothing = [&](const char* name, const QByteArray& response) {
            QTest::newRow(name) << response << u"1.0"_s << QString();
        };
        QTest::newRow("newer") << httpResponse(200, full) << u"1.4.1"_s << u"1.4.2"_s;
        QTest::newRow("equal") << httpResponse(200, full) << u"1.4.2"_s << QString();
        QTest::newRow("older") << httpResponse(200, full) << u"1.5"_s << QString();
        QTest::newRow("500 with a newer body") << httpResponse(500, full) << u"1.0"_s << u"1.4.2"_s;
        QTest::newRow("body of exactly 64 KiB")
            << httpResponse(200, bodyOfSize(65536)) << u"1.0"_s << u"9.9"_s;
        nothing("body one byte over 64 KiB", httpResponse(200, bodyOfSize(65537)));
        nothing("long body without a length", httpResponse(200, bodyOfSize(300000), false));
        nothing("404 web page", httpResponse(404, "<html><body>Not Found</body></html>"));
        nothing("not JSON", httpResponse(200, "version=9"));
        // Followed, it would ask again.
        nothing("redirect to http",
                httpResponse(302, {}, true, "Location: http://127.0.0.1:{port}/other\r\n"));
        nothing("never answers", kSilent);
        nothing("answer that never ends", kTrickle);
    }

    void check()
    {
        QFETCH(QByteArray, response);
        QFETCH(QString, current);
        QFETCH(QString, version);
        TestHome home;
        FakeEndpoint endpoint(response);
        home.setEnv("BRIMVALE_UPDATE_URL", endpoint.url());
        const std::optional<UpdateInfo> info =
            UpdateInfo::check(current, std::chrono::milliseconds(600));
        QCOMPARE(endpoint.requests(), 1);
        QCOMPARE(info ? info->version : QString(), version);
    }

    void checkAsync()
    {
        TestHome home;
        FakeEndpoint endpoint(httpResponse(200, R"({"version":"7.0","notes":"Big"})"));
        home.setEnv("BRIMVALE_UPDATE_URL", endpoint.url());
        const QFuture<std::optional<UpdateInfo>> future = UpdateInfo::checkAsync(u"6.9"_s);
        QTRY_VERIFY_WITH_TIMEOUT(future.isFinished(), 20000);
        QVERIFY(future.result() == (UpdateInfo{u"7.0"_s, u"Big"_s, std::nullopt}));
    }
};

QTEST_GUILESS_MAIN(UpdateInfoTest)
#include "tst_updateinfo.moc"
