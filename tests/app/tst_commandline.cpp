#include "commandline.h"

#include <QTest>

using namespace Qt::StringLiterals;

Q_DECLARE_METATYPE(Command::Kind)

class TestCommandLine : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void commands_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<Command::Kind>("kind");
        QTest::addColumn<bool>("json");
        using K = Command::Kind;
        QTest::newRow("nothing") << QStringList() << K::Run << false;
        QTest::newRow("line") << QStringList {u"--line"_s} << K::Line << false;
        QTest::newRow("line json") << QStringList {u"--json"_s, u"--line"_s} << K::Line << true;
        QTest::newRow("follow") << QStringList {u"--line"_s, u"--json"_s, u"--follow"_s} << K::Follow << true;
        QTest::newRow("sign in") << QStringList {u"--sign-in"_s} << K::SignIn << false;
        QTest::newRow("disconnect") << QStringList {u"--disconnect"_s} << K::Disconnect << false;
        QTest::newRow("refresh") << QStringList {u"--refresh"_s} << K::Refresh << false;
        QTest::newRow("quit") << QStringList {u"--quit"_s} << K::Quit << false;
        QTest::newRow("settings") << QStringList {u"--settings"_s} << K::Settings << false;
        QTest::newRow("help") << QStringList {u"--help"_s, u"--line"_s} << K::Help << false;
        QTest::newRow("version") << QStringList {u"-v"_s} << K::Version << false;
        QTest::newRow("address") << QStringList {u"quillmere-menubar://auth?code=1"_s} << K::Open << false;
        QTest::newRow("next") << QStringList {u"--line"_s, u"--json"_s, u"--next"_s} << K::Next << true;
        QTest::newRow("add to panel") << QStringList {u"--add-to-panel"_s} << K::AddToPanel << false;
    }

    void commands()
    {
        QFETCH(QStringList, arguments);
        QFETCH(Command::Kind, kind);
        QFETCH(bool, json);
        const Command::Parsed parsed = Command::parse(QStringList {u"quillmere-menubar"_s} + arguments);
        QVERIFY2(parsed.error.isEmpty(), qPrintable(parsed.error));
        QCOMPARE(parsed.command.kind, kind);
        QCOMPARE(parsed.command.json, json);
        QVERIFY(!parsed.command.server);
    }

    void addressesKeepTheirOrderAndQuery()
    {
        const QString first = u"quillmere-menubar://auth?code=a%2Bb&state=S1"_s;
        const QString second = u"quillmere-menubar://auth?code=c&state=S2"_s;
        const Command::Parsed parsed = Command::parse({u"quillmere-menubar"_s, first, second});
        QVERIFY(parsed.error.isEmpty());
        QCOMPARE(parsed.command.urls.size(), 2);
        QCOMPARE(parsed.command.urls.at(0).toString(QUrl::FullyEncoded), first);
        QCOMPARE(parsed.command.urls.at(1).toString(QUrl::FullyEncoded), second);
        QVERIFY(parsed.command.needsInstance());
    }

    void connectTakesTheLinkOnly()
    {
        const Command::Parsed parsed = Command::parse(
            {u"quillmere-menubar"_s, u"--connect"_s, u" https://q.example/embed/k "_s, u"--password-stdin"_s});
        QVERIFY(parsed.error.isEmpty());
        QCOMPARE(parsed.command.kind, Command::Kind::Connect);
        QCOMPARE(parsed.command.link, u" https://q.example/embed/k "_s); // the Store trims it
        QVERIFY(parsed.command.passwordFromStdin);
    }

    // The panel widget's commands: --next with the state it shows, and
    // --popover-at with its button and the panel's edge.
    void panelCommands_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QString>("error"); // a word of the message, or empty when accepted
        QTest::addColumn<QString>("since");
        QTest::addColumn<QRect>("anchor");
        QTest::addColumn<QString>("edge");
        const QStringList next {u"--line"_s, u"--json"_s, u"--next"_s};
        QTest::newRow("next since") << next + QStringList {u"--since"_s, u"0123abcd"_s} << QString() << u"0123abcd"_s
                                    << QRect() << QString();
        QTest::newRow("next with follow")
            << next + QStringList {u"--follow"_s} << u"--next"_s << QString() << QRect() << QString();
        QTest::newRow("since alone") << QStringList {u"--line"_s, u"--since"_s, u"ab"_s} << u"--since"_s << QString()
                                     << QRect() << QString();
        QTest::newRow("bottom panel") << QStringList {u"--popover-at"_s, u"1100,768,140,32,bottom"_s} << QString()
                                      << QString() << QRect(1100, 768, 140, 32) << u"bottom"_s;
        QTest::newRow("second screen to the left") << QStringList {u"--popover-at"_s, u"-1280,0,40,600,left"_s}
                                                   << QString() << QString() << QRect(-1280, 0, 40, 600) << u"left"_s;
        QTest::newRow("four numbers") << QStringList {u"--popover-at"_s, u"1,2,3,4"_s} << u"--popover-at"_s << QString()
                                      << QRect() << QString();
        QTest::newRow("empty size") << QStringList {u"--popover-at"_s, u"1,2,0,4,top"_s} << u"--popover-at"_s
                                    << QString() << QRect() << QString();
        QTest::newRow("not a number") << QStringList {u"--popover-at"_s, u"1,2,3px,4,top"_s} << u"--popover-at"_s
                                      << QString() << QRect() << QString();
        QTest::newRow("unknown edge") << QStringList {u"--popover-at"_s, u"1,2,3,4,Top"_s} << u"--popover-at"_s
                                      << QString() << QRect() << QString();
        QTest::newRow("with another command") << QStringList {u"--popover-at"_s, u"1,2,3,4,top"_s, u"--refresh"_s}
                                              << u"one command"_s << QString() << QRect() << QString();
    }

    void panelCommands()
    {
        QFETCH(QStringList, arguments);
        QFETCH(QString, error);
        QFETCH(QString, since);
        QFETCH(QRect, anchor);
        QFETCH(QString, edge);
        const Command::Parsed parsed = Command::parse(QStringList {u"quillmere-menubar"_s} + arguments);
        if (!error.isEmpty()) {
            QVERIFY2(parsed.error.contains(error), qPrintable(parsed.error));
            return;
        }
        QVERIFY2(parsed.error.isEmpty(), qPrintable(parsed.error));
        QCOMPARE(parsed.command.since, since);
        QCOMPARE(parsed.command.anchor, anchor);
        QCOMPARE(parsed.command.edge, edge);
        // Only the popover needs an instance (a click starts one); --next
        // reports that none runs instead.
        QCOMPARE(parsed.command.needsInstance(), parsed.command.kind == Command::Kind::PopoverAt);
    }

    void server_data()
    {
        QTest::addColumn<QString>("value");
        QTest::addColumn<bool>("accepted");
        QTest::newRow("https") << u"https://q.example"_s << true;
        QTest::newRow("http loopback with port") << u"http://127.0.0.1:8080"_s << true;
        QTest::newRow("file") << u"file:///etc/passwd"_s << false;
        QTest::newRow("no host") << u"https://"_s << false;
        QTest::newRow("not a URL") << u"q.example"_s << false;
        QTest::newRow("javascript") << u"javascript:alert(1)"_s << false;
    }

    void server()
    {
        QFETCH(QString, value);
        QFETCH(bool, accepted);
        const Command::Parsed parsed = Command::parse({u"quillmere-menubar"_s, u"--server"_s, value, u"--line"_s});
        QCOMPARE(parsed.error.isEmpty(), accepted);
        if (accepted)
            QCOMPARE(parsed.command.server, std::optional<QUrl>(QUrl(value)));
    }
};

QTEST_GUILESS_MAIN(TestCommandLine)
#include "tst_commandline.moc"
