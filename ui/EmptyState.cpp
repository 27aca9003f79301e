#include "ui/EmptyState.h"

#include "ui/Fonts.h"
#include "ui/Icons.h"

#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

EmptyState::EmptyState(QWidget* parent)
    : QWidget(parent), m_icon(new QLabel(this)), m_title(new QLabel(this)),
      m_description(new QLabel(this)), m_action(new QPushButton(this))
{
    auto* layout = new QVBoxLayout(this);
    layout->setSpacing(8);
    layout->addStretch();
    for (QLabel* label : {m_icon, m_title, m_description}) {
        label->setAlignment(Qt::AlignCenter);
        label->setTextFormat(Qt::PlainText);
        layout->addWidget(label);
    }
    QFont big = Fonts::scaled(font(), 1.4);
    big.setWeight(QFont::DemiBold);
    m_title->setFont(big);
    m_description->setWordWrap(true);
    m_description->setForegroundRole(QPalette::PlaceholderText);
    layout->addWidget(m_action, 0, Qt::AlignHCenter);
    layout->addStretch();
    connect(m_action, &QPushButton::clicked, this, &EmptyState::actionTriggered);
}

void EmptyState::present(const QString& iconName, const QString& title, const QString& description,
                         const QString& action)
{
    m_icon->setPixmap(Icons::named(iconName).pixmap(48, 48));
    m_title->setText(title);
    m_description->setText(description);
    m_action->setText(action);
    m_action->setVisible(!action.isEmpty());
}

QString EmptyState::title() const
{
    return m_title->text();
}

QString EmptyState::description() const
{
    return m_description->text();
}
