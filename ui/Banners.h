#pragma once

#include <QWidget>

class AppModel;
class Banner;
class Dialogs;

// The banners above the detail column: the update banner with its "Download" link while an
// update is known, and the Ollama banner while Ollama runs and the Trash is not shown.
class Banners : public QWidget
{
    Q_OBJECT

public:
    Banners(AppModel& model, Dialogs& dialogs, QWidget* parent = nullptr);

    [[nodiscard]] Banner* updateBanner() const { return m_update; }
    [[nodiscard]] Banner* ollamaBanner() const { return m_ollama; }

private:
    void refresh();

    AppModel& m_model;
    Banner* m_update;
    Banner* m_ollama;
};
