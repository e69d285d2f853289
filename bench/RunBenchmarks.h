#pragma once

#include <benchmark/benchmark.h>

// Runs the benchmarks the command line picks, once the program has made what
// they need (its application object, say); 1 for an option nobody knows.
inline int RunBenchmarks(int& argc, char** argv)
{
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
