#include "access.h"

#include <algorithm>

#include <QAccessible>
#include <QAccessibleValueInterface>
#include <QAccessibleWidget>
#include <QVariant>
#include <QWidget>

namespace
{
const char *const DecorativeProperty = "minutrexDecorative";
const char *const SecondsProperty = "minutrexSeconds";
const char *const WindowProperty = "minutrexWindow";

// A widget a screen reader should pass over.
class DecorativeAccessible : public QAccessibleWidget
{
public:
    explicit DecorativeAccessible(QWidget *widget)
        : QAccessibleWidget(widget, QAccessible::Client)
    {
    }

    QAccessible::State state() const override
    {
        QAccessible::State s = QAccessibleWidget::state();
        s.invisible = true;
        s.focusable = false;
        return s;
    }

    QString text(QAccessible::Text) const override { return QString(); }
    int childCount() const override { return 0; }
    QAccessibleInterface *child(int) const override { return nullptr; }
};

// The time panel: its name is the time as shown, its value the seconds left.
class TimeAccessible : public QAccessibleWidget, public QAccessibleValueInterface
{
public:
    explicit TimeAccessible(QWidget *widget)
        : QAccessibleWidget(widget, QAccessible::StaticText)
    {
    }

    void *interface_cast(QAccessible::InterfaceType type) override
    {
        if (type == QAccessible::ValueInterface)
            return static_cast<QAccessibleValueInterface *>(this);
        return QAccessibleWidget::interface_cast(type);
    }

    QString text(QAccessible::Text t) const override
    {
        if (t == QAccessible::Name || t == QAccessible::Value)
            return widget()->accessibleName();
        return QAccessibleWidget::text(t);
    }

    QVariant currentValue() const override { return widget()->property(SecondsProperty); }
    void setCurrentValue(const QVariant &) override {}
    QVariant maximumValue() const override { return 24 * 3600; }
    QVariant minimumValue() const override { return 0; }
    QVariant minimumStepSize() const override { return 1; }
};

QAccessibleInterface *accessibleFor(const QString &, QObject *object)
{
    auto *widget = qobject_cast<QWidget *>(object);
    if (!widget)
        return nullptr;
    if (widget->property(DecorativeProperty).toBool())
        return new DecorativeAccessible(widget);
    if (widget->property(SecondsProperty).isValid())
        return new TimeAccessible(widget);
    // A plain QWidget window is otherwise presented as a nameless filler.
    if (widget->property(WindowProperty).toBool())
        return new QAccessibleWidget(widget, QAccessible::Window);
    return nullptr;
}

void installFactoryOnce()
{
    static const bool installed = [] {
        QAccessible::installFactory(accessibleFor);
        return true;
    }();
    Q_UNUSED(installed);
}

// A screen reader that is already listening may have had Qt's ordinary
// interface made for the widget (its text or font was set); that one goes, so
// that ours is made at the next question.
template <class Ours>
void replaceInterface(QWidget *widget)
{
    QAccessibleInterface *current = QAccessible::queryAccessibleInterface(widget);
    if (current && !dynamic_cast<Ours *>(current))
        QAccessible::deleteAccessibleInterface(QAccessible::uniqueId(current));
}
}

void hideFromAccessibility(QWidget *widget)
{
    installFactoryOnce();
    widget->setProperty(DecorativeProperty, true);
    replaceInterface<DecorativeAccessible>(widget);
}

void exposeAsWindow(QWidget *window)
{
    installFactoryOnce();
    window->setProperty(WindowProperty, true);
    QAccessibleInterface *current = QAccessible::queryAccessibleInterface(window);
    if (current && current->role() != QAccessible::Window)
        QAccessible::deleteAccessibleInterface(QAccessible::uniqueId(current));
}

void exposeTime(QWidget *widget, const QString &text, double seconds)
{
    installFactoryOnce();
    // A hand-edited delay can exceed any whole number of seconds; clamped
    // first, since converting such a value is undefined.
    const QVariant value(qint64(std::clamp(seconds, 0.0, 1e15)));
    const QVariant previous = widget->property(SecondsProperty);
    const bool first = !previous.isValid();
    const bool valueChanged = previous != value;
    // Three ticks a second mostly repeat the same time: nothing to tell then.
    if (!first && !valueChanged && widget->accessibleName() == text)
        return;
    widget->setProperty(SecondsProperty, value);
    if (first)
        replaceInterface<TimeAccessible>(widget);
    // Announces the name change itself when the text differs.
    widget->setAccessibleName(text);
    if (valueChanged && QAccessible::isActive()) {
        QAccessibleValueChangeEvent event(widget, value);
        QAccessible::updateAccessibility(&event);
    }
}
