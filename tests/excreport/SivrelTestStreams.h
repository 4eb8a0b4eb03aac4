#pragma once
// Option streams as older data versions wrote them, for the tests.
#include "excreport/SivrelConsts.h"
#include "excreport/SivrelOptions.h"
#include "excreport/SivrelStream.h"
#include <QByteArray>

using namespace excreport;

// A stream as an older data version wrote it: every row that version holds, with the given values
// for the rows the tests look at and "S<i>" for each stored text.
struct OldStream {
    uint8_t showDialog = 1;
    uint8_t sendMode = 0;
    QString smtpHost;
    int32_t freezeTimeout = 0;

    QByteArray Build(int v) const
    {
        TSivrelStream s;
        s.WriteByte(0);     // SpareSwitch
        s.WriteByte(0);     // UseCustomMessages
        s.WriteByte(1);     // LogFlags
        s.WriteByte(showDialog);
        s.WriteByte(1);     // LogInMailBody
        if (v >= 450) {
            s.WriteByte(1); s.WriteByte(1); s.WriteByte(0);
        }
        if (v >= 401) {
            s.WriteByte(0); // SaveLog
            s.WriteByte(4); // InitialTab
        }
        if (v >= 403)
            s.WriteByte(0); // CustomDialogLook
        if (v >= 420) {
            s.WriteByte(1);
            s.WriteInteger(freezeTimeout);
            s.WriteScrambled("frozen");
        }
        if (v >= 450)
            s.WriteScrambled("from@x");
        if (v >= 420)
            s.WriteScrambled(smtpHost);
        if (v >= 450)
            s.WriteWord(2525);
        if (v >= 421) {
            s.WriteScrambled("u");
            s.WriteScrambled("p");
            s.WriteByte(taTerminate);
        }
        s.WriteByte(0);      // OfferTerminate
        s.WriteInteger(5);   // MaxLogReports
        s.WriteInteger(6);   // TerminateThreshold
        s.WriteScrambled("to@x");
        s.WriteScrambled("subject");
        s.WriteByte(sendMode);
        s.WriteLongWord(0x12345678);
        if (v < 450)
            s.WriteByte(0xEE);  // the byte older versions hold after LogSections
        s.WriteScrambled("/out");
        s.WriteInteger(1);
        s.WriteScrambled("EFoo");
        s.WriteScrambled("foo message");
        s.WriteScrambled("body");
        for (int i = 0; i < SivrelTextCount; ++i) {
            const bool stored = !((i == 15 && v < 420) || (i == 14 && v <= 420)
                                  || (v < 450 && ((i >= 8 && i <= 11) || (i >= 16 && i <= 18) || i == 23
                                                  || i == 37 || i == 45 || i == 47 || i == 48 || i >= 53)));
            if (stored)
                s.WriteScrambled(QString("S%1").arg(i));
        }
        return s.Data();
    }
};

