#include "qtplatform/QtUtils.h"

#include <QLocale>
#include <QTimeZone>

std::string QtUtils::getTimeZone() {
    return QTimeZone::systemTimeZone()
        .displayName(QTimeZone::StandardTime, QTimeZone::LongName, QLocale())
        .toUtf8()
        .toStdString();
}
