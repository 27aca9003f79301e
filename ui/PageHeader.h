#pragma once

#include <QWidget>

class QHBoxLayout;
class QLabel;

// The top of a detail page: its title in bold, a secondary subtitle under it, controls at the
// trailing end, and a line below.
class PageHeader : public QWidget
{
    Q_OBJECT

public:
    explicit PageHeader(QWidget* parent = nullptr);

    void setTitle(const QString& title);
    void setSubtitle(const QString& subtitle);
    [[nodiscard]] QString title() const;
    [[nodiscard]] QString subtitle() const;
    // Puts the widget at the trailing end of the title row.
    void addTrailing(QWidget* widget);

private:
    QLabel* m_title;
    QLabel* m_subtitle;
    QHBoxLayout* m_row;
};
