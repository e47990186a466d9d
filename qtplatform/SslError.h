#pragma once

#include <QList>
#include <QSslError>

// SSL error codes of the Qt layer and the filter that picks the errors to ignore.
namespace SslError {

// The numbers and meanings of Qt's QSslError::SslError; -1 for anything else.
enum ErrorCode : int {
    UnspecifiedError = -1,
    NoError = 0,
    UnableToGetIssuerCertificate = 1,
    UnableToDecryptCertificateSignature = 2,
    UnableToDecodeIssuerPublicKey = 3,
    CertificateSignatureFailed = 4,
    CertificateNotYetValid = 5,
    CertificateExpired = 6,
    InvalidNotBeforeField = 7,
    InvalidNotAfterField = 8,
    SelfSignedCertificate = 9,
    SelfSignedCertificateInChain = 10,
    UnableToGetLocalIssuerCertificate = 11,
    UnableToVerifyFirstCertificate = 12,
    CertificateRevoked = 13,
    InvalidCaCertificate = 14,
    PathLengthExceeded = 15,
    InvalidPurpose = 16,
    CertificateUntrusted = 17,
    CertificateRejected = 18,
    SubjectIssuerMismatch = 19,
    AuthorityIssuerSerialNumberMismatch = 20,
    NoPeerCertificate = 21,
    HostNameMismatch = 22,
    NoSslSupport = 23,
    CertificateBlacklisted = 24,
    CertificateStatusUnknown = 25,
    OcspNoResponseFound = 26,
    OcspMalformedRequest = 27,
    OcspMalformedResponse = 28,
    OcspInternalError = 29,
    OcspTryLater = 30,
    OcspSigRequred = 31,
    OcspUnauthorized = 32,
    OcspResponseCannotBeTrusted = 33,
    OcspResponseCertIdUnknown = 34,
    OcspResponseExpired = 35,
    OcspStatusUnknown = 36,
};

// The code as Qt's value when it lies in 0..36, else QSslError::UnspecifiedError.
QSslError::SslError toQSslError(ErrorCode code);
// The error's code when it lies in 0..36, else UnspecifiedError.
ErrorCode toErrorCode(const QSslError& error);
// For each code in order, the first reported error with that code; codes matching nothing
// add nothing.
QList<QSslError> findByErrorCode(const QList<QSslError>& errors,
                                 const QList<QSslError::SslError>& codes);

}  // namespace SslError
