#pragma once

#include "app/ToastMessage.h"

#include <QPointer>
#include <QWidget>

class AppModel;
class QLabel;
class QPushButton;
class QPropertyAnimation;

// The model's toast, drawn over the bottom of the main window as a capsule with an outline and
// a shadow: a green tick or a red octagon, at most two lines of text, and "Undo" when the toast
// can be undone. A new toast slides in from the bottom edge while fading in; a click on it
// (outside Undo) dismisses it. Accessible as "Notification" with the alert role.
class ToastView : public QWidget
{
    Q_OBJECT

public:
    ToastView(AppModel& model, QWidget* parent);

    [[nodiscard]] QString text() const;
    [[nodiscard]] QPushButton* undoButton() const { return m_undo; }
    // The toast's text as shown: at most two lines of the given width, the second cut off.
    [[nodiscard]] static QString twoLines(const QString& text, const QFont& font, int width);

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void toastChanged();
    void fill(const ToastMessage& toast);
    // Where the capsule rests: centred, 44 px above the parent's bottom edge.
    [[nodiscard]] QPoint restingPlace() const;
    void slide(bool in);

    AppModel& m_model;
    std::optional<ToastMessage> m_shown;
    QLabel* m_icon;
    QLabel* m_label;
    QPushButton* m_undo;
    QPointer<QPropertyAnimation> m_animation;
};
