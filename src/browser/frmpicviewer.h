#pragma once
// The thumbnail browser ("Affichage par vignettes"): the drive, folder and
// file lists on the left; in the middle the thumbnail panel of the current
// folder (folder mode) or the list of pictures found in the subfolders
// (search mode); on the right the viewing area.
//
// The window is split by concern over several files: frmpicviewer.cpp (the
// controls, start-up, the modes, full screen, closing),
// frmpicviewer_navigation.cpp (drives, folders, patterns, the file list),
// frmpicviewer_panel.cpp (the table, the lots, the thumbnails, the
// selection frame) and frmpicviewer_view.cpp (the viewing area). Folder
// listing, file tests and thumbnails run off the GUI thread and come back
// by queued calls; nothing here waits for them.
#include "app/appcontext.h"
#include "browser/panelgeometry.h"
#include "browser/pictable.h"
#include "browser/viewgeometry.h"
#include "dialogs/commondialog.h"
#include "picture/colourspace.h"
#include "picture/pictureloader.h"
#include "system/fileops.h"
#include "system/folderlisting.h"

#include <QDialog>
#include <QImage>
#include <QList>
#include <QThreadPool>

#include <array>
#include <atomic>
#include <functional>
#include <memory>

class QComboBox;
class QGroupBox;
class QAction;
class QLabel;
class QListWidget;
class QMenu;
class QRadioButton;
class QScrollBar;
class QToolButton;

namespace lumenta {

class DirList;
class DriveList;
class FileList;
class LargePictureView;
class PictureBox;
class TileFeed;
class PictureSearch;
class ThumbnailLoader;
class ThumbnailSurface;

class FrmPicViewer : public QDialog {
    Q_OBJECT
public:
    // The window opens on folder (the main window's current folder).
    FrmPicViewer(AppContext& ctx, const QString& folder, QWidget* parent = nullptr);
    ~FrmPicViewer() override;

    // Opens the window, modal over parent, on folder; it deletes itself
    // when closed. Only one exists at a time: a second call raises it.
    static FrmPicViewer* open(AppContext& ctx, const QString& folder, QWidget* parent);

    // The desktop's thumbnail cache folder, or another one (tests).
    void setThumbnailCacheRoot(const QString& root);

    // Nothing is being listed, tested, drawn or written to the thumbnail
    // cache (for tests and benchmarks).
    bool isIdle() const;

    // ---- Controls, named as in the design ----
    DriveList* drvList = nullptr;
    lumenta::DirList* DirList = nullptr;
    FileList* FilList = nullptr;
    QComboBox* cboPattern = nullptr;
    QLabel* lblFilesCount = nullptr;
    std::array<QRadioButton*, 2> optMode{};
    QGroupBox* fraImagesPanel = nullptr;
    QLabel* lblImagesPanelDir = nullptr;
    QGroupBox* fraSearch = nullptr;
    QLabel* lblSearchPanelDir = nullptr;
    QLabel* lblSearchInProgress = nullptr;
    QComboBox* cboSearchPattern = nullptr;
    QLabel* lblSearchPattern = nullptr;
    QToolButton* cmdSearch = nullptr;
    QToolButton* cmdStopSearch = nullptr;
    QListWidget* lisFilesFound = nullptr;
    QLabel* lblFoundNum = nullptr;
    QToolButton* Command1 = nullptr;
    QToolButton* Command2 = nullptr;
    QToolButton* Command4 = nullptr;
    QWidget* picViewZ = nullptr;
    PictureBox* picViewX = nullptr;
    QScrollBar* HsbView = nullptr;
    QScrollBar* VsbView = nullptr;
    QLabel* lblPicSizeW = nullptr;
    QLabel* lblPicSizeH = nullptr;
    QWidget* piccmdFitInContainer = nullptr;
    QToolButton* cmdFitIn = nullptr;
    QWidget* piccmdFitInLargeContainer = nullptr;
    QToolButton* cmdViewLarge = nullptr;
    QWidget* piccmdOrigSizeContainer = nullptr;
    QToolButton* cmdOrigSize = nullptr;
    QWidget* piccmdEditContainer = nullptr;
    QToolButton* cmdEdit = nullptr;
    QComboBox* cboResize = nullptr;
    // The enlarged view, over the whole window.
    QWidget* picViewLargeBar = nullptr;
    QToolButton* cmdViewLargeExit = nullptr;
    QToolButton* cmdMagnifyGlass = nullptr;
    QComboBox* cboMagnify = nullptr;
    QWidget* picViewLargeContainer = nullptr;
    LargePictureView* picViewLarge = nullptr;
    QScrollBar* HsbViewLarge = nullptr;
    QScrollBar* VsbViewLarge = nullptr;
    // Work surfaces (hidden).
    PictureBox* picTemp = nullptr;
    PictureBox* picAuto = nullptr;
    PictureBox* picCopy = nullptr;
    PictureBox* picViewTemp = nullptr;
    CommonDialog CommonDialog1;

    // Pop-up menus of the folder list, the file list and the view.
    QMenu* popDirList = nullptr;
    QAction* popDirListCreateDir = nullptr;
    QAction* popDirListRenameDir = nullptr;
    QAction* popDirListDeleteDir = nullptr;
    QMenu* popFilList = nullptr;
    QAction* popFilListRenameFile = nullptr;
    QAction* PopFilListSaveFile = nullptr;
    QAction* PopFilListMoveFile = nullptr;
    QAction* popFilListDeleteFile = nullptr;
    QMenu* popPicView = nullptr;
    QAction* popPicViewRenameFile = nullptr;
    QAction* PopPicviewSaveFile = nullptr;
    QAction* PopPicviewMoveFile = nullptr;
    QAction* popPicViewDeleteFile = nullptr;

    // The thumbnail panel.
    QWidget* picListZ = nullptr;
    ThumbnailSurface* picListX = nullptr;
    QScrollBar* VsbPicList = nullptr;
    QWidget* piccmdPanelRefContainer = nullptr;
    std::array<QToolButton*, panel::kPages> cmdPanelRef{};
    QComboBox* cboPicListLot = nullptr;
    QLabel* lblLotRef = nullptr;
    QLabel* lblPicsOnPanel = nullptr;
    QLabel* lblPicsCount = nullptr;
    QWidget* picImagesInDirContainer = nullptr;
    QWidget* picAutoImagesContainer = nullptr;
    QToolButton* cmdListImages = nullptr;
    QToolButton* cmdAutoImagesOn = nullptr;
    QToolButton* cmdAutoImagesOff = nullptr;
    QWidget* picProgressContainer = nullptr;
    QWidget* picProgress = nullptr;

    // ---- Window state ----
    QString LastListedPath;
    QString LastListedPattern;
    QList<PicRow> PicTable;
    int PicCount = 0;
    int LotPicCount = 0;
    int SelRow = 0, SelCol = 0, SelCell = 0;
    panel::FrameBox SelFrameBox;
    bool InternalChange = false;
    bool ForceRebuild = false;
    bool StopRequested = false;
    QString ShownPicPath;
    int PicWidth = 0, PicHeight = 0;
    double ScreenWidthPx = 0, ScreenHeightPx = 0;
    int ResizeIndex = view::kOwnSizeEntry;
    bool MagnifierOn = false;
    bool Dragging = false;
    view::GlassBox GlassBox;
    double DragLastX = 0, DragLastY = 0;
    double DragDeltaX = 0, DragDeltaY = 0;
    qsizetype FoundCount = 0;
    CommonDialog* FileDialog = nullptr;

    // ---- Handlers (public so tests drive them as the user would) ----
    void drvList_Change();
    void DirList_Change();
    void DirList_LostFocus();
    void cboPattern_Click(const QString& pattern);
    void optMode_Click(int index);
    void FilList_Click(const QString& name);
    void Command4_Click();
    void picListX_MouseDown(QPointF at, Qt::MouseButton button);
    void cmdPanelRef_Click(int page);
    void cboPicListLot_Click();
    void cmdListImages_Click();
    void cmdAutoImagesOn_Click();
    void cmdAutoImagesOff_Click();
    void cmdSearch_Click();
    void cmdStopSearch_Click();
    void lisFilesFound_Click(const QString& path);
    void lisFilesFound_DblClick();
    void cmdFitIn_Click();
    void cmdOrigSize_Click();
    void cmdViewLarge_Click();
    void cmdViewLargeExit_Click();
    void cmdMagnifyGlass_Click();
    void cmdEdit_Click();
    void cboResize_Click(int index);
    void picViewLarge_MouseDown(QPointF at, Qt::MouseButton button);
    void picViewLarge_MouseMove(QPointF at);
    void picViewLarge_MouseUp();
    // File and folder commands of the pop-up menus.
    void popDirListCreateDir_Click();
    void popDirListRenameDir_Click();
    void popDirListDeleteDir_Click();
    void popFilListRenameFile_Click();
    void PopFilListSaveFile_Click();
    void PopFilListMoveFile_Click();
    void popFilListDeleteFile_Click();
    void popPicViewRenameFile_Click();
    void PopPicviewSaveFile_Click();
    void PopPicviewMoveFile_Click();
    void popPicViewDeleteFile_Click();

    // Routines of the window.
    void LoadPicList();
    void ShowLot();
    void ClearPicList();
    void ShowProgress(int percent);
    void FindCell(double x, double y);
    void DrawCellFrame();
    void EraseCellFrame();
    void ClearPicView();
    void FillGlass();
    void PlaceGlass();
    void UpdateGlassPointer(double x, double y);
    bool largeViewShown() const;
    // The glass content last drawn by FillGlass.
    const QImage& glassImage() const { return m_glass; }
    void ClearFoundList();
    void SetSearchUi(bool visible);
    bool FrameShown() const;
    bool autoImagesOn() const;
    bool searchRunning() const;
    bool folderMode() const;
    // The lot shown on the panel (1-based), 0 when none.
    int currentLot() const;
    // Whether the thumbnail of lot cell (1-based) is drawn, and with what.
    bool cellDrawn(int cell) const;
    QImage cellThumbnail(int cell) const;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void closeEvent(QCloseEvent* e) override;
    void keyPressEvent(QKeyEvent* e) override;
    void resizeEvent(QResizeEvent* e) override;
    void reject() override;

private:
    void createControls();
    void createPanel();
    void createViewArea();
    void createSearchPanel();
    void wire();
    void startUp(const QString& folder);
    void ErrMsgProc(const QString& text, int number, const QString& description);
    // The busy pointer while the folder is listed, the table built or the
    // chosen picture read.
    void updateBusyCursor();

    // Navigation.
    using Then = std::function<void()>;
    // Lists the folder of DirList under pattern off the GUI thread, fills
    // FilList, updates the count, then runs then. A newer listing drops
    // an older one's then.
    void relist(const QString& pattern, Then then = {});
    void listed(const FolderListing& listing, const Then& then);
    void updateFilesCount();
    void showFolderLabels();
    QString prefix() const;

    // Panel.
    void tableBuilt(const QList<PicRow>& rows);
    void cancelTableBuild();
    void thumbnailReady(int index, const QImage& thumbnail);
    void drawReadyCells();
    void selectCellFile();
    void moveSelection(int dx, int dy);
    void showPageOf(int cell0);

    // Pop-up menus and their commands.
    void createMenus();
    bool fileListReady();
    void renameFile(const QString& source, bool fromView);
    void saveCopy(const QString& source, bool fromView);
    void moveChosenFile(const QString& source, bool fromView);
    void deleteChosenFile(const QString& path, const QString& question, bool fromView);
    // Runs a copy or move into target; when target's folder is missing,
    // offers to create it and runs it again. True when it was done; a
    // failure is reported, the same file or a refusal does nothing.
    bool runIntoFolder(const QString& target, bool moving, bool fromView, const QString& handler,
                       const std::function<FileResult()>& op);
    bool createMissingFolder(const QString& folder, const QString& question,
                             const QString& handler);
    void fileChanged(const QString& oldPath);
    // Search.
    void createSearchControls();
    void searchFound(const QStringList& paths, const QString& folder);
    void searchEnded(bool stopped);

    // Viewing area.
    void showPicture(const QString& path);
    void pictureLoaded(quint64 generation, const QString& path, const Picture& picture);
    void createViewButtons();
    void createLargeView();
    void wireView();
    // Empties the viewing area (the panel's frame stays).
    void resetView();
    // Shows picture (the own-size copy, fitted or resized) in the view,
    // scrolled to its top-left corner.
    void setShownPicture(const QImage& picture);
    void layoutLargeView();
    double magnifyFactor() const;
    // A picture too large to be decoded whole (frmpicviewer_tiled.cpp):
    // shown from tiles at its own size or scaled, fitted and reduced from
    // reduced pictures the service makes, the glass filled from tiles.
    bool shownTiled() const { return m_tiled.isTiled(); }
    QSize ownSize() const { return QSize(PicWidth, PicHeight); }
    void showTiled(const QString& path, const Picture& picture);
    void setShownTiled(double scale);
    // Shows the picture at size: scaled tiles, or a reduced picture when
    // it is small enough, which comes later (the entry is applied then).
    void showTiledAt(QSize size, int resizeIndex);
    void dropTiled();
    QImage glassSource(const QRectF& source);

    AppContext& m_ctx;
    QThreadPool m_pool; // listing and file tests
    std::shared_ptr<std::atomic<bool>> m_listingCancel;
    quint64 m_listingGeneration = 0;
    bool m_listing = false;
    std::shared_ptr<std::atomic<bool>> m_tableCancel;
    quint64 m_tableGeneration = 0;
    bool m_buildingTable = false;
    ThumbnailLoader* m_thumbnails = nullptr;
    QString m_cacheRoot;
    // Thumbnails of the lot on the panel, drawn in table order.
    QList<QImage> m_lotImages;
    QList<bool> m_lotArrived;
    int m_nextToDraw = 0;
    // The shown picture at its own size, and the request for the next.
    QImage m_shownImage;
    ColourSpace m_shownColours; // of m_shownImage: the display's when it was decoded
    quint64 m_viewGeneration = 0;
    quint64 m_viewTicket = 0;
    bool m_viewLoading = false;
    bool m_changingDrive = false;
    PictureSearch* m_search = nullptr;
    // The shown picture when it is tiled, its tiles, those under the glass,
    // and the reduced picture on its way.
    Picture m_tiled;
    TileFeed* m_viewFeed = nullptr;
    TileFeed* m_glassFeed = nullptr;
    quint64 m_overviewTicket = 0;
    quint64 m_reducedTicket = 0;
    // The enlarged view: the glass, and the window as it was before.
    QWidget* m_largeView = nullptr;
    QImage m_glass;
    QRect m_normalGeometry;
    bool m_wasMaximized = false;
};

} // namespace lumenta
