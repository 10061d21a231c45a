// Bit rates without a termios constant go through termios2 (Linux). This file
// stays apart because <asm/termbits.h> and <termios.h> cannot meet.
#include <asm/termbits.h>
#include <sys/ioctl.h>

bool SetCustomBaudRate(int fd, int rate) {
    struct termios2 t2 {};
    if (ioctl(fd, TCGETS2, &t2) != 0) return false;
    t2.c_cflag &= ~CBAUD;
    t2.c_cflag |= BOTHER;
    t2.c_ispeed = t2.c_ospeed = static_cast<speed_t>(rate);
    return ioctl(fd, TCSETS2, &t2) == 0;
}
