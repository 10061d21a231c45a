#include "SocketPlatform.h"

#include <sys/resource.h>
#include <sys/socket.h>
#if defined(__GLIBC__)
#include <malloc.h>
#endif

qint64 RaiseOpenFileLimit() {
    rlimit l{};
    if (getrlimit(RLIMIT_NOFILE, &l) != 0) return -1;
    if (l.rlim_cur < l.rlim_max) {
        rlimit raised = l;
        raised.rlim_cur = l.rlim_max;
        if (setrlimit(RLIMIT_NOFILE, &raised) == 0) l = raised;
    }
    return l.rlim_cur == RLIM_INFINITY ? -1 : static_cast<qint64>(l.rlim_cur);
}

void ShutdownSend(qintptr socket) {
    ::shutdown(static_cast<int>(socket), SHUT_WR);
}

void ReleaseFreeMemory() {
#if defined(__GLIBC__)
    malloc_trim(0);
#endif
}
