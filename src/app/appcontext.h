#pragma once
// What every window is handed: the program-wide state, the dialogs and the
// picture service.
#include "app/appstate.h"
#include "dialogs/dialogs.h"

#include <memory>

namespace lumenta {

class PictureService; // picture/pictureservice.h

struct AppContext {
    AppState state;
    Dialogs* dialogs = nullptr; // never null once the application runs
    // Where windows get their pictures; owned here, made by the program at
    // start-up (and by test fixtures) before any window.
    std::shared_ptr<PictureService> pictureService;

    Dialogs& dlg() const { return *dialogs; }
    PictureService& pictures() const { return *pictureService; }
};

} // namespace lumenta
