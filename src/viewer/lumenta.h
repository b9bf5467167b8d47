#pragma once
// The main window: browsing on the left, the picture on the right.
#include "app/appcontext.h"
#include "dialogs/commondialog.h"
#include "picture/pictureloader.h"
#include "picture/pictureservice.h"
#include "viewer/secondarywindows.h"
#include "viewer/viewergeometry.h"

#include <QHash>
#include <QMainWindow>

class QAction;
class QComboBox;
class QGroupBox;
class QLabel;
class QMenu;
class QPrinter;
class QPushButton;
class QScrollBar;
class QTimer;
class QToolButton;

namespace lumenta {

class DirList;
class DriveList;
class FileList;
class PictureBox;
class StretchImage;
class TileFeed;
class MMControl;
struct SlideshowHost;

class Lumenta : public QMainWindow {
    Q_OBJECT
public:
    explicit Lumenta(AppContext& ctx, QWidget* parent = nullptr);
    ~Lumenta() override;

    // Places the lists on the start folder, fills the filter list. Called
    // once, before the window is first shown.
    void startUp();
    // After startUp: places the lists on a file's folder and shows the file
    // as a click on it would, or places them on a folder. A path that is
    // missing or cannot be read is reported and changes nothing.
    void openFromCommandLine(const QString& path);

    // Controls; each one's object name is its member's name.
    QLabel* Label2 = nullptr;
    QLabel* Label3 = nullptr;
    QLabel* Label4 = nullptr;
    QLabel* Label5 = nullptr;
    DriveList* Drive1 = nullptr;
    DirList* Dir1 = nullptr;
    QComboBox* Combo1 = nullptr;
    FileList* File1 = nullptr;
    QGroupBox* Frame1 = nullptr;
    QToolButton* Command1 = nullptr;
    QToolButton* Command2 = nullptr;
    QToolButton* Command3 = nullptr;
    QPushButton* Command4 = nullptr;
    QToolButton* Command5 = nullptr;
    QToolButton* Command6 = nullptr;
    QToolButton* Command7 = nullptr;
    QToolButton* Command8 = nullptr;
    QToolButton* Command9 = nullptr;
    QToolButton* Command10 = nullptr;
    QToolButton* Command11 = nullptr;
    StretchImage* Image1 = nullptr;
    QWidget* PicFond = nullptr;
    PictureBox* Open = nullptr;
    QScrollBar* VScroll1 = nullptr;
    QScrollBar* HScroll1 = nullptr;
    MMControl* MMControl1 = nullptr;
    QTimer* Timer1 = nullptr;
    CommonDialog CMDialog1;

    // Menus and menu items.
    QMenu* Mnu_Fichier = nullptr;
    QMenu* Mnu_Edition = nullptr;
    QMenu* Mnu_Aide = nullptr;
    QAction* Mnu_SelectSource = nullptr;
    QAction* Mnu_AcquScanner = nullptr;
    QAction* Mnu_Imprimer = nullptr;
    QAction* Mnu_ConfIMP = nullptr;
    QAction* Mnu_Utilitaire = nullptr;
    QAction* Mnu_ConvertIMG = nullptr;
    QAction* Mnu_Copie = nullptr;
    QAction* Mnu_Coller = nullptr;
    QAction* Mnu_AfficheVignette = nullptr;
    QAction* Mnu_CDPlay = nullptr;
    QAction* Mnu_Apropos = nullptr;
    QAction* Mnu_Apropos2 = nullptr;
    QMenu* Mnu_Affichage = nullptr;
    QMenu* Mnu_Parametres = nullptr;
    QMenu* Mnu_TailleEcr = nullptr;
    QMenu* Mnu_CoulFond = nullptr;
    QAction* Mnu_AffichProp = nullptr;
    QAction* Mnu_AffichMaxi = nullptr;
    QAction* Mnu_CoulNoir = nullptr;
    QAction* Mnu_CoulBlanc = nullptr;
    QAction* Mnu_CoulGris = nullptr;
    QAction* Mnu_CoulBleu = nullptr;
    QAction* Mnu_CoulRouge = nullptr;
    QAction* Mnu_CoulVert = nullptr;
    // The picture menus and the list editor item.
    QAction* Mnu_EffaceImage = nullptr;
    QAction* Mnu_EnregSous = nullptr;
    QAction* Mnu_Pleinecran = nullptr;
    QAction* Mnu_Diapo = nullptr;
    QAction* Mnu_ListeSelect = nullptr;
    QAction* Mnu_Quitter = nullptr;

    // Handlers (public so other windows and tests can drive them).
    void Drive1_Change();
    void Dir1_Change();
    void Combo1_Change(const QString& text);
    void Combo1_Commit();
    void File1_Click(const QString& name);
    void CalculScroll();
    void Image1_DblClick();
    void Mnu_Affichage_Open();
    void MultiMedia();
    void Command4_Click();
    void MMControl1_Done(int notifyCode);
    void Mnu_Fichier_Open();
    void Mnu_Edition_Open();
    void EffaceImage();
    void PleinEcran();
    void EnregSous();
    void ConfIMP();
    // The printer chosen in the set-up dialog, used when printing.
    QPrinter& printer();

    // The windows this one can open; later windows register here.
    SecondaryWindows& windows() { return m_windows; }
    // Disables the items and buttons of windows that cannot be opened.
    void enforceAvailability();

    const Picture& picture() const { return m_picture; }
    // A picture is being loaded for display (the previous one stays on
    // screen until the new one's first rows replace it; a tiled one until
    // its overview or the tiles in view have come).
    bool isLoadingPicture() const { return m_loadTicket != 0 || m_incoming.isTiled(); }
    // The file of the picture on screen; empty when none is shown (after a
    // sound, another kind of file, a failed load, erasing).
    QString shownPicturePath() const;
    // The outer window size in twips used by the layout.
    QSizeF outerSizeTwips() const;
    void applyLayout(double W, double H);

protected:
    void resizeEvent(QResizeEvent* e) override;
    void changeEvent(QEvent* e) override;

private:
    void createControls();
    void createMenus();
    void createDisplayMenu();
    void wireCommands();
    void openWindow(SecondaryWindow id, QWidget* focusBack = nullptr);
    // What the slideshow windows read from this one.
    SlideshowHost slideshowHost();
    // Each window this one opens, with its menu item and button (if any).
    struct WindowCommand {
        QAction* action;
        QToolButton* button;
        SecondaryWindow id;
    };
    QList<WindowCommand> windowCommands() const;
    void placeTwips(QWidget* w, double l, double t, double wd, double h);
    void hidePictureControls();
    // What the media, animation and sound branches share: the picture and
    // its commands go away, and one more control (alsoHide).
    void leavePictureState(QWidget* alsoHide);
    void setPictureMenusEnabled(bool on);
    void showCommand6BySelection();
    void updateFileCount();
    void updateBusyPointer();
    void File1_Listed();
    void refreshListsAfterFileUtility();
    void setFullScreenSizeMode(int mode);
    void setFullScreenBackColor(int code);
    void dispatchPicture();
    // Loading the clicked picture through the picture service.
    void requestPicture(const QString& path);
    void cancelPictureLoad();
    void pictureRowsReady(PictureTicket ticket, const QImage& image, int rows);
    void pictureLoaded(const PictureResult& result);
    void showPictureArea();
    void showLastCompletePicture();
    void prefetchNeighbour();
    // Tiled pictures (lumenta_tiled.cpp): the one arriving waits, the
    // previous picture staying on screen, until its overview or the tiles
    // in view have come.
    void receiveTiled(const QString& path, const Picture& picture);
    void overviewArrived(const QString& path, const PictureResult& result);
    void showIncomingWhenReady();
    void dropIncoming();
    // Shows the picture arriving (tiled or not) as the one on screen.
    void showNewPicture(const QString& path, const Picture& picture);
    void refusePictureTooLarge(const QString& what);
    // A new folder or filter: the way through the list starts afresh and
    // what was decoded ahead for the old list is dropped.
    void restartTravel();
    // Commands that act on the picture shown: while another one is loading
    // they wait for it and run once it has arrived (true: put off).
    enum class AfterLoad { Nothing, Save, Copy, Print };
    bool putOffWhileLoading(AfterLoad command);
    void runPutOffCommand();
    void runCommand(AfterLoad command);
    void printShownPicture();

    SecondaryWindows m_windows;
    AppContext& m_ctx;
    AppState& m_st;
    Picture m_picture;
    PictureTicket m_loadTicket = 0; // the picture being loaded
    bool m_loadOnScreen = false;    // its first rows replaced the previous picture
    bool m_partialShown = false;    // rows of a load (this one or a superseded one) show
    bool m_areaShownBefore = false; // whether the picture area showed before them
    AfterLoad m_afterLoad = AfterLoad::Nothing;
    bool m_slideshowWhenListed = false; // asked for while the folder was being listed
    int m_lastPictureRow = -1;          // list row of the last picture clicked
    int m_direction = 1;                // which way the user moves through the list
    QString m_shownPath;                // file of the picture on screen
    TileFeed* m_feed = nullptr;         // tiles of the tiled picture on screen
    TileFeed* m_incomingFeed = nullptr; // tiles of the one arriving
    Picture m_incoming;                 // a tiled picture arriving
    QString m_incomingPath;
    QImage m_overview;                  // of the tiled picture on screen
    PictureTicket m_overviewTicket = 0; // the overview being decoded
    std::unique_ptr<QPrinter> m_printer;
    MainLayout m_layout;
    QHash<QString, QString> m_folderOfDrive; // last folder shown on each drive
    bool m_changingDrive = false;
};

} // namespace lumenta
