#include "qtplatform/TrustAnchors.h"

#include <QFile>
#include <QList>
#include <QSslCertificate>
#include <QSslConfiguration>
#include <QString>
#include <boost/algorithm/string/trim.hpp>
#include <boost/filesystem/operations.hpp>
#include <fstream>
#include <vector>

#include "platform/systemroot/SystemRoot.h"

namespace {

QList<QSslCertificate> readPem(const std::string& file) {
    boost::system::error_code error;
    if (!boost::filesystem::is_regular_file(file, error)) {
        return {};
    }
    return QSslCertificate::fromPath(QString::fromStdString(file), QSsl::Pem,
                                     QSslCertificate::PatternSyntax::FixedString);
}

std::vector<std::string> anchorFiles() {
    const boost::filesystem::path folder = standin::SystemRoot::resolve("/Library/Keychains");
    std::vector<std::string> files{(folder / "SystemRootCertificates.pem").string(),
                                   (folder / "SystemCACertificates.pem").string()};
    std::ifstream searchList((folder / "search-list").string());
    std::string line;
    while (std::getline(searchList, line)) {
        boost::algorithm::trim(line);
        if (line.empty()) {
            continue;
        }
        // Absolute entries name system locations; relative ones sit beside the list.
        files.push_back(line.front() == '/' ? standin::SystemRoot::resolve(line).string()
                                            : (folder / line).string());
    }
    return files;
}

}  // namespace

int TrustAnchors::installSystemAnchors() {
    QList<QSslCertificate> anchors;
    for (const std::string& file : anchorFiles()) {
        anchors.append(readPem(file));
    }
    if (anchors.isEmpty()) {
        return 0;
    }
    QSslConfiguration configuration = QSslConfiguration::defaultConfiguration();
    configuration.setCaCertificates(anchors);
    QSslConfiguration::setDefaultConfiguration(configuration);
    return anchors.size();
}

int TrustAnchors::addCertificates(const std::string& pemFile) {
    const QList<QSslCertificate> certificates = readPem(pemFile);
    if (certificates.isEmpty()) {
        return 0;
    }
    QSslConfiguration configuration = QSslConfiguration::defaultConfiguration();
    QList<QSslCertificate> authorities = configuration.caCertificates();
    authorities.append(certificates);
    configuration.setCaCertificates(authorities);
    QSslConfiguration::setDefaultConfiguration(configuration);
    return certificates.size();
}
