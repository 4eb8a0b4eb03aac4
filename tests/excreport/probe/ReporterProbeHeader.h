#pragma once
// A routine of a header, for the reporter-data probe.
void Mark(const char* what);
extern volatile int ProbeSink;

__attribute__((noinline)) inline void HeaderFunction()
{
    Mark("header"); // MARK:header
    ProbeSink = ProbeSink + 1;
}
