// A loadable library for the class registry tests. Its LIBRARY_INIT registers
// one creator; the registry functions it calls are those of the test program
// that loads it.

#include "object/kclassregistry.h"
#include "object/kobject.h"

namespace {

int gInitResult = 0;
int gInitCount = 0;

IKObject* CreateWidget(IKObject*, const char* name, void*)
{
    KObject* object = new KObject();
    object->SetObjectName(name);
    return object;
}

} // namespace

extern "C" {

__attribute__((visibility("default"))) int LIBRARY_INIT(IError*)
{
    ++gInitCount;
    Object_Register("Plugin/Shapes", "Widget", "A widget from a loaded library", &CreateWidget, true, "widget.png",
                    HdlKObject());
    return gInitResult;
}

// What the next LIBRARY_INIT returns.
__attribute__((visibility("default"))) void TestPlugin_SetInitResult(int result)
{
    gInitResult = result;
}

__attribute__((visibility("default"))) int TestPlugin_GetInitCount()
{
    return gInitCount;
}
}
