#pragma once

#include <QWidget>

class ElidedLabel;

// A one-line explanation at the top of a detail view: an orange icon, the text in the secondary
// colour, and a divider along its bottom edge.
class InfoStrip : public QWidget
{
    Q_OBJECT

public:
    InfoStrip(const QString& iconName, const QString& text, QWidget* parent = nullptr);

    void setText(const QString& text);
    [[nodiscard]] QString text() const;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    ElidedLabel* m_label;
};
