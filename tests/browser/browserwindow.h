#pragma once
// The browser window on a folder the test fills, with scripted dialogs and
// a thumbnail cache of its own.
#include "browser/frmpicviewer.h"
#include "picture/pictureservice.h"
#include "support/listutil.h"
#include "support/scripteddialogs.h"
#include "support/testutil.h"
#include "widgets/browsewidgets.h"
#include "widgets/picturewidgets.h"

#include <QComboBox>
#include <QDir>
#include <QFileInfo>
#include <QImage>
#include <QLabel>
#include <QScrollBar>
#include <QTest>
#include <QToolButton>
#include <gtest/gtest.h>

class BrowserWindowTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(photos.isValid() && cache.isValid());
        qputenv("XDG_CACHE_HOME", QFile::encodeName(cache.path()));
        ctx.dialogs = &dialogs;
        ctx.pictureService = std::make_shared<lumenta::PictureService>();
    }
    // Shows the window on folder (the photos when empty) once it is idle.
    void open(const QString& folder = QString()) {
        w = std::make_unique<lumenta::FrmPicViewer>(ctx, folder.isEmpty() ? photos.path() : folder);
        w->show();
        waitIdle();
    }
    void waitIdle() {
        ASSERT_TRUE(testutil::waitUntil([&] { return w->isIdle(); }, 20000));
    }
    QString path(const QString& relative) const { return photos.filePath(relative); }
    // Saves a filled picture (format from the name) at a path under photos.
    void savePicture(const QString& relative, QSize size = {24, 16}, QColor colour = Qt::darkCyan) {
        QImage img(size, QImage::Format_RGB32);
        img.fill(colour);
        ASSERT_TRUE(QDir().mkpath(QFileInfo(path(relative)).path()));
        ASSERT_TRUE(img.save(path(relative))) << relative.toStdString();
    }
    void choosePattern(const QString& pattern) {
        w->cboPattern->setCurrentText(pattern);
        w->cboPattern_Click(pattern);
        waitIdle();
    }
    void clickFile(const QString& name) {
        ASSERT_TRUE(testutil::clickName(w->FilList, name)) << name.toStdString();
        waitIdle();
    }
    void chooseResize(const QString& entry) {
        const int i = w->cboResize->findText(entry);
        w->cboResize->setCurrentIndex(i);
        Q_EMIT w->cboResize->activated(i);
    }

    QTemporaryDir photos, cache;
    lumenta::AppContext ctx;
    lumenta::ScriptedDialogs dialogs;
    std::unique_ptr<lumenta::FrmPicViewer> w;
};
