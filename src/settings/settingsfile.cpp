#include "settingsfile.h"

#include <cerrno>
#include <cstring>
#include <optional>
#include <random>
#include <utility>
#include <vector>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QFile>
#include <QStringDecoder>
#include <QStringEncoder>

#include "windows1252.h"

namespace
{

// The reasons given for a file that cannot be used, for the translations.
struct SettingsFile
{
    Q_DECLARE_TR_FUNCTIONS(SettingsFile)
};

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
        return SettingsFile::tr("un dossier");
    if (S_ISFIFO(mode))
        return SettingsFile::tr("un tube nommé");
    if (S_ISSOCK(mode))
        return SettingsFile::tr("une socket");
    if (S_ISCHR(mode) || S_ISBLK(mode))
        return SettingsFile::tr("un périphérique");
    return SettingsFile::tr("un fichier spécial");
}

QString notRegularReason(const QByteArray &nativePath, mode_t mode)
{
    return SettingsFile::tr("%1 n'est pas un fichier ordinaire : c'est %2, il n'est ni lu ni remplacé")
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
        if (lines.atPosition(i).isEmpty() && i > 0)
            return std::nullopt; // never reached: fewer than twelve lines
        result[i] = lines.atPosition(i).toText();
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

// Reads until the end of the file or until bytes is full. The count read,
// or -1 with errno set.
qsizetype readInto(int fd, QByteArray &bytes)
{
    qsizetype filled = 0;
    while (filled < bytes.size()) {
        const ssize_t got = ::read(fd, bytes.data() + filled, size_t(bytes.size() - filled));
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0)
            return -1;
        if (got == 0)
            break;
        filled += got;
    }
    return filled;
}

// The steps of a save. Each answers Written when it went through.

SettingsWrite stepDone()
{
    return {SettingsWrite::Status::Written, QString()};
}

SettingsWrite systemFailure(int error)
{
    return {SettingsWrite::Status::Failed, systemReason(error)};
}

// What a save replaces: the end of the chain of links, and what is there.
struct SaveTarget
{
    QByteArray path;
    bool exists = false;
    struct stat old{};
};

// The new file while it is written: unnamed until it is complete where the
// file system allows it. Closed, and removed if named, unless published.
struct Temporary
{
    int fd = -1;
    QByteArray name; // empty while unnamed
    Temporary() = default;
    Temporary(const Temporary &) = delete;
    Temporary &operator=(const Temporary &) = delete;
    ~Temporary()
    {
        if (fd >= 0)
            ::close(fd);
        if (!name.isEmpty())
            ::unlink(name.constData());
    }
};

// Follows the links and refuses what may not be replaced: anything but a
// regular file, and a read-only file.
SettingsWrite resolveTarget(const QString &path, SaveTarget *target)
{
    if (!resolveLinks(QFile::encodeName(path), &target->path, &target->exists, &target->old))
        return systemFailure(errno);
    if (!target->exists)
        return stepDone();
    if (!S_ISREG(target->old.st_mode))
        return {SettingsWrite::Status::NotRegularFile, notRegularReason(target->path, target->old.st_mode)};
    // No write permission for anyone means "do not change", for root too.
    if ((target->old.st_mode & 0222) == 0 || ::access(target->path.constData(), W_OK) != 0)
        return {SettingsWrite::Status::ReadOnly,
                SettingsFile::tr("le fichier %1 est en lecture seule : il n'est pas modifié").arg(display(target->path))};
    return stepDone();
}

SettingsWrite folderRefuses(const QByteArray &dir, int error)
{
    if (!refusesNewFiles(error))
        return systemFailure(error);
    const QString reason = SettingsFile::tr("le dossier %1 n'accepte pas de nouveau fichier (%2)");
    return {SettingsWrite::Status::FolderRefuses, reason.arg(display(dir), systemReason(error))};
}

QByteArray procPath(int fd)
{
    return "/proc/self/fd/" + QByteArray::number(fd);
}

// Links the unnamed file at name, or creates a named one there when there is
// no file yet.
bool makeName(Temporary *temporary, const QByteArray &name)
{
    if (temporary->fd >= 0) {
        return ::linkat(AT_FDCWD, procPath(temporary->fd).constData(), AT_FDCWD, name.constData(), AT_SYMLINK_FOLLOW)
            == 0;
    }
    temporary->fd = ::open(name.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0600);
    return temporary->fd >= 0;
}

// Gives the new file a fresh name beside the target. 0, or the error; the
// name is kept only once it is ours, so a failure never removes another file.
int takeTemporaryName(const SaveTarget &target, Temporary *temporary)
{
    for (int attempt = 0; attempt < 100; ++attempt) {
        const QByteArray name = temporaryPrefix(target.path) + randomSuffix();
        if (makeName(temporary, name)) {
            temporary->name = name;
            return 0;
        }
        if (errno != EEXIST)
            return errno;
    }
    return EEXIST;
}

// An unnamed file vanishes with the program wherever it is killed; it gets a
// name only once it is complete. Some file systems cannot make one: a named
// temporary then, which the next save or start removes if need be.
SettingsWrite openTemporary(const SaveTarget &target, Temporary *temporary)
{
    const QByteArray dir = directoryOf(target.path);
    temporary->fd = ::open(dir.constData(), O_TMPFILE | O_WRONLY | O_CLOEXEC, 0600);
    if (temporary->fd >= 0)
        return stepDone();
    if (errno != EOPNOTSUPP && errno != EISDIR && errno != EINVAL && errno != ENOENT)
        return folderRefuses(dir, errno);
    const int error = takeTemporaryName(target, temporary);
    return error == 0 ? stepDone() : folderRefuses(dir, error);
}

// An existing file keeps its owner and mode; a new one is its owner's alone
// whatever the umask, as it names the program to run.
SettingsWrite matchOwnerAndMode(const SaveTarget &target, int fd)
{
    const struct stat &old = target.old;
    const bool otherOwner = target.exists && (old.st_uid != ::geteuid() || old.st_gid != ::getegid());
    if (otherOwner && ::fchown(fd, old.st_uid, old.st_gid) != 0 && old.st_uid != ::geteuid())
        return systemFailure(errno);
    if (::fchmod(fd, target.exists ? (old.st_mode & 07777) : 0600) != 0)
        return systemFailure(errno);
    return stepDone();
}

SettingsWrite writeAndSync(int fd, const QByteArray &bytes)
{
    if (!writeAll(fd, bytes) || ::fsync(fd) != 0)
        return systemFailure(errno);
    return stepDone();
}

// Makes the new name itself durable; the new file is in place either way.
void syncFolder(const QByteArray &dir)
{
    const int dirFd = ::open(dir.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dirFd >= 0) {
        ::fsync(dirFd);
        ::close(dirFd);
    }
}

// Puts the complete file in the target's place in one step: a first run links
// it there; otherwise it takes a temporary name and is renamed over the old file.
SettingsWrite publish(const SaveTarget &target, Temporary *temporary)
{
    const bool unnamed = temporary->name.isEmpty();
    if (unnamed && !target.exists
        && ::linkat(AT_FDCWD, procPath(temporary->fd).constData(), AT_FDCWD, target.path.constData(),
                    AT_SYMLINK_FOLLOW) == 0) {
        ::close(std::exchange(temporary->fd, -1));
        syncFolder(directoryOf(target.path));
        return stepDone();
    }
    const int error = unnamed ? takeTemporaryName(target, temporary) : 0;
    if (error != 0)
        return systemFailure(error);
    if (::close(std::exchange(temporary->fd, -1)) != 0)
        return systemFailure(errno);
    if (::rename(temporary->name.constData(), target.path.constData()) != 0)
        return systemFailure(errno);
    temporary->name.clear();
    syncFolder(directoryOf(target.path));
    return stepDone();
}
}

QByteArray encodeSettings(const LignMatArray &lines)
{
    QString content;
    std::array<QString, StoredLineCount> expected;
    for (int i = 0; i < StoredLineCount; ++i) {
        expected[i] = oneLine(lines.atPosition(i).toText());
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
        lines.atPosition(int(i)) = LineValue::text(utf8 ? QString(decoder.decode(parts[i])) : fromWindows1252(parts[i]));
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
    const qsizetype filled = readInto(fd, bytes);
    const int readError = errno;
    ::close(fd);
    if (filled < 0) {
        result.reason = systemReason(readError);
        return result;
    }
    if (filled > MaxSettingsFileSize) {
        result.status = SettingsRead::Status::TooLarge;
        result.reason = SettingsFile::tr("le fichier dépasse la taille permise (1 Mio)");
        return result;
    }
    bytes.truncate(filled);
    decodeSettings(bytes, lines);
    result.status = SettingsRead::Status::Read;
    return result;
}

SettingsWrite writeSettingsFile(const QString &path, const LignMatArray &lines)
{
    const QByteArray bytes = encodeSettings(lines);
    if (bytes.isEmpty()) {
        return {SettingsWrite::Status::NotStorable,
                SettingsFile::tr("une valeur ne peut pas être enregistrée telle quelle")};
    }
    // What the reader would refuse is never written: the program could not start again.
    if (bytes.size() > MaxSettingsFileSize) {
        return {SettingsWrite::Status::TooLarge,
                SettingsFile::tr("les paramètres dépasseraient la taille permise du fichier (1 Mio) ; "
                                 "raccourcissez le commentaire")};
    }
    return writeFileAtomically(path, bytes);
}

SettingsWrite writeFileAtomically(const QString &path, const QByteArray &bytes)
{
    SaveTarget target;
    SettingsWrite result = resolveTarget(path, &target);
    if (!result.ok())
        return result;
    removeStaleTemporariesOf(target.path);
    Temporary temporary;
    result = openTemporary(target, &temporary);
    if (result.ok())
        result = matchOwnerAndMode(target, temporary.fd);
    if (result.ok())
        result = writeAndSync(temporary.fd, bytes);
    if (result.ok())
        result = publish(target, &temporary);
    return result;
}

void removeStaleTemporaries(const QString &path)
{
    QByteArray target;
    bool exists = false;
    struct stat found{};
    if (resolveLinks(QFile::encodeName(path), &target, &exists, &found))
        removeStaleTemporariesOf(target);
}
