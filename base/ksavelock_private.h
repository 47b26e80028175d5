#ifndef QOX_BASE_KSAVELOCK_PRIVATE_H
#define QOX_BASE_KSAVELOCK_PRIVATE_H

// For tests only: the time KSaveLock::Take waits for another save, lowered
// so that a save held up can be seen to fail in a moment; 0 restores
// KSaveLock::kWaitMilliseconds.

void SetSaveLockWaitForTests(int milliseconds);

#endif
