#pragma once
// The full-screen window: one picture alone on a coloured background, sized
// by the display settings; a click or a character key closes it.
//
// An opener puts the picture's path into state.FullScreenFilePath and runs
// the window modally:
//     ctx.state.FullScreenFilePath = path;
//     FrmPlEcr::showPicture(ctx, this, alreadyDecodedImage); // image optional
// or, to keep hold of the window:
//     FrmPlEcr w(ctx, this);
//     w.setPreloaded(path, image);
//     w.exec();
#include "app/appcontext.h"
#include "fullscreen/fittedpicture.h"
#include "picture/pictureservice.h"

#include <QDateTime>
#include <QDialog>
#include <QElapsedTimer>
#include <QImage>
#include <QString>

namespace lumenta {

class FrmPlEcr : public QDialog {
    Q_OBJECT
public:
    explicit FrmPlEcr(AppContext& ctx, QWidget* parent = nullptr);
    ~FrmPlEcr() override;

    // Hands over a picture the opener has already decoded from path: the
    // window shows it without reading the file again, as long as the file
    // keeps the size and modification time it has now. (Without it, the
    // picture comes from the picture service, fitted to the screen on a
    // worker thread.)
    void setPreloaded(const QString& path, const QImage& image);

    // Runs the window modally on ctx.state.FullScreenFilePath and returns
    // when the user closes it. A non-null preloaded image is taken as that
    // file's picture.
    static int showPicture(AppContext& ctx, QWidget* parent, const QImage& preloaded = QImage());

    // What the window shows now (for openers and tests).
    QColor backgroundColor() const { return m_back; }
    bool isLoading() const;
    bool isPictureShown() const { return m_shown; } // Image1 visible
    QRect pictureRect() const; // where the picture is drawn (logical pixels), or empty
    const FittedPicture& picture() const { return m_picture; }

Q_SIGNALS:
    // An activation has ended: the picture is shown, or the failure has
    // been reported.
    void activationDone(bool pictureShown);

protected:
    bool event(QEvent* e) override;
    void paintEvent(QPaintEvent* e) override;
    void resizeEvent(QResizeEvent* e) override;
    void mousePressEvent(QMouseEvent* e) override;
    void showEvent(QShowEvent* e) override;
    void mouseReleaseEvent(QMouseEvent* e) override;
    void keyPressEvent(QKeyEvent* e) override;

private:
    struct FileStamp {
        bool exists = false;
        qint64 size = -1;
        QDateTime modified;
        bool operator==(const FileStamp&) const = default;
        static FileStamp of(const QString& path);
    };
    void activate();
    void startLoading(const QString& path, const FileStamp& stamp);
    void loadingFinished(const PictureResult& result, const FileStamp& stamp);
    void showPictureNow();
    void reportUnsupported();
    QSizeF deviceArea() const; // the window's area in device pixels

    AppContext& m_ctx;
    QColor m_back;
    FittedPicture m_picture;
    QString m_loadedPath; // file whose picture m_picture holds
    FileStamp m_loadedStamp;
    PictureTicket m_loading = 0;
    QString m_loadingPath;
    bool m_shown = false;
    bool m_pressed = false;        // a button went down on this window
    bool m_inMessage = false;      // our own message box is up
    bool m_skipActivation = false; // the next activation only returns from it
    QElapsedTimer m_opened;        // since the window was shown
};

} // namespace lumenta
