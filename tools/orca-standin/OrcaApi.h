// The stand-in's API: routes "/api/..." requests to ORCA-style answers and
// serves the control listener.
#pragma once

#include "Control.h"
#include "DataStore.h"
#include "HttpServer.h"

#include <QString>

namespace standin {

struct ApiSettings {
    QString user; // Basic authentication required when user or key is set
    QString key;
};

class OrcaApi {
public:
    OrcaApi(ApiSettings settings, DataStore &store, ControlState &control);

    HandlerResult handleApi(const HttpRequest &request);
    HandlerResult handleControl(const HttpRequest &request);

    // The answer of one API path (relative to "/api/"), without faults,
    // authentication or logging. Exposed for the demo dump.
    HttpResponse answer(const QString &apiPath, const QString &query, const QByteArray &body);

private:
    bool authorised(const HttpRequest &request) const;

    ApiSettings m_settings;
    DataStore &m_store;
    ControlState &m_control;
};

} // namespace standin
