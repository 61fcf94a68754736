// The launcher against real files and processes. The desktop opener is a
// stand-in "xdg-open" script put first in PATH; message boxes are recorded.

#include <fcntl.h>
#include <unistd.h>

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include "launcher.h"
#include "systemservices.h"
#include "testsupport.h"

namespace {

// The real services, except that message boxes are recorded instead of shown.
class RecordingSystem final : public Services
{
public:
    struct Message
    {
        QString text;
        QString title;
    };
    QList<Message> messages;

    // Short, so that an opener that outlives it is found out in a test's time.
    explicit RecordingSystem(int openerBoundMs = 300)
        : m_real(openerBoundMs)
    {
    }

    void beep() override { m_real.beep(); }
    void messageBox(QWidget *, const QString &text, Icon, const QString &title) override
    {
        messages.append({text, title});
    }
    QString openFileName(QWidget *owner, const QString &title, const QString &filter,
                         const QString &initialDirectory) override
    {
        return m_real.openFileName(owner, title, filter, initialDirectory);
    }
    bool openWithDesktop(QWidget *owner, const QString &absolutePath) override
    {
        return m_real.openWithDesktop(owner, absolutePath);
    }
    bool startProgram(const QString &program, const QStringList &arguments,
                      const QString &workingDirectory) override
    {
        return m_real.startProgram(program, arguments, workingDirectory);
    }
    QString programDirectory() override { return m_real.programDirectory(); }
    bool canCreateFileIn(const QString &directory) override { return m_real.canCreateFileIn(directory); }
    QString userConfigDirectory(QString *reason) override { return m_real.userConfigDirectory(reason); }
    bool isRegularFile(const QString &path) override { return m_real.isRegularFile(path); }
    bool pathExists(const QString &path) override { return m_real.pathExists(path); }
    bool isExecutableProgram(const QString &path) override { return m_real.isExecutableProgram(path); }
    qint64 clockMs() override { return m_real.clockMs(); }
    void processEvents() override { m_real.processEvents(); }
    void inhibitIdleSleep(const QString &) override {}
    void releaseIdleSleep() override {}
    void notify(const QString &, std::function<void()>) override {}
    QDateTime localDateTime() override { return m_real.localDateTime(); }

private:
    SystemServices m_real;
};

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
    void slowOpenerIsTrustedAndKeepsRunning();
    void failureMessages_data();
    void failureMessages();
    void openerVerdict_data();
    void openerVerdict();
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

    RecordingSystem services;
    QVERIFY(launchAction(name, m_target, nullptr, LaunchTexts::action(), services));
    QTRY_VERIFY(QFile::exists(record));
    // Started in the target directory, with no parameters.
    QCOMPARE(readBytes(record), QFile::encodeName(m_target.chopped(1)) + '\n');
    QVERIFY(services.messages.isEmpty());
    QVERIFY(!QFile::exists(m_opened));
}

void TestLauncherSystem::commandLineGetsExactParameters()
{
    const QString record = m_target + "args.out";
    QFile::remove(record);
    RecordingSystem services;
    QVERIFY(launchAction(R"(args.sh one "two words"  "  padded  " $HOME a;b 'q')", m_target, nullptr,
                         LaunchTexts::simulation(), services));
    QTRY_VERIFY(QFile::exists(record));
    const QByteArray expected = QFile::encodeName(m_target.chopped(1))
        + "\none\ntwo words\n  padded  \n$HOME\na;b\n'q'\n";
    QCOMPARE(readBytes(record), expected);
    QVERIFY(services.messages.isEmpty());
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
    RecordingSystem services;
    QVERIFY(launchAction(line, directory, nullptr, LaunchTexts::action(), services));
    // The opener has exited by now: its result was waited for.
    QCOMPARE(readBytes(m_opened), "1\n" + QFile::encodeName(m_target + expected) + '\n');
    QVERIFY(services.messages.isEmpty());
}

void TestLauncherSystem::failingOpenerIsAFailure()
{
    installOpener("exit 1\n");
    RecordingSystem services;
    QVERIFY(!launchAction("doc.txt", m_target, nullptr, LaunchTexts::action(), services));
    QCOMPARE(services.messages.size(), 1);
    QCOMPARE(services.messages[0].text, "L'éxécution de doc.txt" + StartFailedTail);
    QCOMPARE(services.messages[0].title, QStringLiteral("Minutrex - Action"));
}

void TestLauncherSystem::openerThatCannotStartIsAFailure()
{
    const QString emptyBin = m_tmp.path() + "/nothing";
    QVERIFY(QDir().mkpath(emptyBin));
    qputenv("PATH", QFile::encodeName(emptyBin));
    RecordingSystem services;
    const bool launched = launchAction("Photos", m_target, nullptr, LaunchTexts::simulation(), services);
    qputenv("PATH", QFile::encodeName(m_bin) + ':' + m_path);
    QVERIFY(!launched);
    QCOMPARE(services.messages.size(), 1);
    QCOMPARE(services.messages[0].text, "L'éxécution de Photos" + StartFailedTail);
    QCOMPARE(services.messages[0].title, QStringLiteral("Minutrex - Simulation"));
}

void TestLauncherSystem::slowOpenerIsTrustedAndKeepsRunning()
{
    // Waits for the test's signal (at most about ten seconds), then leaves a mark.
    const QString go = m_bin + "/go";
    const QString done = m_bin + "/done";
    QFile::remove(go);
    QFile::remove(done);
    installOpener("i=0\nwhile [ ! -e " + shellQuoted(go) + " ] && [ $i -lt 200 ]; do sleep 0.05; i=$((i+1)); done\n"
                  + ": > " + shellQuoted(done) + "\n");

    RecordingSystem services;
    QElapsedTimer elapsed;
    elapsed.start();
    QVERIFY(launchAction("doc.txt", m_target, nullptr, LaunchTexts::action(), services));
    QVERIFY(elapsed.elapsed() >= 300);
    QVERIFY(services.messages.isEmpty());
    QVERIFY(!QFile::exists(done));

    // The opener was neither killed nor forgotten: it finishes its work.
    QVERIFY(writeBytes(go, "", false));
    QTRY_VERIFY(QFile::exists(done));
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
    RecordingSystem services;
    QVERIFY(!launchAction(line, directory, nullptr, LaunchTexts::action(), services));
    QCOMPARE(services.messages.size(), 1);
    QCOMPARE(services.messages[0].text, message);
    QCOMPARE(services.messages[0].title, QStringLiteral("Minutrex - Action"));
    QVERIFY(!QFile::exists(m_opened));
}

void TestLauncherSystem::openerVerdict_data()
{
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<int>("boundMs");
    QTest::addColumn<bool>("started");
    // However long the opener takes to fail, within the bound it is a failure.
    QTest::newRow("fails at once") << QByteArray("exit 4\n") << 5000 << false;
    QTest::newRow("fails late") << QByteArray("/bin/sleep 0.5\nexit 4\n") << 5000 << false;
    QTest::newRow("succeeds late") << QByteArray("/bin/sleep 0.5\nexit 0\n") << 5000 << true;
    QTest::newRow("still running at the bound") << QByteArray("exec /bin/sleep 0.6\n") << 200 << true;
}

void TestLauncherSystem::openerVerdict()
{
    QFETCH(QByteArray, body);
    QFETCH(int, boundMs);
    QFETCH(bool, started);
    installOpener(body);
    RecordingSystem services(boundMs);
    // The windows' timers keep running while the verdict is awaited.
    int ticks = 0;
    QTimer tick;
    connect(&tick, &QTimer::timeout, [&ticks] { ++ticks; });
    tick.start(20);
    QCOMPARE(launchAction("doc.txt", m_target, nullptr, LaunchTexts::action(), services), started);
    QCOMPARE(services.messages.size(), started ? 0 : 1);
    if (body.contains("sleep"))
        QVERIFY2(ticks >= 5, qPrintable(QString::number(ticks)));
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

    RecordingSystem services(5000);
    QVERIFY(services.startProgram("/bin/sh", {"-c", QString::fromUtf8(listing(program))}, QString()));
    QVERIFY(services.openWithDesktop(nullptr, m_target + "doc.txt"));
    ::close(leaked);
    QTRY_VERIFY(QFile::exists(program));
    QCOMPARE(readBytes(program).split('\n'), QByteArray("0\n1\n2\n").split('\n'));
    QCOMPARE(readBytes(opener).split('\n'), QByteArray("0\n1\n2\n").split('\n'));
}

QTEST_MAIN(TestLauncherSystem)
#include "tst_launcher_system.moc"
