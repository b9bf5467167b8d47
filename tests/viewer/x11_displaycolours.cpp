// The real main window on an X server (run under xvfb-run with the xcb
// platform): a monitor profile put on the root window, as a colour manager
// does, changes the colours of the pictures shown next; the clipboard still
// gets sRGB; the profile taken away, pictures are shown as stored again.
#include "support/colourtest.h"
#include "support/testutil.h"
#include "support/viewerfixture.h"
#include "widgets/displayprofile.h"
#include "widgets/picturewidgets.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QSignalSpy>

#include <xcb/xcb.h>

#include <cstdlib>

using namespace lumenta;
using namespace colourtest;

namespace {

// Sets (or, with no bytes, deletes) a property of the root window.
void setRootProperty(const QByteArray& name, const QByteArray& bytes) {
    auto* x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
    ASSERT_NE(x11, nullptr);
    xcb_connection_t* c = x11->connection();
    const xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(c)).data->root;
    xcb_intern_atom_reply_t* atom = xcb_intern_atom_reply(
        c, xcb_intern_atom(c, 0, quint16(name.size()), name.constData()), nullptr);
    ASSERT_NE(atom, nullptr);
    if (bytes.isEmpty())
        xcb_delete_property(c, root, atom->atom);
    else
        xcb_change_property(c, XCB_PROP_MODE_REPLACE, root, atom->atom, XCB_ATOM_CARDINAL, 8,
                            quint32(bytes.size()), bytes.constData());
    std::free(atom);
    xcb_flush(c);
}

bool sameBits(const QImage& a, const QImage& b) {
    return a.convertToFormat(QImage::Format_RGB32) == b.convertToFormat(QImage::Format_RGB32);
}

} // namespace

TEST_F(ViewerTest, AMonitorProfileOnTheRootWindowChangesWhatIsShown) {
    ASSERT_EQ(QGuiApplication::platformName(), QStringLiteral("xcb"));
    const QImage picture = pattern();
    for (const char* name : {"a.bmp", "b.bmp", "c.bmp"})
        ASSERT_TRUE(picture.save(QDir(browse).filePath(QLatin1String(name))));
    const QByteArray monitor = monitorProfile();
    setRootProperty(displayProfileProperty(0), {});
    start();
    DisplayProfileWatcher watcher(ctx.pictures(), w.get());
    QSignalSpy changed(&watcher, &DisplayProfileWatcher::changed);
    EXPECT_TRUE(ctx.pictures().displayColours().isSrgb());
    click(QStringLiteral("a.bmp"));
    EXPECT_TRUE(sameBits(w->Open->image(), picture));

    // A colour manager loads the monitor's profile.
    setRootProperty(displayProfileProperty(0), monitor);
    ASSERT_TRUE(testutil::waitUntil([&] { return watcher.profile() == monitor; }, 10000));
    EXPECT_EQ(changed.count(), 1);
    EXPECT_EQ(ctx.pictures().displayColours(), ColourSpace::fromIcc(monitor));
    // Shown converted (how closely: Colours.TheServiceGivesTheDisplaysColoursAndSrgbOnRequest).
    click(QStringLiteral("b.bmp"));
    EXPECT_GT(deltaE2000(w->Open->image(), picture).mean, 2.0);
    // What leaves the program is sRGB.
    w->Image1_DblClick();
    const QImage copied = QGuiApplication::clipboard()->image();
    ASSERT_FALSE(copied.isNull());
    EXPECT_LE(deltaE2000(copied, picture).mean, 1.5);

    // A profile for another screen changes nothing here.
    setRootProperty(displayProfileProperty(1), displayP3Profile());
    // The profile taken away: pictures are shown as they are stored.
    setRootProperty(displayProfileProperty(0), {});
    ASSERT_TRUE(testutil::waitUntil([&] { return watcher.profile().isEmpty(); }, 10000));
    EXPECT_TRUE(ctx.pictures().displayColours().isSrgb());
    click(QStringLiteral("c.bmp"));
    EXPECT_TRUE(sameBits(w->Open->image(), picture));
    setRootProperty(displayProfileProperty(1), {});
}
