// Today's reception list of the stand-in's demo data and the settings of an
// application folder connected to it, for the tests that run the real program.
#pragma once

#include <QByteArray>
#include <QString>

#include <iterator>

// In the order the patients arrived (00012 came twice and is listed once),
// with the mark the demo gives each patient and whether the mark check must
// ask for the medical information (only when the drug information holds no
// month; 21001's prescriptions are older than the drug information reaches).
struct DemoListed {
    const char *id;
    const char *name;
    const char *mark;
    bool medicalAsked;
};
inline constexpr DemoListed kDemoToday[] = {
    {"00001", "見本　太郎", "◎T", false},   {"00012", "架空　一郎", "◎", false},
    {"10001", "港　見本男", "◎", false},    {"10150", "試作　次郎", "◎T", false},
    {"12001", "例田　翔", "", true},        {"13003", "試　大河", "◎", false},
    {"20000", "見本木　茂", "◎T", false},   {"20481", "仮谷　陽菜", "", true},
    {"00002", "見本　花子", "T", true},     {"00045", "試験　ゆかり", "◎", true},
    {"00103", "𠮷田　仮子", "◎", false},    {"00777", "例示　健", "", true},
    {"01234", "模擬　さくら", "", true},    {"10024", "仮野　波子", "◎T", false},
    {"10388", "架空野　梅", "◎", false},    {"11002", "見本川　勇", "T", true},
    {"11235", "仮山　さつき", "◎T", true},  {"12458", "模造　千代", "◎", false},
    {"13579", "架橋　みのり", "◎T", false}, {"21001", "擬似　かおる", "◎T", true},
};
inline constexpr int kDemoTodayCount = int(std::size(kDemoToday));

// PatientCache.csv after today's list was read into an empty cache.
inline QByteArray DemoPatientCache() {
    QByteArray cache("\xEF\xBB\xBF");
    for (const DemoListed &p : kDemoToday)
        cache += QByteArray(p.id) + ',' + p.name + "\r\n";
    return cache;
}

// user.ini as the demo writes it, with the refresh put out of the way (a test
// that reads the request log wants no reload it did not ask for); `more` is
// appended (whole sections).
inline QByteArray DemoSettings(const QString &baseUrl, const QByteArray &more = QByteArray()) {
    return "[PARAMA]\r\nURL=" + baseUrl.toUtf8() +
           "\r\nAPIUSER=demo\r\nAPIKEY=demo-key\r\nKIKANCD=9900011\r\n"
           "KIKANNAME=みなと見本クリニック\r\nREFRESH=3600\r\nSAVETXT=\r\n"
           "[COKBN]\r\nCHCK=1\r\n[UPDATE]\r\nMODE=1\r\n" +
           more;
}
