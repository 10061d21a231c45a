#pragma once
#include <QByteArray>

// Playing time of a RIFF/WAVE file in milliseconds from its first bytes (the header)
// and the whole file's size (-1: the bytes are the whole file); -1 when it is not a
// wave file whose length can be told.
int WaveDurationMs(const QByteArray& head, qint64 fileSize = -1);
