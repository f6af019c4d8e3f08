#include "platform/autostartloginitem.h"
#include "platform/paths.h"
#include "testenv.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <unistd.h>

using namespace Qt::StringLiterals;

class TestAutostartLoginItem : public QObject {
    Q_OBJECT

private:
    QTemporaryDir m_home;

    static void writeFile(const QString &path, const QByteArray &contents)
    {
        QDir().mkpath(QFileInfo(path).absolutePath());
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(contents);
    }

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY(m_home.isValid());
        useTemporaryXdg(m_home);
    }

    void cleanup() { QDir(m_home.filePath(u"config"_s)).removeRecursively(); }

    void registerAndUnregister()
    {
        AutostartLoginItem item;
        const QString file = m_home.filePath(u"config/autostart/quillmere-menubar.desktop"_s);
        QCOMPARE(item.fileName(), file);
        QVERIFY(!item.enabled());

        QCOMPARE(item.setEnabled(true), std::nullopt);
        QVERIFY(QFile::exists(file));
        QVERIFY(item.enabled());
        // A fresh object reads the same registration from disk.
        QVERIFY(AutostartLoginItem().enabled());

        QFile written(file);
        QVERIFY(written.open(QIODevice::ReadOnly));
        const QByteArray contents = written.readAll();
        QVERIFY(contents.startsWith("[Desktop Entry]\n"));
        QVERIFY(contents.contains("\nType=Application\n"));
        QVERIFY(contents.contains("\nExec="));

        // Registering twice keeps one entry; no temporary files are left.
        QCOMPARE(item.setEnabled(true), std::nullopt);
        QCOMPARE(QDir(QFileInfo(file).absolutePath()).entryList(QDir::Files | QDir::Hidden).size(), 1);

        QCOMPARE(item.setEnabled(false), std::nullopt);
        QVERIFY(!QFile::exists(file));
        QVERIFY(!item.enabled());
        // Unregistering what is not registered is no failure.
        QCOMPARE(item.setEnabled(false), std::nullopt);
    }

    void readsExistingEntries_data()
    {
        QTest::addColumn<QByteArray>("contents");
        QTest::addColumn<bool>("enabled");
        const QByteArray head = "[Desktop Entry]\nType=Application\nExec=quillmere-menubar\n";
        QTest::newRow("plain") << head << true;
        QTest::newRow("hidden") << head + "Hidden=true\n" << false;
        QTest::newRow("hidden false") << head + "Hidden=false\n" << true;
        QTest::newRow("gnome switched off") << head + "X-GNOME-Autostart-enabled=false\n" << false;
        QTest::newRow("gnome switched on") << head + "X-GNOME-Autostart-enabled=true\n" << true;
        QTest::newRow("spaces around =") << head + "Hidden = true\n" << false;
        QTest::newRow("hidden in another group")
            << head + "[Desktop Action quit]\nHidden=true\nX-GNOME-Autostart-enabled=false\n"
            << true;
        QTest::newRow("commented out") << head + "# Hidden=true\n" << true;
        QTest::newRow("crlf") << QByteArray("[Desktop Entry]\r\nHidden=true\r\n") << false;
        QTest::newRow("empty file") << QByteArray() << true;
    }

    void readsExistingEntries()
    {
        QFETCH(QByteArray, contents);
        QFETCH(bool, enabled);
        writeFile(paths::autostartFile(), contents);
        QCOMPARE(AutostartLoginItem().enabled(), enabled);
    }

    void registeringReplacesADisabledEntry()
    {
        writeFile(paths::autostartFile(), "[Desktop Entry]\nExec=quillmere-menubar\nHidden=true\n");
        AutostartLoginItem item;
        QVERIFY(!item.enabled());
        QCOMPARE(item.setEnabled(true), std::nullopt);
        QVERIFY(item.enabled());
    }

    void failuresNameTheFile_data()
    {
        QTest::addColumn<QString>("blocker"); // what stands in the way
        QTest::newRow("autostart is a file") << u"autostart"_s;
        QTest::newRow("config is a file") << u""_s;
        QTest::newRow("entry is a folder") << u"autostart/quillmere-menubar.desktop"_s;
    }

    void failuresNameTheFile()
    {
        QFETCH(QString, blocker);
        const QString config = m_home.filePath(u"config"_s);
        const QString blockerPath = blocker.isEmpty() ? config : config + u'/' + blocker;
        if (blocker.endsWith(u".desktop"_s))
            QVERIFY(QDir().mkpath(blockerPath + u"/inside"_s)); // a non-empty folder cannot be removed either
        else
            writeFile(blockerPath, "not a folder");

        AutostartLoginItem item;
        const std::optional<QString> failure = item.setEnabled(true);
        QVERIFY(failure.has_value());
        QVERIFY2(failure->contains(paths::autostartFile()), qPrintable(*failure));
        QVERIFY(!item.enabled());

        if (blocker.endsWith(u".desktop"_s)) {
            const std::optional<QString> removal = item.setEnabled(false);
            QVERIFY(removal.has_value());
            QVERIFY2(removal->contains(paths::autostartFile()), qPrintable(*removal));
        }
        QFile(blockerPath).remove();
    }

    void unwritableFolder()
    {
        if (::geteuid() == 0)
            QSKIP("permissions do not bind the superuser");
        const QString folder = QFileInfo(paths::autostartFile()).absolutePath();
        QVERIFY(QDir().mkpath(folder));
        QVERIFY(QFile::setPermissions(folder, QFile::ReadOwner | QFile::ExeOwner));
        const std::optional<QString> failure = AutostartLoginItem().setEnabled(true);
        QFile::setPermissions(folder, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        QVERIFY(failure.has_value());
        QVERIFY2(failure->contains(paths::autostartFile()), qPrintable(*failure));
    }

    void execQuoting_data()
    {
        QTest::addColumn<QString>("program");
        QTest::addColumn<QString>("exec");
        QTest::newRow("plain") << u"/usr/bin/quillmere-menubar"_s << u"/usr/bin/quillmere-menubar"_s;
        QTest::newRow("space") << u"/opt/my apps/qm"_s << u"\"/opt/my apps/qm\""_s;
        QTest::newRow("dollar and quote") << u"/opt/$x\"y/qm"_s << u"\"/opt/\\$x\\\"y/qm\""_s;
        QTest::newRow("percent") << u"/opt/100%/qm"_s << u"/opt/100%%/qm"_s;
        QTest::newRow("backslash") << u"/opt/a\\b"_s << u"\"/opt/a\\\\b\""_s;
    }

    void execQuoting()
    {
        QFETCH(QString, program);
        QFETCH(QString, exec);
        QCOMPARE(AutostartLoginItem::quoteExec(program), exec);
        const QByteArray entry = AutostartLoginItem(m_home.filePath(u"x.desktop"_s), program).entry();
        QVERIFY(entry.contains("\nExec=" + exec.toUtf8() + '\n'));
    }

    void commandFollowsPath_data()
    {
        QTest::addColumn<QString>("program");
        QTest::addColumn<QString>("onPath");
        QTest::addColumn<QString>("command");
        const QString installed = m_home.filePath(u"usr/bin/quillmere-menubar"_s);
        const QString build = m_home.filePath(u"build/src/app/quillmere-menubar"_s);
        const QString link = m_home.filePath(u"local/bin/quillmere-menubar"_s);
        writeFile(installed, "#!/bin/sh\n");
        writeFile(build, "#!/bin/sh\n");
        QDir().mkpath(QFileInfo(link).absolutePath());
        QFile::link(installed, link);
        QTest::newRow("installed, found on PATH") << installed << installed << u"quillmere-menubar"_s;
        QTest::newRow("PATH finds it through a link") << installed << link << u"quillmere-menubar"_s;
        QTest::newRow("build tree, another copy on PATH") << build << installed << build;
        QTest::newRow("nothing on PATH") << build << QString() << build;
        QTest::newRow("path unknown") << QString() << installed << QString();
    }

    void commandFollowsPath()
    {
        QFETCH(QString, program);
        QFETCH(QString, onPath);
        QFETCH(QString, command);
        QCOMPARE(AutostartLoginItem::commandFor(program, onPath), command);
    }
};

QTEST_GUILESS_MAIN(TestAutostartLoginItem)
#include "tst_autostartloginitem.moc"
