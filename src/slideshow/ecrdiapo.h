#pragma once
// The slideshow screen: a full-screen window on the chosen colour that shows
// the pictures one after the other, automatically (timed, paused by a click
// or the space bar) or by hand with a small panel, with background music.
// A double click, Escape, Enter or closing the window ends the show.
//
// The automatic show's timing belongs to a SlideSequencer; the pictures come
// decoded at the size they are drawn from SlidePictures, the next one
// prepared while the current one is on the screen.
#include "app/appcontext.h"
#include "slideshow/slideframe.h"
#include "slideshow/slidesequencer.h"
#include "slideshow/slideshowhost.h"

#include <QDialog>

class QGroupBox;
class QLabel;
class QScrollBar;
class QToolButton;

namespace lumenta {

class MMControl;
class SlideMusic;
class SlidePictures;

class EcrDiapo : public QDialog {
    Q_OBJECT
public:
    EcrDiapo(AppContext& ctx, const SlideshowHost& host, QWidget* parent = nullptr);
    ~EcrDiapo() override;

    // Controls, named as in the design.
    QLabel* Label1 = nullptr; // caption
    QGroupBox* Frame1 = nullptr;
    QToolButton* Command1 = nullptr;
    QToolButton* Command2 = nullptr;
    QToolButton* Command3 = nullptr;
    QToolButton* Command4 = nullptr;
    QToolButton* Command5 = nullptr;
    QScrollBar* HScroll1 = nullptr;
    MMControl* MMControl1 = nullptr; // background music only

    // What the screen shows now (for tests).
    bool isStarted() const { return m_started; }
    bool isPictureShown() const { return !m_frame.isNull(); }
    QRect pictureRect() const;
    QString shownPath() const { return m_shownPath; }
    QColor backgroundColor() const { return m_back; }
    int showIndex() const { return m_showIndex; }
    const SlideSequencer& sequencer() const { return *m_sequencer; }

Q_SIGNALS:
    // A picture has been put on the screen (ok) or could not be (for tests
    // and benchmarks).
    void pictureDisplayed(const QString& path, bool ok);

protected:
    bool event(QEvent* e) override;
    void paintEvent(QPaintEvent* e) override;
    void keyPressEvent(QKeyEvent* e) override;
    void mousePressEvent(QMouseEvent* e) override;
    void mouseDoubleClickEvent(QMouseEvent* e) override;
    void closeEvent(QCloseEvent* e) override;
    void resizeEvent(QResizeEvent* e) override;

public Q_SLOTS:
    void reject() override;

private:
    void createControls();
    void begin();
    void startAutomatic();
    void startManual();
    void goTo(int index);
    void AffichManu(const QString& path, bool firstOfManual = false);
    void display(const QString& path, bool ok, const SlideFrame& frame);
    void placeCaption();
    void placeControls();
    void togglePause();
    void stopShow();
    void noPictures();
    void showFinished(SlideSequencer::Outcome outcome);
    QSize screenPixels() const;

    AppContext& m_ctx;
    SlideshowHost m_host;
    SlideSequencer* m_sequencer;
    SlidePictures* m_pictures;
    SlideMusic* m_music;
    QColor m_back;
    SlideFrame m_frame;
    QString m_shownPath;
    QString m_wantedPath;
    int m_showIndex = 0;
    bool m_started = false;
    bool m_ending = false;
    bool m_inMessage = false;
};

} // namespace lumenta
