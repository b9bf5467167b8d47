#pragma once
// The monitor's colours, as colour managers publish them on the X server:
// an ICC profile in the root window's _ICC_PROFILE property (the first
// screen) or _ICC_PROFILE_n (screen n). The picture service is told them
// as bytes; pictures are then converted to them where they are decoded.
// Without X11 (Wayland, offscreen) or without the property, sRGB.
#include <QAbstractNativeEventFilter>
#include <QByteArray>
#include <QObject>
#include <QPointer>

class QWidget;

namespace lumenta {

class PictureService;

// The property that holds screen n's profile.
QByteArray displayProfileProperty(int screen);

// Keeps the picture service's display colours those of the monitor the
// window is on: read now, again when a colour manager changes the property
// and when the window moves to another screen. A change applies to the
// pictures asked for afterwards.
class DisplayProfileWatcher : public QObject, public QAbstractNativeEventFilter {
    Q_OBJECT
public:
    DisplayProfileWatcher(PictureService& pictures, QWidget* window, QObject* parent = nullptr);
    ~DisplayProfileWatcher() override;

    // The profile read last (empty: sRGB).
    const QByteArray& profile() const { return m_profile; }

    bool nativeEventFilter(const QByteArray& eventType, void* message, qintptr* result) override;

Q_SIGNALS:
    // The profile changed (and the picture service was told).
    void changed();

private:
    void reread();
    int screenIndex() const;

    PictureService& m_pictures;
    QPointer<QWidget> m_window;
    QByteArray m_profile;
    bool m_rereadPending = false;
    void* m_connection = nullptr; // xcb_connection_t, null without X11
    quint32 m_root = 0;
    quint32 m_atom = 0; // the property of the window's screen
};

} // namespace lumenta
