// The stand-in data of the viewer tests: a few patients and the reception
// lists of today and yesterday.
#pragma once
#include "tests/support/StandinServer.h"

#include <QDate>
#include <QJsonArray>
#include <QJsonObject>

namespace viewerdata {

inline const QString kDoubleCircle = QString(QChar(0x25CE));

// 00001 見本 太郎: other institutions' drugs (◎), settled today
// 00002 見本 花子: a checkup (T), still in reception
// 00003 架空 一郎: nothing; accepted twice today, first settled ("架空 一郎"),
//                  then again under the name "架空 イチロウ", still in reception
// 00004 (no name): nothing, still in reception
// 00123 山田　花子: ◎T; on yesterday's list only
inline bool Load(StandinServer &server) {
    const QString today = QDate::currentDate().toString(QStringLiteral("yyyy-MM-dd"));
    const QString yesterday =
        QDate::currentDate().addDays(-1).toString(QStringLiteral("yyyy-MM-dd"));
    const QJsonObject drug = StandinServer::sampleDispensing("today-40");
    const QJsonObject checkup{{"date", "today-100"},
                              {"institution_code", "1310800088"},
                              {"institution_name", "区民見本健診センター"}};
    QJsonObject p1 = StandinServer::makePatient("00001", "見本 太郎", "1950-04-01");
    p1["drugs"] = QJsonArray{drug};
    QJsonObject p2 = StandinServer::makePatient("00002", "見本 花子", "1962-08-15");
    p2["checkups"] = QJsonArray{checkup};
    QJsonObject p3 = StandinServer::makePatient("00003", "架空 一郎", "1990-01-01");
    QJsonObject p4 = StandinServer::makePatient("00004", "", "1980-01-01");
    QJsonObject p123 = StandinServer::makePatient("00123", "山田　花子", "1958-03-14");
    p123["drugs"] = QJsonArray{drug};
    p123["checkups"] = QJsonArray{checkup};
    for (const QJsonObject &p : {p1, p2, p3, p4, p123}) {
        if (!server.putPatient(p))
            return false;
    }
    const QJsonArray todays{
        QJsonObject{{"id", "00001"}, {"time", "09:00:00"}, {"account_time", "09:30:00"}},
        QJsonObject{{"id", "00003"}, {"time", "09:05:00"}, {"account_time", "09:20:00"}},
        QJsonObject{{"id", "00002"}, {"time", "09:10:00"}},
        QJsonObject{{"id", "00003"}, {"time", "10:00:00"}, {"name", "架空 イチロウ"}},
        QJsonObject{{"id", "00004"}, {"time", "10:05:00"}},
    };
    const QJsonArray yesterdays{QJsonObject{{"id", "00123"}, {"time", "11:00:00"}}};
    return server.putReception(today, todays) && server.putReception(yesterday, yesterdays);
}

} // namespace viewerdata
