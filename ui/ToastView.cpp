#include "ui/ToastView.h"

#include "app/AppModel.h"
#include "ui/Fonts.h"
#include "ui/Icons.h"
#include "ui/Palette.h"

#include <QAccessible>
#include <QAccessibleWidget>
#include <QApplication>
#include <QGraphicsOpacityEffect>
#include <QHBoxLayout>
#include <QLabel>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QParallelAnimationGroup>
#include <QPropertyAnimation>
#include <QPushButton>
#include <QTextLayout>

namespace {

constexpr int shadowRoom = 14; // around the capsule, for the shadow
constexpr int maxTextWidth = 420;

QAccessibleInterface* alertAccessible(const QString& className, QObject* object)
{
    if (className == QLatin1String("ToastView") && object->isWidgetType())
        return new QAccessibleWidget(static_cast<QWidget*>(object), QAccessible::AlertMessage);
    return nullptr;
}

} // namespace

ToastView::ToastView(AppModel& model, QWidget* parent)
    : QWidget(parent), m_model(model), m_icon(new QLabel(this)), m_label(new QLabel(this)),
      m_undo(new QPushButton(tr("Undo"), this))
{
    static const bool installed = [] {
        QAccessible::installFactory(alertAccessible);
        return true;
    }();
    (void)installed;
    setAccessibleName(tr("Notification"));
    setFont(Fonts::callout(font()));
    setAttribute(Qt::WA_TranslucentBackground);
    m_label->setTextFormat(Qt::PlainText);
    m_undo->setFlat(true);
    m_undo->setCursor(Qt::PointingHandCursor);
    m_undo->setStyleSheet(
        QStringLiteral("QPushButton { color: palette(link); border: none; font-weight: 600; }"));
    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(shadowRoom + 16, shadowRoom + 10, shadowRoom + 16, shadowRoom + 10);
    row->setSpacing(10);
    row->addWidget(m_icon);
    row->addWidget(m_label);
    row->addWidget(m_undo);
    setGraphicsEffect(new QGraphicsOpacityEffect(this));
    connect(m_undo, &QPushButton::clicked, &m_model, [this] { (void)m_model.undo(); });
    connect(&m_model, &AppModel::toastChanged, this, &ToastView::toastChanged);
    parent->installEventFilter(this);
    hide();
    toastChanged();
}

QString ToastView::text() const
{
    return m_shown ? m_shown->text : QString();
}

QString ToastView::twoLines(const QString& text, const QFont& font, int width)
{
    QString flat = text;
    flat.replace(u'\n', u' ');
    QTextLayout layout(flat, font);
    layout.beginLayout();
    QStringList lines;
    while (lines.size() < 2) {
        QTextLine line = layout.createLine();
        if (!line.isValid())
            break;
        line.setLineWidth(width);
        const QString part = flat.mid(line.textStart(), line.textLength());
        if (lines.size() == 1 && line.textStart() + line.textLength() < flat.size())
            lines << QFontMetrics(font).elidedText(flat.mid(line.textStart()), Qt::ElideRight,
                                                   width);
        else
            lines << part.trimmed();
    }
    layout.endLayout();
    return lines.join(u'\n');
}

void ToastView::fill(const ToastMessage& toast)
{
    const int side = fontMetrics().height() + 2;
    const QIcon icon = toast.isError ? Icons::tinted(QStringLiteral("dialog-error"), Palette::red)
                                     : Icons::tinted(QStringLiteral("emblem-ok"), Palette::green);
    m_icon->setPixmap(icon.pixmap(QSize(side, side), qApp->devicePixelRatio()));
    const int width = qMin(maxTextWidth, qMax(200, parentWidget()->width() - 200));
    m_label->setText(twoLines(toast.text, font(), width));
    m_undo->setVisible(!toast.undoEntryIDs.isEmpty());
    setAccessibleDescription(toast.text);
    adjustSize();
}

void ToastView::toastChanged()
{
    const std::optional<ToastMessage>& toast = m_model.toast();
    if (toast && m_shown && toast->id == m_shown->id)
        return;
    m_shown = toast;
    if (!toast) {
        slide(false);
        return;
    }
    fill(*toast);
    show();
    raise();
    slide(true);
    QAccessibleEvent alert(this, QAccessible::Alert);
    QAccessible::updateAccessibility(&alert);
}

QPoint ToastView::restingPlace() const
{
    const QWidget* host = parentWidget();
    return {(host->width() - width()) / 2, host->height() - 44 - height() + shadowRoom};
}

void ToastView::slide(bool in)
{
    if (m_animation)
        m_animation->parent()->deleteLater();
    if (!in && isHidden())
        return;
    auto* opacity = static_cast<QGraphicsOpacityEffect*>(graphicsEffect());
    const QPoint rest = restingPlace();
    const QPoint below(rest.x(), parentWidget()->height());
    auto* group = new QParallelAnimationGroup(this);
    auto* move = new QPropertyAnimation(this, "pos", group);
    move->setDuration(220);
    move->setEasingCurve(QEasingCurve::OutCubic);
    move->setStartValue(in ? below : pos());
    move->setEndValue(in ? rest : below);
    auto* fade = new QPropertyAnimation(opacity, "opacity", group);
    fade->setDuration(220);
    fade->setStartValue(in ? 0.0 : opacity->opacity());
    fade->setEndValue(in ? 1.0 : 0.0);
    group->addAnimation(move);
    group->addAnimation(fade);
    m_animation = move;
    if (!in)
        connect(group, &QAbstractAnimation::finished, this, [this] {
            if (!m_shown)
                hide();
        });
    group->start(QAbstractAnimation::DeleteWhenStopped);
}

void ToastView::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QRectF capsule =
        QRectF(rect()).adjusted(shadowRoom, shadowRoom, -shadowRoom, -shadowRoom);
    const qreal radius = capsule.height() / 2;
    // A soft shadow 4 px down: rings of falling opacity stand in for a blur of 12.
    for (int ring = 12; ring > 0; ring -= 2) {
        QPainterPath shadow;
        shadow.addRoundedRect(
            capsule.adjusted(-ring / 2.0, -ring / 2.0 + 4, ring / 2.0, ring / 2.0 + 4),
            radius + ring / 2.0, radius + ring / 2.0);
        painter.fillPath(shadow, QColor(0, 0, 0, static_cast<int>(0.15 * 255 / 6)));
    }
    QPainterPath path;
    path.addRoundedRect(capsule, radius, radius);
    QColor material = palette().color(QPalette::Window);
    material.setAlphaF(0.96);
    painter.fillPath(path, material);
    painter.setPen(QPen(palette().color(QPalette::Mid), 0.5));
    painter.drawPath(path);
}

void ToastView::mousePressEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton)
        m_model.setToast(std::nullopt);
}

bool ToastView::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == parentWidget() && event->type() == QEvent::Resize && m_shown &&
        !(m_animation && m_animation->state() == QAbstractAnimation::Running))
        move(restingPlace());
    return QWidget::eventFilter(watched, event);
}
