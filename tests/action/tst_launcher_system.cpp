// The launcher against real files and processes. The desktop opener is a
// stand-in "xdg-open" script put first in PATH.

#include <optional>

#include <fcntl.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>
#include <QProcessEnvironment>
#include <QWidget>

#include "launcher.h"
#include "systemservices.h"
#include "testsupport.h"

namespace {

// The outcome of one launch, waited for outside any window; a missing one
// fails the test that asked.
std::optional<LaunchOutcome> launched(const QString &line, const QString &directory, const LaunchTexts &texts,
                                      SystemServices &services)
{
    std::optional<LaunchOutcome> outcome;
    launchAction(line, directory, nullptr, texts, services, [&outcome](const LaunchOutcome &o) { outcome = o; });
    if (!QTest::qWaitFor([&outcome] { return outcome.has_value(); }, 20000))
        return std::nullopt;
    return outcome;
}

QByteArray shellQuoted(const QString &text)
{
    QByteArray quoted = QFile::encodeName(text);
    quoted.replace('\'', "'\\''");
    return '\'' + quoted + '\'';
}

// A script that writes its working directory and then each argument, one per
// line, into record; the file appears whole, by a rename.
QByteArray recorderScript(const QString &record)
{
    const QByteArray r = shellQuoted(record);
    return "#!/bin/sh\n{ pwd -P; for a in \"$@\"; do printf '%s\\n' \"$a\"; done; } > " + r + ".tmp && mv " + r + ".tmp " + r + "\n";
}

const QString StartFailedTail = QStringLiteral(" a provoqué une erreur !\n\nReconsidérer votre action ...");

} // namespace

class TestLauncherSystem : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void init();
    void cleanup();

    void programRuns_data();
    void programRuns();
    void commandLineGetsExactParameters();
    void openerGetsAbsolutePath_data();
    void openerGetsAbsolutePath();
    void failingOpenerIsAFailure();
    void openerThatCannotStartIsAFailure();
    void failureMessages_data();
    void failureMessages();
    void openerVerdict_data();
    void openerVerdict();
    void verdictForAWindowThatWentIsDropped();
    void childrenGetTheirOwnSessionAndTheStartEnvironment();
    void childrenGetOnlyStandardDescriptors();

private:
    void installOpener(const QByteArray &body);

    QTemporaryDir m_tmp;
    QString m_target;   // the target directory, with a space in its name, ending in "/"
    QString m_bin;      // holds the stand-in xdg-open
    QString m_opened;   // what the stand-in opener records
    QByteArray m_path;  // PATH as the test found it
    QString m_cwd;
};

void TestLauncherSystem::initTestCase()
{
    QVERIFY(m_tmp.isValid());
    const QString root = QDir(m_tmp.path()).canonicalPath();
    m_target = root + "/target dir/";
    m_bin = root + "/bin";
    m_opened = m_bin + "/opened.txt";
    QVERIFY(QDir().mkpath(m_target));
    QVERIFY(QDir().mkpath(m_bin));
    QVERIFY(QDir().mkpath(m_target + "Photos"));
    QVERIFY(writeBytes(m_target + "doc.txt", "hello\n", false));
    QVERIFY(writeBytes(m_target + "letter.docx", "x", false));
    QVERIFY(writeBytes(m_target + "letter.doc", "x", false));
    QVERIFY(writeBytes(m_target + "notes.txt", "not a program\n", true)); // +x, but no "#!"
    QVERIFY(writeBytes(m_target + "args.sh", recorderScript(m_target + "args.out"), true));
    m_path = qgetenv("PATH");
    qputenv("PATH", QFile::encodeName(m_bin) + ':' + m_path);
    m_cwd = QDir::currentPath();
}

void TestLauncherSystem::cleanupTestCase()
{
    qputenv("PATH", m_path);
}

void TestLauncherSystem::init()
{
    QFile::remove(m_opened);
    // The default opener records its arguments and succeeds.
    installOpener("printf '%s\\n' \"$#\" \"$@\" > \"$0.tmp\" && mv \"$0.tmp\" " + shellQuoted(m_opened)
                  + "\nexit 0\n");
}

void TestLauncherSystem::cleanup()
{
    QDir::setCurrent(m_cwd);
}

void TestLauncherSystem::installOpener(const QByteArray &body)
{
    QVERIFY(writeBytes(m_bin + "/xdg-open", "#!/bin/sh\n" + body, true));
}

void TestLauncherSystem::programRuns_data()
{
    QTest::addColumn<QString>("name");
    QTest::newRow("script") << "run.sh";
    QTest::newRow("no extension") << "backup";
    QTest::newRow("name with a space") << "my tool";
}

void TestLauncherSystem::programRuns()
{
    QFETCH(QString, name);
    const QString record = m_target + name + ".out";
    QFile::remove(record);
    QVERIFY(writeBytes(m_target + name, recorderScript(record), true));

    SystemServices services;
    const auto outcome = launched(name, m_target, LaunchTexts::action(), services);
    QVERIFY(outcome && outcome->started);
    QTRY_VERIFY(QFile::exists(record));
    // Started in the target directory, with no parameters.
    QCOMPARE(readBytes(record), QFile::encodeName(m_target.chopped(1)) + '\n');
    QVERIFY(!QFile::exists(m_opened));
}

void TestLauncherSystem::commandLineGetsExactParameters()
{
    const QString record = m_target + "args.out";
    QFile::remove(record);
    SystemServices services;
    const auto outcome = launched(R"(args.sh one "two words"  "  padded  " $HOME a;b 'q')", m_target,
                                  LaunchTexts::simulation(), services);
    QVERIFY(outcome && outcome->started);
    QTRY_VERIFY(QFile::exists(record));
    const QByteArray expected = QFile::encodeName(m_target.chopped(1))
        + "\none\ntwo words\n  padded  \n$HOME\na;b\n'q'\n";
    QCOMPARE(readBytes(record), expected);
}

void TestLauncherSystem::openerGetsAbsolutePath_data()
{
    QTest::addColumn<QString>("line");
    QTest::addColumn<bool>("emptyDirectoryLine"); // run from inside the target directory
    QTest::addColumn<QString>("expected");

    QTest::newRow("document") << "doc.txt" << false << "doc.txt";
    QTest::newRow("letter.docx whole") << "letter.docx" << false << "letter.docx";
    QTest::newRow("directory") << "Photos" << false << "Photos";
    QTest::newRow("executable text file") << "notes.txt" << false << "notes.txt";
    QTest::newRow("empty directory line") << "doc.txt" << true << "doc.txt";
}

void TestLauncherSystem::openerGetsAbsolutePath()
{
    QFETCH(QString, line);
    QFETCH(bool, emptyDirectoryLine);
    QFETCH(QString, expected);

    QString directory = m_target;
    if (emptyDirectoryLine) {
        QVERIFY(QDir::setCurrent(m_target));
        directory.clear();
    }
    SystemServices services;
    const auto outcome = launched(line, directory, LaunchTexts::action(), services);
    QVERIFY(outcome && outcome->started);
    // The opener has exited by now: its result was waited for.
    QCOMPARE(readBytes(m_opened), "1\n" + QFile::encodeName(m_target + expected) + '\n');
}

void TestLauncherSystem::failingOpenerIsAFailure()
{
    installOpener("exit 1\n");
    SystemServices services;
    const auto outcome = launched("doc.txt", m_target, LaunchTexts::action(), services);
    QVERIFY(outcome && !outcome->started);
    QCOMPARE(outcome->message, "L'éxécution de doc.txt" + StartFailedTail);
    QCOMPARE(outcome->title, QStringLiteral("Minutrex - Action"));
}

void TestLauncherSystem::openerThatCannotStartIsAFailure()
{
    const QString emptyBin = m_tmp.path() + "/nothing";
    QVERIFY(QDir().mkpath(emptyBin));
    qputenv("PATH", QFile::encodeName(emptyBin));
    SystemServices services;
    const auto outcome = launched("Photos", m_target, LaunchTexts::simulation(), services);
    qputenv("PATH", QFile::encodeName(m_bin) + ':' + m_path);
    QVERIFY(outcome && !outcome->started);
    QCOMPARE(outcome->message, "L'éxécution de Photos" + StartFailedTail);
    QCOMPARE(outcome->title, QStringLiteral("Minutrex - Simulation"));
}

void TestLauncherSystem::failureMessages_data()
{
    QTest::addColumn<QString>("line");
    QTest::addColumn<QString>("directory"); // relative to the temporary directory; "-" for the target
    QTest::addColumn<QString>("message");   // "%1" stands for the directory line

    QTest::newRow("empty target") << "" << "-" << "Aucun fichier cible !";
    QTest::newRow("missing target") << "gone.txt" << "-"
                                    << "Le fichier gone.txt n'existe pas dans le dossier %1";
    QTest::newRow("missing program with parameters")
        << "prog.exe list.txt" << "-" << "Le fichier prog.exe n'existe pas dans le dossier %1";
    QTest::newRow("directory line without final slash")
        << "doc.txt" << "target dir" << "Le fichier doc.txt n'existe pas dans le dossier %1";
    QTest::newRow("document followed by parameters")
        << "doc.txt \"x y\"" << "-" << "L'éxécution de doc.txt \"x y\"" + StartFailedTail;
    QTest::newRow("executable text file followed by parameters")
        << "notes.txt x" << "-" << "L'éxécution de notes.txt x" + StartFailedTail;
    QTest::newRow("directory followed by parameters")
        << "Photos x" << "-" << "Le fichier Photos n'existe pas dans le dossier %1";
}

void TestLauncherSystem::failureMessages()
{
    QFETCH(QString, line);
    QFETCH(QString, directory);
    QFETCH(QString, message);

    directory = directory == "-" ? m_target : QDir(m_tmp.path()).canonicalPath() + '/' + directory;
    if (message.contains("%1"))
        message = message.arg(directory);
    SystemServices services;
    const auto outcome = launched(line, directory, LaunchTexts::action(), services);
    QVERIFY(outcome && !outcome->started);
    QCOMPARE(outcome->message, message);
    QCOMPARE(outcome->title, QStringLiteral("Minutrex - Action"));
    QVERIFY(!QFile::exists(m_opened));
}

void TestLauncherSystem::openerVerdict_data()
{
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<int>("boundMs");
    QTest::addColumn<bool>("started");
    // However long the opener takes to fail, within the bound it is a failure.
    QTest::newRow("fails at once") << QByteArray("exit 4\n") << 20000 << false;
    QTest::newRow("fails late") << QByteArray("/bin/sleep 0.5\nexit 4\n") << 20000 << false;
    QTest::newRow("succeeds late") << QByteArray("/bin/sleep 0.5\nexit 0\n") << 20000 << true;
    // Runs until the test lets it go, long after the bound, then leaves a mark.
    QTest::newRow("still running at the bound")
        << QByteArray("while [ ! -e \"$0.go\" ]; do /bin/sleep 0.05; done\n: > \"$0.done\"\n") << 200 << true;
}

void TestLauncherSystem::openerVerdict()
{
    QFETCH(QByteArray, body);
    QFETCH(int, boundMs);
    QFETCH(bool, started);
    const QString go = m_bin + "/xdg-open.go";
    const QString done = m_bin + "/xdg-open.done";
    QFile::remove(go);
    QFile::remove(done);
    installOpener(body);
    SystemServices services(boundMs);
    std::optional<LaunchOutcome> outcome;
    launchAction("doc.txt", m_target, nullptr, LaunchTexts::action(), services,
                 [&outcome](const LaunchOutcome &o) { outcome = o; });
    // Nothing is waited for inside the call: the verdict comes from the event loop.
    QVERIFY(!outcome);
    QTRY_VERIFY_WITH_TIMEOUT(outcome.has_value(), 20000);
    QCOMPARE(outcome->started, started);
    // An opener trusted at the bound was neither killed nor forgotten.
    QVERIFY(writeBytes(go, "", false));
    if (body.contains("done"))
        QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(done), 20000);
}

void TestLauncherSystem::verdictForAWindowThatWentIsDropped()
{
    const QString go = m_bin + "/xdg-open.go";
    QFile::remove(go);
    installOpener("while [ ! -e \"$0.go\" ]; do /bin/sleep 0.02; done\nexit 1\n");
    SystemServices services;
    auto *owner = new QWidget;
    bool told = false;
    services.openWithDesktop(owner, m_target + "doc.txt", [&told](bool) { told = true; });
    delete owner; // the user quit while the opener was at work
    QVERIFY(writeBytes(go, "", false));
    // A second opener, asked later with no owner, answers after the first.
    bool second = false;
    services.openWithDesktop(nullptr, m_target + "doc.txt", [&second](bool) { second = true; });
    QTRY_VERIFY_WITH_TIMEOUT(second, 20000);
    QVERIFY(!told);
}

void TestLauncherSystem::childrenGetTheirOwnSessionAndTheStartEnvironment()
{
    const QString program = m_bin + "/env-program.txt";
    const QString opener = m_bin + "/env-opener.txt";
    QFile::remove(program);
    QFile::remove(opener);
    // The session id, then the environment, of the shell itself.
    auto report = [](const QString &out) {
        return "{ ps -o sid= -p $$; env; } > " + shellQuoted(out + ".tmp") + " && mv " + shellQuoted(out + ".tmp")
            + " " + shellQuoted(out);
    };
    installOpener(report(opener) + "\n");

    SystemServices services;
    QProcessEnvironment startEnvironment = QProcessEnvironment::systemEnvironment();
    startEnvironment.insert("MINUTREX_TEST_GIVEN", "from the start");
    services.setChildEnvironment(startEnvironment);
    // Set by the program for itself, after its start.
    qputenv("MINUTREX_TEST_OWN", "the program's own");
    QVERIFY(services.startProgram("/bin/sh", {"-c", QString::fromUtf8(report(program))}, QString()));
    bool opened = false;
    services.openWithDesktop(nullptr, m_target + "doc.txt", [&opened](bool started) { opened = started; });
    QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(program) && QFile::exists(opener), 20000);
    qunsetenv("MINUTREX_TEST_OWN");
    QTRY_VERIFY(opened);
    const QByteArray ownSession = QByteArray::number(qint64(::getsid(0)));
    for (const QString &record : {program, opener}) {
        const QList<QByteArray> lines = readBytes(record).split('\n');
        QVERIFY(!lines.isEmpty());
        QVERIFY2(lines[0].trimmed() != ownSession, qPrintable(record));
        QVERIFY2(lines.contains("MINUTREX_TEST_GIVEN=from the start"), qPrintable(record));
        QVERIFY2(!readBytes(record).contains("MINUTREX_TEST_OWN"), qPrintable(record));
    }
}

void TestLauncherSystem::childrenGetOnlyStandardDescriptors()
{
    // A descriptor opened without close-on-exec, as a library's may be.
    const int leaked = ::open(QFile::encodeName(m_target + "doc.txt").constData(), O_RDONLY);
    QVERIFY(leaked > 2);
    const QString program = m_bin + "/fds-program.txt";
    const QString opener = m_bin + "/fds-opener.txt";
    QFile::remove(program);
    QFile::remove(opener);
    // The listing is of the shell itself, which runs ls as a child; its output
    // is redirected for good first, so the shell keeps no copy of it aside.
    auto listing = [](const QString &out) {
        return "exec > " + shellQuoted(out + ".tmp") + "; ls /proc/$$/fd; mv " + shellQuoted(out + ".tmp") + " "
            + shellQuoted(out);
    };
    installOpener("exec /bin/sh -c " + shellQuoted(QString::fromUtf8(listing(opener))) + "\n");

    SystemServices services(20000);
    QVERIFY(services.startProgram("/bin/sh", {"-c", QString::fromUtf8(listing(program))}, QString()));
    bool opened = false;
    services.openWithDesktop(nullptr, m_target + "doc.txt", [&opened](bool started) { opened = started; });
    ::close(leaked);
    QTRY_VERIFY(QFile::exists(program));
    QTRY_VERIFY_WITH_TIMEOUT(opened, 20000);
    QCOMPARE(readBytes(program).split('\n'), QByteArray("0\n1\n2\n").split('\n'));
    QCOMPARE(readBytes(opener).split('\n'), QByteArray("0\n1\n2\n").split('\n'));
}

QTEST_MAIN(TestLauncherSystem)
#include "tst_launcher_system.moc"
