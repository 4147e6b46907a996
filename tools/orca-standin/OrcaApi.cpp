#include "OrcaApi.h"

#include "Answers.h"

#include <QDate>
#include <QHash>
#include <QJsonDocument>

namespace standin {

namespace {

const std::string kXmlType = "application/xml; charset=UTF-8";

HttpResponse Xml(const QByteArray &body) {
    HttpResponse res;
    res.headers.emplace_back("Content-Type", kXmlType);
    res.body.assign(body.constData(), static_cast<size_t>(body.size()));
    return res;
}

HttpResponse Plain(int status, const QByteArray &text) {
    HttpResponse res;
    res.status = status;
    res.headers.emplace_back("Content-Type", "text/plain; charset=UTF-8");
    res.body = text.toStdString();
    return res;
}

HttpResponse Json(int status, const QJsonDocument &doc) {
    HttpResponse res;
    res.status = status;
    res.headers.emplace_back("Content-Type", "application/json");
    res.body = doc.toJson(QJsonDocument::Compact).toStdString();
    return res;
}

HttpResponse JsonError(int status, const QString &message) {
    return Json(status, QJsonDocument(QJsonObject{{QStringLiteral("error"), message}}));
}

// The API server's answer to a path it does not serve.
HttpResponse NotFound() {
    HttpResponse res;
    res.status = 404;
    res.headers.emplace_back("Content-Type", "application/json");
    res.body = R"({"Code":404,"Message":"Not Found"})";
    return res;
}

using Builder = QByteArray (*)(const ApiCall &);

const QHash<QString, Builder> &Builders() {
    static const QHash<QString, Builder> builders = {
        {QStringLiteral("api01rv2/patientgetv2"), &AnswerPatientGet},
        {QStringLiteral("api01rv2/acceptlstv2"), &AnswerAcceptList},
        {QStringLiteral("api01rv2/medicalgetv2"), &AnswerMedicalGet},
        {QStringLiteral("api01rv2/onlinedruggetv2"), &AnswerOnlineDrug},
        {QStringLiteral("api01rv2/onlinemedgetv2"), &AnswerOnlineMed},
        {QStringLiteral("api01rv2/onlinespecgetv2"), &AnswerOnlineSpec},
    };
    return builders;
}

} // namespace

OrcaApi::OrcaApi(ApiSettings settings, DataStore &store, ControlState &control)
    : m_settings(std::move(settings)), m_store(store), m_control(control) {}

bool OrcaApi::authorised(const HttpRequest &request) const {
    if (m_settings.user.isEmpty() && m_settings.key.isEmpty())
        return true;
    const std::string auth = request.header("Authorization");
    if (auth.size() < 6)
        return false;
    std::string scheme = auth.substr(0, 6);
    for (char &c : scheme)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    if (scheme != "basic ")
        return false;
    QByteArray decoded = QByteArray::fromBase64(QByteArray::fromStdString(auth.substr(6)));
    return decoded == (m_settings.user + u':' + m_settings.key).toUtf8();
}

HandlerResult OrcaApi::handleApi(const HttpRequest &request) {
    const QString path = QString::fromUtf8(request.path.data(), qsizetype(request.path.size()));
    const QString query = QString::fromUtf8(request.query.data(), qsizetype(request.query.size()));
    QJsonObject headers;
    for (const auto &[name, value] : request.headers) {
        QString key = QString::fromLatin1(name.data(), qsizetype(name.size())).toLower();
        QString text = QString::fromUtf8(value.data(), qsizetype(value.size()));
        if (headers.contains(key))
            text = headers.value(key).toString() + QStringLiteral(", ") + text;
        headers.insert(key, text);
    }
    m_control.logRequest(QJsonObject{
        {QStringLiteral("method"), QString::fromLatin1(request.method.c_str())},
        {QStringLiteral("path"), path},
        {QStringLiteral("query"), query},
        {QStringLiteral("headers"), headers},
        {QStringLiteral("body"),
         QString::fromUtf8(request.body.data(),
                           qsizetype(std::min<size_t>(request.body.size(), 1024 * 1024)))}});

    HandlerResult result;
    const QString prefix = QStringLiteral("/api/");
    if (!path.startsWith(prefix)) {
        result.response = NotFound();
        return result;
    }
    const QString apiPath = path.mid(prefix.size());
    if (auto fault = m_control.takeFault(apiPath, query)) {
        switch (fault->kind) {
        case Fault::Kind::Close:
            result.action = HandlerResult::Action::Close;
            return result;
        case Fault::Kind::Reset:
            result.action = HandlerResult::Action::Reset;
            return result;
        case Fault::Kind::Status:
            result.response = Plain(fault->status, QByteArray::number(fault->status) + ' ' +
                                                       StatusText(fault->status) + '\n');
            return result;
        case Fault::Kind::Result:
            result.response = Xml(AnswerResultOnly(apiPath, query, fault->result));
            return result;
        case Fault::Kind::Delay:
            result.delayMs = fault->delayMs;
            if (fault->status != 0) {
                result.response = Plain(fault->status, QByteArray::number(fault->status) + ' ' +
                                                           StatusText(fault->status) + '\n');
                return result;
            }
            break;
        }
    }
    if (!authorised(request)) {
        result.response = Plain(401, "401 Unauthorized\n");
        result.response.headers.emplace_back("WWW-Authenticate", "Basic realm=\"ORCA\"");
        return result;
    }
    result.response =
        answer(apiPath, query, QByteArray(request.body.data(), qsizetype(request.body.size())));
    return result;
}

HttpResponse OrcaApi::answer(const QString &apiPath, const QString &query, const QByteArray &body) {
    const Builder build = Builders().value(apiPath);
    if (!build)
        return NotFound();
    const ApiCall call{m_store, ParseQuery(query), ParseRequest(body), QDate::currentDate()};
    return Xml(build(call));
}

HandlerResult OrcaApi::handleControl(const HttpRequest &request) {
    HandlerResult result;
    const QByteArray body(request.body.data(), qsizetype(request.body.size()));
    const std::string &path = request.path;
    const bool post = request.method == "POST";
    auto ok = [] { return Json(200, QJsonDocument(QJsonObject{{QStringLiteral("ok"), true}})); };
    QJsonParseError perr{};
    const QJsonDocument json = post ? QJsonDocument::fromJson(body, &perr) : QJsonDocument();

    if (path == "/_control/requests" && request.method == "GET") {
        result.response = Json(200, QJsonDocument(m_control.requests()));
    } else if (path == "/_control/faults" && request.method == "GET") {
        result.response = Json(200, QJsonDocument(m_control.pendingFaults()));
    } else if (path == "/_control/reset" && post) {
        m_control.reset();
        result.response = ok();
    } else if (path == "/_control/fault" && post) {
        QString error;
        if (!json.isObject())
            result.response = JsonError(400, QStringLiteral("JSON object expected"));
        else if (!m_control.addFault(json.object(), &error))
            result.response = JsonError(400, error);
        else
            result.response = ok();
    } else if (path == "/_control/patient" && post) {
        QJsonArray patients = json.isArray() ? json.array() : QJsonArray{json.object()};
        bool good = !json.isNull();
        for (const QJsonValue &v : patients)
            good = good && v.isObject() && m_store.putPatient(v.toObject());
        result.response = good ? ok() : JsonError(400, QStringLiteral("patient needs an \"id\""));
    } else if (path == "/_control/reception" && post) {
        const QJsonObject o = json.object();
        const QDate day = m_store.resolveDate(o.value(QStringLiteral("date")).toString());
        if (!m_store.putReception(day, o.value(QStringLiteral("entries")).toArray()))
            result.response = JsonError(400, QStringLiteral("valid \"date\" expected"));
        else
            result.response = ok();
    } else {
        result.response = JsonError(404, QStringLiteral("unknown control path"));
    }
    return result;
}

} // namespace standin
