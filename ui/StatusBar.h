#pragma once

#include <QWidget>
#include <optional>

class AppModel;
class ElidedLabel;
class QHBoxLayout;
class Spinner;

// The bar at the bottom of a detail view, 36 px high: its text (accessible as "Status"), or a
// spinner and a progress message in its place, then the caller's controls at the right end.
class StatusBar : public QWidget
{
    Q_OBJECT

public:
    explicit StatusBar(QWidget* parent = nullptr);

    void setText(const QString& text);
    // A progress message; while present it and the spinner replace the text.
    void setBusy(const std::optional<QString>& busy);
    // Adds a control after the others at the right end; the bar owns it.
    void addControl(QWidget* control);
    // From now on shows the model's busy message, else the scan's progress while a scan runs,
    // and a "Stop" control (after the others) that stops the move or dedupe while one runs.
    void followProgress(AppModel& model);

    // What the bar shows now: the busy message, else the text.
    [[nodiscard]] QString shownText() const;
    [[nodiscard]] bool isBusy() const { return m_busy.has_value(); }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    void refresh();

    QString m_text;
    std::optional<QString> m_busy;
    Spinner* m_spinner;
    ElidedLabel* m_label;
    QHBoxLayout* m_controls;
};
