#pragma once

#include <QSslCertificate>
#include <QSslKey>
#include <QString>

// The host's own TLS certificate and private key, loaded as a pair: a certificate without its
// key (or with a key that does not belong to it) would make every TLS start fail, so then
// neither is used and `problem` says why.
struct WifiLocalIdentity
{
    QSslCertificate certificate;
    QSslKey privateKey;
    QString problem; // empty when both were loaded, or when neither file exists

    bool isValid() const { return !certificate.isNull() && !privateKey.isNull(); }

    // Both files are PEM. An encrypted private key is not supported (nobody could type its
    // passphrase) and counts as unreadable.
    static WifiLocalIdentity load(const QString &certificateFile, const QString &privateKeyFile);
};
