#ifndef QOX_BASE_KLIB_H
#define QOX_BASE_KLIB_H

// Application-wide settings (quit, new-scene and lock states, the project
// file path) and machine queries (host name, processor and serial counts).

// Application settings, process-wide.
extern bool gGlobalApplicationQuitting;
extern bool gGlobalApplicationNew;
extern int gGlobalApplicationLock;

bool KLib_GetApplicationQuit();
void KLib_SetApplicationQuit(bool quitting);
bool KLib_GetApplicationNew();
void KLib_SetApplicationNew(bool isNew);
// True when the new-scene flag or the quitting flag is set.
bool KLib_GetApplicationClearModel();
// True while the lock counter is above 0.
bool KLib_GetApplicationLock();
// Clears the lock counter, whatever the argument.
void KLib_SetApplicationLock(bool lock);

// Copies at most 1,023 characters of path (null counts as "").
void KLib_SetProjectFilePath(const char* path);
// The project path; an empty text until a path is set.
char* KLib_GetProjectFilePath();

// The host name into buffer (size bytes, always terminated). On failure
// writes "?" and returns false.
bool KLib_GetComputerName(char* buffer, int size);
// Writes nothing; true.
bool KLib_GetOSVersion(char* buffer, int size);
// Number of configured processors.
int KLib_GetProcessorCount();
int KLib_GetSerialDeviceCount();
int KLib_GetSerialDevicePortNumber(int device);

// Writes value in decimal ("%d") at text + position, with its terminator.
// The caller's buffer holds at least 12 bytes from that position.
void PutEndDigitString(char* text, unsigned int position, unsigned int value);

#endif
