#pragma once

#include <QFile>
#include <QTemporaryDir>
#include <QtGlobal>

#include <exception>

// Points the XDG base directories at config/, data/ and cache/ inside dir, so
// a test's settings, cookies and snapshots live in a throwaway tree.
inline void useTemporaryXdg(const QTemporaryDir &dir)
{
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(dir.filePath(QStringLiteral("config"))));
    qputenv("XDG_DATA_HOME", QFile::encodeName(dir.filePath(QStringLiteral("data"))));
    qputenv("XDG_CACHE_HOME", QFile::encodeName(dir.filePath(QStringLiteral("cache"))));
}

// Runs f and returns the exception of type E it throws; any other outcome ends
// the test program with a message.
template<class E, class F> E expectThrow(F &&f)
{
    try {
        f();
    } catch (const E &e) {
        return e;
    } catch (const std::exception &e) {
        qFatal("unexpected exception: %s", e.what());
    }
    qFatal("no exception");
}
