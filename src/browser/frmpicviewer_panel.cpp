// The thumbnail panel: the table of the folder's pictures, the lots of 48,
// the thumbnails, the pages and the selection frame.
#include "app/module1.h"
#include "browser/frmpicviewer.h"
#include "browser/pictureprobe.h"
#include "browser/thumbnailloader.h"
#include "browser/thumbnailsurface.h"
#include "widgets/browsewidgets.h"

#include <QComboBox>
#include <QLabel>
#include <QListWidget>
#include <QPainter>
#include <QScrollBar>
#include <QToolButton>

namespace lumenta {

bool FrmPicViewer::autoImagesOn() const {
    return !cmdAutoImagesOn->isHidden();
}

bool FrmPicViewer::FrameShown() const {
    return picListX->frameShown();
}

int FrmPicViewer::currentLot() const {
    return cboPicListLot->count() > 0 ? cboPicListLot->currentIndex() + 1 : 0;
}

bool FrmPicViewer::cellDrawn(int cell) const {
    return cell >= 1 && cell <= m_nextToDraw;
}

QImage FrmPicViewer::cellThumbnail(int cell) const {
    return cellDrawn(cell) ? m_lotImages.at(cell - 1) : QImage();
}

void FrmPicViewer::cancelTableBuild() {
    if (m_tableCancel)
        m_tableCancel->store(true);
    ++m_tableGeneration;
    m_buildingTable = false;
    updateBusyCursor();
}

void FrmPicViewer::ClearPicList() {
    cancelTableBuild();
    m_thumbnails->cancel();
    m_lotImages.clear();
    m_lotArrived.clear();
    m_nextToDraw = 0;
    LotPicCount = 0;
    lblPicsOnPanel->clear();
    lblPicsCount->clear();
    piccmdPanelRefContainer->hide();
    picListX->clear();
    VsbPicList->setValue(0);
    cboPicListLot->clear();
    picProgressContainer->hide();
    // What the panel no longer shows is no longer the current table.
    PicTable.clear();
    PicCount = 0;
    LastListedPath.clear();
    LastListedPattern.clear();
    SelRow = SelCol = SelCell = 0;
}

void FrmPicViewer::LoadPicList() {
    if (searchRunning())
        return;
    const QString folder = DirList->path();
    const QString pattern = cboPattern->currentText();
    if (folder == LastListedPath && pattern == LastListedPattern && !ForceRebuild)
        return;
    ForceRebuild = false;
    ClearPicList();
    LastListedPath = folder;
    LastListedPattern = pattern;

    const QStringList names = FilList->names();
    if (names.isEmpty())
        return;
    if (pattern != kAllFilesPattern) {
        tableBuilt(buildPicTable(folder, names, pattern));
        return;
    }
    // "*.*": each file is tested, off the GUI thread.
    auto cancel = std::make_shared<std::atomic<bool>>(false);
    m_tableCancel = cancel;
    const quint64 generation = ++m_tableGeneration;
    m_buildingTable = true;
    updateBusyCursor();
    ShowProgress(0);
    picProgressContainer->show();
    m_pool.start([this, cancel, generation, folder, names, pattern] {
        PicTableBuild how;
        how.cancelled = cancel.get();
        how.isPicture = [](const QString& path) { return probePicture(path).picture; };
        how.progress = [this, generation](int percent) {
            QMetaObject::invokeMethod(
                this,
                [this, generation, percent] {
                    if (generation == m_tableGeneration)
                        ShowProgress(percent);
                },
                Qt::QueuedConnection);
        };
        QList<PicRow> rows = buildPicTable(folder, names, pattern, how);
        if (cancel->load())
            return;
        QMetaObject::invokeMethod(
            this,
            [this, generation, rows = std::move(rows)] {
                if (generation != m_tableGeneration)
                    return;
                m_buildingTable = false;
                updateBusyCursor();
                tableBuilt(rows);
            },
            Qt::QueuedConnection);
    });
}

void FrmPicViewer::tableBuilt(const QList<PicRow>& rows) {
    picProgressContainer->hide();
    PicTable = rows;
    PicCount = int(rows.size());
    if (PicCount == 0)
        return;
    InternalChange = true;
    const int lots = panel::lotCount(PicCount);
    QStringList numbers;
    numbers.reserve(lots);
    for (int l = 1; l <= lots; ++l)
        numbers << QString::number(l);
    cboPicListLot->addItems(numbers);
    cboPicListLot->setCurrentIndex(0);
    InternalChange = false;
    ShowLot();
}

void FrmPicViewer::ShowProgress(int percent) {
    const int width = picProgressContainer->width();
    picProgress->setGeometry(0, 0, width * std::clamp(percent, 0, 100) / 100,
                             picProgressContainer->height());
    picProgress->setAutoFillBackground(true);
    picProgress->setBackgroundRole(QPalette::Highlight);
    picProgressContainer->setAutoFillBackground(true);
    picProgressContainer->setBackgroundRole(QPalette::Base);
    picProgressContainer->setToolTip(QString::number(percent) + QLatin1Char('%'));
    // The percentage sits in the middle of the container, over the bar.
    auto* text = picProgressContainer->findChild<QLabel*>(QStringLiteral("progressText"));
    if (!text) {
        text = new QLabel(picProgressContainer);
        text->setObjectName(QStringLiteral("progressText"));
        text->setAlignment(Qt::AlignCenter);
        text->setAttribute(Qt::WA_TransparentForMouseEvents);
    }
    text->setGeometry(picProgressContainer->rect());
    text->setText(QString::number(percent) + QLatin1Char('%'));
    text->raise();
}

void FrmPicViewer::ShowLot() {
    m_thumbnails->cancel();
    picListX->clear();
    VsbPicList->setValue(0);
    m_lotImages.clear();
    m_lotArrived.clear();
    m_nextToDraw = 0;
    LotPicCount = 0;
    if (cboPicListLot->count() == 0)
        return;
    const int lot = cboPicListLot->currentText().toInt();
    const int first = panel::lotFirst(lot);
    LotPicCount = panel::lotPicCount(PicCount, lot);
    lblPicsOnPanel->setText(panel::lotLabelText(LotPicCount));
    lblPicsCount->setText(panel::totalLabelText(PicCount, cboPicListLot->count()));

    QStringList paths;
    for (int i = 0; i < LotPicCount; ++i)
        paths << PicTable.at(first + i).path;
    m_lotImages.resize(LotPicCount);
    m_lotArrived.fill(false, LotPicCount);
    piccmdPanelRefContainer->show();
    const int pages = panel::enabledPages(LotPicCount);
    for (int p = 0; p < panel::kPages; ++p)
        cmdPanelRef[p]->setEnabled(p < pages);
    m_thumbnails->load(paths);
}

void FrmPicViewer::thumbnailReady(int index, const QImage& thumbnail) {
    if (index < 0 || index >= m_lotArrived.size())
        return;
    m_lotImages[index] = thumbnail;
    m_lotArrived[index] = true;
    drawReadyCells();
}

void FrmPicViewer::drawReadyCells() {
    // In table order: a thumbnail waits for the ones before it.
    const int first = panel::lotFirst(currentLot());
    while (m_nextToDraw < LotPicCount && m_lotArrived.at(m_nextToDraw)) {
        const panel::Place place = panel::placeOf(m_nextToDraw);
        const QString& path = PicTable.at(first + m_nextToDraw).path;
        picListX->drawCell(place.row, place.col, m_lotImages.at(m_nextToDraw),
                           panel::captionFor(path));
        ++m_nextToDraw;
    }
    if (FrameShown())
        picListX->setFrame(SelFrameBox); // above what was just drawn
}

void FrmPicViewer::FindCell(double x, double y) {
    const panel::CellHit hit =
        panel::FindCell(x, y, LotPicCount, picListX->width(), picListX->height());
    SelCol = hit.col;
    SelRow = hit.row;
    SelCell = hit.cell;
}

void FrmPicViewer::DrawCellFrame() {
    if (cboPicListLot->count() == 0) {
        picListX->clear();
        return;
    }
    SelFrameBox = panel::frameBox(SelRow, SelCol);
    picListX->setFrame(SelFrameBox);
}

void FrmPicViewer::EraseCellFrame() {
    picListX->removeFrame();
}

void FrmPicViewer::picListX_MouseDown(QPointF at, Qt::MouseButton button) {
    if (button != Qt::LeftButton)
        return;
    FindCell(at.x(), at.y());
    if (SelCell == 0)
        return;
    selectCellFile();
}

// Shows the file of the selected cell and frames the cell.
void FrmPicViewer::selectCellFile() {
    InternalChange = true;
    const int row = panel::lotFirst(currentLot()) + SelCell - 1;
    if (FilList->listCount() > 0 && row >= 0 && row < PicTable.size()) {
        // By path: whatever happened to the list since the table was
        // built, a cell never shows another file.
        const QString path = PicTable.at(row).path;
        const QString name = path.mid(prefix().size());
        if (path.startsWith(prefix()) && FilList->selectName(name))
            FilList_Click(name);
        HsbView->setValue(0);
        VsbView->setValue(0);
    } else if (FilList->listCount() == 0) {
        picListX->clear();
    }
    InternalChange = false;
    if (FrameShown())
        EraseCellFrame();
    DrawCellFrame();
}

void FrmPicViewer::moveSelection(int dx, int dy) {
    if (LotPicCount == 0)
        return;
    int cell0 = SelCell > 0 ? SelCell - 1 + dx + dy * panel::kColumns : 0;
    cell0 = std::clamp(cell0, 0, LotPicCount - 1);
    const panel::Place place = panel::placeOf(cell0);
    SelRow = place.row;
    SelCol = place.col;
    SelCell = place.cell;
    showPageOf(cell0);
    selectCellFile();
}

void FrmPicViewer::showPageOf(int cell0) {
    // Scrolls only when the cell is out of sight, to the top of its page.
    const int top = panel::cellOrigin(cell0 / panel::kColumns + 1, 1).y() - 16;
    const int v = VsbPicList->value();
    if (top < v || top + panel::kCellHeight > v + panel::kPageHeight)
        VsbPicList->setValue(panel::pageScroll(cell0 / (panel::kColumns * panel::kRowsPerPage),
                                               VsbPicList->maximum()));
}

void FrmPicViewer::cmdPanelRef_Click(int page) {
    if (cboPicListLot->count() == 0)
        return;
    VsbPicList->setValue(panel::pageScroll(page, VsbPicList->maximum()));
    picListX->setFocus();
}

void FrmPicViewer::cboPicListLot_Click() {
    if (InternalChange)
        return;
    if (cboPicListLot->currentText().toInt() > 0)
        ShowLot();
}

void FrmPicViewer::cmdListImages_Click() {
    // The folder is read again: what changed on disk since is listed.
    relist(cboPattern->currentText(), [this] {
        ForceRebuild = true;
        LoadPicList();
        ForceRebuild = false;
    });
    picListX->setFocus();
}

void FrmPicViewer::cmdAutoImagesOn_Click() {
    cmdAutoImagesOn->hide();
    picListX->setFocus();
    cmdAutoImagesOff->show();
    ClearPicList();
    cmdListImages->setEnabled(true);
}

void FrmPicViewer::cmdAutoImagesOff_Click() {
    cmdAutoImagesOn->show();
    cmdAutoImagesOff->hide();
    picListX->setFocus();
    cmdListImages->setEnabled(false);
    if (searchRunning())
        return;
    ClearPicView();
    relist(cboPattern->currentText(), [this] {
        ForceRebuild = true;
        LoadPicList();
        ForceRebuild = false;
    });
}

// The part of a click in the file list that concerns the panel: the
// chosen file's thumbnail is framed, on its lot and page.
void FrmPicViewer::FilList_Click(const QString& name) {
    if (!folderMode()) {
        m_ctx.dlg().message(tr("Cliquez sur un fichier de la liste,\nlorsque l'option Recherche "
                               "dans tous les sous dossiers est active\npour la visualiser."),
                            tr("Information"), MsgIcon::Information, MsgButtons::Ok, this);
        return;
    }
    const QString path = prefix() + name;
    if (cboPicListLot->count() == 0) {
        // No lot listed (automatic thumbnails off, or the table still
        // being built): nothing to frame, the picture is shown all the same.
        picListX->clear();
        showPicture(path);
        return;
    }
    if (!InternalChange && autoImagesOn()) {
        if (FrameShown())
            EraseCellFrame();
        const int row = rowOfPath(PicTable, path);
        if (row < 0) {
            m_ctx.dlg().message(tr("Pas de fichier image/Image non valide !"), tr("Information"),
                                MsgIcon::Information, MsgButtons::Ok, this);
            return;
        }
        const panel::Place place = panel::placeOf(PicTable.at(row).position);
        if (place.lot != currentLot()) {
            cboPicListLot->setCurrentIndex(place.lot - 1);
            ShowLot();
        }
        SelRow = place.row;
        SelCol = place.col;
        SelCell = place.cell;
        VsbPicList->setValue(panel::pageScroll(place.page, VsbPicList->maximum()));
        DrawCellFrame();
    }
    showPicture(path);
}

} // namespace lumenta
