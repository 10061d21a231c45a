#include "SocketPlatform.h"

#include <winsock2.h>

qint64 RaiseOpenFileLimit() {
    return -1; // sockets are handles on Windows: no per-process descriptor table to fill
}

void ShutdownSend(qintptr socket) {
    ::shutdown(static_cast<SOCKET>(socket), SD_SEND);
}

void ReleaseFreeMemory() {}
