#pragma once
// The system calls of the POSIX serial backend behind one small interface, so
// that a test can play a driver (line changes during a dispatch, counters)
// without hardware.
#include <memory>
#include <poll.h>
#include <pthread.h>
#include <sys/types.h>
#include <termios.h>

struct serial_icounter_struct;

// B9600 and its kin for a baud rate; 0 for a rate without a constant of its own.
speed_t PosixSpeedConstant(int rate);

class TPosixIo {
public:
    virtual ~TPosixIo() = default;
    virtual int Open(const char* path, int flags);
    virtual int Close(int fd);
    virtual int GetAttr(int fd, termios* t);
    virtual int SetAttr(int fd, const termios* t);
    virtual bool SetCustomBaudRate(int fd, int rate);
    virtual int Exclusive(int fd, bool on);            // TIOCEXCL / TIOCNXCL
    virtual int ModemBits(int fd, int* bits);          // TIOCMGET
    virtual int SetModemBits(int fd, int bits, bool on); // TIOCMBIS / TIOCMBIC
    virtual int Counters(int fd, serial_icounter_struct* counts); // TIOCGICOUNT
    // Blocks until one of the lines changes after the call (TIOCMIWAIT); -1 with
    // EINTR when Wake reaches the waiting thread.
    virtual int WaitModemChange(int fd, int lines);
    virtual int InputQueue(int fd, int* count); // FIONREAD
    virtual int FlushInput(int fd);
    virtual int Poll(pollfd* fds, nfds_t count, int timeoutMs);
    virtual ssize_t Read(int fd, void* buffer, size_t size);
    virtual bool IsCharacterDevice(int fd);
    // Breaks a WaitModemChange of the given thread.
    virtual void Wake(pthread_t thread);

    static std::shared_ptr<TPosixIo> System();
};
