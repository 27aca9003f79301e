#pragma once

#include <QWidget>

class QLabel;

// What the models page shows until the first scan is in: a large spinner, what is being looked
// for, and the running scan's progress.
class ScanningPlaceholder : public QWidget
{
    Q_OBJECT

public:
    explicit ScanningPlaceholder(QWidget* parent = nullptr);

    void setProgress(const QString& text);
    [[nodiscard]] QString progress() const;

private:
    QLabel* m_progress;
};
