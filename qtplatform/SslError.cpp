#include "qtplatform/SslError.h"

namespace SslError {

namespace {
constexpr unsigned kLastCode = 36;
}

QSslError::SslError toQSslError(ErrorCode code) {
    if (static_cast<unsigned>(code) <= kLastCode) {
        return static_cast<QSslError::SslError>(code);
    }
    return QSslError::UnspecifiedError;
}

ErrorCode toErrorCode(const QSslError& error) {
    const int value = static_cast<int>(error.error());
    if (static_cast<unsigned>(value) <= kLastCode) {
        return static_cast<ErrorCode>(value);
    }
    return UnspecifiedError;
}

QList<QSslError> findByErrorCode(const QList<QSslError>& errors,
                                 const QList<QSslError::SslError>& codes) {
    QList<QSslError> selected;
    for (const QSslError::SslError code : codes) {
        for (const QSslError& error : errors) {
            if (error.error() == code) {
                selected.append(error);
                break;
            }
        }
    }
    return selected;
}

}  // namespace SslError
