// The real file queries, clock and process start of SystemServices.

#include <dlfcn.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <QApplication>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMessageBox>
#include <QPointer>
#include <QTemporaryDir>
#include <QTest>

#include "systemservices.h"

// In this test binary the boot-time clock runs an hour ahead of the monotonic
// one, as after an hour of suspend: a count read from the clock that stops
// during suspend would act an hour late, and here it shows.
constexpr time_t SuspendedSeconds = 3600;

extern "C" int clock_gettime(clockid_t clock, timespec *time) noexcept
{
    using Real = int (*)(clockid_t, timespec *);
    static const auto real = reinterpret_cast<Real>(dlsym(RTLD_NEXT, "clock_gettime"));
    const int result = real(clock, time);
    if (result == 0 && clock == CLOCK_BOOTTIME)
        time->tv_sec += SuspendedSeconds;
    return result;
}

namespace {

bool writeFile(const QString &path, const QByteArray &content, bool executable)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(content) != content.size())
        return false;
    file.close();
    QFile::Permissions perms = QFile::ReadOwner | QFile::WriteOwner;
    if (executable)
        perms |= QFile::ExeOwner;
    return file.setPermissions(perms);
}

} // namespace

class TestSystemServices : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void executableProgram_data();
    void executableProgram();
    void fileQueries_data();
    void fileQueries();
    void canCreateFileIn();
    void userConfigDirectory_data();
    void userConfigDirectory();
    void startProgramFailures_data();
    void startProgramFailures();
    void clockNeverGoesBack();
    void clockCountsSuspend();
    void messageShowsTextAsTypedWithoutWaiting();

private:
    QTemporaryDir m_tmp;
    QString m_dir;
};

void TestSystemServices::initTestCase()
{
    QVERIFY(m_tmp.isValid());
    m_dir = m_tmp.path() + '/';
    QVERIFY(QFile::copy("/bin/true", m_dir + "elf"));
    QVERIFY(QFile::setPermissions(m_dir + "elf", QFile::ReadOwner | QFile::ExeOwner));
    QVERIFY(QFile::copy("/bin/true", m_dir + "elf-no-x"));
    QVERIFY(QFile::setPermissions(m_dir + "elf-no-x", QFile::ReadOwner | QFile::WriteOwner));
    QVERIFY(writeFile(m_dir + "script", "#!/bin/sh\nexit 0\n", true));
    QVERIFY(writeFile(m_dir + "script-no-x", "#!/bin/sh\nexit 0\n", false));
    QVERIFY(writeFile(m_dir + "text-x", "echo hi\n", true));
    QVERIFY(writeFile(m_dir + "empty-x", "", true));
    QVERIFY(writeFile(m_dir + "doc.txt", "hello", false));
    QVERIFY(QDir().mkpath(m_dir + "sub dir"));
    QVERIFY(QFile::link(m_dir + "script", m_dir + "link-to-script"));
    QVERIFY(QFile::link(m_dir + "nowhere", m_dir + "dangling"));
}

void TestSystemServices::executableProgram_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<bool>("expected");

    QTest::newRow("ELF with execute bit") << "elf" << true;
    QTest::newRow("ELF without execute bit") << "elf-no-x" << false;
    QTest::newRow("script with execute bit") << "script" << true;
    QTest::newRow("script without execute bit") << "script-no-x" << false;
    QTest::newRow("text with execute bit") << "text-x" << false;
    QTest::newRow("empty file with execute bit") << "empty-x" << false;
    QTest::newRow("link to a script") << "link-to-script" << true;
    QTest::newRow("directory") << "sub dir" << false;
    QTest::newRow("missing") << "missing" << false;
}

void TestSystemServices::executableProgram()
{
    QFETCH(QString, name);
    QFETCH(bool, expected);
    SystemServices services;
    QCOMPARE(services.isExecutableProgram(m_dir + name), expected);
}

void TestSystemServices::fileQueries_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<bool>("regular");
    QTest::addColumn<bool>("exists");

    QTest::newRow("file") << "doc.txt" << true << true;
    QTest::newRow("directory") << "sub dir" << false << true;
    QTest::newRow("directory with final slash") << "sub dir/" << false << true;
    QTest::newRow("missing") << "missing.txt" << false << false;
    QTest::newRow("link to a file") << "link-to-script" << true << true;
    QTest::newRow("dangling link") << "dangling" << false << false;
    QTest::newRow("file used as a directory") << "doc.txt/x" << false << false;
}

void TestSystemServices::fileQueries()
{
    QFETCH(QString, path);
    QFETCH(bool, regular);
    QFETCH(bool, exists);
    SystemServices services;
    QCOMPARE(services.isRegularFile(m_dir + path), regular);
    QCOMPARE(services.pathExists(m_dir + path), exists);
    // An empty path names nothing, not the current directory.
    QVERIFY(!services.pathExists(QString()));
    QVERIFY(!services.isRegularFile(QString()));
}

void TestSystemServices::canCreateFileIn()
{
    SystemServices services;
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    QVERIFY(services.canCreateFileIn(dir.path()));
    QVERIFY(services.canCreateFileIn(dir.path() + '/'));
    // Trying leaves nothing behind.
    QVERIFY(QDir(dir.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot).isEmpty());

    QVERIFY(!services.canCreateFileIn(dir.path() + "/missing"));
    QVERIFY(!services.canCreateFileIn(m_dir + "doc.txt"));

    if (::geteuid() != 0) { // permission bits do not stop root
        const QString readOnly = dir.path() + "/ro";
        QVERIFY(QDir().mkdir(readOnly));
        QVERIFY(QFile::setPermissions(readOnly, QFile::ReadOwner | QFile::ExeOwner));
        QVERIFY(!services.canCreateFileIn(readOnly));
        QFile::setPermissions(readOnly, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    }
}

void TestSystemServices::userConfigDirectory_data()
{
    QTest::addColumn<QString>("xdg");  // "-" unset; a leading "T" is the test folder
    QTest::addColumn<QString>("home");
    QTest::addColumn<QString>("expected"); // "" when there is none
    QTest::addColumn<QStringList>("created"); // folders that must be 0700

    QTest::newRow("absolute XDG_CONFIG_HOME") << "T/x/cfg" << "T/h" << "T/x/cfg/Minutrex"
                                              << QStringList{"T/x", "T/x/cfg", "T/x/cfg/Minutrex"};
    QTest::newRow("relative XDG_CONFIG_HOME") << "rel/cfg" << "T/h2" << "" << QStringList{};
    QTest::newRow("empty XDG_CONFIG_HOME") << "" << "T/h2" << "T/h2/.config/Minutrex"
                                           << QStringList{"T/h2/.config"};
    QTest::newRow("HOME unset") << "-" << "-" << "" << QStringList{};
    QTest::newRow("relative HOME, relative XDG_CONFIG_HOME") << "cfg" << "home" << "" << QStringList{};
    QTest::newRow("a file in the way") << "T/blocked" << "T/h" << "" << QStringList{};
}

void TestSystemServices::userConfigDirectory()
{
    QFETCH(QString, xdg);
    QFETCH(QString, home);
    QFETCH(QString, expected);
    QFETCH(QStringList, created);
    const QString t = m_tmp.path();
    auto real = [&](QString v) { return v.startsWith('T') ? t + v.mid(1) : v; };
    QVERIFY(writeFile(t + "/blocked", "", false));
    const QByteArray oldConfig = qgetenv("XDG_CONFIG_HOME");
    const QByteArray oldHome = qgetenv("HOME");
    auto set = [](const char *name, const QString &value) {
        if (value == "-")
            qunsetenv(name);
        else
            qputenv(name, QFile::encodeName(value));
    };
    set("XDG_CONFIG_HOME", real(xdg));
    set("HOME", real(home));
    const mode_t oldMask = ::umask(0);

    SystemServices services;
    QString reason;
    const QString dir = services.userConfigDirectory(&reason);
    const QString again = services.userConfigDirectory(nullptr);

    ::umask(oldMask);
    set("XDG_CONFIG_HOME", oldConfig.isNull() ? QStringLiteral("-") : QFile::decodeName(oldConfig));
    set("HOME", oldHome.isNull() ? QStringLiteral("-") : QFile::decodeName(oldHome));

    QCOMPARE(dir, expected.isEmpty() ? QString() : real(expected));
    QCOMPARE(again, dir); // already there: same answer
    QCOMPARE(reason.isEmpty(), !dir.isEmpty());
    for (const QString &folder : created) {
        struct stat info{};
        QCOMPARE(::stat(QFile::encodeName(real(folder)).constData(), &info), 0);
        QVERIFY(S_ISDIR(info.st_mode));
        QCOMPARE(info.st_mode & 07777, mode_t(0700));
    }
    QVERIFY(!QFileInfo::exists("rel") && !QFileInfo::exists("cfg"));
}

void TestSystemServices::startProgramFailures_data()
{
    QTest::addColumn<QString>("program");
    QTest::addColumn<QString>("workingDirectory");

    QTest::newRow("missing program") << "missing" << "";
    QTest::newRow("document") << "doc.txt" << "";
    QTest::newRow("directory") << "sub dir" << "";
    QTest::newRow("missing working directory") << "script" << "no such dir";
}

void TestSystemServices::startProgramFailures()
{
    QFETCH(QString, program);
    QFETCH(QString, workingDirectory);
    SystemServices services;
    QVERIFY(!services.startProgram(m_dir + program, {}, workingDirectory.isEmpty() ? QString()
                                                                                  : m_dir + workingDirectory));
}

void TestSystemServices::clockNeverGoesBack()
{
    SystemServices services;
    qint64 previous = services.clockMs();
    QVERIFY(previous > 0);
    for (int i = 0; i < 10000; ++i) {
        const qint64 now = services.clockMs();
        QVERIFY(now >= previous);
        previous = now;
    }
}

void TestSystemServices::clockCountsSuspend()
{
    timespec boot{};
    QCOMPARE(clock_gettime(CLOCK_BOOTTIME, &boot), 0);
    const qint64 bootMs = qint64(boot.tv_sec) * 1000 + boot.tv_nsec / 1000000;
    const qint64 aheadMs = SystemServices().clockMs() - bootMs;
    // A minute covers any delay between the two reads; the suspended hour does not fit in it.
    QVERIFY2(aheadMs >= 0 && aheadMs < 60 * 1000, qPrintable(QString::number(aheadMs)));
}

void TestSystemServices::messageShowsTextAsTypedWithoutWaiting()
{
    const QString text = QStringLiteral("L'éxécution de notes.txt <b>bold</b> &amp; x a provoqué une erreur !");
    SystemServices services;
    auto shownBox = [](const QWidget *owner) -> QMessageBox * {
        if (owner)
            return owner->findChild<QMessageBox *>();
        for (QWidget *widget : QApplication::topLevelWidgets()) {
            if (auto *box = qobject_cast<QMessageBox *>(widget); box && box->isVisible())
                return box;
        }
        return nullptr;
    };

    // Back at once, the box still up: nothing waits for the user.
    int closed = 0;
    services.messageBox(nullptr, text, Services::Icon::Exclamation, QStringLiteral("Minutrex"), [&] { ++closed; });
    QMessageBox *box = shownBox(nullptr);
    QVERIFY(box);
    QCOMPARE(box->textFormat(), Qt::PlainText);
    QCOMPARE(box->text(), text);
    QCOMPARE(box->windowModality(), Qt::ApplicationModal);
    QCOMPARE(closed, 0);
    box->accept();
    QCOMPARE(closed, 1);

    // Modal to its owner's window only, and gone with it without a word.
    auto *owner = new QWidget;
    owner->show();
    int ownerBoxClosed = 0;
    services.messageBox(owner, text, Services::Icon::Information, QStringLiteral("About"), [&] { ++ownerBoxClosed; });
    QPointer<QMessageBox> ownerBox = shownBox(owner);
    QVERIFY(ownerBox);
    QCOMPARE(ownerBox->windowModality(), Qt::WindowModal);
    delete owner;
    QVERIFY(!ownerBox);
    QCOMPARE(ownerBoxClosed, 0);
}

QTEST_MAIN(TestSystemServices)
#include "tst_systemservices.moc"
