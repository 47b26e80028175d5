#ifndef QOX_OBJECT_KBASELIB_H
#define QOX_OBJECT_KBASELIB_H

// Counted start-up and shut-down of the base library: the plug system and the
// memory reuse pools. The first start brings the plug system up, then the
// pools; the last stop takes the pools down first and the plug system last.
// The calls may come from any thread: one lock keeps the count and the start
// and shutdown together.

// Starts on the first of nested calls; always true.
bool KBaseLib_Init();
// Undoes one start; the last one shuts the base library down.
void KBaseLib_Terminate();
// The number of outstanding starts.
int KBaseLib_GetRefCount();

#endif
