#pragma once

#include <QWidget>

// One line of plain text, cut off with "…" when it does not fit; never grows its parent. Its
// accessible description is always its full text.
class ElidedLabel : public QWidget
{
    Q_OBJECT

public:
    explicit ElidedLabel(QWidget* parent = nullptr);

    void setText(const QString& text);
    [[nodiscard]] const QString& text() const { return m_text; }
    // The text colour's palette role; the secondary colour by default.
    void setSecondary(bool secondary);

    [[nodiscard]] QSize sizeHint() const override;
    [[nodiscard]] QSize minimumSizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QString m_text;
    bool m_secondary = true;
};
