// The property is read through Qt's own X connection (XCB); its changes
// come as PropertyNotify events on the root window, which is watched for
// them on top of what Qt already watches there.
#include "widgets/displayprofile.h"

#include "picture/colourspace.h"
#include "picture/pictureservice.h"

#include <QGuiApplication>
#include <QScreen>
#include <QTimer>
#include <QWidget>
#include <QWindow>

#include <xcb/xcb.h>

#include <cstdlib>

namespace lumenta {

namespace {

xcb_atom_t atomOf(xcb_connection_t* c, const QByteArray& name) {
    xcb_intern_atom_reply_t* reply = xcb_intern_atom_reply(
        c, xcb_intern_atom(c, 0, quint16(name.size()), name.constData()), nullptr);
    const xcb_atom_t atom = reply ? reply->atom : XCB_ATOM_NONE;
    std::free(reply);
    return atom;
}

// The property's bytes (format 8, any type); empty when it is not there.
QByteArray readProperty(xcb_connection_t* c, xcb_window_t root, xcb_atom_t atom) {
    if (atom == XCB_ATOM_NONE)
        return QByteArray();
    xcb_get_property_reply_t* reply = xcb_get_property_reply(
        c, xcb_get_property(c, 0, root, atom, XCB_GET_PROPERTY_TYPE_ANY, 0, kMaxIccBytes / 4),
        nullptr);
    QByteArray bytes;
    if (reply && reply->format == 8 && reply->bytes_after == 0) {
        bytes = QByteArray(static_cast<const char*>(xcb_get_property_value(reply)),
                           xcb_get_property_value_length(reply));
    }
    std::free(reply);
    return bytes;
}

} // namespace

QByteArray displayProfileProperty(int screen) {
    return screen <= 0 ? QByteArrayLiteral("_ICC_PROFILE")
                       : QByteArrayLiteral("_ICC_PROFILE_") + QByteArray::number(screen);
}

DisplayProfileWatcher::DisplayProfileWatcher(PictureService& pictures, QWidget* window,
                                             QObject* parent)
    : QObject(parent), m_pictures(pictures), m_window(window) {
    if (auto* x11 =
            qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr) {
        auto* c = x11->connection();
        const xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(c)).data;
        if (c && screen) {
            m_connection = c;
            m_root = screen->root;
            // PropertyNotify on the root window, besides what Qt asks for.
            xcb_get_window_attributes_reply_t* attrs =
                xcb_get_window_attributes_reply(c, xcb_get_window_attributes(c, m_root), nullptr);
            const quint32 mask =
                (attrs ? attrs->your_event_mask : 0) | XCB_EVENT_MASK_PROPERTY_CHANGE;
            std::free(attrs);
            xcb_change_window_attributes(c, m_root, XCB_CW_EVENT_MASK, &mask);
            xcb_flush(c);
            qGuiApp->installNativeEventFilter(this);
        }
    }
    if (window) {
        // The screen the window is on is known once it has a native window.
        window->winId();
        if (QWindow* handle = window->windowHandle())
            connect(handle, &QWindow::screenChanged, this, [this] { reread(); });
    }
    reread();
}

DisplayProfileWatcher::~DisplayProfileWatcher() {
    if (m_connection && qGuiApp)
        qGuiApp->removeNativeEventFilter(this);
}

int DisplayProfileWatcher::screenIndex() const {
    if (!m_window || !m_window->windowHandle())
        return 0;
    return qMax(0, int(QGuiApplication::screens().indexOf(m_window->windowHandle()->screen())));
}

void DisplayProfileWatcher::reread() {
    m_rereadPending = false;
    QByteArray profile;
    if (m_connection) {
        auto* c = static_cast<xcb_connection_t*>(m_connection);
        m_atom = atomOf(c, displayProfileProperty(screenIndex()));
        profile = readProperty(c, m_root, m_atom);
    }
    if (profile == m_profile)
        return;
    m_profile = profile;
    m_pictures.setDisplayColours(ColourSpace::fromIcc(profile));
    Q_EMIT changed();
}

bool DisplayProfileWatcher::nativeEventFilter(const QByteArray& eventType, void* message,
                                              qintptr* result) {
    Q_UNUSED(result);
    if (eventType != "xcb_generic_event_t")
        return false;
    const auto* event = static_cast<const xcb_generic_event_t*>(message);
    if ((event->response_type & 0x7f) != XCB_PROPERTY_NOTIFY)
        return false;
    const auto* notify = static_cast<const xcb_property_notify_event_t*>(message);
    if (notify->window != m_root || notify->atom != m_atom || m_rereadPending)
        return false;
    // Read once several changes have come together.
    m_rereadPending = true;
    QTimer::singleShot(0, this, [this] { reread(); });
    return false;
}

} // namespace lumenta
