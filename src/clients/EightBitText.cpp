#include "EightBitText.h"

#include <algorithm>

namespace eightBit {

QByteArray cut(const QString& text, int maxBytes) {
    QByteArray bytes = text.toLocal8Bit();
    if (bytes.size() <= maxBytes) {
        return bytes;
    }
    // Every character takes at least one byte, so no more than maxBytes of them fit; then
    // drop whole characters from the end until the rest fits (a surrogate pair is one).
    qsizetype end = std::min<qsizetype>(text.size(), maxBytes + 1);
    if (end < text.size() && text.at(end).isLowSurrogate()) {
        --end;
    }
    while (end > 0 && bytes.size() > maxBytes) {
        --end;
        if (end > 0 && text.at(end).isLowSurrogate() && text.at(end - 1).isHighSurrogate()) {
            --end;
        }
        bytes = text.left(end).toLocal8Bit();
    }
    return bytes;
}

} // namespace eightBit
