#include "ui/StorageHeader.h"

#include "text/Format.h"
#include "ui/Fonts.h"
#include "ui/SourceStyle.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QVBoxLayout>
#include <algorithm>

namespace {

QLabel* plainLabel(const QString& text, QWidget* parent)
{
    auto* label = new QLabel(text, parent);
    label->setTextFormat(Qt::PlainText);
    return label;
}

QPixmap dot(const QColor& color, qreal ratio)
{
    QPixmap pixmap(QSize(8, 8) * ratio);
    pixmap.setDevicePixelRatio(ratio);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    painter.setBrush(color);
    painter.drawEllipse(QRectF(0, 0, 8, 8));
    return pixmap;
}

} // namespace

StorageHeader::StorageHeader(QWidget* parent)
    : QWidget(parent), m_total(plainLabel({}, this)),
      m_caption(plainLabel(tr("used by AI models and caches"), this)), m_bar(new StorageBar(this)),
      m_legend(new QHBoxLayout)
{
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(16, 14, 16, 14);
    layout->setSpacing(10);

    QFont big = font();
    big.setPixelSize(26);
    big.setWeight(QFont::DemiBold);
    m_total->setFont(big);
    QLabel* used = m_caption;
    used->setForegroundRole(QPalette::PlaceholderText);
    auto* totalRow = new QHBoxLayout;
    totalRow->setSpacing(6);
    totalRow->addWidget(m_total, 0, Qt::AlignBaseline);
    totalRow->addWidget(used, 0, Qt::AlignBaseline);
    totalRow->addStretch();
    layout->addLayout(totalRow);
    layout->addWidget(m_bar);
    m_legend->setSpacing(16);
    layout->addLayout(m_legend);
}

QList<StorageBar::Segment> StorageHeader::segments(const ScanResult& scan)
{
    QList<StorageBar::Segment> result;
    for (const ModelSource source : ModelSource::allCases())
        if (const qint64 bytes = scan.bytes(source); bytes >= 1)
            result.push_back({source, bytes});
    std::stable_sort(result.begin(), result.end(),
                     [](const auto& a, const auto& b) { return a.second > b.second; });
    return result;
}

void StorageHeader::setScan(const ScanResult& scan)
{
    const QList<StorageBar::Segment> parts = segments(scan);
    m_total->setText(Format::bytes(scan.totalBytes()));
    qint64 elsewhere = 0;
    for (const ModelEntry& entry : scan.models)
        if (entry.isMoved())
            elsewhere = qAddOverflow(elsewhere, entry.sizeBytes, &elsewhere)
                            ? std::numeric_limits<qint64>::max()
                            : elsewhere;
    m_caption->setText(
        elsewhere > 0
            ? tr("used by AI models and caches · %1 on other drives").arg(Format::bytes(elsewhere))
            : tr("used by AI models and caches"));
    m_bar->setSegments(parts, scan.totalBytes());
    while (QLayoutItem* item = m_legend->takeAt(0)) {
        delete item->widget();
        delete item;
    }
    const QFont caption = Fonts::caption(font());
    for (const auto& [source, bytes] : parts) {
        auto* item = new QWidget(this);
        auto* row = new QHBoxLayout(item);
        row->setContentsMargins(0, 0, 0, 0);
        row->setSpacing(5);
        auto* circle = new QLabel(item);
        circle->setPixmap(dot(SourceStyle::color(source), devicePixelRatioF()));
        auto* label = plainLabel(source.label(), item);
        auto* size = plainLabel(Format::bytes(bytes), item);
        size->setForegroundRole(QPalette::PlaceholderText);
        label->setFont(caption);
        size->setFont(caption);
        row->addWidget(circle);
        row->addWidget(label);
        row->addWidget(size);
        m_legend->addWidget(item);
    }
    m_legend->addStretch();
}

QString StorageHeader::captionText() const
{
    return m_caption->text();
}

QString StorageHeader::totalText() const
{
    return m_total->text();
}

QStringList StorageHeader::legendTexts() const
{
    QStringList texts;
    for (int i = 0; i < m_legend->count(); ++i)
        if (QWidget* item = m_legend->itemAt(i)->widget()) {
            const QList<QLabel*> labels = item->findChildren<QLabel*>();
            texts << labels[1]->text() + u' ' + labels[2]->text();
        }
    return texts;
}
