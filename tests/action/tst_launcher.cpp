// Launcher decisions and messages, against recorded services.

#include <QDir>
#include <QTest>
#include <QWidget>

#include "fakeservices.h"
#include "launcher.h"

using Kind = ActionPlan::Kind;
Q_DECLARE_METATYPE(ActionPlan::Kind)

namespace {

const QString StartFailedTail = QStringLiteral(" a provoqué une erreur !\n\nReconsidérer votre action ...");

void addFiles(FakeServices &services, const QStringList &files, const QStringList &dirs,
              const QStringList &programs)
{
    for (const QString &f : files)
        services.regularFiles.insert(f);
    for (const QString &d : dirs)
        services.directories.insert(d);
    for (const QString &p : programs) {
        services.regularFiles.insert(p);
        services.executablePrograms.insert(p);
    }
}

QString cwdPath(const QString &name)
{
    return QDir::current().absoluteFilePath(name);
}

} // namespace

class TestLauncher : public QObject
{
    Q_OBJECT

private slots:
    void plausibleName_data();
    void plausibleName();
    void plan_data();
    void plan();
    void launch_data();
    void launch();
    void launchPassesOwnerAndPlan();
};

void TestLauncher::plausibleName_data()
{
    QTest::addColumn<QString>("line");
    QTest::addColumn<QString>("expected");

    QTest::newRow("empty") << "" << "";
    QTest::newRow("document") << "doc.txt" << "doc.txt";
    QTest::newRow("program and parameter") << "prog.exe list.txt" << "prog.exe";
    QTest::newRow("two spaces after program") << "prog.exe  list.txt" << "prog.exe";
    QTest::newRow("long extension") << "letter.docx" << "letter.docx";
    QTest::newRow("several dots") << "a.b.txt" << "a.b.txt";
    QTest::newRow("no dot") << "readme" << "readme";
    QTest::newRow("no dot, parameters") << "backup --all now" << "backup";
    QTest::newRow("short without dot") << "ab" << "ab";
    QTest::newRow("short extension") << "x.y" << "x.y";
    QTest::newRow("short extension, parameter") << "file.c arg" << "file.c";
    QTest::newRow("cut inside a word after a space") << "a.bc d.txt" << "a.bc";
    QTest::newRow("space before the dot") << "my file.txt" << "my file.txt";
    QTest::newRow("leading space") << " prog x" << " prog";
}

void TestLauncher::plausibleName()
{
    QFETCH(QString, line);
    QFETCH(QString, expected);
    QCOMPARE(plausibleProgramName(line), expected);
}

void TestLauncher::plan_data()
{
    QTest::addColumn<QString>("line");
    QTest::addColumn<QString>("directory");
    QTest::addColumn<QStringList>("files");
    QTest::addColumn<QStringList>("dirs");
    QTest::addColumn<QStringList>("programs");
    QTest::addColumn<Kind>("kind");
    QTest::addColumn<QString>("programName");
    QTest::addColumn<QString>("path");
    QTest::addColumn<QStringList>("arguments");

    const QString d = QStringLiteral("/docs/");
    const QStringList none;

    QTest::newRow("empty line") << "" << d << QStringList{"/docs/"} << QStringList{"/docs/"} << none
                                << Kind::NoTarget << "" << "" << none;
    QTest::newRow("document") << "doc.txt" << d << QStringList{"/docs/doc.txt"} << none << none
                              << Kind::Open << "doc.txt" << "/docs/doc.txt" << none;
    QTest::newRow("program, whole line") << "backup" << d << none << none << QStringList{"/docs/backup"}
                                         << Kind::RunProgram << "backup" << "/docs/backup" << none;
    QTest::newRow("program and parameter")
        << "prog.exe list.txt" << d << none << none << QStringList{"/docs/prog.exe"}
        << Kind::CommandLine << "prog.exe" << "/docs/prog.exe" << QStringList{"list.txt"};
    QTest::newRow("document and parameter: still a command line")
        << "doc.txt param" << d << QStringList{"/docs/doc.txt"} << none << none
        << Kind::CommandLine << "doc.txt" << "/docs/doc.txt" << QStringList{"param"};
    QTest::newRow("quoted parameters")
        << R"(tool -o "my file.txt"  "a  b" plain $HOME a;b)" << d << none << none
        << QStringList{"/docs/tool"} << Kind::CommandLine << "tool" << "/docs/tool"
        << QStringList{"-o", "my file.txt", "a  b", "plain", "$HOME", "a;b"};
    QTest::newRow("whole line with spaces beats its first word")
        << "my report.txt" << d << QStringList{"/docs/my report.txt", "/docs/my"} << none << none
        << Kind::Open << "my report.txt" << "/docs/my report.txt" << none;
    QTest::newRow("program name with a space")
        << "my tool arg" << d << none << none << QStringList{"/docs/my tool"}
        << Kind::CommandLine << "my tool" << "/docs/my tool" << QStringList{"arg"};
    QTest::newRow("shortest program part wins")
        << "a b c" << d << QStringList{"/docs/a b", "/docs/a"} << none << none
        << Kind::CommandLine << "a" << "/docs/a" << QStringList{"b", "c"};
    QTest::newRow("a directory does not hide the program")
        << "sub dir/prog x" << d << QStringList{"/docs/sub dir/prog"} << QStringList{"/docs/sub"} << none
        << Kind::CommandLine << "sub dir/prog" << "/docs/sub dir/prog" << QStringList{"x"};
    QTest::newRow("letter.docx opened whole, letter.doc ignored")
        << "letter.docx" << d << QStringList{"/docs/letter.docx", "/docs/letter.doc"} << none << none
        << Kind::Open << "letter.docx" << "/docs/letter.docx" << none;
    QTest::newRow("letter.docx missing") << "letter.docx" << d << none << none << none
                                         << Kind::Missing << "letter.docx" << "" << none;
    QTest::newRow("a.b.txt missing") << "a.b.txt" << d << none << none << none << Kind::Missing
                                     << "a.b.txt" << "" << none;
    QTest::newRow("readme missing") << "readme" << d << none << none << none << Kind::Missing
                                    << "readme" << "" << none;
    QTest::newRow("program with parameter missing")
        << "prog.exe list.txt" << d << QStringList{"/docs/list.txt"} << none << none
        << Kind::Missing << "prog.exe" << "" << none;
    QTest::newRow("directory target") << "Photos" << d << none << QStringList{"/docs/Photos"} << none
                                      << Kind::Open << "Photos" << "/docs/Photos" << none;
    QTest::newRow("directory without final slash")
        << "doc.txt" << "/docs" << QStringList{"/docs/doc.txt"} << QStringList{"/docs"} << none
        << Kind::Missing << "doc.txt" << "" << none;
    QTest::newRow("directory without final slash, joined name exists")
        << "doc.txt" << "/docs" << QStringList{"/docsdoc.txt"} << none << none
        << Kind::Open << "doc.txt" << "/docsdoc.txt" << none;
    QTest::newRow("empty directory line, document")
        << "doc.txt" << "" << QStringList{"doc.txt"} << none << none
        << Kind::Open << "doc.txt" << cwdPath("doc.txt") << none;
    QTest::newRow("empty directory line, command")
        << "prog.exe list.txt" << "" << none << none << QStringList{"prog.exe"}
        << Kind::CommandLine << "prog.exe" << cwdPath("prog.exe") << QStringList{"list.txt"};
    QTest::newRow("empty directory line, program")
        << "backup" << "" << none << none << QStringList{"backup"}
        << Kind::RunProgram << "backup" << cwdPath("backup") << none;
}

void TestLauncher::plan()
{
    QFETCH(QString, line);
    QFETCH(QString, directory);
    QFETCH(QStringList, files);
    QFETCH(QStringList, dirs);
    QFETCH(QStringList, programs);
    QFETCH(Kind, kind);
    QFETCH(QString, programName);
    QFETCH(QString, path);
    QFETCH(QStringList, arguments);

    FakeServices services;
    addFiles(services, files, dirs, programs);
    const ActionPlan plan = planAction(line, directory, services);

    QCOMPARE(plan.kind, kind);
    QCOMPARE(plan.programName, programName);
    if (kind == Kind::Open || kind == Kind::RunProgram || kind == Kind::CommandLine) {
        QCOMPARE(plan.path, path);
        QVERIFY(QDir::isAbsolutePath(plan.path));
        QCOMPARE(plan.arguments, arguments);
    }
    if (kind == Kind::RunProgram || kind == Kind::CommandLine)
        QCOMPARE(plan.workingDirectory, directory);
    // Deciding never touches the desktop.
    QVERIFY(services.messages.isEmpty());
    QVERIFY(services.opened.isEmpty());
    QVERIFY(services.started.isEmpty());
}

void TestLauncher::launch_data()
{
    QTest::addColumn<bool>("simulation");
    QTest::addColumn<QString>("line");
    QTest::addColumn<QString>("directory");
    QTest::addColumn<QStringList>("files");
    QTest::addColumn<QStringList>("programs");
    QTest::addColumn<bool>("openResult");
    QTest::addColumn<bool>("startResult");
    QTest::addColumn<bool>("result");
    QTest::addColumn<QString>("message"); // empty: no message box
    QTest::addColumn<int>("opens");
    QTest::addColumn<int>("starts");

    const QString d = QStringLiteral("/docs/");
    const QStringList none;
    const QString browse = QStringLiteral("\n\nCliquer sur \"Parcourir ...\" pour sélectionner un fichier");

    for (bool sim : {false, true}) {
        const char *who = sim ? "simulation: " : "action: ";
        auto row = [&](const char *name) {
            return &QTest::newRow((QByteArray(who) + name).constData());
        };
        *row("empty line") << sim << "" << d << none << none << true << true << false
                           << (sim ? "Aucun fichier cible !" + browse : QString("Aucun fichier cible !"))
                           << 0 << 0;
        *row("missing") << sim << "letter.docx" << d << QStringList{"/docs/letter.doc"} << none << true
                        << true << false
                        << "Le fichier letter.docx n'existe pas dans le dossier /docs/"
                               + (sim ? browse + " valide" : QString())
                        << 0 << 0;
        *row("missing, empty directory line")
            << sim << "prog.exe list.txt" << "" << none << none << true << true << false
            << "Le fichier prog.exe n'existe pas dans le dossier " + (sim ? browse + " valide" : QString())
            << 0 << 0;
        *row("missing, directory without final slash")
            << sim << "doc.txt" << "/docs" << QStringList{"/docs/doc.txt"} << none << true << true << false
            << "Le fichier doc.txt n'existe pas dans le dossier /docs" + (sim ? browse + " valide" : QString())
            << 0 << 0;
        *row("opened") << sim << "doc.txt" << d << QStringList{"/docs/doc.txt"} << none << true << true
                       << true << "" << 1 << 0;
        *row("opener failed") << sim << "doc.txt" << d << QStringList{"/docs/doc.txt"} << none << false
                              << true << false << "L'éxécution de doc.txt" + StartFailedTail << 1 << 0;
        *row("program started") << sim << "backup" << d << none << QStringList{"/docs/backup"} << false
                                << true << true << "" << 0 << 1;
        *row("program failed") << sim << "backup" << d << none << QStringList{"/docs/backup"} << true
                               << false << false << "L'éxécution de backup" + StartFailedTail << 0 << 1;
        *row("command line started") << sim << "prog.exe list.txt" << d << QStringList{"/docs/prog.exe"}
                                     << none << true << true << true << "" << 0 << 1;
        *row("document with parameter fails")
            << sim << "doc.txt \"a b\" c" << d << QStringList{"/docs/doc.txt"} << none << true << false
            << false << "L'éxécution de doc.txt \"a b\" c" + StartFailedTail << 0 << 1;
    }
}

void TestLauncher::launch()
{
    QFETCH(bool, simulation);
    QFETCH(QString, line);
    QFETCH(QString, directory);
    QFETCH(QStringList, files);
    QFETCH(QStringList, programs);
    QFETCH(bool, openResult);
    QFETCH(bool, startResult);
    QFETCH(bool, result);
    QFETCH(QString, message);
    QFETCH(int, opens);
    QFETCH(int, starts);

    FakeServices services;
    addFiles(services, files, {}, programs);
    services.openResult = openResult;
    services.startResult = startResult;
    QWidget owner;

    const LaunchTexts texts = simulation ? LaunchTexts::simulation() : LaunchTexts::action();
    int outcomes = 0;
    LaunchOutcome outcome;
    launchAction(line, directory, &owner, texts, services, [&](const LaunchOutcome &o) {
        ++outcomes;
        outcome = o;
    });
    QCOMPARE(outcomes, 1);
    QCOMPARE(outcome.started, result);
    // The launcher itself shows nothing; its caller shows the failure.
    QVERIFY(services.messages.isEmpty());
    showLaunchFailure(&owner, outcome, services);

    QCOMPARE(services.opened.size(), opens);
    QCOMPARE(services.started.size(), starts);
    if (message.isEmpty()) {
        QVERIFY(services.messages.isEmpty());
        return;
    }
    QCOMPARE(services.messages.size(), 1);
    const FakeServices::Message &shown = services.messages.first();
    QCOMPARE(shown.text, message);
    QCOMPARE(shown.title, simulation ? QStringLiteral("Minutrex - Simulation")
                                     : QStringLiteral("Minutrex - Action"));
    QCOMPARE(shown.icon, Services::Icon::Exclamation);
    QCOMPARE(shown.owner, &owner);
}

void TestLauncher::launchPassesOwnerAndPlan()
{
    FakeServices services;
    services.regularFiles = {"/docs/doc.txt", "/docs/prog"};
    services.executablePrograms = {"/docs/prog"};
    QWidget owner;

    QList<bool> started;
    auto record = [&started](const LaunchOutcome &outcome) { started << outcome.started; };
    launchAction("doc.txt", "/docs/", &owner, LaunchTexts::simulation(), services, record);
    QCOMPARE(services.opened.size(), 1);
    QCOMPARE(services.opened[0].owner, &owner);
    QCOMPARE(services.opened[0].path, QStringLiteral("/docs/doc.txt"));

    launchAction("prog", "/docs/", &owner, LaunchTexts::action(), services, record);
    launchAction("prog -v \"x y\"", "/docs/", &owner, LaunchTexts::action(), services, record);
    QCOMPARE(started, (QList<bool>{true, true, true}));
    QCOMPARE(services.started.size(), 2);
    QCOMPARE(services.started[0].program, QStringLiteral("/docs/prog"));
    QCOMPARE(services.started[0].arguments, QStringList());
    QCOMPARE(services.started[0].workingDirectory, QStringLiteral("/docs/"));
    QCOMPARE(services.started[1].program, QStringLiteral("/docs/prog"));
    QCOMPARE(services.started[1].arguments, (QStringList{"-v", "x y"}));
    QCOMPARE(services.started[1].workingDirectory, QStringLiteral("/docs/"));
    QVERIFY(services.messages.isEmpty());
}

QTEST_MAIN(TestLauncher)
#include "tst_launcher.moc"
