#include "signin/AutoLoginCookie.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>
#include <QUrl>

namespace tarvelo {

namespace {

// A cookie line is short; a larger file is none of ours.
constexpr qint64 kMaxLine = 4096;

}  // namespace

QString AutoLoginCookie::fileFor(const std::string& serviceUrl) {
    // By the service's host, as cookies go: a service started on a free port (./run) keeps its
    // host from one run to the next, not its port.
    const QString host = QUrl(QString::fromStdString(serviceUrl)).host().toLower();
    const QByteArray hash =
        QCryptographicHash::hash(host.toUtf8(), QCryptographicHash::Sha256).toHex().left(16);
    return QStandardPaths::writableLocation(QStandardPaths::AppDataLocation) +
           QStringLiteral("/autologin-") + QString::fromLatin1(hash) + QStringLiteral(".cookie");
}

std::string AutoLoginCookie::load(const std::string& serviceUrl) {
    QFile file(fileFor(serviceUrl));
    if (!file.open(QIODevice::ReadOnly)) return {};
    QByteArray line = file.read(kMaxLine + 1);
    if (line.size() > kMaxLine) return {};
    while (line.endsWith('\n') || line.endsWith('\r'))
        line.chop(1);
    return line.toStdString();
}

bool AutoLoginCookie::store(const std::string& serviceUrl, std::string_view line) {
    const QString path = fileFor(serviceUrl);
    if (!QDir().mkpath(QFileInfo(path).absolutePath())) return false;
    // A new file, made with the owner's permissions alone: the line is never readable by
    // another user, not even for a moment. What was kept before goes first.
    QFile::remove(path);
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::NewOnly,
                   QFileDevice::ReadOwner | QFileDevice::WriteOwner))
        return false;
    const QByteArray text = QByteArray(line.data(), static_cast<qsizetype>(line.size())) + '\n';
    if (file.write(text) != text.size() || !file.flush()) {
        file.close();
        QFile::remove(path);
        return false;
    }
    return true;
}

void AutoLoginCookie::forget(const std::string& serviceUrl) {
    QFile::remove(fileFor(serviceUrl));
}

}  // namespace tarvelo
