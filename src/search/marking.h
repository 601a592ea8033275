// Match marking: the circle around a match's first character, and the
// running maxima that place the report.
#pragma once

struct TextRecord;

// Places the circle of the text `rec` at its byte `f_head` with its scale and
// size (kept in srch), writes it when `isFound`, moves srch.Mx000, My000.
void mark_match(const TextRecord& rec, bool isFound, int f_head);
