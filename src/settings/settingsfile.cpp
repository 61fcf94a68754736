#include "settingsfile.h"

#include <cerrno>
#include <cstring>
#include <optional>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QFile>
#include <QFileInfo>
#include <QStringDecoder>
#include <QStringEncoder>

namespace
{
const QByteArray Utf8Bom("\xEF\xBB\xBF");
const char *const Windows1252 = "windows-1252";

QString systemReason(int error)
{
    return QString::fromLocal8Bit(std::strerror(error));
}

// The file holds one line per value, so a line break typed into a value
// (the multi-line comment) is kept as one space.
QString oneLine(const QString &value)
{
    QString line = value;
    line.replace(QLatin1String("\r\n"), QLatin1String(" "));
    line.replace(u'\r', u' ');
    line.replace(u'\n', u' ');
    return line;
}

// Windows-1252 bytes of text, or nothing when a character has no byte there
// (decided by the round trip, so nothing is ever silently replaced).
std::optional<QByteArray> toWindows1252(const QString &text)
{
    QStringEncoder encoder(Windows1252);
    QStringDecoder decoder(Windows1252);
    if (!encoder.isValid() || !decoder.isValid())
        return std::nullopt;
    const QByteArray bytes = encoder.encode(text);
    if (encoder.hasError())
        return std::nullopt;
    const QString back = decoder.decode(bytes);
    if (decoder.hasError() || back != text)
        return std::nullopt;
    return bytes;
}
}

QByteArray encodeSettings(const LignMatArray &lines)
{
    QString content;
    for (int i = 0; i < StoredLineCount; ++i)
        content += oneLine(lines[i].toText()) + QLatin1String("\r\n");
    if (const auto bytes = toWindows1252(content))
        return *bytes;
    return Utf8Bom + content.toUtf8();
}

void decodeSettings(const QByteArray &bytes, LignMatArray &lines)
{
    QString content;
    // A byte-order mark means UTF-8, unless the bytes are not valid UTF-8: then
    // the whole file reads as Windows-1252, which gives every byte back as it
    // was on the next save instead of replacing the bad ones.
    bool decoded = false;
    if (bytes.startsWith(Utf8Bom)) {
        QStringDecoder utf8(QStringDecoder::Utf8);
        content = utf8.decode(bytes.mid(Utf8Bom.size()));
        decoded = !utf8.hasError();
    }
    if (!decoded) {
        QStringDecoder decoder(Windows1252);
        content = decoder.isValid() ? decoder.decode(bytes) : QString::fromLatin1(bytes);
    }

    // A line ends at a carriage return, with or without a line feed after it;
    // a line feed alone is part of the line. The last line may lack its ending.
    int index = 0;
    qsizetype start = 0;
    while (index < LineCount && start < content.size()) {
        const qsizetype cr = content.indexOf(u'\r', start);
        if (cr < 0) {
            lines[index++] = LineValue::text(content.mid(start));
            break;
        }
        lines[index++] = LineValue::text(content.mid(start, cr - start));
        start = cr + 1;
        if (start < content.size() && content[start] == u'\n')
            ++start;
    }
}

bool readSettingsFile(const QString &path, LignMatArray &lines, QString *error)
{
    const QFileInfo info(path);
    if (!info.exists()) {
        *error = systemReason(ENOENT);
        return false;
    }
    if (!info.isFile()) {
        *error = QStringLiteral("ce n'est pas un fichier ordinaire");
        return false;
    }
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        *error = file.errorString();
        return false;
    }
    // One byte more than allowed tells an over-long file from one at the limit,
    // even if it grows while being read.
    const QByteArray bytes = file.read(MaxSettingsFileSize + 1);
    if (file.error() != QFileDevice::NoError) {
        *error = file.errorString();
        return false;
    }
    if (bytes.size() > MaxSettingsFileSize) {
        *error = QStringLiteral("le fichier dépasse la taille permise (1 Mio)");
        return false;
    }
    decodeSettings(bytes, lines);
    return true;
}

bool writeSettingsFile(const QString &path, const LignMatArray &lines, QString *error)
{
    return writeFileAtomically(path, encodeSettings(lines), error);
}

bool writeFileAtomically(const QString &path, const QByteArray &bytes, QString *error)
{
    // A settings file kept as a link elsewhere stays a link: the target is replaced.
    QString target = path;
    const QFileInfo linkInfo(path);
    if (linkInfo.isSymLink())
        target = linkInfo.symLinkTarget();

    const QFileInfo info(target);
    QByteArray tempName = QFile::encodeName(info.absolutePath() + QLatin1String("/.") + info.fileName() + QLatin1String(".XXXXXX"));
    const int fd = mkostemp(tempName.data(), O_CLOEXEC);
    if (fd < 0) {
        *error = systemReason(errno);
        return false;
    }

    auto fail = [&](int savedErrno, bool isOpen) {
        if (isOpen)
            ::close(fd);
        ::unlink(tempName.constData());
        *error = systemReason(savedErrno);
        return false;
    };

    // Keep the permissions of the file being replaced; a new file gets the
    // usual ones rather than mkostemp's private 0600.
    struct stat old;
    mode_t mode;
    if (::stat(QFile::encodeName(target).constData(), &old) == 0 && S_ISREG(old.st_mode)) {
        mode = old.st_mode & 07777;
    } else {
        const mode_t mask = ::umask(0);
        ::umask(mask);
        mode = 0666 & ~mask;
    }
    if (::fchmod(fd, mode) != 0)
        return fail(errno, true);

    const char *data = bytes.constData();
    qsizetype left = bytes.size();
    while (left > 0) {
        const ssize_t written = ::write(fd, data, size_t(left));
        if (written < 0) {
            if (errno == EINTR)
                continue;
            return fail(errno, true);
        }
        if (written == 0)
            return fail(ENOSPC, true);
        data += written;
        left -= written;
    }
    if (::fsync(fd) != 0)
        return fail(errno, true);
    if (::close(fd) != 0)
        return fail(errno, false);
    if (::rename(tempName.constData(), QFile::encodeName(target).constData()) != 0)
        return fail(errno, false);

    // Make the rename itself durable; the new file is in place either way.
    const int dirFd = ::open(QFile::encodeName(info.absolutePath()).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dirFd >= 0) {
        ::fsync(dirFd);
        ::close(dirFd);
    }
    return true;
}
