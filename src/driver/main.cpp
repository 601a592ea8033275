// The filter's entry point.
#include "driver/driver.h"

int main(int /*argc*/, char** argv) { return run(argv); }
