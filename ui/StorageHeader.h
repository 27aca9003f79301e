#pragma once

#include "model/ScanResult.h"
#include "ui/StorageBar.h"

#include <QWidget>

class FlowLayout;
class QLabel;

// The top of the All Models page: the scan's total, the storage bar of its sources and a legend
// that wraps rather than cutting a label.
class StorageHeader : public QWidget
{
    Q_OBJECT

public:
    explicit StorageHeader(QWidget* parent = nullptr);

    void setScan(const ScanResult& scan);
    // Each source with reclaimable bytes, largest first; equal sizes keep the sources' order.
    [[nodiscard]] static QList<StorageBar::Segment> segments(const ScanResult& scan);

    [[nodiscard]] StorageBar& bar() const { return *m_bar; }
    [[nodiscard]] QString totalText() const;
    [[nodiscard]] QString captionText() const;
    // The legend's items as "{label} {size}", in order.
    [[nodiscard]] QStringList legendTexts() const;

private:
    QLabel* m_total;
    QLabel* m_caption;
    StorageBar* m_bar;
    FlowLayout* m_legend; // wraps to a new line where the next item would not fit
};
