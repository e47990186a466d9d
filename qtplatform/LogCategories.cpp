#include "qtplatform/LogCategories.h"

Q_LOGGING_CATEGORY(MainThreadLog, "MainThread")
Q_LOGGING_CATEGORY(HttpQueryLog, "HttpQuery")
Q_LOGGING_CATEGORY(ProxyAuthenticatorLog, "ProxyAuthenticator")
Q_LOGGING_CATEGORY(WebSocketLog, "WebSocket")
