#pragma once

#include "app/ToastMessage.h"

#include <QPointer>
#include <QWidget>

class AppModel;
class QLabel;
class QPushButton;
class QPropertyAnimation;

// The model's toast, drawn over the bottom of the main window as a capsule with an outline and
// a shadow: a green tick or a red octagon, the text with paths in the "~" form, and "Undo" when
// the toast can be undone. The capsule is at most two thirds of the window wide. A new toast
// slides in from the bottom edge while fading in; a click on it (outside Undo) dismisses it.
// Accessible with the alert role, its whole text as its name and tooltip.
class ToastView : public QWidget
{
    Q_OBJECT

public:
    ToastView(AppModel& model, QWidget* parent);

    [[nodiscard]] QString text() const;
    // The text as drawn, its lines broken with "\n".
    [[nodiscard]] QString shownText() const;
    // The capsule, in the parent's coordinates.
    [[nodiscard]] QRect capsule() const;
    [[nodiscard]] QPushButton* undoButton() const { return m_undo; }
    // The text broken into lines of the width: two when it fits, else with long paths cut in
    // their middle, and at most three, the last cut off at its end.
    [[nodiscard]] static QString lines(const QString& text, const QFont& font, int width);

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
