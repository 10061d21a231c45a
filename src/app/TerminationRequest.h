#pragma once

// Lets the system's request to end the program (logout, shutdown, kill's
// default signal, Ctrl+C in a terminal) leave the event loop normally, so the
// main window's destruction still stores the settings and writes the backup.
// Call once after the application object exists.
void QuitOnTerminationRequest();
// Whether such a request is ending the program: closing asks nothing then.
bool TerminationRequested();
