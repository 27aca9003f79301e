#include <QCoreApplication>
#include <QString>
#include <QStringList>

#include <cstdio>

namespace {

const char kUsage[] =
    "Usage:\n"
    "  brimvale-cli --version | --help\n"
    "\n"
    "Finds AI model files and AI-tool caches in your home folder and reclaims their space.\n";

void print(FILE* stream, const QString& text)
{
    const QByteArray bytes = text.toUtf8();
    std::fwrite(bytes.constData(), 1, static_cast<size_t>(bytes.size()), stream);
}

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication application(argc, argv);
    QStringList arguments = QCoreApplication::arguments();
    arguments.removeFirst();
    if (arguments == QStringList{QStringLiteral("--version")}) {
        print(stdout, QStringLiteral("brimvale-cli " BRIMVALE_VERSION "\n"));
        return 0;
    }
    if (arguments == QStringList{QStringLiteral("--help")}) {
        print(stdout, QString::fromUtf8(kUsage));
        return 0;
    }
    if (arguments.isEmpty())
        print(stderr, QStringLiteral("brimvale-cli: no command given\n"));
    else
        print(stderr, QStringLiteral("brimvale-cli: unknown command or option: ") +
                          arguments.first() + u'\n');
    print(stderr, QString::fromUtf8(kUsage));
    return 2;
}
