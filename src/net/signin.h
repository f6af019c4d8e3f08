#pragma once

#include <QString>
#include <QUrl>

// The wire side of browser sign-in with a proof key (RFC 7636, S256). Pure
// functions; the Store keeps the pending verifier and state.
namespace signin {

inline constexpr auto redirectUri = "quillmere-menubar://auth";

// 32 secure random bytes as unpadded URL-safe Base64: 43 characters.
QString makeVerifier();
// A fresh random UUID without braces, upper case (36 characters).
QString makeState();
// SHA-256 of the verifier's UTF-8 bytes, unpadded URL-safe Base64 (43 characters).
QString challenge(const QString &verifier);
// base + "native-auth" with exactly redirect_uri, challenge and state, in that
// order; any query of base is replaced.
QUrl address(const QUrl &base, const QString &challenge, const QString &state);

// 32 bytes as unpadded URL-safe Base64.
QString base64Url(const QByteArray &bytes);

} // namespace signin
