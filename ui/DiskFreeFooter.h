#pragma once

#include "app/DiskCapacity.h"

#include <QWidget>
#include <optional>

class ElidedLabel;
class QProgressBar;

// The free space of the drive holding the home folder, at the foot of the sidebar: a bar of the
// used space, red when less than a tenth is free, and "{free} available of {total}".
class DiskFreeFooter : public QWidget
{
    Q_OBJECT

public:
    explicit DiskFreeFooter(QWidget* parent = nullptr);

    // Shows the capacity; nothing hides the footer's contents.
    void showCapacity(const std::optional<DiskCapacity>& capacity);
    [[nodiscard]] bool isLow() const { return m_low; }
    [[nodiscard]] QString text() const;

private:
    QProgressBar* m_bar;
    ElidedLabel* m_label;
    bool m_low = false;
};
