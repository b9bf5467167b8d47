#pragma once
// A main window on a fresh state, with scripted dialogs, in a temporary
// program folder.
#include "app/appcontext.h"
#include "support/scripteddialogs.h"
#include "viewer/lumenta.h"
#include "widgets/mmcontrol.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <memory>

class ViewerTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    // Builds and shows the window (after the test prepared the folder or
    // the settings file).
    void start();
    // Copies a fixture into the browsing folder and lists it.
    QString addFixture(const QString& relative, const QString& newName = QString());
    // Clicks a listed file by name, as the user would, and waits (bounded)
    // until a picture it loads has arrived or failed, unless told not to.
    void click(const QString& name, bool wait = true);
    // Waits (bounded) until no picture is loading; false on timeout.
    bool waitForPicture();
    QString settingsFile() const;
    // Writes a settings file that keeps `folder` as the search folder and
    // makes it the browsing folder (not created here).
    void keepSearchFolder(const QString& folder);

    QTemporaryDir appDir;
    QString browse; // folder the lists start on
    lumenta::AppContext ctx;
    lumenta::ScriptedDialogs dialogs;
    std::unique_ptr<lumenta::Lumenta> w;
};
