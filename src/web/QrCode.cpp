#include "QrCode.h"

#include <qrencode.h>

TQrMatrix QrEncode(const QByteArray& text) {
    TQrMatrix m;
    QRcode* code = QRcode_encodeString8bit(text.constData(), 0, QR_ECLEVEL_M);
    if (!code) return m;
    m.Size = code->width;
    m.Dark.resize(static_cast<size_t>(m.Size) * m.Size);
    for (size_t i = 0; i < m.Dark.size(); ++i)
        m.Dark[i] = code->data[i] & 1;
    QRcode_free(code);
    return m;
}
