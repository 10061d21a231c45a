#pragma once
#include <QByteArray>
#include <vector>

// A QR code as a square of modules, true for dark. Empty when the text does not fit.
struct TQrMatrix {
    int Size = 0;
    std::vector<bool> Dark;
    bool At(int x, int y) const { return Dark[static_cast<size_t>(y) * Size + x]; }
};

TQrMatrix QrEncode(const QByteArray& text);
