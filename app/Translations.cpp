#include "app/Translations.h"

#include <QCoreApplication>
#include <QDir>
#include <QLibraryInfo>

namespace {

QString bareName(QString name)
{
    name = name.section(u'.', 0, 0).section(u'@', 0, 0);
    return name;
}

bool isEnglishLocale(const QString& name)
{
    return name == u"C" || name == u"POSIX";
}

} // namespace

QStringList Translations::languages(const QProcessEnvironment& environment)
{
    QString locale;
    for (const QString& variable :
         {QStringLiteral("LC_ALL"), QStringLiteral("LC_MESSAGES"), QStringLiteral("LANG")}) {
        locale = bareName(environment.value(variable));
        if (!locale.isEmpty())
            break;
    }
    if (locale.isEmpty() || isEnglishLocale(locale))
        return {};
    QStringList result;
    for (const QString& entry :
         environment.value(QStringLiteral("LANGUAGE")).split(u':', Qt::SkipEmptyParts)) {
        const QString name = bareName(entry);
        if (!name.isEmpty() && !isEnglishLocale(name) && !result.contains(name))
            result.append(name);
    }
    if (!result.contains(locale))
        result.append(locale);
    return result;
}

QStringList Translations::folders()
{
    return {QDir(QCoreApplication::applicationDirPath())
                .absoluteFilePath(QStringLiteral("../share/brimvale/translations")),
            QStringLiteral(BRIMVALE_BUILD_TRANSLATIONS)};
}

void Translations::install(const QStringList& languages)
{
    const auto load = [this](const QString& name, const QStringList& where) {
        for (const QString& folder : where) {
            auto translator = std::make_unique<QTranslator>();
            if (translator->load(name, folder, QStringLiteral("_"))) {
                QCoreApplication::installTranslator(translator.get());
                m_installed.push_back(std::move(translator));
                return true;
            }
        }
        return false;
    };
    // Installed later is asked first: English goes underneath whatever language is found.
    load(QStringLiteral("brimvale_en"), folders());
    for (const QString& language : languages) {
        if (language.startsWith(u"en"))
            break;
        if (load(QStringLiteral("brimvale_") + language, folders())) {
            m_language = language;
            load(QStringLiteral("qtbase_") + language,
                 {QLibraryInfo::path(QLibraryInfo::TranslationsPath)});
            break;
        }
    }
}
