#pragma once

#include <QWidget>

class QLabel;
class QPushButton;

// The centred panel shown where a list has nothing to show: an icon, a title, a description and
// an optional action button.
class EmptyState : public QWidget
{
    Q_OBJECT

public:
    explicit EmptyState(QWidget* parent = nullptr);

    // An empty action text hides the button.
    void present(const QString& iconName, const QString& title, const QString& description,
                 const QString& action = {});
    [[nodiscard]] QString title() const;
    [[nodiscard]] QString description() const;
    [[nodiscard]] QPushButton& actionButton() const { return *m_action; }

signals:
    void actionTriggered();

private:
    QLabel* m_icon;
    QLabel* m_title;
    QLabel* m_description;
    QPushButton* m_action;
};
