// SPDX-License-Identifier: GPL-2.0-or-later
// SPDX-FileCopyrightText: 2026 The kcm_zel_admin_time authors

#include "settingspages/scrollpane.h"

#include <QAccessibleWidget>
#include <QScrollBar>

namespace
{
// The same children as Qt's interface gives a scroll area, in the same order,
// so readers see no difference; only a stale index is refused. childAt() is
// QAccessibleObject's, which asks child().
class ScrollPaneAccessible : public QAccessibleWidget
{
public:
    explicit ScrollPaneAccessible(QWidget *widget)
        : QAccessibleWidget(widget, QAccessible::Client)
    {
    }

    int childCount() const override
    {
        return parts().size();
    }

    QAccessibleInterface *child(int index) const override
    {
        const QWidgetList list = parts();
        return index >= 0 && index < list.size() ? QAccessible::queryAccessibleInterface(list.at(index)) : nullptr;
    }

    int indexOfChild(const QAccessibleInterface *child) const override
    {
        return child ? parts().indexOf(qobject_cast<QWidget *>(child->object())) : -1;
    }

private:
    // The viewport, each bar's container while its bar shows, the corner.
    QWidgetList parts() const
    {
        auto *area = static_cast<QAbstractScrollArea *>(widget());
        QWidgetList list;
        if (QWidget *viewport = area->viewport()) {
            list.append(viewport);
        }
        for (QScrollBar *bar : {area->horizontalScrollBar(), area->verticalScrollBar()}) {
            if (bar && bar->isVisible() && bar->parentWidget()) {
                list.append(bar->parentWidget());
            }
        }
        if (QWidget *corner = area->cornerWidget(); corner && corner->isVisible()) {
            list.append(corner);
        }
        return list;
    }
};

QAccessibleInterface *scrollPaneInterface(const QString &className, QObject *object)
{
    if (className == QLatin1String(ScrollPane::staticMetaObject.className()) && object && object->isWidgetType()) {
        return new ScrollPaneAccessible(static_cast<QWidget *>(object));
    }
    return nullptr;
}

// Qt asks the factories installed last first. Removed again as the library is
// unloaded (a host may unload the module), so Qt never calls into it then.
struct InterfaceFactory {
    InterfaceFactory()
    {
        QAccessible::installFactory(scrollPaneInterface);
    }
    ~InterfaceFactory()
    {
        QAccessible::removeFactory(scrollPaneInterface);
    }
};
}

ScrollPane::ScrollPane(QWidget *parent)
    : QScrollArea(parent)
{
    static const InterfaceFactory factory;
}
