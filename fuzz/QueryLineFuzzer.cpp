// The ClientQuery line codec on arbitrary bytes: parsing never fails, and escaping any value
// gives one that unescapes to itself and holds nothing that splits a line, item or pair.

#include "FuzzSupport.h"
#include "clients/QueryLine.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QByteArrayView bytes(data, qsizetype(size));
    const query::Line line = query::parse(bytes);
    for (const query::Item& item : line.items) {
        for (const auto& [key, value] : item.pairs) {
            if (key.contains(' ') || key.contains('|')) {
                fuzz::violated("a key holds a separator");
            }
            (void)item.number(key);
        }
    }
    const QByteArray escaped = query::escape(bytes);
    if (escaped.contains(' ') || escaped.contains('|') || escaped.contains('\n') ||
        escaped.contains('\r')) {
        fuzz::violated("an escaped value holds a separator");
    }
    if (query::unescape(escaped) != bytes) {
        fuzz::violated("unescape(escape(x)) is not x");
    }
    return 0;
}
