// The scene's characters, control-set plugs and character poses: the scene
// library holds their lists, this library makes and destroys the objects.

#include <new>

#include "character/kqoxcharacter.h"
#include "character/kqoxcharacterpose.h"
#include "character/kqoxcontrolsetplug.h"
#include "scene/kqoxscene.h"
#include "scene/kqoxsdkmanager.h"

namespace qoxsdk_600 {

namespace {

// Destruct hook, then delete.
template <class T>
void DestroyObject(T* object)
{
    if (!object)
        return;
    object->Destruct();
    delete object;
}

// The scene's Clear and destructor go through this: every object in list
// order, each list emptied.
void DestroyAllCharacterObjects(KQoxScene& scene)
{
    while (scene.GetCharacterCount() > 0)
        scene.DestroyCharacter(0);
    while (scene.GetControlSetPlugCount() > 0)
        scene.DestroyControlSetPlug(0);
    while (scene.GetCharacterPoseCount() > 0)
        scene.DestroyCharacterPose(0);
}

template <class T>
int AppendNew(KArrayTemplate<T*>& list, KQoxSdkManager& manager, const char* prefix, const char* name)
{
    KQoxScene::SetCharacterObjectsDestroyFunction(&DestroyAllCharacterObjects);
    KString fullName = KQoxSdkManager::PrefixName(prefix, name);
    T* object = new (std::nothrow) T(manager, fullName.Buffer());
    if (!object)
        return -1;
    const int index = list.Add(object);
    // A list that cannot grow keeps no object it does not list.
    if (index < 0)
        DestroyObject(object);
    return index;
}

template <class T>
void RemoveAndDestroy(KArrayTemplate<T*>& list, int index)
{
    if (index < 0 || index >= list.GetCount())
        return;
    DestroyObject(list.RemoveAt(index));
}

} // namespace

int KQoxScene::CreateCharacter(const char* name)
{
    return AppendNew(mCharacters, mManager, "Constraint::", name);
}

void KQoxScene::DestroyCharacter(int index)
{
    RemoveAndDestroy(mCharacters, index);
}

int KQoxScene::CreateControlSetPlug(const char* name)
{
    return AppendNew(mControlSetPlugs, mManager, "ControlSetPlug::", name);
}

void KQoxScene::DestroyControlSetPlug(int index)
{
    RemoveAndDestroy(mControlSetPlugs, index);
}

int KQoxScene::CreateCharacterPose(const char* name)
{
    return AppendNew(mCharacterPoses, mManager, "Pose::", name);
}

void KQoxScene::DestroyCharacterPose(int index)
{
    RemoveAndDestroy(mCharacterPoses, index);
}

} // namespace qoxsdk_600
