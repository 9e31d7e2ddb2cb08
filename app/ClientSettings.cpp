#include "app/ClientSettings.h"

#include <QSettings>
#include <QWidget>

namespace tarvelo {

namespace {
QSettings settings() {
    return QSettings(QStringLiteral("Tarvelo"), QStringLiteral("tarvelo"));
}
}  // namespace

QString ClientSettings::lastAccount() {
    return settings().value(QStringLiteral("login/account")).toString();
}

void ClientSettings::setLastAccount(const QString& id) {
    settings().setValue(QStringLiteral("login/account"), id);
}

void ClientSettings::saveGeometry(const QWidget& window, const QString& key) {
    settings().setValue(QStringLiteral("windows/") + key, window.saveGeometry());
}

bool ClientSettings::restoreGeometry(QWidget& window, const QString& key) {
    const QByteArray kept = settings().value(QStringLiteral("windows/") + key).toByteArray();
    return !kept.isEmpty() && window.restoreGeometry(kept);
}

std::vector<int> ClientSettings::columnWidths(const QString& grid) {
    std::vector<int> out;
    for (const QVariant& v : settings().value(QStringLiteral("grids/") + grid).toList())
        out.push_back(v.toInt());
    return out;
}

void ClientSettings::setColumnWidths(const QString& grid, const std::vector<int>& widths) {
    QVariantList list;
    for (int w : widths)
        list.push_back(w);
    settings().setValue(QStringLiteral("grids/") + grid, list);
}

int ClientSettings::lastTab(const QString& key, int fallback) {
    return settings().value(QStringLiteral("tabs/") + key, fallback).toInt();
}

void ClientSettings::setLastTab(const QString& key, int index) {
    settings().setValue(QStringLiteral("tabs/") + key, index);
}

std::string ClientSettings::folder(const QString& which) {
    return settings().value(QStringLiteral("folders/") + which).toString().toStdString();
}

void ClientSettings::setFolder(const QString& which, const std::string& folder) {
    settings().setValue(QStringLiteral("folders/") + which, QString::fromStdString(folder));
}

}  // namespace tarvelo
