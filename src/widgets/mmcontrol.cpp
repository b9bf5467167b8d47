#include "widgets/mmcontrol.h"

#include "media/mediadevice.h"

#include <QFutureWatcher>
#include <QHBoxLayout>
#include <QPainter>
#include <QPainterPath>
#include <QPointer>
#include <QStyle>
#include <QTimer>
#include <QToolButton>
#include <QtConcurrent/QtConcurrentRun>

#include <utility>

namespace lumenta {

using media::MediaDevice;
using media::PlayState;

namespace {

// How often playback is watched for its end while it runs.
constexpr int kPollMs = 20;
// "Prev" within this much of a track's start goes to the track before.
constexpr qint64 kPrevGraceMs = 2000;

// Icons drawn here for the buttons the style has none for: drawn at one,
// two and three times their size, so a scaled screen gets sharp artwork.
QIcon drawnIcon(MMControl::Button which, const QColor& color) {
    QIcon icon;
    for (int scale = 1; scale <= 3; ++scale) {
        QPixmap pm(16 * scale, 16 * scale);
        pm.fill(Qt::transparent);
        QPainter p(&pm);
        p.scale(scale, scale);
        p.setRenderHint(QPainter::Antialiasing);
        p.setPen(Qt::NoPen);
        if (which == MMControl::Button::Record) {
            p.setBrush(QColor(200, 30, 30));
            p.drawEllipse(QRectF(3, 3, 10, 10));
        } else {
            p.setBrush(color);
            QPainterPath tri;
            tri.moveTo(8, 2);
            tri.lineTo(14, 9);
            tri.lineTo(2, 9);
            tri.closeSubpath();
            p.drawPath(tri);
            p.drawRect(QRectF(2, 11, 12, 3));
        }
        p.end();
        icon.addPixmap(pm);
    }
    return icon;
}

struct ButtonLook {
    const char* theme;
    QStyle::StandardPixmap standard; // SP_CustomBase: drawn here
    const char* tip;
    const char* name;
};

const ButtonLook kLooks[9] = {
    {"media-skip-backward", QStyle::SP_MediaSkipBackward,
     QT_TRANSLATE_NOOP("MMControl", "Précédent"), "prevButton"},
    {"media-skip-forward", QStyle::SP_MediaSkipForward, QT_TRANSLATE_NOOP("MMControl", "Suivant"),
     "nextButton"},
    {"media-playback-start", QStyle::SP_MediaPlay, QT_TRANSLATE_NOOP("MMControl", "Lecture"),
     "playButton"},
    {"media-playback-pause", QStyle::SP_MediaPause, QT_TRANSLATE_NOOP("MMControl", "Pause"),
     "pauseButton"},
    {"media-seek-backward", QStyle::SP_MediaSeekBackward, QT_TRANSLATE_NOOP("MMControl", "Reculer"),
     "backButton"},
    {"media-seek-forward", QStyle::SP_MediaSeekForward, QT_TRANSLATE_NOOP("MMControl", "Avancer"),
     "stepButton"},
    {"media-playback-stop", QStyle::SP_MediaStop, QT_TRANSLATE_NOOP("MMControl", "Arrêt"),
     "stopButton"},
    {"media-record", QStyle::SP_CustomBase, QT_TRANSLATE_NOOP("MMControl", "Enregistrer"),
     "recordButton"},
    {"media-eject", QStyle::SP_CustomBase, QT_TRANSLATE_NOOP("MMControl", "Éjecter"),
     "ejectButton"},
};

const char* const kButtonCommands[9] = {"prev", "next", "play",   "pause", "back",
                                        "step", "stop", "record", "eject"};

} // namespace

MMControl::MMControl(QWidget* parent)
    : QWidget(parent), pollTimer_(new QTimer(this)), statusTimer_(new QTimer(this)) {
    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(0);
    for (int i = 0; i < 9; ++i) {
        const auto which = Button(i);
        const ButtonLook& look = kLooks[i];
        QIcon fallback = look.standard == QStyle::SP_CustomBase
                             ? drawnIcon(which, palette().color(QPalette::ButtonText))
                             : style()->standardIcon(look.standard);
        auto* b = new QToolButton(this);
        b->setObjectName(QLatin1String(look.name));
        b->setIcon(QIcon::fromTheme(QLatin1String(look.theme), fallback));
        b->setToolTip(tr(look.tip));
        b->setAccessibleName(tr(look.tip));
        b->setFocusPolicy(Qt::TabFocus);
        connect(b, &QToolButton::clicked, this, [this, which] { buttonPressed(which); });
        row->addWidget(b);
        buttons_[i] = b;
    }
    pollTimer_->setInterval(kPollMs);
    connect(pollTimer_, &QTimer::timeout, this, &MMControl::poll);
    connect(statusTimer_, &QTimer::timeout, this, &MMControl::statusUpdate);
    sync();
}

MMControl::~MMControl() = default;

QToolButton* MMControl::button(Button which) const {
    return buttons_[int(which)];
}

bool MMControl::setTimeFormat(int format) {
    if (format != TimeFormatMilliseconds) {
        lastError_ = tr("Format de temps non pris en charge : %1.").arg(format);
        return false;
    }
    timeFormat_ = format;
    lastError_.clear();
    return true;
}

void MMControl::setUpdateInterval(int ms) {
    updateInterval_ = std::max(ms, 0);
    if (updateInterval_ > 0)
        statusTimer_->start(updateInterval_);
    else
        statusTimer_->stop();
}

MMControl::Mode MMControl::mode() const {
    if (!device_)
        return Mode::NotOpen;
    switch (device_->state()) {
    case PlayState::Closed:
        return Mode::NotOpen;
    case PlayState::Stopped:
        return Mode::Stopped;
    case PlayState::Playing:
        return Mode::Playing;
    case PlayState::Paused:
        return Mode::Paused;
    }
    return Mode::NotOpen;
}

bool MMControl::requireOpen(bool* ok) const {
    const bool open = device_ && device_->isOpen();
    if (ok)
        *ok = open;
    if (open)
        lastError_.clear();
    else
        lastError_ = tr("Le périphérique n'est pas ouvert.");
    return open;
}

int MMControl::tracks(bool* ok) const {
    return requireOpen(ok) ? device_->trackCount() : 0;
}

int MMControl::track(bool* ok) const {
    return requireOpen(ok) ? device_->trackAt(device_->positionMs()) : 0;
}

qint64 MMControl::length(bool* ok) const {
    return requireOpen(ok) ? device_->lengthMs() : 0;
}

qint64 MMControl::position(bool* ok) const {
    return requireOpen(ok) ? device_->positionMs() : 0;
}

qint64 MMControl::trackLength(bool* ok) const {
    return requireOpen(ok) ? device_->trackLengthMs(device_->trackAt(device_->positionMs())) : 0;
}

qint64 MMControl::trackPosition(bool* ok) const {
    return requireOpen(ok) ? device_->trackStartMs(device_->trackAt(device_->positionMs())) : 0;
}

qint64 MMControl::start(bool* ok) const {
    return requireOpen(ok) ? device_->startMs() : 0;
}

media::MediaSnapshot MMControl::snapshot(bool* ok) const {
    return requireOpen(ok) ? device_->snapshot() : media::MediaSnapshot();
}

bool MMControl::setTrack(int track) {
    bool ok = false;
    if (!requireOpen(&ok))
        return false;
    if (track < 1 || track > device_->trackCount()) {
        lastError_ = tr("Piste inexistante : %1.").arg(track);
        return false;
    }
    if (!device_->isAudioTrack(track)) {
        lastError_ = tr("La piste %1 n'est pas une piste audio.").arg(track);
        return false;
    }
    QString why;
    if (track != device_->trackAt(device_->positionMs()) &&
        !moveTo(device_->trackStartMs(track), &why)) {
        lastError_ = why;
        return false;
    }
    sync();
    return true;
}

bool MMControl::sendCommand(const QString& name, QString* error) {
    // Both settings hold for this one command.
    const bool notifyThis = std::exchange(notify_, false);
    // Every command has completed when it returns; "Play" returns once
    // playback runs (its end comes by done()), so Wait asks nothing more.
    wait_ = false;
    const QString command = name.trimmed().toLower();
    lastCommand_ = name;
    QString why;
    const bool ok = run(command, &why);
    lastError_ = ok ? QString() : why;
    if (error)
        *error = why;
    // Playing reports its completion when it reaches the end.
    if (ok && notifyThis && command != QLatin1String("play"))
        QMetaObject::invokeMethod(
            this, [this] { Q_EMIT done(NotifySuccessful); }, Qt::QueuedConnection);
    return ok;
}

bool MMControl::run(const QString& command, QString* error) {
    bool ok = false;
    if (isOpening() && (command == QLatin1String("open") || command == QLatin1String("close") ||
                        command == QLatin1String("eject")))
        ++openSerial_; // the pending open is dropped when it ends
    if (command == QLatin1String("open")) {
        ok = openDevice(error);
    } else if (command == QLatin1String("close")) {
        device_.reset();
        ok = true;
    } else if (command == QLatin1String("play") || command == QLatin1String("pause") ||
               command == QLatin1String("stop") || command == QLatin1String("seek") ||
               command == QLatin1String("prev") || command == QLatin1String("next") ||
               command == QLatin1String("eject")) {
        if (!device_ || !device_->isOpen()) {
            *error = tr("Le périphérique n'est pas ouvert.");
        } else if (command == QLatin1String("play")) {
            ok = device_->play(error);
        } else if (command == QLatin1String("pause")) {
            // Pause again resumes, as the button does.
            ok = device_->state() == PlayState::Paused ? device_->play(error)
                                                       : device_->pause(error);
        } else if (command == QLatin1String("stop")) {
            ok = device_->stop(error);
        } else if (command == QLatin1String("seek")) {
            ok = device_->seek(to_, error);
        } else if (command == QLatin1String("prev")) {
            ok = prev(error);
        } else if (command == QLatin1String("next")) {
            ok = next(error);
        } else {
            ok = device_->eject(error);
        }
    } else if (command == QLatin1String("back") || command == QLatin1String("step") ||
               command == QLatin1String("record") || command == QLatin1String("save")) {
        *error = tr("Commande non prise en charge par ce périphérique : %1.").arg(command);
    } else {
        *error = tr("Commande inconnue : %1.").arg(command);
    }
    sync();
    return ok;
}

std::unique_ptr<media::MediaDevice> MMControl::newDevice(QString* error) const {
    const QString type =
        deviceType_.isEmpty() ? media::deviceTypeForFile(fileName_) : deviceType_.trimmed();
    auto device = media::createMediaDevice(type);
    if (!device) {
        *error = type.isEmpty() ? tr("Aucun type de périphérique n'est indiqué.")
                                : tr("Type de périphérique inconnu : %1.").arg(type);
        return nullptr;
    }
    if (device->typeName() != QLatin1String("CDAudio") && fileName_.isEmpty()) {
        *error = tr("Aucun fichier n'est indiqué.");
        return nullptr;
    }
    return device;
}

bool MMControl::openDevice(QString* error) {
    device_.reset();
    auto device = newDevice(error);
    if (!device || !device->open(fileName_, error))
        return false;
    device_ = std::move(device);
    return true;
}

bool MMControl::openInBackground() {
    device_.reset();
    sync();
    QString why;
    auto device = newDevice(&why);
    lastCommand_ = QStringLiteral("Open");
    lastError_ = why;
    if (!device)
        return false;

    // What the worker reads into; shared, so that it outlives the control
    // when the control goes first.
    struct Job {
        std::unique_ptr<media::MediaDevice> device;
        QString name;
        bool ok = false;
        QString error;
    };
    auto job = std::make_shared<Job>();
    job->device = std::move(device);
    job->name = fileName_;
    const int serial = pendingOpen_ = ++openSerial_;

    auto* watcher = new QFutureWatcher<void>(this);
    connect(watcher, &QFutureWatcher<void>::finished, this, [this, watcher, job, serial] {
        watcher->deleteLater();
        if (serial != openSerial_)
            return; // dropped: the job's device is let go with it
        pendingOpen_ = -1;
        QString why = job->error;
        const bool ok = job->ok && job->device->activate(&why);
        if (ok)
            device_ = std::move(job->device);
        lastError_ = ok ? QString() : why;
        sync();
        Q_EMIT opened(ok);
    });
    watcher->setFuture(
        QtConcurrent::run([job] { job->ok = job->device->prepare(job->name, &job->error); }));
    return true;
}

bool MMControl::moveTo(qint64 ms, QString* error) {
    const bool playing = device_->state() == PlayState::Playing;
    if (!device_->seek(ms, error))
        return false;
    return !playing || device_->play(error);
}

bool MMControl::prev(QString* error) {
    const qint64 pos = device_->positionMs();
    const int t = device_->trackAt(pos);
    qint64 target = device_->trackStartMs(t);
    if (pos - target < kPrevGraceMs) {
        // The audio track before this one, if any.
        for (int before = t - 1; before >= 1; --before) {
            if (device_->isAudioTrack(before)) {
                target = device_->trackStartMs(before);
                break;
            }
        }
    }
    return moveTo(std::max(target, device_->startMs()), error);
}

bool MMControl::next(QString* error) {
    const int t = device_->trackAt(device_->positionMs());
    for (int after = t + 1; after <= device_->trackCount(); ++after)
        if (device_->isAudioTrack(after))
            return moveTo(device_->trackStartMs(after), error);
    // Past the last audio track: the end of the medium, stopped.
    return device_->seek(device_->lengthMs(), error);
}

void MMControl::buttonPressed(Button which) {
    QPointer<MMControl> self(this);
    switch (which) {
    case Button::Prev:
        Q_EMIT prevClicked();
        break;
    case Button::Next:
        Q_EMIT nextClicked();
        break;
    case Button::Play:
        Q_EMIT playClicked();
        break;
    case Button::Pause:
        Q_EMIT pauseClicked();
        break;
    case Button::Back:
        Q_EMIT backClicked();
        break;
    case Button::Step:
        Q_EMIT stepClicked();
        break;
    case Button::Stop:
        Q_EMIT stopClicked();
        break;
    case Button::Record:
        Q_EMIT recordClicked();
        break;
    case Button::Eject:
        Q_EMIT ejectClicked();
        break;
    }
    if (!self)
        return;
    // The button's own command: no Notify or Wait, and no message on
    // failure (the owner may already have acted on the click).
    QString why;
    const bool ok = run(QLatin1String(kButtonCommands[int(which)]), &why);
    lastError_ = ok ? QString() : why;
}

void MMControl::poll() {
    const bool ended = device_ && device_->takeCompletion();
    sync();
    // Stopped only here, after the end (if any) has been collected.
    if (mode() != Mode::Playing)
        pollTimer_->stop();
    if (ended)
        Q_EMIT done(NotifySuccessful);
}

void MMControl::sync() {
    const Mode m = mode();
    const bool open = m != Mode::NotOpen;
    const bool running = m == Mode::Playing || m == Mode::Paused;
    button(Button::Prev)->setEnabled(open);
    button(Button::Next)->setEnabled(open);
    button(Button::Play)->setEnabled(open && m != Mode::Playing);
    button(Button::Pause)->setEnabled(running);
    button(Button::Back)->setEnabled(false);
    button(Button::Step)->setEnabled(false);
    button(Button::Stop)->setEnabled(running);
    button(Button::Record)->setEnabled(false);
    button(Button::Eject)->setEnabled(open && device_->canEject());

    // Playback is watched while it runs; its end is collected by poll().
    if (m == Mode::Playing && !pollTimer_->isActive())
        pollTimer_->start();
    if (m != lastMode_) {
        lastMode_ = m;
        Q_EMIT modeChanged();
    }
}

} // namespace lumenta
