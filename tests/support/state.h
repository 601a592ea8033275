// Puts every process-wide variable of the program back to its start value,
// so that tests and fuzz runs never depend on what ran before them, and
// hands the reader's texts to the search, as a run does.
#pragma once

void reset_program_state();
