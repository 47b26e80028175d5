#ifndef QOX_SCENE_KQOXWHOLENAME_H
#define QOX_SCENE_KQOXWHOLENAME_H

// Names the readers and writers give the objects they make: a KString that
// lost its text for want of memory reads as the empty text, and an object
// named so would be another one, or none. These throw std::bad_alloc
// instead, which the readers and writers report as "Out of memory"
// (KQoxWholeText, base/kstring.h, does the same for any text).

#include <new>

#include "base/kstring.h"
#include "scene/kqoxobject.h"

class KNumberRenamingStrategy;

namespace qoxsdk_600 {

class KQoxNode;
class KQoxSdkManager;

// The object's name without its name space prefix, whole.
inline KString KQoxWholeName(const KQoxObject& object)
{
    KString name = object.GetNameWithoutNameSpacePrefix();
    KQoxWholeText(name);
    return name;
}

// Nothing when the manager made object under name with its kind's prefix
// ("Model::", "Material::" ...) and the object holds that name whole;
// std::bad_alloc when the object was not made or its name lost its text.
void KQoxExpectMadeName(const KQoxObject* object, const char* prefix, const char* name);

// A node of the manager named name, numbered by renaming when given
// ("LINE", "LINE1", ...). Memory running out on the way, the name's text
// lost included, throws std::bad_alloc.
KQoxNode* KQoxMakeNamedNode(KQoxSdkManager& manager, const char* name, KNumberRenamingStrategy* renaming);

} // namespace qoxsdk_600

#endif
