#include "widgets/accessiblenames.h"

#include <QAbstractItemView>
#include <QGroupBox>
#include <QLabel>

namespace lumenta {

namespace {

QString withoutMnemonic(QString text) {
    return text.replace(QLatin1String("&&"), QLatin1String("\x01"))
        .remove(QLatin1Char('&'))
        .replace(QLatin1Char('\x01'), QLatin1Char('&'))
        .trimmed();
}

QString nameFor(QAbstractItemView* view, const QList<QLabel*>& labels) {
    for (QLabel* label : labels) {
        if (label->buddy() == view && !label->text().trimmed().isEmpty())
            return withoutMnemonic(label->text());
    }
    if (!view->toolTip().isEmpty())
        return view->toolTip();
    for (QWidget* w = view->parentWidget(); w && !w->isWindow(); w = w->parentWidget()) {
        if (auto* frame = qobject_cast<QGroupBox*>(w); frame && !frame->title().isEmpty())
            return withoutMnemonic(frame->title());
    }
    return QString();
}

} // namespace

void nameListsAfterTheirLabels(QWidget* window) {
    const QList<QLabel*> labels = window->findChildren<QLabel*>();
    for (QAbstractItemView* view : window->findChildren<QAbstractItemView*>()) {
        // (A combo box's pop-up list is a window of its own.)
        if (view->window() == window && view->accessibleName().isEmpty())
            view->setAccessibleName(nameFor(view, labels));
    }
}

} // namespace lumenta
