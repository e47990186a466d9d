#include "CrashReportUploader.h"

#include <QByteArray>
#include <QCoreApplication>
#include <QEventLoop>
#include <QHttpMultiPart>
#include <QHttpPart>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QTimer>
#include <QUrl>
#include <cstdio>
#include <memory>
#include <utility>

namespace {

// How long one upload may take.
constexpr int kUploadTimeoutMs = 30000;

void say(const std::string& line) {
    std::fprintf(stderr, "crashpad_handler: %s\n", line.c_str());
}

QHttpPart formField(const QByteArray& disposition, const QByteArray& body) {
    QHttpPart part;
    part.setHeader(QNetworkRequest::ContentDispositionHeader, disposition);
    part.setBody(body);
    return part;
}

// A form-data name without quotes, backslashes or line breaks.
QByteArray safeName(const std::string& name) {
    QByteArray safe;
    for (char c : name) {
        const unsigned char u = static_cast<unsigned char>(c);
        safe.append(u < 0x20 || c == '"' || c == '\\' || u == 0x7f ? '_' : c);
    }
    return safe;
}

}  // namespace

CrashReportUploader::CrashReportUploader(common::CrashReportDatabase database, std::string url)
    : _database(std::move(database)), _url(std::move(url)) {}

bool CrashReportUploader::uploadPending() {
    bool allSent = true;
    for (const std::string& name : _database.pendingReports()) {
        common::CrashReport report;
        std::string error;
        if (!report.read(_database.pendingPath(name), error)) {
            say("cannot read the report " + name + ": " + error);
            allSent = false;
            continue;
        }
        if (!upload(report)) {
            allSent = false;
            continue;
        }
        if (!_database.markCompleted(name)) {
            say("cannot move the uploaded report " + name + " to completed");
        }
    }
    return allSent;
}

bool CrashReportUploader::upload(const common::CrashReport& report) {
    if (_url.empty()) {
        say("no upload address");
        return false;
    }
    const QUrl url = QUrl::fromEncoded(QByteArray::fromStdString(_url), QUrl::StrictMode);
    if (!url.isValid() || (url.scheme() != "http" && url.scheme() != "https")) {
        say("the upload address is not a valid http(s) URL");
        return false;
    }

    auto* multipart = new QHttpMultiPart(QHttpMultiPart::FormDataType);
    for (const auto& annotation : report.annotations()) {
        multipart->append(formField("form-data; name=\"" + safeName(annotation.first) + "\"",
                                    QByteArray::fromStdString(annotation.second)));
    }
    const std::string text = report.toText(&common::CrashReport::addr2line);
    QHttpPart file = formField(
        "form-data; name=\"upload_file_minidump\"; filename=\"" + safeName(report.id()) + ".txt\"",
        QByteArray::fromStdString(text));
    file.setHeader(QNetworkRequest::ContentTypeHeader, "application/octet-stream");
    multipart->append(file);

    QNetworkAccessManager manager;
    QNetworkRequest request(url);
    QNetworkReply* reply = manager.post(request, multipart);
    multipart->setParent(reply);

    QEventLoop loop;
    QTimer timer;
    timer.setSingleShot(true);
    QObject::connect(&timer, &QTimer::timeout, reply, &QNetworkReply::abort);
    QObject::connect(reply, &QNetworkReply::finished, &loop, &QEventLoop::quit);
    timer.start(kUploadTimeoutMs);
    if (!reply->isFinished()) {
        loop.exec();
    }
    const int status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    const bool sent = reply->error() == QNetworkReply::NoError && status >= 200 && status < 300;
    if (sent) {
        say("uploaded the report " + report.id() + " (status " + std::to_string(status) + ")");
    } else {
        say("the upload of the report " + report.id() + " failed: status " +
            std::to_string(status) + ", " + reply->errorString().toStdString());
    }
    delete reply;
    return sent;
}
