// The quillmere-devserver program itself: what it prints at start, its
// options, and a clean stop on SIGTERM and SIGINT.

#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QProcess>
#include <QRegularExpression>
#include <QTest>

#include <csignal>

using namespace Qt::StringLiterals;

class TestDevProcess : public QObject {
    Q_OBJECT
private:
    // Starts the server on a free port; returns its base address.
    QString start(QProcess &p, const QStringList &extra = {})
    {
        p.start(QStringLiteral(DEVSERVER_EXE), QStringList {u"--port"_s, u"0"_s} + extra);
        if (!p.waitForStarted(5000))
            return {};
        QByteArray out;
        while (!out.contains("Web dashboard") && p.waitForReadyRead(5000))
            out += p.readAllStandardOutput();
        m_banner = QString::fromUtf8(out);
        const auto m = QRegularExpression(u"listening on (http://127\\.0\\.0\\.1:\\d+)"_s).match(m_banner);
        return m.hasMatch() ? m.captured(1) : QString();
    }
    QString m_banner;

private Q_SLOTS:
    void bannerAndSigterm()
    {
        QProcess p;
        const QString base = start(p, {u"--seed"_s, u"7"_s, u"--tick"_s, u"1"_s});
        QVERIFY2(!base.isEmpty(), qPrintable(m_banner));
        for (const char *expected : {"ada@demo.quillmere.test", "ben@demo.quillmere.test", "/embed/nw-7Hq2XbLk",
                 "(no password)", "password: harbor-smile", "password: lumen-espresso"})
            QVERIFY2(m_banner.contains(QString::fromUtf8(expected)), expected);

        QNetworkAccessManager nam;
        QNetworkReply *reply = nam.get(QNetworkRequest(QUrl(base + u"/api/auth/me"_s)));
        QTRY_VERIFY_WITH_TIMEOUT(reply->isFinished(), 5000);
        QCOMPARE(reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt(), 401);
        delete reply;

        p.terminate(); // SIGTERM
        QVERIFY(p.waitForFinished(5000));
        QCOMPARE(p.exitStatus(), QProcess::NormalExit);
        QCOMPARE(p.exitCode(), 0);
        QVERIFY(p.readAllStandardOutput().contains("stopped"));
    }

    void sigint()
    {
        QProcess p;
        QVERIFY(!start(p).isEmpty());
        ::kill(pid_t(p.processId()), SIGINT);
        QVERIFY(p.waitForFinished(5000));
        QCOMPARE(p.exitStatus(), QProcess::NormalExit);
        QCOMPARE(p.exitCode(), 0);
    }

    void badOptions_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::newRow("host not an address") << QStringList {u"--host"_s, u"example"_s};
        QTest::newRow("port too big") << QStringList {u"--port"_s, u"70000"_s};
        QTest::newRow("negative tick") << QStringList {u"--tick"_s, u"-1"_s};
        QTest::newRow("seed not a number") << QStringList {u"--seed"_s, u"abc"_s};
    }
    void badOptions()
    {
        QFETCH(QStringList, args);
        QProcess p;
        p.start(QStringLiteral(DEVSERVER_EXE), args);
        QVERIFY(p.waitForFinished(5000));
        QCOMPARE(p.exitCode(), 2);
        QVERIFY(!p.readAllStandardError().isEmpty());
    }
};

QTEST_GUILESS_MAIN(TestDevProcess)
#include "tst_devprocess.moc"
