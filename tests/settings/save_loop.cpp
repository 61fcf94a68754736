// Helper of save_kill.py: the program's own save and start-up clean-up,
// run from the command line so that a test can kill it at any moment.
//   save_loop once PATH a|b   one save of content a or b
//   save_loop loop PATH       saves b, a, b, a... until killed
//   save_loop start PATH      what start-up does before it reads the file

#include <cstdio>
#include <cstring>

#include "settingsfile.h"

namespace
{
LignMatArray content(bool b)
{
    LignMatArray lines;
    for (int i = 0; i < StoredLineCount; ++i)
        lines.atPosition(i) = LineValue::text(QString::number(i));
    // Sizes far apart, so that a torn or mixed file cannot pass for either.
    lines[Slot::Comment] = LineValue::text(QString(b ? 200000 : 3000, b ? u'b' : u'a'));
    return lines;
}
}

int main(int argc, char **argv)
{
    if (argc < 3)
        return 2;
    const QString path = QString::fromLocal8Bit(argv[2]);
    if (std::strcmp(argv[1], "once") == 0 && argc == 4)
        return writeSettingsFile(path, content(argv[3][0] == 'b')).ok() ? 0 : 1;
    if (std::strcmp(argv[1], "start") == 0) {
        removeStaleTemporaries(path);
        return 0;
    }
    if (std::strcmp(argv[1], "loop") == 0) {
        for (unsigned i = 0;; ++i) {
            const SettingsWrite written = writeSettingsFile(path, content(i % 2 == 0));
            if (!written.ok()) {
                std::fprintf(stderr, "%s\n", qPrintable(written.reason));
                return 1;
            }
        }
    }
    return 2;
}
