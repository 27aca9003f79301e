#include "ui/Banners.h"

#include "app/AppModel.h"
#include "ui/Banner.h"
#include "ui/Palette.h"

#include <QPushButton>
#include <QVBoxLayout>

Banners::Banners(AppModel& model, Dialogs& dialogs, QWidget* parent)
    : QWidget(parent), m_model(model),
      m_update(new Banner(QStringLiteral("software-update-available"), Palette::blue, this)),
      m_ollama(new Banner(QStringLiteral("dialog-warning"), Palette::orange, this))
{
    auto* download = new QPushButton(tr("Download"));
    download->setFlat(true);
    download->setCursor(Qt::PointingHandCursor);
    download->setStyleSheet(QStringLiteral("QPushButton { color: palette(link); border: none; }"));
    connect(download, &QPushButton::clicked, this, [this, &dialogs] {
        if (m_model.update())
            dialogs.openUrl(m_model.update()->downloadURL());
    });
    m_update->setAccessory(download);
    m_ollama->setText(tr("Ollama is running. Quit it before trashing Ollama models."));

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(m_update);
    layout->addWidget(m_ollama);
    for (auto signal :
         {&AppModel::updateChanged, &AppModel::scanChanged, &AppModel::sidebarChanged})
        connect(&m_model, signal, this, &Banners::refresh);
    refresh();
}

void Banners::refresh()
{
    const std::optional<UpdateNotice>& update = m_model.update();
    if (update) {
        QString text = tr("Brimvale %1 is available.").arg(update->version);
        if (update->notes)
            text += u' ' + *update->notes;
        m_update->setText(text);
    }
    m_update->setVisible(update.has_value());
    const bool trashShown = m_model.sidebar() == SidebarItem::trash();
    m_ollama->setVisible(m_model.scan() && m_model.scan()->ollamaRunning && !trashShown);
    setVisible(!m_update->isHidden() || !m_ollama->isHidden());
}
