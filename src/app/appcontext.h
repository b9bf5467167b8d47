#pragma once
// What every window is handed: the program-wide state and the dialogs.
#include "app/appstate.h"
#include "dialogs/dialogs.h"

#include <memory>

namespace lumenta {

struct AppContext {
    AppState state;
    Dialogs* dialogs = nullptr; // never null once the application runs

    Dialogs& dlg() const { return *dialogs; }
};

} // namespace lumenta
