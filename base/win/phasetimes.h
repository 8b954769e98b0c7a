#pragma once
// Start-up phase times for the benchmark. With QM_PHASE_TIMES naming a file, each mark
// appends "name<TAB>microseconds since the process was created" to it; without it a mark
// costs one test of a flag.
bool phaseTimesEnabled();
void markPhase(const char* name);
