// The search result report appended after the last record.
#pragma once

// Appends the framed report: a text size record, seven report lines, the
// frame's line type and colour, and the seven lines of the frame. Sets
// rd.MOJIS = 2, srch's scale and sizes, and drops opts.ChS001's letter.
void Find_STR_END();
