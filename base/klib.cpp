#include "base/klib.h"

#include <cstdio>
#include <cstring>
#include <unistd.h>

#include "base/karray.h"

bool gGlobalApplicationQuitting = false;
bool gGlobalApplicationNew = false;
int gGlobalApplicationLock = 0;

// Serial port board descriptions: built at load time, destroyed at exit;
// nothing reads or fills it on this platform.
KBaseArray gsPortBoardDescription(16, static_cast<int>(sizeof(void*)));

namespace {
const int kProjectPathSize = 1024;
char gProjectFilePath[kProjectPathSize];
bool gProjectFilePathInitialized = false;
} // namespace

bool KLib_GetApplicationQuit()
{
    return gGlobalApplicationQuitting;
}

void KLib_SetApplicationQuit(bool quitting)
{
    gGlobalApplicationQuitting = quitting;
}

bool KLib_GetApplicationNew()
{
    return gGlobalApplicationNew;
}

void KLib_SetApplicationNew(bool isNew)
{
    gGlobalApplicationNew = isNew;
}

bool KLib_GetApplicationClearModel()
{
    return gGlobalApplicationNew || gGlobalApplicationQuitting;
}

bool KLib_GetApplicationLock()
{
    return gGlobalApplicationLock > 0;
}

void KLib_SetApplicationLock(bool /*lock*/)
{
    // Nothing raises the counter; setting the lock only resets it.
    gGlobalApplicationLock = 0;
}

void KLib_SetProjectFilePath(const char* path)
{
    if (!path)
        path = "";
    size_t len = strnlen(path, kProjectPathSize - 1);
    memcpy(gProjectFilePath, path, len);
    gProjectFilePath[len] = 0;
    gProjectFilePathInitialized = true;
}

char* KLib_GetProjectFilePath()
{
    if (!gProjectFilePathInitialized)
    {
        gProjectFilePath[0] = 0;
        gProjectFilePathInitialized = true;
    }
    return gProjectFilePath;
}

bool KLib_GetComputerName(char* buffer, int size)
{
    if (!buffer || size < 1)
        return false;
    if (gethostname(buffer, static_cast<size_t>(size)) != 0)
    {
        if (size >= 2)
        {
            buffer[0] = '?';
            buffer[1] = 0;
        }
        else
        {
            buffer[0] = 0;
        }
        return false;
    }
    // A truncated name is not guaranteed to be terminated.
    buffer[size - 1] = 0;
    return true;
}

bool KLib_GetOSVersion(char* /*buffer*/, int /*size*/)
{
    return true;
}

int KLib_GetProcessorCount()
{
    return static_cast<int>(sysconf(_SC_NPROCESSORS_CONF));
}

int KLib_GetSerialDeviceCount()
{
    return 2;
}

int KLib_GetSerialDevicePortNumber(int device)
{
    return device == 0 ? 2 : 1;
}

void PutEndDigitString(char* text, unsigned int position, unsigned int value)
{
    if (!text)
        return;
    // "%d" of any 32-bit value takes at most 11 characters and the terminator.
    snprintf(text + position, 12, "%d", static_cast<int>(value));
}
