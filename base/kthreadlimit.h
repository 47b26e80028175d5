#ifndef QOX_BASE_KTHREADLIMIT_H
#define QOX_BASE_KTHREADLIMIT_H

// How many threads the SDK may work on at once, process-wide.
//
// Large reads and writes hand parts of their work to helper threads taken
// from one pool shared by the whole process; every helper is done before
// the call returns, and what is read or written is the same for every
// limit. The limit counts the calling thread: 1 means the calling thread
// only (no helper is ever started), N means at most N - 1 helpers at once,
// however many threads call the SDK. Work running on a helper never takes
// helpers of its own.
//
// The limit, in order of precedence:
//  - the last value given to KSetThreadLimit, when above 0;
//  - the environment variable QOX_THREADS (a whole number above 0), read
//    once, the first time a limit is needed;
//  - the processors the calling thread may run on: its affinity mask,
//    lowered to the CPU quota of its control group when there is one
//    (cgroup v2 cpu.max, v1 cpu.cfs_quota_us / cpu.cfs_period_us, rounded
//    up).
// Helpers already made stay parked when the limit is lowered; they take no
// work beyond the new limit.

// Sets the limit for the whole process; 0 or less goes back to the default
// (QOX_THREADS, else the processors). Safe to call from any thread.
void KSetThreadLimit(int limit);

// The limit in force for the calling thread (at least 1).
int KGetThreadLimit();

#endif
