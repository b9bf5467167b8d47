#pragma once
// "Liste de sélection des images pour le diaporama avec liste": the editor of
// the selection list. The files of the main window's folder on the left, the
// list on the right, a preview of the picture last clicked below. Every edit
// is validated into the program-wide list at once; the list can be saved to
// and opened from .VSI files.
#include "app/appcontext.h"
#include "slideshow/slideshowhost.h"

#include <QDialog>

#include <memory>

class QAction;
class QGroupBox;
class QListWidget;
class QMenu;
class QMenuBar;
class QPushButton;

namespace lumenta {

class CommonDialog;
struct Picture;
class FileList;
class StretchImage;

class FrmListe : public QDialog {
    Q_OBJECT
public:
    FrmListe(AppContext& ctx, const SlideshowHost& host, QWidget* parent = nullptr);
    ~FrmListe() override;

    // Preview height in pixels; the width follows the picture's ratio.
    static constexpr int kPreviewHeight = 150;

    // Controls, named as in the design.
    QMenuBar* menuBar = nullptr;
    QMenu* Mnu_Fichier = nullptr;
    QAction* Mnu_OuvreListe = nullptr;
    QAction* Mnu_EnregListe = nullptr;
    QAction* sep1 = nullptr;
    QAction* Mnu_Valide = nullptr;
    QAction* Mnu_FermeListe = nullptr;
    QGroupBox* Frame2 = nullptr;
    FileList* File1 = nullptr;
    QGroupBox* Frame1 = nullptr;
    QListWidget* ListeImg = nullptr;
    StretchImage* Image1 = nullptr; // the preview
    QGroupBox* Frame3 = nullptr;
    QPushButton* Command1 = nullptr;
    QPushButton* Command2 = nullptr;
    QPushButton* Command3 = nullptr;
    QPushButton* Command4 = nullptr;
    QPushButton* Command5 = nullptr;
    QPushButton* Command6 = nullptr;

    // Handlers (public so tests can drive them).
    void ValideLst();
    void AffichImg(const QString& path);
    void File1_Click(const QString& name);
    void File1_DblClick();
    void File1_Dropped();
    void ListeImg_Click();
    void ListeImg_DblClick();
    void Image1_DblClick();
    void Command1_Click();
    void Command2_Click();
    void Command3_Click();
    void Command4_Click();
    void Mnu_Fichier_Open();
    void Mnu_OuvreListe_Click();
    void Mnu_EnregListe_Click();

    // The entries of ListeImg, in order.
    QStringList listItems() const;
    // The file the preview shows, or is loading.
    QString previewPath() const { return m_previewShown; }

Q_SIGNALS:
    // The preview has been replaced (or kept, when the file is no picture).
    void previewDone(const QString& path, bool ok);

protected:
    bool event(QEvent* e) override;
    bool eventFilter(QObject* watched, QEvent* e) override;

public Q_SLOTS:
    void done(int result) override;

private:
    void createControls();
    void createMenu();
    void wire();
    void fillFromSelection();
    void addEntry(const QString& path);
    void showPreview(const QString& path, const Picture& picture);
    CommonDialog& fileDialog();
    bool askListFile(const QString& title, bool save);

    AppContext& m_ctx;
    SlideshowHost m_host;
    std::unique_ptr<CommonDialog> m_ownDialog;
    QString m_previewShown;
};

} // namespace lumenta
