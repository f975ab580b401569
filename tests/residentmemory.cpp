// SPDX-License-Identifier: MIT
#include "residentmemory.h"

#include <cstdio>
#include <unistd.h>

qint64 residentKiB()
{
    FILE *statm = std::fopen("/proc/self/statm", "r");
    if (!statm)
        return 0;
    long long pages = 0;
    long long resident = 0;
    const int got = std::fscanf(statm, "%lld %lld", &pages, &resident);
    std::fclose(statm);
    return got == 2 ? resident * (::sysconf(_SC_PAGESIZE) / 1024) : 0;
}
