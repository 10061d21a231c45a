#pragma once

// Lets the system's request to end the program (logout, shutdown, kill's
// default signal, Ctrl+C in a terminal) leave the event loop normally, so the
// main window's destruction still stores the settings and writes the backup.
// Call once after the application object exists.
void QuitOnTerminationRequest();

// True once such a request came: the program is ending, questions get no answer
// and nothing the user would have to confirm may be decided by that.
bool TerminationRequested();
