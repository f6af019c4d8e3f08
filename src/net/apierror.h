#pragma once

#include "model/error.h"

// A server answer outside 200..299. The message is the server's own "message"
// or "error" text, else "Request failed (N)"; status is 0 when the answer was
// not HTTP.
class APIError : public Error {
public:
    APIError(QString message, int status);

    int status() const noexcept { return m_status; }

    // The message for an unsuccessful answer with this status and body.
    static QString messageFor(int status, const QByteArray &body);

private:
    int m_status;
};
