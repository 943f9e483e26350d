#pragma once
// Closing the modal boxes and dialogs that are open, as an end of the program from
// outside needs: each one closed answers as cancelled, and the code that waited on
// it goes on. (Kept apart: the application header's X11 names clash with core's.)

namespace mainwindow {

// Closes the open modal windows, the topmost first, at most `bound` of them; a window
// that refuses to close ends the run. Returns the number closed.
int CloseModalWindows(int bound = 16);

}  // namespace mainwindow
