// What assistive technologies see of each window: a frame or a dialog with
// a name, and a name for every control a user can act on.
#include "about/frmabout.h"
#include "browser/frmpicviewer.h"
#include "cdplayer/cdplayer.h"
#include "convert/frmconvertimg.h"
#include "fileutil/frmcopy.h"
#include "fileutil/vbcopym.h"
#include "fullscreen/frmplecr.h"
#include "printing/impimg.h"
#include "printing/printtestutil.h"
#include "scanner/scandialogs.h"
#include "scanner/scanner.h"
#include "slideshow/diapo.h"
#include "slideshow/ecrdiapo.h"
#include "slideshow/frmliste.h"
#include "slideshow/slideshowhost.h"
#include "support/testutil.h"
#include "support/viewerfixture.h"
#include "widgets/browsewidgets.h"

#include <QAccessible>
#include <QPrinter>
#include <QTest>
#include <algorithm>
#include <memory>

using namespace lumenta;

namespace {

bool actionable(QAccessible::Role role) {
    using A = QAccessible;
    static constexpr QAccessible::Role kRoles[] = {
        A::PushButton, A::CheckBox,   A::RadioButton,    A::ComboBox, A::EditableText,
        A::SpinBox,    A::Slider,     A::List,           A::Tree,     A::Table,
        A::PageTab,    A::ButtonMenu, A::ButtonDropDown, A::Link,     A::MenuItem};
    return std::find(std::begin(kRoles), std::end(kRoles), role) != std::end(kRoles);
}

QString describe(QAccessibleInterface* iface) {
    QObject* o = iface->object();
    QString s = QString::number(int(iface->role()), 16);
    for (; o; o = o->parent()) {
        s += QStringLiteral(" < ") + QString::fromLatin1(o->metaObject()->className());
        if (!o->objectName().isEmpty())
            s += QLatin1Char(' ') + o->objectName();
    }
    return s;
}

// Controls of the tree under iface that a user can act on and that have
// no name (shown ones only).
void unnamedControls(QAccessibleInterface* iface, QStringList& out, int depth = 0) {
    if (!iface || depth > 40)
        return;
    for (int i = 0; i < iface->childCount(); ++i) {
        QAccessibleInterface* child = iface->child(i);
        if (!child || child->state().invisible)
            continue;
        // A caption, a label that names it, or a tooltip.
        if (actionable(child->role()) && child->text(QAccessible::Name).trimmed().isEmpty() &&
            child->text(QAccessible::Description).trimmed().isEmpty())
            out << describe(child);
        // Items of lists are named by their text, the edit line of a combo
        // box by the box: the list or the box is the control. (Scroll bars
        // are told apart by their orientation.)
        const QAccessible::Role r = child->role();
        if (r != QAccessible::List && r != QAccessible::Tree && r != QAccessible::Table &&
            r != QAccessible::ComboBox)
            unnamedControls(child, out, depth + 1);
    }
}

void expectAccessibleWindow(QWidget* window) {
    SCOPED_TRACE(window->metaObject()->className());
    window->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(window));
    QAccessibleInterface* iface = QAccessible::queryAccessibleInterface(window);
    ASSERT_NE(iface, nullptr);
    EXPECT_TRUE(iface->role() == QAccessible::Window || iface->role() == QAccessible::Dialog)
        << "role " << int(iface->role());
    EXPECT_FALSE(iface->text(QAccessible::Name).isEmpty()) << "no window title";
    QStringList unnamed;
    unnamedControls(iface, unnamed);
    EXPECT_TRUE(unnamed.isEmpty()) << unnamed.join(QLatin1Char('\n')).toStdString();
    window->hide();
}

} // namespace

TEST_F(ViewerTest, EveryWindowIsAFrameOrADialogWithNamedControls) {
    // The print window asks a print server that is not there.
    QTemporaryDir cups;
    ASSERT_TRUE(printtest::isolate(cups.filePath(QStringLiteral("no-server.sock"))));
    addFixture(QStringLiteral("pictures/samples/jpeg/baseline.jpg"));
    start();
    click(QStringLiteral("baseline.jpg"));
    expectAccessibleWindow(w.get());
    w->show();

    const SlideshowHost host{w.get(), w->File1, &w->CMDialog1, w->MMControl1, [] {}};
    QPrinter printer;
    printer.setOutputFormat(QPrinter::PdfFormat);
    ScannerSession session;
    const DeviceCapabilities caps{{},   {QStringLiteral("Color"), QStringLiteral("Gray")},
                                  {},   {},
                                  50,   600,
                                  {},   0,
                                  true, QRectF(0, 0, 215, 297)};
    const std::unique_ptr<QWidget> windows[] = {
        std::make_unique<FrmAbout>(ctx, w.get()),
        std::make_unique<FrmPicViewer>(ctx, browse, w.get()),
        std::make_unique<FrmConvertIMG>(ctx, w.get()),
        std::make_unique<FrmPlEcr>(ctx, w.get()),
        std::make_unique<EcrDiapo>(ctx, host, w.get()),
        std::make_unique<FrmListe>(ctx, host, w.get()),
        std::make_unique<Diapo>(ctx, host, w.get()),
        std::make_unique<CDPlayer>(ctx, w.get()),
        std::make_unique<ImpIMG>(ctx, printer, w.get()),
        std::make_unique<Scanner>(ctx, session, w.get()),
        std::make_unique<SourceDialog>(w.get()),
        std::make_unique<ScanSettingsDialog>(caps, ScanSettings(), false, w.get()),
        std::make_unique<VbCopyM>(ctx.state, w.get()),
        std::make_unique<FrmCopy>(ctx, browse, w.get())};
    for (const auto& window : windows)
        expectAccessibleWindow(window.get());
}
