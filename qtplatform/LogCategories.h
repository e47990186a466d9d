#pragma once

#include <QLoggingCategory>

// Qt logging categories of the Qt layer, named after the classes that write to them.
Q_DECLARE_LOGGING_CATEGORY(MainThreadLog)
Q_DECLARE_LOGGING_CATEGORY(HttpQueryLog)
Q_DECLARE_LOGGING_CATEGORY(ProxyAuthenticatorLog)
Q_DECLARE_LOGGING_CATEGORY(WebSocketLog)
