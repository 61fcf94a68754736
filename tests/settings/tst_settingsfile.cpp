#include <cerrno>
#include <csignal>

#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include "settingsfile.h"

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

namespace
{
LignMatArray firstRunLines()
{
    LignMatArray lines;
    lines[0] = LineValue::text(descriptionLine());
    lines[1] = LineValue::number(0);
    lines[2] = LineValue::number(0);
    lines[3] = LineValue::number(30);
    lines[4] = LineValue::text(defaultActionName());
    lines[5] = LineValue::text(QString());
    lines[6] = LineValue::text(QString());
    lines[7] = LineValue::text(defaultComment());
    for (int i = 8; i <= 11; ++i)
        lines[i] = LineValue::number(1);
    return lines;
}

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
    void unencodableValueGivesUtf8WithBom();
    void lineBreaksInValueBecomeOneSpace();
    void invalidUtf8AfterMarkIsKept();
    void readRefusesBadFiles();
    void saveFailureKeepsOldFile_data();
    void saveFailureKeepsOldFile();
    void saveKeepsPermissions();
    void saveThroughSymlinkKeepsLink();
};

void TestSettingsFile::firstRunFileIsExact()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("Minutrex.ini"));
    QString error;
    QVERIFY2(writeSettingsFile(path, firstRunLines(), &error), qPrintable(error));
    const QByteArray bytes = readAll(path);
    QCOMPARE(bytes.size(), 230);
    QCOMPARE(bytes, firstRunBytes());
    QCOMPARE(strayEntries(dir.path(), {QStringLiteral("Minutrex.ini")}), QStringList());
}

void TestSettingsFile::rereadGivesTexts()
{
    LignMatArray lines;
    decodeSettings(firstRunBytes(), lines);
    QCOMPARE(lines[3], LineValue::text(QStringLiteral(" 30 ")));
    QCOMPARE(lines[5], LineValue::text(QString()));
    QCOMPARE(lines[7].toText(), defaultComment());
    QCOMPARE(lines[11].toNumber(), 1.0);
    QVERIFY(lines[12].isEmpty());
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
            QCOMPARE(lines[i], LineValue::text(expected[i]));
        else
            QVERIFY2(lines[i].isEmpty(), qPrintable(QString::number(i)));
    }
}

void TestSettingsFile::decodeKeepsLaterSlots()
{
    LignMatArray lines;
    lines[0] = LineValue::text(QStringLiteral("old0"));
    lines[5] = LineValue::text(QStringLiteral("old5"));
    decodeSettings(QByteArray(), lines);
    QCOMPARE(lines[0].toText(), QStringLiteral("old0"));
    decodeSettings("new\r\n", lines);
    QCOMPARE(lines[0].toText(), QStringLiteral("new"));
    QCOMPARE(lines[5].toText(), QStringLiteral("old5"));
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
        QVERIFY(lines[0].toText().contains(QChar(c)));
    const QByteArray again = encodeSettings(lines);
    QVERIFY(again.startsWith(all + "\r\n"));
}

void TestSettingsFile::unencodableValueGivesUtf8WithBom()
{
    LignMatArray lines = firstRunLines();
    lines[5] = LineValue::text(QString::fromUtf8("rapport-ß-☃.txt"));
    const QByteArray bytes = encodeSettings(lines);
    QVERIFY(bytes.startsWith("\xEF\xBB\xBF"));
    LignMatArray back;
    decodeSettings(bytes, back);
    for (int i = 0; i < StoredLineCount; ++i)
        QCOMPARE(back[i].toText(), lines[i].toText());
}

void TestSettingsFile::lineBreaksInValueBecomeOneSpace()
{
    LignMatArray lines = firstRunLines();
    lines[7] = LineValue::text(QStringLiteral("one\r\ntwo\nthree\rfour"));
    const QByteArray bytes = encodeSettings(lines);
    QCOMPARE(bytes.count("\r\n"), 12);
    LignMatArray back;
    decodeSettings(bytes, back);
    QCOMPARE(back[7].toText(), QStringLiteral("one two three four"));
    QCOMPARE(back[11].toNumber(), 1.0);
}

void TestSettingsFile::invalidUtf8AfterMarkIsKept()
{
    // Bytes that are not UTF-8 behind the mark come back byte for byte on the
    // next save instead of being replaced.
    QByteArray bytes = "\xEF\xBB\xBF" "ab\xFF" "c\r\n";
    for (int i = 1; i < StoredLineCount; ++i)
        bytes += QByteArray::number(i) + "\r\n";
    LignMatArray lines;
    decodeSettings(bytes, lines);
    QCOMPARE(lines[1].toText(), QStringLiteral("1"));
    QCOMPARE(encodeSettings(lines), bytes);
}

void TestSettingsFile::readRefusesBadFiles()
{
    QTemporaryDir dir;
    LignMatArray lines;
    lines[0] = LineValue::text(QStringLiteral("kept"));
    QString error;

    QVERIFY(!readSettingsFile(dir.filePath(QStringLiteral("missing.ini")), lines, &error));
    QVERIFY(!error.isEmpty());

    error.clear();
    QVERIFY(!readSettingsFile(dir.path(), lines, &error));
    QVERIFY(!error.isEmpty());

    const QString big = dir.filePath(QStringLiteral("big.ini"));
    writeBytes(big, QByteArray(MaxSettingsFileSize + 1, 'x'));
    error.clear();
    QVERIFY(!readSettingsFile(big, lines, &error));
    QVERIFY(error.contains(QStringLiteral("1 Mio")));
    QCOMPARE(lines[0].toText(), QStringLiteral("kept"));

    const QString limit = dir.filePath(QStringLiteral("limit.ini"));
    writeBytes(limit, QByteArray(MaxSettingsFileSize, 'y'));
    QVERIFY(readSettingsFile(limit, lines, &error));
    QCOMPARE(lines[0].toText().size(), MaxSettingsFileSize);
}

void TestSettingsFile::saveFailureKeepsOldFile_data()
{
    QTest::addColumn<QString>("how");
    QTest::newRow("read-only directory") << "readonly";
    QTest::newRow("disk full") << "full";
    QTest::newRow("target is a directory") << "directory";
    QTest::newRow("directory missing") << "nodir";
    QTest::newRow("sync fails") << "sync";
}

void TestSettingsFile::saveFailureKeepsOldFile()
{
    QFETCH(QString, how);
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString path = dir.filePath(QStringLiteral("Minutrex.ini"));
    const QByteArray old = "old content\r\n";
    LignMatArray lines = firstRunLines();
    QString error;
    bool saved = true;

    if (how == "directory") {
        QVERIFY(QDir(dir.path()).mkdir(QStringLiteral("Minutrex.ini")));
        saved = writeSettingsFile(path, lines, &error);
        QVERIFY(QFileInfo(path).isDir());
    } else if (how == "nodir") {
        saved = writeSettingsFile(dir.filePath(QStringLiteral("no/Minutrex.ini")), lines, &error);
        writeBytes(path, old); // nothing to compare against but stray files
    } else if (how == "sync") {
        writeBytes(path, old);
        syncFails = true;
        saved = writeSettingsFile(path, lines, &error);
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
        saved = writeSettingsFile(path, lines, &error);
        QCOMPARE(setrlimit(RLIMIT_FSIZE, &saved_limit), 0);
    } else if (how == "readonly") {
        writeBytes(path, old);
        QCOMPARE(::chmod(QFile::encodeName(dir.path()).constData(), 0555), 0);
        if (::geteuid() == 0) {
            // Root ignores permissions, so the save runs as an ordinary user.
            const pid_t child = ::fork();
            if (child == 0) {
                if (::setgid(65534) != 0 || ::setuid(65534) != 0)
                    ::_exit(3);
                QString childError;
                const bool ok = writeSettingsFile(path, lines, &childError);
                ::_exit(ok ? 0 : (childError.isEmpty() ? 2 : 1));
            }
            int status = 0;
            QCOMPARE(::waitpid(child, &status, 0), child);
            QVERIFY(WIFEXITED(status));
            QCOMPARE(WEXITSTATUS(status), 1);
            saved = false;
            error = QStringLiteral("reported by the child");
        } else {
            saved = writeSettingsFile(path, lines, &error);
        }
        ::chmod(QFile::encodeName(dir.path()).constData(), 0755);
    }

    QVERIFY(!saved);
    QVERIFY(!error.isEmpty());
    if (how != "directory")
        QCOMPARE(readAll(path), old);
    QCOMPARE(strayEntries(dir.path(), {QStringLiteral("Minutrex.ini")}), QStringList());
}

void TestSettingsFile::saveKeepsPermissions()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("Minutrex.ini"));
    writeBytes(path, "x\r\n");
    QVERIFY(QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup));
    QString error;
    QVERIFY2(writeSettingsFile(path, firstRunLines(), &error), qPrintable(error));
    QCOMPARE(QFile::permissions(path) & 0x0FFF,
             QFile::Permissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup | QFile::ReadUser
                                | QFile::WriteUser) & 0x0FFF);
    QCOMPARE(readAll(path), firstRunBytes());
}

void TestSettingsFile::saveThroughSymlinkKeepsLink()
{
    QTemporaryDir dir;
    const QString real = dir.filePath(QStringLiteral("real.ini"));
    const QString link = dir.filePath(QStringLiteral("Minutrex.ini"));
    writeBytes(real, "x\r\n");
    QVERIFY(QFile::link(real, link));
    QString error;
    QVERIFY2(writeSettingsFile(link, firstRunLines(), &error), qPrintable(error));
    QVERIFY(QFileInfo(link).isSymLink());
    QCOMPARE(readAll(real), firstRunBytes());
}

QTEST_GUILESS_MAIN(TestSettingsFile)
#include "tst_settingsfile.moc"
