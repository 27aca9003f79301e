#include "ui/InfoStrip.h"

#include "ui/ElidedLabel.h"
#include "ui/Fonts.h"
#include "ui/Icons.h"
#include "ui/Palette.h"

#include <QApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>

InfoStrip::InfoStrip(const QString& iconName, const QString& text, QWidget* parent)
    : QWidget(parent), m_label(new ElidedLabel(this))
{
    setFont(Fonts::callout(font()));
    auto* icon = new QLabel(this);
    const int side = fontMetrics().height();
    icon->setPixmap(Icons::tinted(iconName, Palette::orange)
                        .pixmap(QSize(side, side), qApp->devicePixelRatio()));
    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(14, 8, 14, 8);
    row->setSpacing(8);
    row->addWidget(icon);
    row->addWidget(m_label, 1);
    m_label->setText(text);
}

void InfoStrip::setText(const QString& text)
{
    m_label->setText(text);
}

QString InfoStrip::text() const
{
    return m_label->text();
}

void InfoStrip::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setPen(palette().color(QPalette::Mid));
    painter.drawLine(0, height() - 1, width(), height() - 1);
}
