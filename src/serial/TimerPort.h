#pragma once
// The data line of a timing device: raw 8N1 at a baud rate, read on a thread of its
// own and cut into lines. Platform code lives behind this in a file of its own.

#include <QByteArray>
#include <QString>
#include <functional>
#include <memory>

class TTimerPort {
public:
    virtual ~TTimerPort() = default;
    // onLine runs on the reading thread with each line (ended by CR or LF, without it).
    // Returns an empty text when the port is open, else why it is not.
    virtual QString Open(const QString& path, int baud,
                         std::function<void(const QByteArray& line)> onLine) = 0;
    virtual void Close() = 0; // waits for the reading thread
    virtual bool IsOpen() const = 0;
    // Empty when every byte went out, else why not.
    virtual QString Write(const QByteArray& bytes) = 0;
};

std::unique_ptr<TTimerPort> NewTimerPort();
