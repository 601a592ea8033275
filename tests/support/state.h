// Puts every process-wide variable of the program back to its start value,
// so that tests and fuzz runs never depend on what ran before them.
#pragma once

void reset_program_state();
