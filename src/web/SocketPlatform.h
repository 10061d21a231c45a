#pragma once
#include <QtGlobal>

// The few things about sockets and the process that Qt does not offer.

// Raises the soft limit of open files to the hard limit, so a full paddock of
// phones does not run out of descriptors; the limit in force afterwards.
qint64 RaiseOpenFileLimit();

// Ends the sending direction of a connection once the answer is handed over: the
// client reads it and then end of data, while whatever it still sends is read
// and thrown away instead of resetting the connection under the answer.
void ShutdownSend(qintptr socket);

// Gives free heap memory back to the system after many connections have gone.
void ReleaseFreeMemory();
