// Conversion between a control set and a control-set plug.
#include "character/kqoxcontrolset.h"
#include "character/kqoxcontrolsetplug.h"
#include "scene/kqoxnode.h"

namespace qoxsdk_600 {

namespace {

// The plug's property block, when it is a control-set plug's.
KQoxControlSetPlugProperties* PlugProperties(KQoxControlSetPlug* plug)
{
    if (!plug)
        return nullptr;
    KQoxPropertyHandler* handler = plug->GetPropertyHandler();
    if (!handler || !handler->Is(KQoxControlSetPlugProperties::ClassId))
        return nullptr;
    return static_cast<KQoxControlSetPlugProperties*>(handler);
}

// The node whose property block sits at a position of a list; null for an
// empty entry, an entry that is no property block, or a block of anything
// but a node.
KQoxNode* NodeAt(KPropertyObjectList* list, int position)
{
    KObject* object = list->GetAt(position);
    if (!object || !object->Is(KQoxPropertyHandler::ClassId))
        return nullptr;
    return dynamic_cast<KQoxNode*>(static_cast<KQoxPropertyHandler*>(object)->GetKQoxObject());
}

// The property block of a node, as lists hold it.
KObject* NodeBlock(KQoxNode* node)
{
    return node ? node->GetPropertyHandler() : nullptr;
}

} // namespace

void KQoxControlSet::FromPlug(KQoxControlSetPlug* plug)
{
    KQoxControlSetPlugProperties* properties = PlugProperties(plug);
    if (!properties)
        return;
    Reset();
    SetType(properties->ControlSetTypeGet());
    SetUseAxis(properties->UseAxisGet());

    for (int i = 0; i < properties->GetLinkListCount(); ++i)
    {
        KPropertyObjectList* list = properties->GetLinkList(i);
        KQoxControlSetLink link;
        if (list->GetCount() > 0)
            link.mNode = NodeAt(list, 0);
        SetControlSetLink(static_cast<ECharacterNodeId>(list->GetUserWord()), link);
    }

    for (int i = 0; i < properties->GetEffectorListCount(); ++i)
    {
        KPropertyObjectList* list = properties->GetEffectorList(i);
        const EEffectorNodeId id = static_cast<EEffectorNodeId>(list->GetUserWord());
        const int count = list->GetCount();
        for (int position = 0; position < count; ++position)
        {
            KQoxNode* node = NodeAt(list, position);
            if (!node)
                continue;
            if (position == 0)
            {
                KQoxEffector effector; // the flags of a fresh effector
                effector.mNode = node;
                SetEffector(id, effector);
            }
            else // positions past the last set are refused by the setter
                SetEffectorAux(id, node, static_cast<EEffectorSetId>(position));
        }
    }
}

void KQoxControlSet::ToPlug(KQoxControlSetPlug* plug)
{
    KQoxControlSetPlugProperties* properties = PlugProperties(plug);
    if (!properties)
        return;
    properties->ControlSetTypeSet(GetType());
    properties->UseAxisSet(GetUseAxis());

    for (int i = 0; i < properties->GetLinkListCount(); ++i)
    {
        KPropertyObjectList* list = properties->GetLinkList(i);
        list->Clear();
        KQoxControlSetLink link;
        if (GetControlSetLink(static_cast<ECharacterNodeId>(list->GetUserWord()), &link))
            if (KObject* block = NodeBlock(link.mNode))
                list->SetAt(0, block);
    }

    // The effector's node first, then its auxiliary nodes in set order,
    // packed without gaps.
    for (int i = 0; i < properties->GetEffectorListCount(); ++i)
    {
        KPropertyObjectList* list = properties->GetEffectorList(i);
        const EEffectorNodeId id = static_cast<EEffectorNodeId>(list->GetUserWord());
        list->Clear();
        KQoxEffector effector;
        if (GetEffector(id, &effector))
            if (KObject* block = NodeBlock(effector.mNode))
                list->Add(block);
        for (int set = eFirstEffectorSet; set <= eLastEffectorSet; ++set)
        {
            KQoxNode* node = nullptr;
            if (GetEffectorAux(id, &node, static_cast<EEffectorSetId>(set)))
                if (KObject* block = NodeBlock(node))
                    list->Add(block);
        }
    }
}

} // namespace qoxsdk_600
