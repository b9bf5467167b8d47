// Browsing and dispatch of the clicked file.
#include "app/module1.h"
#include "system/drives.h"
#include "system/filelist.h"
#include "system/launcher.h"
#include "viewer/dispatch.h"
#include "viewer/lumenta.h"
#include "widgets/browsewidgets.h"
#include "widgets/mmcontrol.h"
#include "widgets/picturewidgets.h"

#include <QAction>
#include <QComboBox>
#include <QFileInfo>
#include <QLabel>
#include <QPushButton>
#include <QScopeGuard>
#include <QScrollBar>
#include <QToolButton>

namespace lumenta {

void Lumenta::hidePictureControls() {
    cancelPictureLoad();
    Open->hide();
    PicFond->hide();
    VScroll1->hide();
    HScroll1->hide();
}

void Lumenta::setPictureMenusEnabled(bool on) {
    for (QAction* a : {Mnu_EffaceImage, Mnu_EnregSous, Mnu_Pleinecran, Mnu_Diapo})
        a->setEnabled(on);
}

void Lumenta::showCommand6BySelection() {
    Command6->setVisible(m_st.settings.SelectionListValid == 1);
}

void Lumenta::updateFileCount() {
    // A folder being listed has no count yet; a refresh keeps the last one.
    if (File1->isListing() && File1->listCount() == 0)
        Label5->clear();
    else
        Label5->setText(fileCountText(File1->listCount()));
}

void Lumenta::File1_Listed() {
    updateFileCount();
    // The picture shown before its folder was listed: once its line has come,
    // the next one is decoded ahead as after a click.
    if (isLoadingPicture() || m_shownPath.isEmpty() || File1->fileName().isEmpty() ||
        m_shownPath != AddBackslash(File1->path()) + File1->fileName())
        return;
    m_lastPictureRow = File1->currentRow();
    prefetchNeighbour();
}

void Lumenta::updateBusyPointer() {
    // A slow folder: the window answers, and says it is working.
    if (File1->isListing() || Dir1->isListing())
        setCursor(Qt::BusyCursor);
    else
        unsetCursor();
}

void Lumenta::Drive1_Change() {
    if (m_changingDrive)
        return;
    m_changingDrive = true;
    while (true) {
        const QString root = Drive1->drive();
        const QString folder = m_folderOfDrive.value(root, root);
        const bool ok = isDriveReady(root) && (Dir1->setPath(folder) || Dir1->setPath(root));
        if (ok) {
            m_st.LastValidDrive = root;
            break;
        }
        const MsgResult answer =
            m_ctx.dlg().message(tr("Lecteur non disponible ou non prêt !"), tr("Erreur"),
                                MsgIcon::Question, MsgButtons::RetryCancel, this);
        if (answer != MsgResult::Retry) {
            Drive1->refresh();
            Drive1->setDrive(m_st.LastValidDrive.isEmpty() ? QStringLiteral("/")
                                                           : m_st.LastValidDrive);
            break;
        }
    }
    m_changingDrive = false;
}

void Lumenta::Dir1_Change() {
    m_folderOfDrive.insert(driveOfPath(Dir1->path(), Drive1->drives()), Dir1->path());
    Command2->hide();
    Command10->hide();
    Command7->hide();
    showCommand6BySelection();
    hidePictureControls();
    Image1->hide();
    setPictureMenusEnabled(false);
    restartTravel();
    File1->setPath(Dir1->path());
    updateFileCount();
    enforceAvailability();
}

void Lumenta::Combo1_Change(const QString& text) {
    // While typing, a pattern that is not complete yet (a trailing ";",
    // a character that is not allowed) waits for Enter or for the focus to
    // leave the box; a valid one filters the list at once.
    if (!isValidPattern(text))
        return;
    if (text != File1->pattern())
        restartTravel();
    File1->setPattern(text);
    updateFileCount();
}

void Lumenta::Combo1_Commit() {
    const QString text = Combo1->currentText();
    if (isValidPattern(text)) {
        if (File1->pattern() != text)
            Combo1_Change(text);
        return;
    }
    m_ctx.dlg().message(tr("Filtre incorrect !"), tr("Erreur"), MsgIcon::Stop, MsgButtons::Ok,
                        this);
    const QSignalBlocker block(Combo1);
    Combo1->setEditText(QStringLiteral("*.*"));
    restartTravel();
    File1->setPattern(QStringLiteral("*.*"));
    updateFileCount();
}

void Lumenta::leavePictureState(QWidget* alsoHide) {
    hidePictureControls();
    Image1->hide();
    Command2->hide();
    Command10->hide();
    showCommand6BySelection();
    alsoHide->hide();
    Command7->hide();
    setPictureMenusEnabled(false);
}

void Lumenta::File1_Click(const QString& name) {
    // Whatever branch runs and however it ends, the commands of windows
    // that cannot be opened end up disabled.
    const auto availability = qScopeGuard([this] { enforceAvailability(); });
    const QString path = AddBackslash(File1->path()) + name;
    const QFileInfo fi(path);
    if (!fi.exists() || !fi.isFile())
        return; // gone since the list was read: nothing happens
    m_st.CurrentFilePath = path;
    setWindowTitle(fileCaption(path, fi.size()));
    m_st.CurrentFileExt = extensionOf(path);

    switch (dispatchGroupFor(m_st.CurrentFileExt)) {
    case DispatchGroup::AssociatedMedia: {
        leavePictureState(Command1);
        if (openWithAssociation(path) == OpenResult::NoAssociation) {
            m_ctx.dlg().message(
                tr("Aucune association n'est définie pour le fichier sélectionné !"),
                tr("Absence d'association de fichier"), MsgIcon::Information, MsgButtons::Ok, this);
        }
        break;
    }
    case DispatchGroup::Animation: {
        leavePictureState(Command4);
        const QString player = AddBackslash(m_st.AppFolder) + QStringLiteral("aawin");
        if (!startProgram(player, {path})) {
            m_ctx.dlg().message(tr("Fichier AAWIN.EXE non trouvé"), tr("Erreur"), MsgIcon::Stop,
                                MsgButtons::Ok, this);
            return;
        }
        break;
    }
    case DispatchGroup::Sound:
        leavePictureState(Command1);
        File1->hide();
        Command4->show();
        MMControl1->show();
        MultiMedia();
        break;
    case DispatchGroup::Picture:
        Command4->hide();
        MMControl1->hide();
        Command1->show();
        Command2->show();
        Command10->show();
        Command6->show();
        Image1->show();
        Command7->show();
        Command2->setEnabled(true);
        Command6->setEnabled(true);
        Command7->setEnabled(true);
        Command5->setEnabled(true);
        setPictureMenusEnabled(true);
        Mnu_ListeSelect->setEnabled(true);
        m_st.FullScreenFilePath = m_st.CurrentFilePath;
        requestPicture(path);
        break;
    case DispatchGroup::Other:
        // The picture is gone: so is the print button that would print it.
        hidePictureControls();
        Command10->hide();
        Command2->setEnabled(false);
        Command7->setEnabled(false);
        Command5->setEnabled(false);
        setPictureMenusEnabled(false);
        Mnu_ListeSelect->setEnabled(false);
        Command6->setEnabled(m_st.settings.SelectionListValid == 1);
        break;
    }
    CalculScroll();
}

void Lumenta::MultiMedia() {
    MMControl1->setNotify(false);
    MMControl1->setWait(true);
    MMControl1->setShareable(false);
    if (m_st.CurrentFileExt == QLatin1String("WAV"))
        MMControl1->setDeviceType(QStringLiteral("WaveAudio"));
    else if (m_st.CurrentFileExt == QLatin1String("MID"))
        MMControl1->setDeviceType(QStringLiteral("Sequencer"));
    MMControl1->setFileName(m_st.CurrentFilePath);
    // A device still open on the previous sound is closed first.
    MMControl1->sendCommand(QStringLiteral("Close"));
    if (!MMControl1->sendCommand(QStringLiteral("Open"))) {
        m_ctx.dlg().message(tr("Le fichier n'a pas pu être chargé."), tr("Erreur"),
                            MsgIcon::Exclamation, MsgButtons::Ok, this);
        MMControl1->sendCommand(QStringLiteral("Close"));
    }
}

void Lumenta::MMControl1_Done(int notifyCode) {
    // Played to the end: back to the start, ready to play again.
    if (notifyCode != 1)
        return;
    MMControl1->sendCommand(QStringLiteral("prev"));
    MMControl1->sendCommand(QStringLiteral("seek"));
}

void Lumenta::Command4_Click() {
    MMControl1->sendCommand(QStringLiteral("Close"));
    Command4->hide();
    Command1->show();
    MMControl1->hide();
    File1->show();
    File1->setFocus();
}

} // namespace lumenta
