#include "character/kqoxcharacter.h"

#include "character/kcharacterblock.h"
#include "character/kqoxcharacterproperties.h"
#include "character/kqoxcontrolset.h"
#include "character/kqoxfilterset.h"
#include "scene/kqoxnode.h"
#include "scene/kqoxsdkmanager.h"

namespace qoxsdk_600 {

namespace {

const char* const kCharacterErrors[] = {"internal error"};

// Name space of the objects an actor input may be.
const KQoxObject::ENameSpace kActorNameSpace = 6;

// The auxiliary effector set that character copies take over.
const EEffectorSetId kCopiedAuxSet = eFirstEffectorSet;

} // namespace

// ---------------------------------------------------------------------------
// Link

KQoxCharacterLink::KQoxCharacterLink()
    : mPropertyLink(nullptr)
{
    Reset();
}

KQoxCharacterLink::KQoxCharacterLink(const KQoxCharacterLink& link)
    : mPropertyLink(nullptr)
{
    *this = link;
}

void KQoxCharacterLink::Reset()
{
    mNode = nullptr;
    mTemplateName.Empty();
    mOffsetT.Set(0.0, 0.0, 0.0, 1.0);
    mOffsetR.Set(0.0, 0.0, 0.0, 1.0);
    mOffsetS.Set(1.0, 1.0, 1.0, 1.0);
    mPropertyLink = nullptr;
}

KQoxCharacterLink& KQoxCharacterLink::operator=(const KQoxCharacterLink& link)
{
    mNode = link.mNode;
    mTemplateName = link.mTemplateName;
    mOffsetT = link.mOffsetT;
    mOffsetR = link.mOffsetR;
    mOffsetS = link.mOffsetS;
    return *this;
}

// ---------------------------------------------------------------------------
// Character

KQoxCharacter::KQoxCharacter(KQoxSdkManager& manager, const char* name)
    : KQoxTakeNodeContainer(manager, name, &mError)
    , mProperties(nullptr)
    , mError(kCharacterErrors, 1)
    , mInputType(eNoInput)
    , mInputObject(nullptr)
    , mControlSet(nullptr)
    , mFilterSet(nullptr)
{
    // Installed by every character: a node destroyed while linked must reach
    // the tables of the character its records name.
    KQoxNode::SetCharacterLinkClearFunction(&KQoxCharacter::ClearNodeReference);
    for (KQoxCharacterLink& link : mLinks)
        link.Reset();
    mControlSet = new KQoxControlSet;
    mControlSet->SetCharacter(this);
    mFilterSet = new KQoxFilterSet;
    mProperties = new KQoxCharacterProperties(this);
    Init();
}

KQoxCharacter::~KQoxCharacter()
{
    // The take nodes (destroyed by the base) may refer to the block's
    // properties through their callbacks: drop those first.
    UnregisterAllDefaultTakeCallback();
    // No slot points at a node or a property while the properties go, so
    // their disconnection events find nothing to change.
    for (int id = 0; id < kCharacterNodeIdCount; ++id)
    {
        ResetLink(id);
        mLinks[id].mPropertyLink = nullptr;
    }
    mControlSet->Reset();
    mProperties->Destroy(0);
    mProperties = nullptr;
    delete mControlSet;
    mControlSet = nullptr;
    delete mFilterSet;
    mFilterSet = nullptr;
}

void KQoxCharacter::Destruct()
{
    // Destruct destroys the node link properties: no link may point at them.
    for (KQoxCharacterLink& link : mLinks)
        link.mPropertyLink = nullptr;
    if (mProperties)
        mProperties->Destruct();
}

KQoxPropertyHandler* KQoxCharacter::GetPropertyHandler()
{
    return mProperties;
}

KString KQoxCharacter::GetTypeName()
{
    return KString("Character");
}

KStringList KQoxCharacter::GetTypeFlags()
{
    return TypeNameFlags(GetTypeName());
}

void KQoxCharacter::AddChannels(KQoxTakeNode* takeNode)
{
    CreateBlockChannels(*this, mProperties, takeNode);
}

KQoxUserProperty* KQoxCharacter::CreateKQoxUserProperty(KProperty* property)
{
    return GetSdkManager().CreateKQoxUserProperty(property);
}

KQoxCharacterLink* KQoxCharacter::LinkSlot(int id)
{
    if (static_cast<unsigned int>(id) >= static_cast<unsigned int>(kCharacterNodeIdCount))
        return nullptr;
    return &mLinks[id];
}

void KQoxCharacter::ResetLink(int id)
{
    KQoxCharacterLink& link = mLinks[id];
    KPropertyObjectList* property = link.mPropertyLink;
    if (KQoxNode* node = link.mNode)
    {
        link.mNode = nullptr;
        node->RemoveCharacterLink(this, eCharacterLinkTypeCharacter, id, 0);
    }
    link.Reset();
    link.mPropertyLink = property;
}

void KQoxCharacter::Reset()
{
    SetInitialName("");
    mInputType = eNoInput;
    mInputObject = nullptr;
    for (int id = 0; id < kCharacterNodeIdCount; ++id)
    {
        ResetLink(id);
        // The link has no node any more, so the disconnections the emptying
        // sends change nothing in it.
        if (KPropertyObjectList* property = mLinks[id].mPropertyLink)
            property->Clear();
    }
    mControlSet->Reset();
}

// ---------------------------------------------------------------------------
// Input

namespace {

bool InputFits(const KQoxCharacter* self, KQoxCharacter::ECharacterInputType type, const KQoxObject* object)
{
    if (!object)
        return false;
    if (type == KQoxCharacter::eActorInput)
        return object->GetNameSpace() == kActorNameSpace;
    if (type == KQoxCharacter::eCharacterInput)
        return object->GetNameSpace() == KQoxObject::eCHARACTER && object != self;
    return false;
}

} // namespace

void KQoxCharacter::SetInput(ECharacterInputType type, KQoxObject* object)
{
    mInputType = type;
    mInputObject = InputFits(this, type, object) ? object : nullptr;
}

KQoxObject* KQoxCharacter::GetInputObject() const
{
    return InputFits(this, mInputType, mInputObject) ? mInputObject : nullptr;
}

// ---------------------------------------------------------------------------
// Links

bool KQoxCharacter::SetCharacterLink(ECharacterNodeId id, const KQoxCharacterLink& link, bool updateProperty)
{
    KQoxCharacterLink* slot = LinkSlot(id);
    if (!slot)
        return false;
    if (KQoxNode* old = slot->mNode)
    {
        slot->mNode = nullptr;
        old->RemoveCharacterLink(this, eCharacterLinkTypeCharacter, id, 0);
    }
    *slot = link;
    if (slot->mNode)
        slot->mNode->AddCharacterLink(this, eCharacterLinkTypeCharacter, id, 0);
    if (updateProperty && slot->mPropertyLink)
    {
        KPropertyObjectList* property = slot->mPropertyLink;
        KQoxPropertyHandler* handler = slot->mNode ? slot->mNode->GetPropertyHandler() : nullptr;
        if (handler)
        {
            // Already the only entry: nothing to reconnect.
            if (!(property->GetCount() == 1 && property->GetAt(0) == handler))
            {
                property->Clear();
                property->SetAt(0, handler);
            }
        }
        else
            property->Clear();
    }
    return true;
}

bool KQoxCharacter::GetCharacterLink(ECharacterNodeId id, KQoxCharacterLink* link) const
{
    if (static_cast<unsigned int>(id) >= static_cast<unsigned int>(kCharacterNodeIdCount))
        return false;
    const KQoxCharacterLink& slot = mLinks[id];
    if (!slot.IsSet())
        return false;
    if (link)
        *link = slot;
    return true;
}

void KQoxCharacter::ClearNodeReference(KQoxCharacter* character, int type, int index, int subIndex, KQoxNode* node)
{
    if (!character)
        return;
    if (type == eCharacterLinkTypeCharacter)
    {
        KQoxCharacterLink* slot = character->LinkSlot(index);
        if (slot && slot->mNode == node)
            slot->mNode = nullptr;
        return;
    }
    character->mControlSet->ClearNodeReference(type, index, subIndex, node);
}

// ---------------------------------------------------------------------------
// Copy

KQoxCharacter& KQoxCharacter::operator=(KQoxCharacter& character)
{
    if (&character == this)
        return *this;
    KQoxObject::operator=(character);
    SetInput(character.GetInputType(), character.GetInputObject());
    for (int id = 0; id < kCharacterNodeIdCount; ++id)
    {
        KQoxCharacterLink link;
        if (character.GetCharacterLink(static_cast<ECharacterNodeId>(id), &link))
            SetCharacterLink(static_cast<ECharacterNodeId>(id), link, true);
    }

    KQoxFilterSet& source = *character.mFilterSet;
    for (int i = 0; i < KQoxFilterSet::GetParameterCount(); ++i)
    {
        const int j = KQoxFilterSet::GetParameterIndex(KQoxFilterSet::GetParameterName(i));
        if (j < 0)
            continue;
        mFilterSet->SetParameterMode(j, source.GetParameterMode(i));
        mFilterSet->SetParameterValue(j, source.GetParameterValue(i, 0), 0);
    }
    // The properties follow the filter set they describe.
    mProperties->FilterSetToProperties();

    KQoxControlSet& from = *character.mControlSet;
    mControlSet->SetType(from.GetType());
    for (int id = 0; id < kCharacterNodeIdCount; ++id)
    {
        KQoxControlSetLink link;
        if (from.GetControlSetLink(static_cast<ECharacterNodeId>(id), &link))
            mControlSet->SetControlSetLink(static_cast<ECharacterNodeId>(id), link);
    }
    for (int id = 0; id < kEffectorNodeIdCount; ++id)
    {
        KQoxEffector effector;
        if (from.GetEffector(static_cast<EEffectorNodeId>(id), &effector))
            mControlSet->SetEffector(static_cast<EEffectorNodeId>(id), effector);
    }
    for (int id = 0; id < kEffectorNodeIdCount; ++id)
    {
        KQoxNode* node = nullptr;
        if (from.GetEffectorAux(static_cast<EEffectorNodeId>(id), &node, kCopiedAuxSet))
            mControlSet->SetEffectorAux(static_cast<EEffectorNodeId>(id), node, kCopiedAuxSet);
    }
    return *this;
}

} // namespace qoxsdk_600
