#include "cdplayer/cdplayer.h"

#include "app/displayplatform.h"
#include "cdplayer/cddisplay.h"
#include "system/launcher.h"
#include "widgets/mmcontrol.h"

#include <QCloseEvent>
#include <QFrame>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QTabBar>
#include <QVBoxLayout>

namespace lumenta {

namespace {

// Refresh interval while the disc plays.
constexpr int kPlayingRefreshMs = 1000;

QLabel* namedLabel(const QString& text, const char* name, QWidget* parent) {
    auto* label = new QLabel(text, parent);
    label->setObjectName(QLatin1String(name));
    return label;
}

QPushButton* namedButton(const QString& text, const char* name, QWidget* parent) {
    auto* button = new QPushButton(text, parent);
    button->setObjectName(QLatin1String(name));
    button->setAutoDefault(false);
    return button;
}

} // namespace

CDPlayer::CDPlayer(AppContext& ctx, QWidget* mainWindow)
    : QDialog(mainWindow, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                              Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                              Qt::WindowCloseButtonHint),
      m_ctx(ctx) {
    // A fixed-size tool: it can be minimised and closed, not maximised.
    setObjectName(QStringLiteral("CDPlayer"));
    setWindowTitle(tr("CD-Player"));
    createControls();

    // Nothing is opened until " &Charger".
    MMControl1->setUpdateInterval(0);
    MMControl1->setDeviceType(QStringLiteral("CDAudio"));

    connect(Command1, &QPushButton::clicked, this, [this] { Command1_Click(); });
    connect(CDEnd, &QPushButton::clicked, this, [this] { CDEnd_Click(); });
    connect(Command2, &QPushButton::clicked, this, [this] { Command2_Click(); });
    connect(Command3, &QPushButton::clicked, this, [this] { Command3_Click(); });
    connect(TabStrip1, &QTabBar::currentChanged, this, [this] { TabStrip1_Click(); });

    // The control reports a click before running the button's command:
    // what depends on the command's result waits until it has run.
    for (auto clicked : {&MMControl::playClicked, &MMControl::pauseClicked, &MMControl::prevClicked,
                         &MMControl::nextClicked})
        connect(MMControl1, clicked, this, &CDPlayer::afterCommand, Qt::QueuedConnection);
    connect(MMControl1, &MMControl::stopClicked, this, [this] { StopDisc(); });
    connect(MMControl1, &MMControl::stopClicked, this, &CDPlayer::afterCommand,
            Qt::QueuedConnection);
    connect(MMControl1, &MMControl::ejectClicked, this, [this] { EjectDisc(); });
    connect(MMControl1, &MMControl::statusUpdate, this, [this] { RefreshDisplay(); });
    // The end of the disc.
    connect(MMControl1, &MMControl::done, this, &CDPlayer::afterCommand);
    connect(MMControl1, &MMControl::opened, this, [this](bool ok) { loaded(ok); });
}

QFrame* CDPlayer::timesPanel(const char* name, int firstCaption,
                             const std::array<const char*, 3>& captions,
                             const std::array<QLabel**, 3>& values) {
    static const char* const kValueNames[2][3] = {{"DureeTitre", "TitreDiffuse", "TitreReste"},
                                                  {"DureeTotal", "TotalDiffuse", "TotalReste"}};
    auto* panel = new QFrame(this);
    panel->setObjectName(QLatin1String(name));
    panel->setFrameStyle(QFrame::StyledPanel | QFrame::Sunken);
    auto* grid = new QGridLayout(panel);
    for (int i = 0; i < 3; ++i) {
        QLabel* caption = namedLabel(tr(captions[size_t(i)]), "Label3", panel);
        caption->setProperty("Index", firstCaption + i);
        Label3[size_t(firstCaption + i)] = caption;
        QLabel* value = namedLabel(QString(), kValueNames[firstCaption / 3][i], panel);
        value->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
        value->setMinimumWidth(value->fontMetrics().horizontalAdvance(QStringLiteral("000:00")));
        *values[size_t(i)] = value;
        grid->addWidget(caption, i, 0);
        grid->addWidget(value, i, 1);
    }
    return panel;
}

void CDPlayer::createControls() {
    Frame2 = new QGroupBox(this);
    Frame2->setObjectName(QStringLiteral("Frame2"));
    Label2 = namedLabel(tr("Titre total :"), "Label2", Frame2);
    InfoTracks = namedLabel(QString(), "InfoTracks", Frame2);
    Label1 = namedLabel(tr("Titre actuel :"), "Label1", Frame2);
    InfoTrack = namedLabel(QString(), "InfoTrack", Frame2);
    auto* counts = new QGridLayout(Frame2);
    counts->addWidget(Label2, 0, 0);
    counts->addWidget(InfoTracks, 0, 1);
    counts->addWidget(Label1, 1, 0);
    counts->addWidget(InfoTrack, 1, 1);
    counts->setColumnStretch(1, 1);

    TabStrip1 = new QTabBar(this);
    TabStrip1->setObjectName(QStringLiteral("TabStrip1"));
    TabStrip1->setDrawBase(false);
    const int titre = TabStrip1->addTab(tr("Titre"));
    TabStrip1->setTabData(titre, QStringLiteral("tabTitre"));
    TabStrip1->setTabToolTip(titre, tr("Durée du titre actuel"));
    const int cd = TabStrip1->addTab(tr("CD"));
    TabStrip1->setTabData(cd, QStringLiteral("tabCD"));
    TabStrip1->setTabToolTip(cd, tr("Durée du CD"));

    picTitre = timesPanel("picTitre", 0,
                          {QT_TR_NOOP("Durée du titre :"), QT_TR_NOOP("Déjà diffusé :"),
                           QT_TR_NOOP("Reste à diffuser :")},
                          {&DureeTitre, &TitreDiffuse, &TitreReste});
    picCD = timesPanel("picCD", 3,
                       {QT_TR_NOOP("Durée totale :"), QT_TR_NOOP("Déjà diffusé :"),
                        QT_TR_NOOP("Reste à diffuser :")},
                       {&DureeTotal, &TotalDiffuse, &TotalReste});
    picCD->hide();

    MMControl1 = new MMControl(this);
    MMControl1->setObjectName(QStringLiteral("MMControl1"));

    Frame1 = new QGroupBox(this);
    Frame1->setObjectName(QStringLiteral("Frame1"));
    Command1 = namedButton(tr(" &Charger"), "Command1", Frame1);
    CDEnd = namedButton(tr(" &Ejecter"), "CDEnd", Frame1);
    Command3 = namedButton(tr("&Volume"), "Command3", Frame1);
    Command2 = namedButton(tr("&Quitter"), "Command2", Frame1);
    auto* buttons = new QGridLayout(Frame1);
    buttons->addWidget(Command1, 0, 0);
    buttons->addWidget(CDEnd, 0, 1);
    buttons->addWidget(Command3, 1, 0);
    buttons->addWidget(Command2, 1, 1);

    auto* column = new QVBoxLayout(this);
    column->setSizeConstraint(QLayout::SetFixedSize);
    column->addWidget(Frame2);
    column->addWidget(TabStrip1);
    column->setSpacing(6);
    auto* panels = new QVBoxLayout;
    panels->setSpacing(0);
    panels->addWidget(picTitre);
    panels->addWidget(picCD);
    column->addLayout(panels);
    column->addWidget(MMControl1, 0, Qt::AlignHCenter);
    column->addWidget(Frame1);
}

CDPlayer* CDPlayer::showBeside(AppContext& ctx, QWidget* mainWindow) {
    auto* player = mainWindow->findChild<CDPlayer*>(QString(), Qt::FindDirectChildrenOnly);
    if (!player)
        player = new CDPlayer(ctx, mainWindow);
    // Beside the main window where the program places windows; elsewhere
    // the compositor does.
    if (!player->m_placed && programPlacesWindows()) {
        player->m_placed = true;
        player->ensurePolished();
        player->adjustSize();
        // Its frame is taken to be as thick as the main window's.
        const QSize frame = mainWindow->frameGeometry().size() - mainWindow->geometry().size();
        player->move(placeBeside(mainWindow->frameGeometry(), player->size() + frame,
                                 mainWindow->screen()->availableGeometry()));
    }
    player->show();
    player->raise();
    player->activateWindow();
    player->RefreshDisplay();
    return player;
}

QStringList CDPlayer::volumeControls() {
    return {QStringLiteral("pavucontrol"), QStringLiteral("pavucontrol-qt")};
}

void CDPlayer::setLoading(bool on) {
    if (on)
        setCursor(Qt::BusyCursor);
    else
        unsetCursor();
}

void CDPlayer::Command1_Click() {
    if (MMControl1->isOpening())
        return;
    Command1->setEnabled(false);
    setLoading(true);
    // A drive may take seconds to answer: the disc is read off the GUI
    // thread and loaded() follows.
    if (!MMControl1->openInBackground())
        loaded(false);
}

void CDPlayer::loaded(bool ok) {
    setLoading(false);
    // No drive, no disc: nothing is said, " &Charger" stays available.
    if (!ok) {
        Command1->setEnabled(true);
        return;
    }
    MMControl1->setTimeFormat(MMControl::TimeFormatMilliseconds);
    Command1->setEnabled(false);
    RefreshDisplay();
}

void CDPlayer::RefreshDisplay() {
    bool ok = false;
    const media::MediaSnapshot s = MMControl1->snapshot(&ok);
    if (!ok)
        return;
    const CdTexts t = cdTexts(s);
    InfoTracks->setText(t.tracks);
    InfoTrack->setText(t.track);
    DureeTotal->setText(t.discLength);
    TotalDiffuse->setText(t.discElapsed);
    TotalReste->setText(t.discLeft);
    DureeTitre->setText(t.trackLength);
    TitreDiffuse->setText(t.trackElapsed);
    TitreReste->setText(t.trackLeft);
}

void CDPlayer::clearLabels() {
    for (QLabel* l : {InfoTracks, InfoTrack, DureeTotal, TotalDiffuse, TotalReste, DureeTitre,
                      TitreDiffuse, TitreReste})
        l->clear();
}

void CDPlayer::afterCommand() {
    MMControl1->setUpdateInterval(MMControl1->mode() == MMControl::Mode::Playing ? kPlayingRefreshMs
                                                                                 : 0);
    RefreshDisplay();
}

void CDPlayer::StopDisc() {
    // Back to the start of the disc, track 1 (or the first audio track);
    // each step may fail (nothing loaded) and the next still runs.
    MMControl1->setUpdateInterval(0);
    bool ok = false;
    const qint64 start = MMControl1->start(&ok);
    if (ok)
        MMControl1->setTo(start);
    MMControl1->sendCommand(QStringLiteral("Seek"));
    MMControl1->setTrack(1);
}

void CDPlayer::EjectDisc() {
    Command1->setEnabled(true);
    setLoading(false);
    MMControl1->setUpdateInterval(0);
    MMControl1->sendCommand(QStringLiteral("Eject"));
    MMControl1->sendCommand(QStringLiteral("Close"));
    clearLabels();
}

void CDPlayer::CDEnd_Click() {
    StopDisc();
    EjectDisc();
}

void CDPlayer::Command2_Click() {
    close(); // closeEvent stops the disc
}

void CDPlayer::reject() {
    close();
}

void CDPlayer::closeEvent(QCloseEvent* event) {
    StopDisc();
    event->accept();
}

void CDPlayer::Command3_Click() {
    const QString tool = findFirstProgram(volumeControls());
    if (tool.isEmpty())
        m_ctx.dlg().message(
            tr("Aucun contrôle du volume n'a été trouvé (pavucontrol ou pavucontrol-qt)."),
            tr("CD-Player"), MsgIcon::Information, MsgButtons::Ok, this);
    else if (!startProgram(tool, {}))
        m_ctx.dlg().message(tr("Le contrôle du volume n'a pas pu être démarré."), tr("CD-Player"),
                            MsgIcon::Exclamation, MsgButtons::Ok, this);
}

void CDPlayer::TabStrip1_Click() {
    const bool titre = TabStrip1->currentIndex() == 0;
    picTitre->setVisible(titre);
    picCD->setVisible(!titre);
}

} // namespace lumenta
