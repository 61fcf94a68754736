// Any bytes as a settings file: decoding never fails or reads out of bounds,
// a save of what was read gives every value back, and a second save writes
// the same bytes as the first.

#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "settingsfile.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char *>(data), qsizetype(size));
    LignMatArray lines;
    decodeSettings(bytes, lines);

    const QByteArray written = encodeSettings(lines);
    if (written.isEmpty())
        std::abort(); // every value read must be storable
    LignMatArray back;
    decodeSettings(written, back);
    for (int i = 0; i < StoredLineCount; ++i) {
        if (back.atPosition(i).toText() != lines.atPosition(i).toText())
            std::abort();
    }
    if (encodeSettings(back) != written)
        std::abort();
    return 0;
}
