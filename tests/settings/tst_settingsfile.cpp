// open() is replaced below; the fortified headers would define it inline.
#undef _FORTIFY_SOURCE

#include <cerrno>
#include <csignal>
#include <cstdarg>
#include <cstring>
#include <functional>

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/un.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QStringDecoder>
#include <QStringEncoder>
#include <QTemporaryDir>
#include <QTest>

#include "settingsfile.h"
#include "windows1252.h"

// While set, every sync to disk in this test binary fails as a failing disk's
// would; without the sync a power cut after a save could leave an empty file.
static bool syncFails = false;

extern "C" int fsync(int fd)
{
    if (syncFails) {
        errno = EIO;
        return -1;
    }
    return int(::syscall(SYS_fsync, fd));
}

extern "C" int fdatasync(int fd)
{
    if (syncFails) {
        errno = EIO;
        return -1;
    }
    return int(::syscall(SYS_fdatasync, fd));
}

// While set, the file system takes no unnamed file, as some cannot; the count
// of refusals tells that a save really went the other way.
static bool noUnnamedFiles = false;
static int unnamedRefused = 0;

extern "C" int open(const char *path, int flags, ...)
{
    mode_t mode = 0;
    if ((flags & O_CREAT) != 0 || (flags & O_TMPFILE) == O_TMPFILE) {
        va_list arguments;
        va_start(arguments, flags);
        mode = va_arg(arguments, mode_t);
        va_end(arguments);
    }
    if (noUnnamedFiles && (flags & O_TMPFILE) == O_TMPFILE) {
        ++unnamedRefused;
        errno = EOPNOTSUPP;
        return -1;
    }
    return int(::syscall(SYS_openat, AT_FDCWD, path, flags, mode));
}

namespace
{
QByteArray firstRunBytes()
{
    return "Descrip.Lignes : 1-Heures,2-Minutes,3-Secondes,4-Action,5-Fichier,6-Path,7-Observ,8/9/10-Options\r\n"
           " 0 \r\n 0 \r\n 30 \r\n(aucune action)\r\n\r\n\r\n"
           "         CLIC sur l'heure : Pause       DOUBLE-CLIC : R\xE9glages Param\xE8tres\r\n"
           " 1 \r\n 1 \r\n 1 \r\n 1 \r\n";
}

QByteArray readAll(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return "<unreadable>";
    return file.readAll();
}

void writeBytes(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    QCOMPARE(file.write(bytes), bytes.size());
}

// Names in the directory other than the expected ones: a failed save must not
// leave its temporary file behind.
QStringList strayEntries(const QString &dir, const QStringList &expected)
{
    QStringList entries = QDir(dir).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
    for (const QString &name : expected)
        entries.removeAll(name);
    return entries;
}
}

class TestSettingsFile : public QObject
{
    Q_OBJECT

private slots:
    void firstRunFileIsExact();
    void rereadGivesTexts();
    void rereadAndRewriteIsByteIdentical();
    void decode_data();
    void decode();
    void decodeKeepsLaterSlots();
    void windows1252RoundTrip();
    void windows1252AsQtConvertsIt();
    void unencodableValueGivesUtf8WithBom();
    void lineBreaksInValueBecomeOneSpace();
    void encodingRoundTrip_data();
    void encodingRoundTrip();
    void readKinds_data();
    void readKinds();
    void pipeSeenOnlyOnceOpened();
    void saveAtTheEndOfLinks_data();
    void saveAtTheEndOfLinks();
    void saveSizeLimit_data();
    void saveSizeLimit();
    void saveFailureKeepsOldFile_data();
    void saveFailureKeepsOldFile();
    void saveKeepsModeAndOwner_data();
    void saveKeepsModeAndOwner();
};

void TestSettingsFile::firstRunFileIsExact()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("Minutrex.ini"));
    const SettingsWrite written = writeSettingsFile(path, firstRunLines());
    QVERIFY2(written.ok(), qPrintable(written.reason));
    const QByteArray bytes = readAll(path);
    QCOMPARE(bytes.size(), 230);
    QCOMPARE(bytes, firstRunBytes());
    QCOMPARE(strayEntries(dir.path(), {QStringLiteral("Minutrex.ini")}), QStringList());
}

void TestSettingsFile::rereadGivesTexts()
{
    LignMatArray lines;
    decodeSettings(firstRunBytes(), lines);
    QCOMPARE(lines[Slot::Seconds], LineValue::text(QStringLiteral(" 30 ")));
    QCOMPARE(lines[Slot::TargetFile], LineValue::text(QString()));
    QCOMPARE(lines[Slot::Comment].toText(), defaultComment());
    QCOMPARE(lines[Slot::CloseAtEnd].toNumber(), 1.0);
    QVERIFY(lines.atPosition(12).isEmpty());
}

void TestSettingsFile::rereadAndRewriteIsByteIdentical()
{
    LignMatArray lines;
    decodeSettings(firstRunBytes(), lines);
    QCOMPARE(encodeSettings(lines), firstRunBytes());
}

void TestSettingsFile::decode_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QStringList>("expected"); // slots 0.. that receive a line

    QTest::newRow("crlf") << QByteArray("a\r\nb\r\n") << QStringList{"a", "b"};
    QTest::newRow("cr only") << QByteArray("a\rb\r") << QStringList{"a", "b"};
    QTest::newRow("no final ending") << QByteArray("a\r\nb") << QStringList{"a", "b"};
    QTest::newRow("lf only is one line") << QByteArray("a\nb\nc\n") << QStringList{"a\nb\nc\n"};
    QTest::newRow("blank lines") << QByteArray("\r\n\r\nx\r\n") << QStringList{"", "", "x"};
    QTest::newRow("lf then cr") << QByteArray("a\n\rb") << QStringList{"a\n", "b"};
    QTest::newRow("nul bytes") << QByteArray("a\0b\r\n", 5) << QStringList{QString::fromLatin1("a\0b", 3)};
    QTest::newRow("windows-1252 letters") << QByteArray("\xE9\xE8\x80\r\n") << QStringList{QString::fromUtf8("éè€")};
    QTest::newRow("bom means utf-8") << QByteArray("\xEF\xBB\xBF\xE2\x98\x83\r\n") << QStringList{QString::fromUtf8("☃")};

    QByteArray many;
    QStringList sixteen;
    for (int i = 0; i < 20; ++i) {
        many += QByteArray::number(i) + "\r\n";
        if (i < 16)
            sixteen << QString::number(i);
    }
    QTest::newRow("more than sixteen lines") << many << sixteen;
    QTest::newRow("thirteen lines") << many.left(many.indexOf("13\r\n")) << sixteen.mid(0, 13);
}

void TestSettingsFile::decode()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QStringList, expected);
    LignMatArray lines;
    decodeSettings(bytes, lines);
    for (int i = 0; i < LineCount; ++i) {
        if (i < expected.size())
            QCOMPARE(lines.atPosition(i), LineValue::text(expected[i]));
        else
            QVERIFY2(lines.atPosition(i).isEmpty(), qPrintable(QString::number(i)));
    }
}

void TestSettingsFile::decodeKeepsLaterSlots()
{
    LignMatArray lines;
    lines[Slot::Description] = LineValue::text(QStringLiteral("old0"));
    lines[Slot::TargetFile] = LineValue::text(QStringLiteral("old5"));
    decodeSettings(QByteArray(), lines);
    QCOMPARE(lines[Slot::Description].toText(), QStringLiteral("old0"));
    decodeSettings("new\r\n", lines);
    QCOMPARE(lines[Slot::Description].toText(), QStringLiteral("new"));
    QCOMPARE(lines[Slot::TargetFile].toText(), QStringLiteral("old5"));
}

void TestSettingsFile::windows1252AsQtConvertsIt()
{
    // The table reads every byte as Qt's own "windows-1252" converter does,
    // and writes a character as one byte exactly where that converter does.
    QStringDecoder qtDecoder("windows-1252", QStringDecoder::Flag::Stateless);
    if (!qtDecoder.isValid())
        QSKIP("this Qt has no windows-1252 converter to compare with");
    for (int b = 0; b < 256; ++b) {
        const QByteArray byte(1, char(b));
        QCOMPARE(fromWindows1252(byte), QString(qtDecoder.decode(byte)));
    }
    QCOMPARE(fromWindows1252(QByteArrayLiteral("Caf\xE9 \x80\x81")), QString::fromUtf8("Café €\u0081"));

    // Every character of the first plane, lone surrogates included, and
    // characters spread over the others.
    int written = 0;
    for (char32_t cp = 0; cp <= 0x10FFFF; cp += cp < 0x10000 ? 1 : 0x7F) {
        const QString text = cp < 0x10000 ? QString(QChar(char16_t(cp))) : QChar::fromUcs4(cp).operator QStringView().toString();
        QCOMPARE(text.size(), cp < 0x10000 ? 1 : 2);
        QStringEncoder qtEncoder("windows-1252");
        const QByteArray qtBytes = qtEncoder.encode(text);
        const std::optional<QByteArray> ours = toWindows1252(text);
        if (!qtEncoder.hasError() && qtBytes.size() == 1) {
            ++written;
            QVERIFY2(ours && *ours == qtBytes, qPrintable(QString::number(uint(cp), 16)));
        } else {
            // Refused, or dropped without a byte (U+FEFF): neither gives the value back.
            QVERIFY2(!ours, qPrintable(QString::number(uint(cp), 16)));
        }
    }
    QCOMPARE(written, 256);
    QVERIFY(toWindows1252(u"Caf\u00E9 \u20AC") == QByteArray("Caf\xE9 \x80"));
    QVERIFY(!toWindows1252(u"a\u4E00b"));
}

void TestSettingsFile::windows1252RoundTrip()
{
    // Every byte but the line endings comes back as itself, the five bytes
    // that Windows-1252 leaves unassigned included.
    QByteArray all;
    for (int b = 0; b < 256; ++b) {
        if (b != '\r' && b != '\n')
            all.append(char(b));
    }
    LignMatArray lines;
    decodeSettings(all + "\r\n", lines);
    for (char16_t c : {0x81, 0x8D, 0x8F, 0x90, 0x9D})
        QVERIFY(lines[Slot::Description].toText().contains(QChar(c)));
    const QByteArray again = encodeSettings(lines);
    QVERIFY(again.startsWith(all + "\r\n"));
}

void TestSettingsFile::unencodableValueGivesUtf8WithBom()
{
    LignMatArray lines = firstRunLines();
    lines[Slot::TargetFile] = LineValue::text(QString::fromUtf8("rapport-ß-☃.txt"));
    const QByteArray bytes = encodeSettings(lines);
    QVERIFY(bytes.startsWith("\xEF\xBB\xBF"));
    LignMatArray back;
    decodeSettings(bytes, back);
    for (int i = 0; i < StoredLineCount; ++i)
        QCOMPARE(back.atPosition(i).toText(), lines.atPosition(i).toText());
}

void TestSettingsFile::lineBreaksInValueBecomeOneSpace()
{
    // A carriage return would end the line; a line feed alone does not.
    LignMatArray lines = firstRunLines();
    lines[Slot::Comment] = LineValue::text(QStringLiteral("one\r\ntwo\nthree\rfour"));
    const QByteArray bytes = encodeSettings(lines);
    QCOMPARE(bytes.count("\r\n"), 12);
    LignMatArray back;
    decodeSettings(bytes, back);
    QCOMPARE(back[Slot::Comment].toText(), QStringLiteral("one two\nthree four"));
    QCOMPARE(back[Slot::CloseAtEnd].toNumber(), 1.0);
}

void TestSettingsFile::encodingRoundTrip_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QByteArray>("saved"); // what a save of the lines read writes

    auto twelve = [](const QByteArray &first) {
        QByteArray b = first + "\r\n";
        for (int i = 1; i < StoredLineCount; ++i)
            b += " " + QByteArray::number(i) + " \r\n";
        return b;
    };
    const QByteArray bom("\xEF\xBB\xBF");
    QTest::newRow("first run") << firstRunBytes() << firstRunBytes();
    QTest::newRow("utf-8 behind the mark") << twelve(bom + "caf\xC3\xA9 \xE2\x98\x83") << twelve(bom + "caf\xC3\xA9 \xE2\x98\x83");
    QTest::newRow("invalid utf-8 behind the mark") << twelve(bom + "ab\xFF" "c") << twelve(bom + "ab\xFF" "c");
    QTest::newRow("invalid utf-8 after line 12")
        << twelve(bom + "\xE2\x98\x83") + "thirteen \xFF\r\n" << twelve(bom + "\xE2\x98\x83");
    QTest::newRow("U+FEFF at the start of line 1") << twelve(bom + bom + "x") << twelve(bom + bom + "x");
    QTest::newRow("value that starts like the mark")
        << twelve(bom + "\xC3\xAF\xC2\xBB\xC2\xBFx") << twelve(bom + "\xC3\xAF\xC2\xBB\xC2\xBFx");
    QTest::newRow("line feed inside a line") << twelve("a\nb") << twelve("a\nb");
    QTest::newRow("line feeds only") << QByteArray("a\nb\nc\n") << QByteArray("a\nb\nc\n") + QByteArray("\r\n").repeated(12);
    QTest::newRow("cr only endings") << QByteArray("x\r") << QByteArray("x") + QByteArray("\r\n").repeated(12);
}

void TestSettingsFile::encodingRoundTrip()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QByteArray, saved);
    LignMatArray lines;
    decodeSettings(bytes, lines);
    const QByteArray written = encodeSettings(lines);
    QCOMPARE(written, saved);
    LignMatArray back;
    decodeSettings(written, back);
    for (int i = 0; i < StoredLineCount; ++i)
        QCOMPARE(back.atPosition(i).toText(), lines.atPosition(i).toText());
}

namespace
{
// Makes "Minutrex.ini" in dir as described; returns the path at the end of its links.
QString makeEntry(const QString &dir, const QString &what)
{
    const QString ini = dir + "/Minutrex.ini";
    const QString end = what.contains("link") ? dir + "/end" : ini;
    const QByteArray native = QFile::encodeName(end);
    if (what.endsWith("folder")) {
        ::mkdir(native.constData(), 0755);
    } else if (what.endsWith("pipe")) {
        ::mkfifo(native.constData(), 0644);
    } else if (what.endsWith("socket")) {
        const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        std::strncpy(address.sun_path, native.constData(), sizeof address.sun_path - 1);
        ::bind(fd, reinterpret_cast<sockaddr *>(&address), sizeof address);
        ::close(fd);
    } else if (what.endsWith("device")) {
        ::mknod(native.constData(), S_IFCHR | 0666, makedev(1, 3));
    } else if (what.endsWith("file")) {
        writeBytes(end, "old\r\n");
    }
    if (what.startsWith("chain")) {
        QFile::link("end", dir + "/middle");
        QFile::link("middle", ini);
    } else if (what.contains("link")) {
        QFile::link("end", ini);
    }
    return end;
}
}

void TestSettingsFile::readKinds_data()
{
    QTest::addColumn<QString>("what");
    QTest::addColumn<int>("status");
    using S = SettingsRead::Status;
    QTest::newRow("nothing") << "nothing" << int(S::Missing);
    QTest::newRow("dangling link") << "dangling link" << int(S::Missing);
    QTest::newRow("file") << "file" << int(S::Read);
    QTest::newRow("chain of two links to a file") << "chain to file" << int(S::Read);
    QTest::newRow("folder") << "folder" << int(S::NotRegularFile);
    QTest::newRow("pipe: never waits for a writer") << "pipe" << int(S::NotRegularFile);
    QTest::newRow("link to a pipe") << "link to pipe" << int(S::NotRegularFile);
    QTest::newRow("socket") << "socket" << int(S::NotRegularFile);
    QTest::newRow("link to a device") << "link to device" << int(S::NotRegularFile);
    QTest::newRow("over the limit") << "big" << int(S::TooLarge);
    QTest::newRow("at the limit") << "limit" << int(S::Read);
}

void TestSettingsFile::readKinds()
{
    QFETCH(QString, what);
    QFETCH(int, status);
    if (what.endsWith("device") && ::geteuid() != 0)
        QSKIP("making a device node needs root");
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("Minutrex.ini"));
    makeEntry(dir.path(), what);
    if (what == "big" || what == "limit")
        writeBytes(path, QByteArray(MaxSettingsFileSize + (what == "big"), 'y'));

    LignMatArray lines;
    lines[Slot::Description] = LineValue::text(QStringLiteral("kept"));
    const SettingsRead read = readSettingsFile(path, lines);
    QCOMPARE(int(read.status), status);
    if (read.ok()) {
        QVERIFY(lines[Slot::Description].toText() != QStringLiteral("kept"));
        return;
    }
    QCOMPARE(lines[Slot::Description].toText(), QStringLiteral("kept"));
    QVERIFY(!read.reason.isEmpty());
    if (read.status == SettingsRead::Status::NotRegularFile)
        QVERIFY2(read.reason.contains(what.contains("link") ? "/end" : "/Minutrex.ini"), qPrintable(read.reason));
    if (read.status == SettingsRead::Status::TooLarge)
        QVERIFY(read.reason.contains(QStringLiteral("1 Mio")));
}

void TestSettingsFile::pipeSeenOnlyOnceOpened()
{
    // A pipe swapped in between a look at the name and the open: here the
    // name is the process's own link to a pipe with no writer left, which
    // looks like nothing until opened, every time. A blocking open would
    // wait for a writer for ever.
    int ends[2];
    QCOMPARE(::pipe(ends), 0);
    ::close(ends[1]);
    LignMatArray lines;
    lines[Slot::Description] = LineValue::text(QStringLiteral("kept"));
    const SettingsRead read = readSettingsFile(QStringLiteral("/proc/self/fd/%1").arg(ends[0]), lines);
    ::close(ends[0]);
    QCOMPARE(int(read.status), int(SettingsRead::Status::NotRegularFile));
    QVERIFY2(read.reason.contains(QStringLiteral("tube nommé")), qPrintable(read.reason));
    QCOMPARE(lines[Slot::Description].toText(), QStringLiteral("kept"));
}

void TestSettingsFile::saveAtTheEndOfLinks_data()
{
    QTest::addColumn<QString>("what");
    QTest::addColumn<bool>("saved");
    QTest::newRow("nothing: created 0600") << "nothing" << true;
    QTest::newRow("dangling link: its target created") << "dangling link" << true;
    QTest::newRow("link to a file") << "link to file" << true;
    QTest::newRow("chain of two links") << "chain to file" << true;
    QTest::newRow("folder") << "folder" << false;
    QTest::newRow("pipe") << "pipe" << false;
    QTest::newRow("socket") << "socket" << false;
    QTest::newRow("link to a device") << "link to device" << false;
    QTest::newRow("link to a pipe") << "link to pipe" << false;
    QTest::newRow("chain of two links to a pipe") << "chain to pipe" << false;
}

void TestSettingsFile::saveAtTheEndOfLinks()
{
    QFETCH(QString, what);
    QFETCH(bool, saved);
    if (what.endsWith("device") && ::geteuid() != 0)
        QSKIP("making a device node needs root");
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("Minutrex.ini"));
    const QString end = makeEntry(dir.path(), what);
    struct stat before{};
    ::lstat(QFile::encodeName(end).constData(), &before);
    const QStringList entries = QDir(dir.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);

    // Under umask 000, a new file is still its owner's alone.
    const mode_t oldMask = ::umask(0);
    const SettingsWrite written = writeSettingsFile(path, firstRunLines());
    ::umask(oldMask);
    QCOMPARE(written.ok(), saved);

    struct stat after{};
    QCOMPARE(::lstat(QFile::encodeName(end).constData(), &after), 0);
    if (saved) {
        QCOMPARE(readAll(path), firstRunBytes());
        QVERIFY(S_ISREG(after.st_mode));
        if (!S_ISREG(before.st_mode))
            QCOMPARE(after.st_mode & 07777, mode_t(0600));
        if (what.contains("link"))
            QVERIFY(QFileInfo(path).isSymLink());
        if (what.startsWith("chain"))
            QVERIFY(QFileInfo(dir.filePath("middle")).isSymLink());
    } else {
        QCOMPARE(int(written.status), int(SettingsWrite::Status::NotRegularFile));
        QVERIFY2(written.reason.contains(QStringLiteral("n'est pas un fichier ordinaire")), qPrintable(written.reason));
        QVERIFY2(written.reason.contains(what.contains("link") ? "/end" : "/Minutrex.ini"), qPrintable(written.reason));
        QCOMPARE(after.st_mode, before.st_mode);
        QCOMPARE(after.st_rdev, before.st_rdev);
        QCOMPARE(after.st_ino, before.st_ino);
    }
    QStringList expected = entries;
    if (what == "nothing")
        expected << QStringLiteral("Minutrex.ini");
    if (what == "dangling link")
        expected << QStringLiteral("end");
    QCOMPARE(strayEntries(dir.path(), expected), QStringList());
}

void TestSettingsFile::saveSizeLimit_data()
{
    QTest::addColumn<int>("extra");   // bytes beyond the limit, in Windows-1252
    QTest::addColumn<bool>("widen");  // a character that makes the file UTF-8
    QTest::newRow("at the limit") << 0 << false;
    QTest::newRow("one byte over") << 1 << false;
    QTest::newRow("UTF-8 grows it past the limit") << -1000 << true;
}

void TestSettingsFile::saveSizeLimit()
{
    QFETCH(int, extra);
    QFETCH(bool, widen);
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("Minutrex.ini"));
    writeBytes(path, firstRunBytes());
    LignMatArray lines = firstRunLines();
    lines[Slot::Comment] = LineValue::text(QString());
    const qsizetype room = MaxSettingsFileSize - encodeSettings(lines).size();
    lines[Slot::Comment] = LineValue::text(QString(room + extra, QChar(0xE9)));
    if (widen)
        lines[Slot::Comment] = LineValue::text(lines[Slot::Comment].toText() + QChar(0x2603));

    const SettingsWrite written = writeSettingsFile(path, lines);
    QCOMPARE(written.ok(), extra <= 0 && !widen);
    if (written.ok()) {
        LignMatArray back;
        QVERIFY(readSettingsFile(path, back).ok());
        QCOMPARE(back[Slot::Comment].toText(), lines[Slot::Comment].toText());
    } else {
        QCOMPARE(int(written.status), int(SettingsWrite::Status::TooLarge));
        QVERIFY(written.reason.contains(QStringLiteral("1 Mio")));
        QCOMPARE(readAll(path), firstRunBytes());
    }
    QCOMPARE(strayEntries(dir.path(), {QStringLiteral("Minutrex.ini")}), QStringList());
}

namespace
{
// Runs f as an ordinary user (root passes every permission check) and returns
// what it answered.
SettingsWrite asOrdinaryUser(const std::function<SettingsWrite()> &f)
{
    if (::geteuid() != 0)
        return f();
    const SettingsWrite broken{SettingsWrite::Status::Failed, QStringLiteral("<child failed>")};
    int channel[2];
    if (::pipe(channel) != 0)
        return broken;
    const pid_t child = ::fork();
    if (child == 0) {
        ::close(channel[0]);
        if (::setgid(65534) != 0 || ::setuid(65534) != 0)
            ::_exit(3);
        const SettingsWrite written = f();
        const QByteArray out = char('0' + int(written.status)) + written.reason.toUtf8();
        (void)!::write(channel[1], out.constData(), size_t(out.size()));
        ::_exit(0);
    }
    ::close(channel[1]);
    QByteArray out;
    char buffer[512];
    ssize_t n;
    while ((n = ::read(channel[0], buffer, sizeof buffer)) > 0)
        out.append(buffer, n);
    ::close(channel[0]);
    int status = 0;
    ::waitpid(child, &status, 0);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0 || out.isEmpty())
        return broken;
    return {SettingsWrite::Status(out[0] - '0'), QString::fromUtf8(out.mid(1))};
}
}

void TestSettingsFile::saveFailureKeepsOldFile_data()
{
    QTest::addColumn<QString>("how");
    QTest::addColumn<int>("status");
    QTest::addColumn<QString>("says");
    using S = SettingsWrite::Status;
    QTest::newRow("folder refuses new files")
        << "readonly" << int(S::FolderRefuses) << "n'accepte pas de nouveau fichier";
    QTest::newRow("read-only file") << "0444" << int(S::ReadOnly) << "lecture seule";
    QTest::newRow("disk full") << "full" << int(S::Failed) << "";
    QTest::newRow("folder missing") << "nodir" << int(S::Failed) << "";
    QTest::newRow("sync fails") << "sync" << int(S::Failed) << "";
}

void TestSettingsFile::saveFailureKeepsOldFile()
{
    QFETCH(QString, how);
    QFETCH(int, status);
    QFETCH(QString, says);
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString path = dir.filePath(QStringLiteral("Minutrex.ini"));
    const QByteArray old = "old content\r\n";
    LignMatArray lines = firstRunLines();
    SettingsWrite written;

    if (how == "nodir") {
        written = writeSettingsFile(dir.filePath(QStringLiteral("no/Minutrex.ini")), lines);
        writeBytes(path, old); // nothing to compare against but stray files
    } else if (how == "sync") {
        writeBytes(path, old);
        syncFails = true;
        written = writeSettingsFile(path, lines);
        syncFails = false;
    } else if (how == "full") {
        writeBytes(path, old);
        // A file-size limit below the new content makes the write fall short,
        // as a full disk does. The signal would otherwise end the test.
        std::signal(SIGXFSZ, SIG_IGN);
        rlimit saved_limit;
        QCOMPARE(getrlimit(RLIMIT_FSIZE, &saved_limit), 0);
        rlimit small = saved_limit;
        small.rlim_cur = 100;
        QCOMPARE(setrlimit(RLIMIT_FSIZE, &small), 0);
        written = writeSettingsFile(path, lines);
        QCOMPARE(setrlimit(RLIMIT_FSIZE, &saved_limit), 0);
    } else if (how == "0444") {
        // Read-only means "do not change", for root as for anyone.
        writeBytes(path, old);
        QVERIFY(QFile::setPermissions(path, QFile::ReadOwner | QFile::ReadGroup | QFile::ReadOther));
        written = writeSettingsFile(path, lines);
        struct stat st{};
        QCOMPARE(::stat(QFile::encodeName(path).constData(), &st), 0);
        QCOMPARE(st.st_mode & 07777, mode_t(0444));
    } else if (how == "readonly") {
        // The file itself may be written; its folder takes no new file.
        writeBytes(path, old);
        QCOMPARE(::chmod(QFile::encodeName(path).constData(), 0666), 0);
        QCOMPARE(::chmod(QFile::encodeName(dir.path()).constData(), 0555), 0);
        written = asOrdinaryUser([&] { return writeSettingsFile(path, lines); });
        ::chmod(QFile::encodeName(dir.path()).constData(), 0755);
    }

    QCOMPARE(int(written.status), status);
    QVERIFY(!written.reason.isEmpty());
    QVERIFY2(written.reason.contains(says), qPrintable(written.reason));
    QCOMPARE(readAll(path), old);
    QCOMPARE(strayEntries(dir.path(), {QStringLiteral("Minutrex.ini")}), QStringList());
}

void TestSettingsFile::saveKeepsModeAndOwner_data()
{
    QTest::addColumn<bool>("unnamed");
    QTest::newRow("unnamed temporary") << true;
    QTest::newRow("named temporary: no unnamed files here") << false;
}

void TestSettingsFile::saveKeepsModeAndOwner()
{
    QFETCH(bool, unnamed);
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("Minutrex.ini"));
    writeBytes(path, "x\r\n");
    const QByteArray native = QFile::encodeName(path);
    QCOMPARE(::chmod(native.constData(), 0640), 0);
    const bool root = ::geteuid() == 0;
    if (root)
        QCOMPARE(::chown(native.constData(), 65534, 65534), 0);
    const mode_t oldMask = ::umask(0);
    noUnnamedFiles = !unnamed;
    unnamedRefused = 0;
    const SettingsWrite written = writeSettingsFile(path, firstRunLines());
    noUnnamedFiles = false;
    ::umask(oldMask);
    QVERIFY2(written.ok(), qPrintable(written.reason));
    QCOMPARE(unnamedRefused > 0, !unnamed);
    struct stat st{};
    QCOMPARE(::stat(native.constData(), &st), 0);
    QCOMPARE(st.st_mode & 07777, mode_t(0640));
    if (root)
        QCOMPARE(st.st_uid, uid_t(65534));
    QCOMPARE(readAll(path), firstRunBytes());
    QCOMPARE(strayEntries(dir.path(), {QStringLiteral("Minutrex.ini")}), QStringList());
}

QTEST_GUILESS_MAIN(TestSettingsFile)
#include "tst_settingsfile.moc"
