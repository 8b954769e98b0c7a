#pragma once
// Start-up phase times for the benchmark. With QM_PHASE_TIMES naming a file, each mark
// appends "name<TAB>microseconds" to it: since the performance counter read in
// QM_PHASE_ORIGIN (the caller's, taken just before it started this process), else since
// the process was created. Without QM_PHASE_TIMES a mark costs one test of a flag.
bool phaseTimesEnabled();
void markPhase(const char* name);
