// The closing attribute records, made from the first attribute values that
// the reader captured in rd.
#include "exchange/closing.h"

#include "exchange/reader.h"
#include "records/record.h"

void IniZokusei() {
    Rec r;
    // A captured "cn0" record (a positive width) or else a captured size
    // number from 1 to 10 (negative numbers pass too); never both.
    if (rd.MOJIWi > 0) {
        r.str("cn0 ").fixed(rd.MOJIWi, 2).str(", ").fixed(rd.MOJIHi, 2).str(", ").fixed(rd.MOJIDi, 2);
        r.str(", ").num(rd.MOJICi).str("\n");
    }
    if (rd.MOJISi != 0 && rd.MOJISi <= 10) r.str("cn").num(rd.MOJISi).str("\n");
    r.str("lg").hex(static_cast<unsigned>(rd.GROUPi)).str("\nly").hex(static_cast<unsigned>(rd.LAYERi));
    r.str("\nlt").num(rd.TYPEi).str("\nlc").num(rd.COLORi).str("\n");
    if (rd.TENSi <= 9) r.str("pn").num(rd.TENSi).str("\n");
    rec_to_work(r);
}
