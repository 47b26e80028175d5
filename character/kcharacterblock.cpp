#include "character/kcharacterblock.h"

#include "scene/kqoxpropertyhandler.h"
#include "scene/kqoxtakenodecontainer.h"

namespace qoxsdk_600 {

void CreateBlockChannels(KQoxTakeNodeContainer& owner, KQoxPropertyHandler* block, KQoxTakeNode* takeNode)
{
    if (!block)
        return;
    const int count = block->GetPropertyCount();
    for (int i = 0; i < count; ++i)
    {
        KProperty* property = block->GetProperty(i);
        if (property && property->IsAnimatable())
            owner.CreateChannelsForProperty(property, takeNode);
    }
}

KStringList TypeNameFlags(const KString& typeName)
{
    KStringList flags;
    flags.Add(typeName.ToChars());
    return flags;
}

} // namespace qoxsdk_600
