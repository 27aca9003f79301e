#pragma once

#include <QByteArray>
#include <QHash>
#include <QString>
#include <QTemporaryDir>
#include <optional>

// A temporary home directory for one test: HOME and the XDG_* variables point into a fresh
// QTemporaryDir, and the variables scanners read (OLLAMA_MODELS, the HF_* and Hugging Face ones,
// LLAMA_CACHE, …) are cleared. Everything is restored when the object goes away.
class TestHome
{
public:
    TestHome();
    ~TestHome();

    TestHome(const TestHome&) = delete;
    TestHome& operator=(const TestHome&) = delete;

    [[nodiscard]] bool isValid() const { return m_dir.isValid(); }
    [[nodiscard]] QString path() const { return m_home; }
    // An absolute path inside the home, from a relative one.
    [[nodiscard]] QString file(const QString& relative) const;
    // The temporary folder holding the home (and room for siblings such as a second home).
    [[nodiscard]] QString root() const { return m_dir.path(); }
    // Sets a variable for the test's lifetime (restored afterwards); an empty value unsets it.
    void setEnv(const char* name, const QByteArray& value);
    // Lets an unprivileged uid traverse and read the home (the temporary folder is 0700).
    void openToEveryone() const;

private:
    QTemporaryDir m_dir;
    QString m_home;
    QHash<QByteArray, std::optional<QByteArray>> m_saved;
};
