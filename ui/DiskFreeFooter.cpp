#include "ui/DiskFreeFooter.h"

#include "text/Format.h"
#include "ui/ElidedLabel.h"
#include "ui/Fonts.h"
#include "ui/Palette.h"

#include <QProgressBar>
#include <QVBoxLayout>

DiskFreeFooter::DiskFreeFooter(QWidget* parent)
    : QWidget(parent), m_bar(new QProgressBar(this)), m_label(new ElidedLabel(this))
{
    setAccessibleName(tr("Disk space"));
    m_bar->setTextVisible(false);
    m_bar->setFixedHeight(6);
    m_bar->setRange(0, 1000);
    m_bar->setAccessibleName(tr("Used disk space"));
    m_label->setFont(Fonts::caption(font()));
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(14, 10, 14, 10);
    layout->setSpacing(4);
    layout->addWidget(m_bar);
    layout->addWidget(m_label);
}

void DiskFreeFooter::showCapacity(const std::optional<DiskCapacity>& capacity)
{
    const bool known = capacity && capacity->total > 0;
    m_bar->setVisible(known);
    m_label->setVisible(known);
    if (!known) {
        m_label->setText({});
        setAccessibleDescription({});
        m_low = false;
        return;
    }
    const qint64 free = capacity->available;
    const qint64 total = capacity->total;
    m_low = free < total / 10;
    const qint64 used = qBound<qint64>(0, total - free, total);
    m_bar->setValue(static_cast<int>(used * 1000.0 / static_cast<double>(total)));
    QPalette palette = m_bar->palette();
    palette.setColor(QPalette::Highlight,
                     m_low ? Palette::red : this->palette().color(QPalette::Highlight));
    m_bar->setPalette(palette);
    const QString text = tr("%1 available of %2").arg(Format::bytes(free), Format::bytes(total));
    m_label->setText(text);
    setAccessibleDescription(text);
}

QString DiskFreeFooter::text() const
{
    return m_label->text();
}
