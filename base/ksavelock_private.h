#ifndef QOX_BASE_KSAVELOCK_PRIVATE_H
#define QOX_BASE_KSAVELOCK_PRIVATE_H

#include <functional>

// For tests only: the time KSaveLock::Take waits for another save, lowered
// so that a save held up can be seen to fail in a moment; 0 restores
// KSaveLock::kWaitMilliseconds.

void SetSaveLockWaitForTests(int milliseconds);

// For tests only: called by KSaveLock::Take once its lock files are open and
// before it takes any turn (the first time only), so that a test can change
// the lock folders meanwhile; empty for none.
void SetSaveLockOnOpenForTests(std::function<void()> onOpen);

#endif
