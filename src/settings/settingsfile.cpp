#include "settingsfile.h"

#include <cerrno>
#include <cstring>
#include <optional>
#include <random>
#include <vector>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QFile>
#include <QStringDecoder>
#include <QStringEncoder>

#include "windows1252.h"

namespace
{
const QByteArray Utf8Bom("\xEF\xBB\xBF");
// Names of the temporaries beside the file: "." + file name + this + 6 characters.
const QByteArray TemporaryInfix(".new-");
constexpr int TemporarySuffixLength = 6;
// As the kernel's own limit on links followed in one path.
constexpr int MaxLinkHops = 40;

QString systemReason(int error)
{
    return QString::fromLocal8Bit(std::strerror(error));
}

QString display(const QByteArray &nativePath)
{
    return QFile::decodeName(nativePath);
}

// A carriage return would end the line early; a line feed alone does not, and
// stays, so a value read from a file goes back as it came.
QString oneLine(const QString &value)
{
    QString line = value;
    line.replace(QLatin1String("\r\n"), QLatin1String(" "));
    line.replace(u'\r', u' ');
    return line;
}

QString kindOf(mode_t mode)
{
    if (S_ISDIR(mode))
        return QStringLiteral("un dossier");
    if (S_ISFIFO(mode))
        return QStringLiteral("un tube nommé");
    if (S_ISSOCK(mode))
        return QStringLiteral("une socket");
    if (S_ISCHR(mode) || S_ISBLK(mode))
        return QStringLiteral("un périphérique");
    return QStringLiteral("un fichier spécial");
}

QString notRegularReason(const QByteArray &nativePath, mode_t mode)
{
    return QStringLiteral("%1 n'est pas un fichier ordinaire : c'est %2, il n'est ni lu ni remplacé")
        .arg(display(nativePath), kindOf(mode));
}

// The bytes of the lines, split where the format ends a line: at a carriage
// return, with the line feed after it if any. 0D is a carriage return in both
// encodings and never part of a UTF-8 sequence, so splitting comes first.
std::vector<QByteArrayView> splitLines(QByteArrayView bytes)
{
    std::vector<QByteArrayView> result;
    qsizetype start = 0;
    while (qsizetype(result.size()) < LineCount && start < bytes.size()) {
        const qsizetype cr = bytes.indexOf('\r', start);
        if (cr < 0) {
            result.push_back(bytes.sliced(start));
            break;
        }
        result.push_back(bytes.sliced(start, cr - start));
        start = cr + 1;
        if (start < bytes.size() && bytes[start] == '\n')
            ++start;
    }
    return result;
}

bool isUtf8(QByteArrayView bytes)
{
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::ConvertInitialBom);
    const QString text = utf8.decode(bytes);
    return !utf8.hasError();
}

// What the reader makes of these bytes in slots 0 to 11, or nothing when they
// do not hold twelve lines.
std::optional<std::array<QString, StoredLineCount>> storedLinesOf(const QByteArray &bytes)
{
    LignMatArray lines;
    decodeSettings(bytes, lines);
    std::array<QString, StoredLineCount> result;
    for (int i = 0; i < StoredLineCount; ++i) {
        if (lines[i].isEmpty() && i > 0)
            return std::nullopt; // never reached: fewer than twelve lines
        result[i] = lines[i].toText();
    }
    return result;
}

// Follows the chain of links from path to its end. Returns the final path;
// *exists tells whether anything is there, *info what (filled only then).
// False with errno set when the chain cannot be followed (a loop, a component
// that is no folder).
bool resolveLinks(const QByteArray &path, QByteArray *finalPath, bool *exists, struct stat *info)
{
    QByteArray current = path;
    for (int hop = 0; hop <= MaxLinkHops; ++hop) {
        struct stat st;
        if (::lstat(current.constData(), &st) != 0) {
            if (errno != ENOENT)
                return false;
            *finalPath = current;
            *exists = false;
            return true;
        }
        if (!S_ISLNK(st.st_mode)) {
            *finalPath = current;
            *exists = true;
            *info = st;
            return true;
        }
        QByteArray target(4096, '\0');
        const ssize_t length = ::readlink(current.constData(), target.data(), size_t(target.size()));
        if (length < 0)
            return false;
        if (length >= target.size()) {
            errno = ENAMETOOLONG;
            return false;
        }
        target.truncate(length);
        if (target.startsWith('/')) {
            current = target;
        } else {
            const qsizetype slash = current.lastIndexOf('/');
            current = (slash < 0 ? QByteArray() : current.left(slash + 1)) + target;
        }
    }
    errno = ELOOP;
    return false;
}

QByteArray directoryOf(const QByteArray &path)
{
    const qsizetype slash = path.lastIndexOf('/');
    if (slash < 0)
        return ".";
    return slash == 0 ? QByteArray("/") : path.left(slash);
}

QByteArray fileNameOf(const QByteArray &path)
{
    return path.mid(path.lastIndexOf('/') + 1);
}

QByteArray temporaryPrefix(const QByteArray &target)
{
    const QByteArray dir = directoryOf(target);
    return (dir == "/" ? dir : dir + '/') + '.' + fileNameOf(target) + TemporaryInfix;
}

QByteArray randomSuffix()
{
    static std::mt19937 generator{std::random_device{}()};
    static const char letters[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
    std::uniform_int_distribution<int> pick(0, int(sizeof letters) - 2);
    QByteArray suffix(TemporarySuffixLength, 'x');
    for (char &c : suffix)
        c = letters[pick(generator)];
    return suffix;
}

bool writeAll(int fd, const QByteArray &bytes)
{
    const char *data = bytes.constData();
    qsizetype left = bytes.size();
    while (left > 0) {
        const ssize_t written = ::write(fd, data, size_t(left));
        if (written < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        if (written == 0) {
            errno = ENOSPC;
            return false;
        }
        data += written;
        left -= written;
    }
    return true;
}

bool refusesNewFiles(int error)
{
    return error == EACCES || error == EPERM || error == EROFS;
}

void removeStaleTemporariesOf(const QByteArray &target)
{
    const QByteArray dir = directoryOf(target);
    const QByteArray prefix = '.' + fileNameOf(target) + TemporaryInfix;
    DIR *stream = ::opendir(dir.constData());
    if (!stream)
        return;
    const int dirFd = ::dirfd(stream);
    while (const dirent *entry = ::readdir(stream)) {
        const QByteArray name(entry->d_name);
        if (name.size() != prefix.size() + TemporarySuffixLength || !name.startsWith(prefix))
            continue;
        struct stat st;
        // Only plain files of ours: never a link, a folder or anything shared.
        if (::fstatat(dirFd, name.constData(), &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISREG(st.st_mode)
            && st.st_nlink == 1 && st.st_uid == ::geteuid())
            ::unlinkat(dirFd, name.constData(), 0);
    }
    ::closedir(stream);
}
}

QByteArray encodeSettings(const LignMatArray &lines)
{
    QString content;
    std::array<QString, StoredLineCount> expected;
    for (int i = 0; i < StoredLineCount; ++i) {
        expected[i] = oneLine(lines[i].toText());
        content += expected[i] + QLatin1String("\r\n");
    }
    // Windows-1252 where it gives every value back, else UTF-8 behind its mark.
    // The check is the reader itself: Windows-1252 bytes that start like the
    // mark, or a value that starts with U+FEFF, must not read differently.
    if (const std::optional<QByteArray> bytes = toWindows1252(content)) {
        if (storedLinesOf(*bytes) == expected)
            return *bytes;
    }
    QStringEncoder utf8(QStringEncoder::Utf8, QStringEncoder::Flag::Default);
    const QByteArray bytes = Utf8Bom + utf8.encode(content);
    if (!utf8.hasError() && storedLinesOf(bytes) == expected)
        return bytes;
    return QByteArray();
}

void decodeSettings(const QByteArray &bytes, LignMatArray &lines)
{
    // A byte-order mark means UTF-8 when the twelve stored lines behind it are
    // UTF-8. Otherwise the whole file reads as Windows-1252, which gives every
    // byte back as it was on the next save instead of replacing the bad ones.
    // Lines past the twelfth are never written back, so they do not decide.
    bool utf8 = false;
    std::vector<QByteArrayView> parts;
    if (bytes.startsWith(Utf8Bom)) {
        parts = splitLines(QByteArrayView(bytes).sliced(Utf8Bom.size()));
        utf8 = true;
        for (size_t i = 0; i < parts.size() && i < size_t(StoredLineCount); ++i) {
            if (!isUtf8(parts[i])) {
                utf8 = false;
                break;
            }
        }
    }
    if (!utf8)
        parts = splitLines(bytes);

    // Every line is decoded on its own, a U+FEFF at its start kept as a character.
    const QStringDecoder::Flags flags = QStringDecoder::Flag::Stateless | QStringDecoder::Flag::ConvertInitialBom;
    QStringDecoder decoder(QStringDecoder::Utf8, flags);
    for (size_t i = 0; i < parts.size(); ++i)
        lines[i] = LineValue::text(utf8 ? QString(decoder.decode(parts[i])) : fromWindows1252(parts[i]));
}

SettingsRead readSettingsFile(const QString &path, LignMatArray &lines)
{
    SettingsRead result;
    const QByteArray native = QFile::encodeName(path);
    // Opening some devices acts on them: what is plainly no file is not opened.
    QByteArray finalPath;
    bool exists = false;
    struct stat found{};
    if (resolveLinks(native, &finalPath, &exists, &found) && exists && !S_ISREG(found.st_mode)) {
        result.status = SettingsRead::Status::NotRegularFile;
        result.reason = notRegularReason(finalPath, found.st_mode);
        return result;
    }
    // Without blocking, and judged by what was opened: a pipe put in the
    // file's place since the look above must not hang the program.
    const int fd = ::open(native.constData(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) {
        result.status = errno == ENOENT ? SettingsRead::Status::Missing : SettingsRead::Status::Unreadable;
        result.reason = systemReason(errno);
        return result;
    }
    struct stat st;
    if (::fstat(fd, &st) != 0) {
        result.reason = systemReason(errno);
        ::close(fd);
        return result;
    }
    if (!S_ISREG(st.st_mode)) {
        ::close(fd);
        if (!resolveLinks(native, &finalPath, &exists, &found))
            finalPath = native;
        result.status = SettingsRead::Status::NotRegularFile;
        result.reason = notRegularReason(finalPath, st.st_mode);
        return result;
    }

    // One byte more than allowed tells an over-long file from one at the limit,
    // even if it grows while being read.
    QByteArray bytes;
    bytes.resize(MaxSettingsFileSize + 1);
    qsizetype filled = 0;
    while (filled < bytes.size()) {
        const ssize_t got = ::read(fd, bytes.data() + filled, size_t(bytes.size() - filled));
        if (got < 0) {
            if (errno == EINTR)
                continue;
            result.reason = systemReason(errno);
            ::close(fd);
            return result;
        }
        if (got == 0)
            break;
        filled += got;
    }
    ::close(fd);
    if (filled > MaxSettingsFileSize) {
        result.status = SettingsRead::Status::TooLarge;
        result.reason = QStringLiteral("le fichier dépasse la taille permise (1 Mio)");
        return result;
    }
    bytes.truncate(filled);
    decodeSettings(bytes, lines);
    result.status = SettingsRead::Status::Read;
    return result;
}

bool writeSettingsFile(const QString &path, const LignMatArray &lines, QString *error)
{
    const QByteArray bytes = encodeSettings(lines);
    if (bytes.isEmpty()) {
        *error = QStringLiteral("une valeur ne peut pas être enregistrée telle quelle");
        return false;
    }
    // What the reader would refuse is never written: the program could not start again.
    if (bytes.size() > MaxSettingsFileSize) {
        *error = QStringLiteral("les paramètres dépasseraient la taille permise du fichier (1 Mio) ; "
                                "raccourcissez le commentaire");
        return false;
    }
    return writeFileAtomically(path, bytes, error);
}

bool writeFileAtomically(const QString &path, const QByteArray &bytes, QString *error)
{
    QByteArray target;
    bool exists = false;
    struct stat old{};
    if (!resolveLinks(QFile::encodeName(path), &target, &exists, &old)) {
        *error = systemReason(errno);
        return false;
    }
    if (exists && !S_ISREG(old.st_mode)) {
        *error = notRegularReason(target, old.st_mode);
        return false;
    }
    // No write permission for anyone means "do not change", for root too.
    if (exists && ((old.st_mode & 0222) == 0 || ::access(target.constData(), W_OK) != 0)) {
        *error = QStringLiteral("le fichier %1 est en lecture seule : il n'est pas modifié").arg(display(target));
        return false;
    }

    const QByteArray dir = directoryOf(target);
    removeStaleTemporariesOf(target);
    auto folderRefuses = [&](int savedErrno) {
        *error = refusesNewFiles(savedErrno)
            ? QStringLiteral("le dossier %1 n'accepte pas de nouveau fichier (%2)")
                  .arg(display(dir), systemReason(savedErrno))
            : systemReason(savedErrno);
        return false;
    };

    // An unnamed file vanishes with the program wherever it is killed; it gets
    // a name only once it is complete. Some file systems cannot make one: a
    // named temporary then, which the next save or start removes if need be.
    QByteArray named;
    int fd = ::open(dir.constData(), O_TMPFILE | O_WRONLY | O_CLOEXEC, 0600);
    if (fd < 0) {
        if (errno != EOPNOTSUPP && errno != EISDIR && errno != EINVAL && errno != ENOENT)
            return folderRefuses(errno);
        for (int attempt = 0; fd < 0 && attempt < 100; ++attempt) {
            named = temporaryPrefix(target) + randomSuffix();
            fd = ::open(named.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0600);
            if (fd < 0 && errno != EEXIST)
                return folderRefuses(errno);
        }
        if (fd < 0)
            return folderRefuses(EEXIST);
    }

    auto fail = [&](int savedErrno) {
        if (fd >= 0)
            ::close(fd);
        if (!named.isEmpty())
            ::unlink(named.constData());
        *error = systemReason(savedErrno);
        return false;
    };

    // An existing file keeps its owner and mode; a new one is its owner's
    // alone whatever the umask, as it names the program to run.
    if (exists && (old.st_uid != ::geteuid() || old.st_gid != ::getegid())) {
        if (::fchown(fd, old.st_uid, old.st_gid) != 0 && old.st_uid != ::geteuid())
            return fail(errno);
    }
    if (::fchmod(fd, exists ? (old.st_mode & 07777) : 0600) != 0)
        return fail(errno);
    if (!writeAll(fd, bytes) || ::fsync(fd) != 0)
        return fail(errno);

    if (named.isEmpty()) {
        const QByteArray self = "/proc/self/fd/" + QByteArray::number(fd);
        // First run: the complete file takes its name in one step.
        if (!exists && ::linkat(AT_FDCWD, self.constData(), AT_FDCWD, target.constData(), AT_SYMLINK_FOLLOW) == 0) {
            ::close(fd);
            fd = -1;
        } else {
            for (int attempt = 0; attempt < 100; ++attempt) {
                named = temporaryPrefix(target) + randomSuffix();
                if (::linkat(AT_FDCWD, self.constData(), AT_FDCWD, named.constData(), AT_SYMLINK_FOLLOW) == 0)
                    break;
                const int saved = errno;
                named.clear();
                if (saved != EEXIST)
                    return fail(saved);
            }
            if (named.isEmpty())
                return fail(EEXIST);
        }
    }
    if (fd >= 0 && ::close(fd) != 0) {
        fd = -1;
        return fail(errno);
    }
    fd = -1;
    if (!named.isEmpty() && ::rename(named.constData(), target.constData()) != 0)
        return fail(errno);

    // Make the new name itself durable; the new file is in place either way.
    const int dirFd = ::open(dir.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dirFd >= 0) {
        ::fsync(dirFd);
        ::close(dirFd);
    }
    return true;
}

void removeStaleTemporaries(const QString &path)
{
    QByteArray target;
    bool exists = false;
    struct stat found{};
    if (resolveLinks(QFile::encodeName(path), &target, &exists, &found))
        removeStaleTemporariesOf(target);
}
