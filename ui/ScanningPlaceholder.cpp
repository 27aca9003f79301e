#include "ui/ScanningPlaceholder.h"

#include "ui/Spinner.h"

#include <QLabel>
#include <QVBoxLayout>

ScanningPlaceholder::ScanningPlaceholder(QWidget* parent)
    : QWidget(parent), m_progress(new QLabel(this))
{
    auto* layout = new QVBoxLayout(this);
    layout->setSpacing(12);
    layout->addStretch();
    auto* spinner = new Spinner(this);
    spinner->setFixedSize(32, 32);
    layout->addWidget(spinner, 0, Qt::AlignHCenter);
    auto* title = new QLabel(tr("Scanning your computer for AI models…"), this);
    QFont big = font();
    big.setPointSizeF(big.pointSizeF() > 0 ? big.pointSizeF() * 1.25 : 12);
    title->setFont(big);
    auto* sources = new QLabel(
        tr("Ollama, LM Studio, Hugging Face, ComfyUI, Whisper and AI coding caches"), this);
    sources->setForegroundRole(QPalette::PlaceholderText);
    m_progress->setForegroundRole(QPalette::PlaceholderText);
    for (QLabel* label : {title, sources, m_progress}) {
        label->setTextFormat(Qt::PlainText);
        label->setAlignment(Qt::AlignCenter);
        layout->addWidget(label);
    }
    layout->addStretch();
}

void ScanningPlaceholder::setProgress(const QString& text)
{
    m_progress->setText(text);
}

QString ScanningPlaceholder::progress() const
{
    return m_progress->text();
}
