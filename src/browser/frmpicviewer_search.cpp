// Search mode of the browser window: the pictures of every folder below
// the current one, found on a worker thread and listed as they come.
#include "app/module1.h"
#include "app/version.h"
#include "browser/frmpicviewer.h"
#include "browser/picturesearch.h"
#include "picture/pictureservice.h"
#include "widgets/browsewidgets.h"
#include "widgets/picturewidgets.h"

#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QListWidget>
#include <QScrollBar>
#include <QStyle>
#include <QToolButton>

namespace lumenta {

namespace {

QString totalFound(qsizetype n) {
    return QStringLiteral("Total found: ") + QString::number(n);
}

QToolButton* searchButton(QWidget* parent, const char* name, const char* themeIcon,
                          QStyle::StandardPixmap fallback, const QString& hint) {
    auto* b = new QToolButton(parent);
    b->setObjectName(QLatin1String(name));
    b->setIcon(QIcon::fromTheme(QLatin1String(themeIcon), parent->style()->standardIcon(fallback)));
    b->setIconSize(QSize(20, 20));
    b->setToolTip(hint);
    return b;
}

} // namespace

void FrmPicViewer::createSearchControls() {
    QWidget* f = fraSearch;
    lblSearchPattern = new QLabel(tr("Filtre de recherche :"), f);
    lblSearchPattern->setObjectName(QStringLiteral("lblSearchPattern"));
    lblSearchPattern->setGeometry(8, 376, 130, 20);
    cboSearchPattern->setGeometry(140, 372, 110, 26);
    cboSearchPattern->setToolTip(tr("Filtre de recherche"));
    cmdSearch = searchButton(f, "cmdSearch", "system-search", QStyle::SP_FileDialogContentsView,
                             tr("Rechercher les fichiers  image dans tous les sous dossiers"));
    cmdSearch->setGeometry(8, 406, 30, 30);
    cmdStopSearch = searchButton(f, "cmdStopSearch", "process-stop", QStyle::SP_BrowserStop,
                                 tr("Arrêter la recherche"));
    cmdStopSearch->setGeometry(274, 406, 30, 30);
    cmdStopSearch->hide();
    lblSearchInProgress->setGeometry(46, 412, 220, 20);
    lisFilesFound->setUniformItemSizes(true);
    lisFilesFound->setToolTip(tr("Clic : voir l'image ; double clic : chemin complet"));

    m_search = new PictureSearch(this);
    connect(
        m_search, &PictureSearch::found, this,
        [this](const QStringList& paths, const QString& folder) { searchFound(paths, folder); });
    connect(m_search, &PictureSearch::finished, this, [this] { searchEnded(false); });
    connect(cmdSearch, &QToolButton::clicked, this, [this] { cmdSearch_Click(); });
    connect(cmdStopSearch, &QToolButton::clicked, this, [this] { cmdStopSearch_Click(); });
    connect(lisFilesFound, &QListWidget::itemClicked, this,
            [this](QListWidgetItem* item) { lisFilesFound_Click(item->text()); });
    connect(lisFilesFound, &QListWidget::itemDoubleClicked, this,
            [this] { lisFilesFound_DblClick(); });
}

void FrmPicViewer::SetSearchUi(bool visible) {
    lblSearchInProgress->setVisible(!visible);
    cmdStopSearch->setVisible(!visible);
    cmdSearch->setEnabled(visible);
    for (QWidget* w :
         std::initializer_list<QWidget*>{cboPattern, drvList, DirList, FilList, lblFilesCount})
        w->setVisible(visible);
    updateBusyCursor();
}

void FrmPicViewer::cmdSearch_Click() {
    if (searchRunning())
        return; // one search at a time
    const QString pattern = cboSearchPattern->currentText();
    if (pattern.trimmed().isEmpty()) {
        m_ctx.dlg().message(tr("Pas de filtre de recherche"), tr("Erreur"), MsgIcon::Exclamation,
                            MsgButtons::Ok, this);
        return;
    }
    // A folder highlighted in the folder list but not opened is opened
    // instead of searched.
    const QString highlighted = DirList->highlightedPath();
    if (!highlighted.isEmpty() && highlighted != DirList->path()) {
        DirList->setPath(highlighted);
        return;
    }
    lisFilesFound->clear();
    FoundCount = 0;
    lblFoundNum->setText(totalFound(0));
    StopRequested = false;
    InternalChange = true;
    SetSearchUi(false);
    lisFilesFound->setFocus();
    m_search->start(DirList->path(), pattern);
}

void FrmPicViewer::cmdStopSearch_Click() {
    if (!searchRunning())
        return;
    lisFilesFound->setFocus();
    StopRequested = true;
    m_search->stop();
    searchEnded(true);
}

void FrmPicViewer::searchFound(const QStringList& paths, const QString& folder) {
    lisFilesFound->addItems(paths);
    FoundCount += paths.size();
    lblFoundNum->setText(totalFound(FoundCount));
    if (!folder.isEmpty())
        lblSearchPanelDir->setText(folder);
}

void FrmPicViewer::searchEnded(bool stopped) {
    // The walk never moved the folder and file lists: they show the start
    // folder under the list's own pattern again.
    if (stopped)
        LastListedPath.clear(); // the thumbnails are rebuilt later
    else
        lblFoundNum->setText(totalFound(FoundCount));
    InternalChange = false;
    SetSearchUi(true);
    showFolderLabels();
    if (!stopped && lisFilesFound->count() == 0)
        m_ctx.dlg().message(tr("Pas de fichier trouvé avec le filtre de recherche en cours"),
                            tr("Information"), MsgIcon::Exclamation, MsgButtons::Ok, this);
}

void FrmPicViewer::lisFilesFound_Click(const QString& path) {
    if (FrameShown())
        EraseCellFrame();
    if (!searchRunning())
        relist(FilList->pattern());
    HsbView->setValue(0);
    VsbView->setValue(0);
    cboResize->setCurrentIndex(view::kOwnSizeEntry);
    ResizeIndex = view::kOwnSizeEntry;
    const quint64 generation = ++m_viewGeneration;
    m_viewLoading = true;
    updateBusyCursor();
    m_viewTicket = m_ctx.pictures().request(
        this, PictureRequest::full(path), [this, generation, path](const PictureResult& r) {
            if (generation == m_viewGeneration && r.picture.isNull()) {
                m_viewLoading = false;
                updateBusyCursor();
                resetView();
                m_ctx.dlg().message(tr("Pas de fichier image/Fichier image non valide"),
                                    tr("Erreur"), MsgIcon::Information, MsgButtons::Ok, this);
                return;
            }
            pictureLoaded(generation, path, r.picture);
        });
}

void FrmPicViewer::lisFilesFound_DblClick() {
    const QListWidgetItem* item = lisFilesFound->currentItem();
    if (lisFilesFound->count() == 0 || !item)
        return;
    m_ctx.dlg().message(tr("Spécification de fichiers :") + QStringLiteral("\n\n") + item->text(),
                        applicationTitle(), MsgIcon::None, MsgButtons::Ok, this);
}

} // namespace lumenta
