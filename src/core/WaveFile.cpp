#include "WaveFile.h"

#include <QtEndian>

namespace {

quint32 U32(const QByteArray& b, qsizetype at) {
    return qFromLittleEndian<quint32>(b.constData() + at);
}

} // namespace

int WaveDurationMs(const QByteArray& bytes, qint64 fileSize) {
    if (fileSize < 0) fileSize = bytes.size();
    if (bytes.size() < 12 || !bytes.startsWith("RIFF") || bytes.mid(8, 4) != "WAVE") return -1;
    quint32 byteRate = 0;
    qsizetype at = 12;
    while (at + 8 <= bytes.size()) {
        const QByteArray id = bytes.mid(at, 4);
        const quint32 size = U32(bytes, at + 4);
        if (id == "fmt ") {
            if (size < 16 || at + 8 + 16 > bytes.size()) return -1;
            byteRate = U32(bytes, at + 8 + 8);
        } else if (id == "data") {
            if (byteRate == 0) return -1;
            // A header that claims more than the file holds: only what is there plays.
            const quint64 present =
                qMin<quint64>(size, quint64(qMax<qint64>(0, fileSize - at - 8)));
            return static_cast<int>(qMin<quint64>(present * 1000 / byteRate, 24 * 3600 * 1000));
        }
        at += 8 + qsizetype(size) + (size & 1); // chunks are padded to even sizes
    }
    return -1;
}
