#pragma once

namespace tarvelo {

// Creates the program's windows in their order: the login window first (the one shown; closing
// it ends the program), then the main window, the password change, registration and password
// reset windows, the about box and the user administration window, all hidden. Each is stored
// in its global reference. Throws when a window cannot be built (the service configuration is
// missing, for one).
void createWindows();

// Deletes what createWindows made and is still there, after the message loop.
void destroyWindows();

}  // namespace tarvelo
