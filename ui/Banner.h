#pragma once

#include <QWidget>

class ElidedLabel;
class QHBoxLayout;

// One line across the top of the detail column: an icon and text on the banner's colour at
// 10 % opacity, an optional control at the end, and a divider along its bottom edge.
class Banner : public QWidget
{
    Q_OBJECT

public:
    Banner(const QString& iconName, const QColor& color, QWidget* parent = nullptr);

    void setText(const QString& text);
    [[nodiscard]] QString text() const;
    // Adds the control at the end of the line; the banner owns it.
    void setAccessory(QWidget* accessory);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QColor m_color;
    ElidedLabel* m_label;
    QHBoxLayout* m_row;
};
