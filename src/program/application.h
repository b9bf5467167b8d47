#pragma once

namespace lumenta {

// Sets up the application (French translations, state, dialogs), shows the
// main window and runs the event loop.
int runApplication(int argc, char** argv);

} // namespace lumenta
