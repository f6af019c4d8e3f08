#pragma once

#include <QString>

#include <exception>

// Base of every failure the server client and the snapshot cache raise. The
// message is what the user sees, so it must read well on its own.
class Error : public std::exception {
public:
    explicit Error(QString message);
    ~Error() override;

    const QString &message() const noexcept { return m_message; }
    const char *what() const noexcept override { return m_utf8.constData(); }

private:
    QString m_message;
    QByteArray m_utf8;
};

// A body that does not decode into the expected record. The message names the
// place that broke the decode, e.g. "dashboard.tiles[2].accent: expected a boolean".
class DecodingError : public Error {
public:
    DecodingError(QString path, QString problem);

    const QString &path() const noexcept { return m_path; }
    const QString &problem() const noexcept { return m_problem; }

private:
    QString m_path;
    QString m_problem;
};

// No HTTP answer: connection refused, timeout, aborted, oversized body.
class TransportError : public Error {
public:
    using Error::Error;
};

// The text to show for any exception the program may catch.
QString describeError(const std::exception &e);
