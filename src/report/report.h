// The search result report appended after the last record.
#pragma once

// Appends the framed report: a text size record, seven report lines, the
// frame's line type and colour, and the seven lines of the frame.
void Find_STR_END();
