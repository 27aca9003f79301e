#pragma once

#include <QProcessEnvironment>
#include <QStringList>
#include <QTranslator>
#include <memory>
#include <vector>

// The app's translators: the English plural forms underneath, the chosen language's messages and
// Qt's own on top. Installed on the application before any window is made.
class Translations
{
public:
    // The languages asked for, in order of preference, as gettext reads them: LC_ALL, then
    // LC_MESSAGES, then LANG name the locale ("C" and "POSIX" mean English, and then LANGUAGE is
    // not read); LANGUAGE, a colon-separated list, goes before it. Encodings and modifiers are
    // dropped: "de_DE.UTF-8" gives "de_DE".
    [[nodiscard]] static QStringList languages(const QProcessEnvironment& environment);

    // Loads and installs the first of `languages` that has a translation, over English.
    void install(const QStringList& languages);
    [[nodiscard]] QString language() const { return m_language; }

    // Where the .qm files are: beside the installed app, else in the build tree.
    [[nodiscard]] static QStringList folders();

private:
    std::vector<std::unique_ptr<QTranslator>> m_installed;
    QString m_language;
};
