#pragma once

#include <QJsonArray>
#include <QJsonValue>

namespace devserver {

// Computes the patch that turns `from` into `to`, in the snapshot patch
// format: {"p": [path...], "v": value} sets, {"p": [path...], "d": 1}
// deletes an object member. The client's patch never removes array
// elements (a delete on an index is ignored, a set pads with null), so an
// array that shrinks is sent whole; one that grows gets its new elements
// set in order. Identical inputs give an empty patch.
QJsonArray diffJson(const QJsonValue &from, const QJsonValue &to);

} // namespace devserver
