#include "ui/PageHeader.h"

#include "ui/Fonts.h"

#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QVBoxLayout>

PageHeader::PageHeader(QWidget* parent)
    : QWidget(parent), m_title(new QLabel(this)), m_subtitle(new QLabel(this)),
      m_row(new QHBoxLayout)
{
    m_title->setFont(Fonts::title(font()));
    m_subtitle->setForegroundRole(QPalette::PlaceholderText);
    auto* titles = new QVBoxLayout;
    titles->setSpacing(0);
    for (QLabel* label : {m_title, m_subtitle}) {
        label->setTextFormat(Qt::PlainText);
        titles->addWidget(label);
    }
    m_row->setContentsMargins(16, 8, 8, 8);
    m_row->addLayout(titles, 1);
    auto* line = new QFrame(this);
    line->setFrameShape(QFrame::HLine);
    line->setFrameShadow(QFrame::Plain);
    line->setForegroundRole(QPalette::Mid);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addLayout(m_row);
    layout->addWidget(line);
}

void PageHeader::setTitle(const QString& title)
{
    m_title->setText(title);
}

void PageHeader::setSubtitle(const QString& subtitle)
{
    m_subtitle->setText(subtitle);
}

QString PageHeader::title() const
{
    return m_title->text();
}

QString PageHeader::subtitle() const
{
    return m_subtitle->text();
}

void PageHeader::addTrailing(QWidget* widget)
{
    m_row->addWidget(widget);
}
