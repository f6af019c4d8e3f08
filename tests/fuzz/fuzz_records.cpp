// The wire records: the input is the body of an answer, decoded as every
// record the server sends (as the server client does: parsed as one object,
// then read as the record), and as an unsuccessful answer whose message is
// taken from the body. A decoded payload is turned into the menu-bar line as
// the Store does.

#include "fuzzing.h"

#include "net/apierror.h"

namespace {

template<class T> std::optional<T> decode(const QJsonObject &object)
{
    const json::Path root;
    try {
        return T::read(json::ObjectReader(object, root));
    } catch (const DecodingError &) {
        return std::nullopt;
    }
}

void line(const std::optional<Payload> &payload)
{
    if (!payload)
        return;
    Store::LineInputs in;
    in.connected = true;
    in.lines = Store::linesOf(payload);
    in.maxLength = 12;
    for (const qint64 index : {0, 1, -1}) {
        in.lineIndex = index;
        Store::titleFor(in);
    }
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    fuzz::start();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray body = QByteArray::fromRawData(reinterpret_cast<const char *>(data), qsizetype(size));
    APIError::messageFor(401, body);
    try {
        decodeJson<ApiEmpty>(body);
    } catch (const DecodingError &) { }
    QJsonObject object;
    try {
        object = json::parseObject(body);
    } catch (const DecodingError &) {
        return 0;
    }
    decode<ApiMeResponse>(object); // sign-in exchange, me
    decode<ApiEnvelope<WorkspaceList>>(object); // rpc workspaces.list
    decode<ApiEnvelope<AdAccountList>>(object); // rpc widget.accounts
    decode<AdAccountList>(object); // embed accounts
    line(decode<Payload>(object)); // embed dashboard, snapshot data
    if (const auto rpc = decode<ApiEnvelope<Payload>>(object)) // rpc widget.line
        line(rpc->data);
    return 0;
}
