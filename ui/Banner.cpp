#include "ui/Banner.h"

#include "ui/ElidedLabel.h"
#include "ui/Fonts.h"
#include "ui/Icons.h"

#include <QApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>

Banner::Banner(const QString& iconName, const QColor& color, QWidget* parent)
    : QWidget(parent), m_color(color), m_label(new ElidedLabel(this)), m_row(new QHBoxLayout(this))
{
    setAccessibleName(tr("Banner"));
    setFont(Fonts::callout(font()));
    m_label->setSecondary(false);
    auto* icon = new QLabel(this);
    const int side = fontMetrics().height();
    icon->setPixmap(
        Icons::tinted(iconName, color).pixmap(QSize(side, side), qApp->devicePixelRatio()));
    m_row->setContentsMargins(14, 7, 14, 7);
    m_row->setSpacing(8);
    m_row->addWidget(icon);
    m_row->addWidget(m_label, 1);
}

void Banner::setText(const QString& text)
{
    m_label->setText(text);
    setAccessibleDescription(text);
}

QString Banner::text() const
{
    return m_label->text();
}

void Banner::setAccessory(QWidget* accessory)
{
    accessory->setParent(this);
    m_row->addWidget(accessory);
}

void Banner::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    QColor fill = m_color;
    fill.setAlphaF(0.1);
    painter.fillRect(rect(), fill);
    painter.setPen(palette().color(QPalette::Mid));
    painter.drawLine(0, height() - 1, width(), height() - 1);
}
