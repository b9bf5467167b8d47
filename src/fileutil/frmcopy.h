#pragma once
// The file utility ("Utilitaire"): a source and a target pane (drive,
// folder, files); copies, deletes and renames the selected source files,
// opens one by association or in the text editor, shows a picture full
// screen or previews it, creates and removes folders under the target.
//
// Copies and deletions ask about each conflicting or deleted file through
// the question dialog VbCopyM; copies run on a worker thread, one file at a
// time, and the window stays responsive (its commands wait meanwhile).
// Closing the window stops a running copy and removes its temporary file.
#include "app/appcontext.h"
#include "fileutil/filebatch.h"
#include "fileutil/vbcopym.h"
#include "picture/pictureloader.h"

#include <QDialog>
#include <QHash>
#include <QPointer>

class QGroupBox;
class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;

namespace lumenta {

class DirList;
class DriveList;
class FileList;
class PictureBox;
class StretchImage;

class FrmCopy : public QDialog {
    Q_OBJECT
public:
    // Both panes start on folder (the main window's folder).
    FrmCopy(AppContext& ctx, const QString& folder, QWidget* parent = nullptr);
    ~FrmCopy() override;

    // Controls, named as in the design.
    QGroupBox* Cadre1 = nullptr;
    QLabel* Etiquette1 = nullptr;
    QLabel* Etiquette2 = nullptr;
    QLabel* Etiquette3 = nullptr;
    DriveList* Lecteur1 = nullptr;
    DirList* Repertoire1 = nullptr;
    FileList* Fichier1 = nullptr;
    QGroupBox* Cadre2 = nullptr;
    QLabel* Etiquette6 = nullptr;
    QLabel* Etiquette5 = nullptr;
    QLabel* Etiquette4 = nullptr;
    DriveList* Lecteur2 = nullptr;
    DirList* Repertoire2 = nullptr;
    FileList* Fichier2 = nullptr;
    QLabel* Label1 = nullptr;
    QLineEdit* Text1 = nullptr;
    QLabel* Label2 = nullptr;
    QLabel* Etiquette7 = nullptr;
    QLabel* etiSelection = nullptr;
    QLabel* Etiquette9 = nullptr;
    QLabel* etiCopies = nullptr;
    StretchImage* Image1 = nullptr;
    PictureBox* Picture1 = nullptr;
    QPushButton* btcCopy = nullptr;
    QPushButton* Command1 = nullptr;
    QPushButton* Command2 = nullptr;
    QPushButton* Command6 = nullptr;
    QPushButton* Command5 = nullptr;
    QPushButton* Command3 = nullptr;
    QPushButton* Commande1 = nullptr;
    QPushButton* Command4 = nullptr;
    QPushButton* btcInfo = nullptr;
    QPushButton* btcCancel = nullptr;
    // How far the copy of a large file has gone (shown while it lasts).
    QProgressBar* progressCopy = nullptr;

    // Handlers (public so tests can drive them as a user would).
    void Lecteur_Change(bool source);
    void Repertoire1_Change();
    void Repertoire2_Change();
    void Text1_Change(const QString& text);
    void Text1_Commit();
    void Fichier1_Click(const QString& name);
    void btcCopy_Click();
    void Command1_Click();
    void Command2_Click();
    void Command6_Click();
    void Command5_Click();
    void Command3_Click();
    void Commande1_Click();
    void Command4_Click();
    void Image1_DblClick();
    void btcInfo_Click();

    // A copy or deletion is under way (its question may be open).
    bool isBusy() const { return m_batch != nullptr; }
    // The question dialog now open, if any.
    VbCopyM* openQuestion() const { return m_question; }
    // A preview is being read.
    bool isLoadingPreview() const { return !m_previewLoading.isEmpty(); }
    // How copies write (tests make them fail half way or slow them down).
    void setWriteFunction(WriteFunction write) { m_write = std::move(write); }

protected:
    void done(int r) override;

private:
    void createControls();
    void layoutControls();
    void setToolTips();
    void wire();

    int selectedCount() const;
    QStringList selectedNames() const;
    QString clickedName() const;
    QString sourceFolder() const;
    QString targetFolder() const;
    void updateFileCount();
    void updateSelection();
    void resetSelection();
    void hidePreview();
    void refreshSource();
    void refreshFolders();
    void loadPreview(const QString& path);
    void previewLoaded(const QString& path, const Picture& picture);

    void runBatch(FileBatch::Mode mode);
    void askQuestion(const QString& text);
    void batchFinished(FileBatch::Ending ending);
    void setBusy(bool busy);

    AppContext& m_ctx;
    AppState& m_st;
    QHash<QString, QString> m_folderOfDrive[2]; // source, target: last folder of each drive
    bool m_changingDrive = false;

    QString m_previewLoading; // file being read for the preview
    QString m_previewPath;    // file whose picture the preview holds
    Picture m_preview;
    bool m_previewAllowed = false; // hidden until the next click shows it

    FileBatch* m_batch = nullptr;
    QPointer<VbCopyM> m_question;
    WriteFunction m_write;
};

} // namespace lumenta
