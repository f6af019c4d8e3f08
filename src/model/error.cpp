#include "model/error.h"

Error::Error(QString message) : m_message(std::move(message)), m_utf8(m_message.toUtf8()) { }

Error::~Error() = default;

static QString joinPath(const QString &path, const QString &problem)
{
    return path.isEmpty() ? problem : path + QStringLiteral(": ") + problem;
}

DecodingError::DecodingError(QString path, QString problem)
    : Error(joinPath(path, problem)), m_path(std::move(path)), m_problem(std::move(problem))
{ }

QString describeError(const std::exception &e)
{
    if (const auto *own = dynamic_cast<const Error *>(&e))
        return own->message();
    return QString::fromUtf8(e.what());
}
