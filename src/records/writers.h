// The record writers of the match circles and the result report: each
// prints one record of the exchange file into the work file.
#pragma once

// " x1 y1 x2 y2 \n": a line from (x1, y1) to (x2, y2).
void Sen(double x1, double y1, double x2, double y2);
// "lc%d \n": the line colour.
void Lcout(int colour);
// "lt%d \n": the line type.
void Ltout(int type);
// "cn%d \n": the text size number.
void Cnout(int size);
// "ci x y r \n": a circle, centre (x, y), radius r.
void Kci(double x, double y, double r);
// "ch x y 3 0 \"text\n": a text at (x, y) running along the x axis.
void MojiOutS(double x, double y, const char* text);
