// The record writers, one record each: lines, attributes, texts, circles.
#include "records/writers.h"

#include "records/record.h"

void Sen(double x1, double y1, double x2, double y2) {
    Rec r;
    r.str(" ").fixed(x1, 12).str(" ").fixed(y1, 12).str(" ").fixed(x2, 12).str(" ").fixed(y2, 12).str(" \n");
    rec_to_work(r);
}

void Lcout(int colour) {
    Rec r;
    r.str("lc").num(colour).str(" \n");
    rec_to_work(r);
}

void Ltout(int type) {
    Rec r;
    r.str("lt").num(type).str(" \n");
    rec_to_work(r);
}

void Cnout(int size) {
    Rec r;
    r.str("cn").num(size).str(" \n");
    rec_to_work(r);
}

void Kci(double x, double y, double r) {
    Rec rec;
    rec.str("ci ").fixed(x, 12).str(" ").fixed(y, 12).str(" ").fixed(r, 12).str(" \n");
    rec_to_work(rec);
}

void MojiOutS(double x, double y, const char* text) {
    Rec r;
    r.str("ch ").fixed(x, 9).str(" ").fixed(y, 9).str(" 3 0 \"").str(text).str("\n");
    rec_to_work(r);
}
