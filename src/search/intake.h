// Text record intake: where a run's texts enter the search (the driver hands
// the reader's texts to CHR_PRO; only tests and fuzz targets call FIND_STR).
#pragma once

// Takes the current text record's text field, cuts it into ChSTR and
// searches it (find_in_text). Returns 0.
int CHR_PRO(unsigned jd_x);
