#include "CliCommon.h"
#include "Commands.h"

#include <QCoreApplication>
#include <QHash>
#include <clocale>

int main(int argc, char* argv[])
{
    std::setlocale(LC_ALL, "");
    QCoreApplication application(argc, argv);
    QCoreApplication::setOrganizationName(QStringLiteral("Brimvale"));
    QCoreApplication::setApplicationName(QStringLiteral("Brimvale"));
    QStringList arguments = QCoreApplication::arguments();
    arguments.removeFirst();
    if (arguments.isEmpty())
        return CliCommon::usageError(QStringLiteral("no command given"));

    const QString command = arguments.takeFirst();
    if (command == QStringLiteral("--version") && arguments.isEmpty()) {
        CliCommon::out(QStringLiteral("brimvale-cli " BRIMVALE_VERSION "\n"));
        return CliCommon::kSuccess;
    }
    if (command == QStringLiteral("--help") && arguments.isEmpty()) {
        CliCommon::out(CliCommon::usage());
        return CliCommon::kSuccess;
    }
    using Command = int (*)(const QStringList&);
    const QHash<QString, Command> commands{
        {QStringLiteral("scan"), &Commands::scan},
        {QStringLiteral("report"), &Commands::report},
        {QStringLiteral("folders"), &Commands::folders},
        {QStringLiteral("trash"), &Commands::trash},
        {QStringLiteral("trashed"), &Commands::trashed},
        {QStringLiteral("restore"), &Commands::restore},
        {QStringLiteral("delete"), &Commands::deleteEntries},
        {QStringLiteral("move"), &Commands::move},
        {QStringLiteral("move-back"), &Commands::moveBack},
        {QStringLiteral("dedupe"), &Commands::dedupe},
    };
    const auto found = commands.constFind(command);
    if (found == commands.constEnd())
        return CliCommon::usageError(QStringLiteral("unknown command or option: ") + command);
    return (*found)(arguments);
}
