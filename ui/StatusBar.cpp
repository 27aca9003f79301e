#include "ui/StatusBar.h"

#include "app/AppModel.h"
#include "ui/ElidedLabel.h"
#include "ui/Fonts.h"
#include "ui/Spinner.h"

#include <QHBoxLayout>
#include <QPainter>
#include <QPushButton>

StatusBar::StatusBar(QWidget* parent)
    : QWidget(parent), m_spinner(new Spinner(this)), m_label(new ElidedLabel(this)),
      m_controls(new QHBoxLayout)
{
    setFixedHeight(36);
    setFont(Fonts::callout(font()));
    setAutoFillBackground(true);
    setBackgroundRole(QPalette::Window);
    m_label->setAccessibleName(tr("Status"));
    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(14, 0, 14, 0);
    row->setSpacing(10);
    row->addWidget(m_spinner);
    row->addWidget(m_label, 1);
    m_controls->setSpacing(10);
    row->addLayout(m_controls);
    refresh();
}

void StatusBar::setText(const QString& text)
{
    m_text = text;
    refresh();
}

void StatusBar::setBusy(const std::optional<QString>& busy)
{
    m_busy = busy;
    refresh();
}

void StatusBar::addControl(QWidget* control)
{
    control->setParent(this);
    m_controls->addWidget(control);
}

void StatusBar::followProgress(AppModel& model)
{
    auto* stop = new QPushButton(tr("Stop"));
    addControl(stop);
    connect(stop, &QPushButton::clicked, &model, &AppModel::stopCurrent);
    const auto refreshProgress = [this, &model, stop] {
        std::optional<QString> busy = model.busyMessage();
        if (!busy && model.isScanning())
            busy = model.scanProgressText().isEmpty() ? tr("Scanning…") : model.scanProgressText();
        setBusy(busy);
        stop->setVisible(model.isStoppable());
    };
    for (const auto signal : {&AppModel::busyMessageChanged, &AppModel::scanProgressTextChanged,
                              &AppModel::isScanningChanged})
        connect(&model, signal, this, refreshProgress);
    refreshProgress();
}

QString StatusBar::shownText() const
{
    return m_busy.value_or(m_text);
}

void StatusBar::refresh()
{
    m_spinner->setVisible(m_busy.has_value());
    m_label->setText(shownText());
}

void StatusBar::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setPen(palette().color(QPalette::Mid));
    painter.drawLine(0, 0, width(), 0);
}
