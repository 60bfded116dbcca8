#include "WifiLocalIdentity.h"

#include <QFile>

#include <openssl/bio.h>
#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/x509.h>

#include <memory>

namespace {

template<typename T, void (*Free)(T *)> struct OpensslDeleter
{
    void operator()(T *p) const { Free(p); }
};
using BioPtr = std::unique_ptr<BIO, OpensslDeleter<BIO, BIO_free_all>>;
using X509Ptr = std::unique_ptr<X509, OpensslDeleter<X509, X509_free>>;
using KeyPtr = std::unique_ptr<EVP_PKEY, OpensslDeleter<EVP_PKEY, EVP_PKEY_free>>;

BioPtr memoryBio(const QByteArray &data)
{
    return BioPtr(BIO_new_mem_buf(data.constData(), int(data.size())));
}

// Never prompt on the terminal for a passphrase.
int noPassphrase(char *, int, int, void *)
{
    return 0;
}

QSsl::KeyAlgorithm algorithmOf(EVP_PKEY *key)
{
    switch (EVP_PKEY_get_base_id(key)) {
    case EVP_PKEY_RSA:
        return QSsl::Rsa;
    case EVP_PKEY_EC:
        return QSsl::Ec;
    case EVP_PKEY_DSA:
        return QSsl::Dsa;
    case EVP_PKEY_DH:
        return QSsl::Dh;
    default:
        return QSsl::Opaque;
    }
}

} // namespace

WifiLocalIdentity WifiLocalIdentity::load(const QString &certificateFile,
                                          const QString &privateKeyFile)
{
    WifiLocalIdentity identity;
    QFile certificate(certificateFile);
    QFile key(privateKeyFile);
    const bool haveCertificate = certificate.exists();
    const bool haveKey = key.exists();
    if (!haveCertificate && !haveKey)
        return identity; // no host certificate: the device does not ask for one
    if (!haveCertificate || !haveKey) {
        identity.problem = QStringLiteral("Host certificate not used: %1 is missing")
                               .arg(haveCertificate ? privateKeyFile : certificateFile);
        return identity;
    }
    if (!certificate.open(QIODevice::ReadOnly) || !key.open(QIODevice::ReadOnly)) {
        identity.problem = QStringLiteral("Host certificate not used: cannot read %1 or %2")
                               .arg(certificateFile, privateKeyFile);
        return identity;
    }
    const QByteArray certificatePem = certificate.readAll();
    const QByteArray keyPem = key.readAll();

    BioPtr certificateBio = memoryBio(certificatePem);
    BioPtr keyBio = memoryBio(keyPem);
    X509Ptr x509(certificateBio
                     ? PEM_read_bio_X509(certificateBio.get(), nullptr, noPassphrase, nullptr)
                     : nullptr);
    KeyPtr pkey(keyBio ? PEM_read_bio_PrivateKey(keyBio.get(), nullptr, noPassphrase, nullptr)
                       : nullptr);
    if (!x509 || !pkey) {
        identity.problem
            = QStringLiteral("Host certificate not used: %1 is not a PEM %2")
                  .arg(x509 ? privateKeyFile : certificateFile,
                       x509 ? QStringLiteral("private key") : QStringLiteral("certificate"));
        return identity;
    }
    if (X509_check_private_key(x509.get(), pkey.get()) != 1) {
        identity.problem = QStringLiteral("Host certificate not used: %1 does not belong to %2")
                               .arg(privateKeyFile, certificateFile);
        return identity;
    }

    const QSsl::KeyAlgorithm algorithm = algorithmOf(pkey.get());
    QSslCertificate qtCertificate(certificatePem, QSsl::Pem);
    QSslKey qtKey = algorithm == QSsl::Opaque
        ? QSslKey()
        : QSslKey(keyPem, algorithm, QSsl::Pem, QSsl::PrivateKey);
    if (qtCertificate.isNull() || qtKey.isNull()) {
        identity.problem = QStringLiteral("Host certificate not used: the key type of %1 is not "
                                          "supported")
                               .arg(privateKeyFile);
        return identity;
    }
    identity.certificate = qtCertificate;
    identity.privateKey = qtKey;
    return identity;
}
