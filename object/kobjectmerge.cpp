// Merging one object over another.
//
// The incoming object (this) takes the place of an existing one (other): it
// takes over the existing object's property values, then its connections to
// the rest of the scene, and finally its identity (name and prefix), after
// which the existing object is destroyed. Values and connections therefore
// move from the existing object to the incoming one; connections to objects
// that are themselves being merged are dropped, since the merge of those
// objects reconnects them.

#include <cstring>

#include "object/kobjectmerge.h"
#include "object/kproperty.h"

KObject* GetOwner(KPlug* plug)
{
    if (!plug)
        return nullptr;
    while (plug->GetOwnerPlug())
        plug = plug->GetOwnerPlug();
    return plug->Is(KObject::ClassId) ? static_cast<KObject*>(plug) : nullptr;
}

namespace {

int EntityClassId()
{
    return KPlug_GetClassId("KEntity");
}

bool IsEntity(KPlug* plug)
{
    int id = EntityClassId();
    return id > 0 && plug->Is(id);
}

// Moves one kind of from's connections to to. sources: from's sources.
void MergeRelation(KPlug* from, KPlug* to, KMergeInfo& info, bool sources)
{
    if (!from || !to || from == to)
        return;
    KObject* fromOwner = GetOwner(from);
    // The plugs stay alive while their connections are rearranged.
    HdlKPlug toHdl(to);
    KPostponedDestroy holdFrom(from);
    KPostponedDestroy holdTo(to);
    int count = sources ? from->GetSrcCount() : from->GetDstCount();
    for (int i = count - 1; i >= 0;)
    {
        KPlug* plug = sources ? from->GetSrc(i) : from->GetDst(i);
        if (plug && !IsEntity(plug) && !(sources && fromOwner && !fromOwner->IsMergeableSrc(plug)))
        {
            KObject* owner = GetOwner(plug);
            bool partnerMerged = owner && info.IsMerged(owner->GetObjectFullName());
            if (sources)
            {
                if (!partnerMerged && !plug->IsConnectedDst(to))
                    plug->ReplaceInDst(from, to, -1);
                else
                    KPlug::DisconnectPlug(plug, from);
            }
            else
            {
                if (!partnerMerged && !plug->IsConnectedSrc(to))
                    plug->ReplaceInSrc(from, to, -1);
                else
                    KPlug::DisconnectPlug(from, plug);
            }
        }
        int last = (sources ? from->GetSrcCount() : from->GetDstCount()) - 1;
        i = (i - 1 > last) ? last : i - 1;
    }
}

} // namespace

void MergeDst(KPlug* from, KPlug* to, KMergeInfo& info)
{
    MergeRelation(from, to, info, false);
}

void MergeSrc(KPlug* from, KPlug* to, KMergeInfo& info)
{
    MergeRelation(from, to, info, true);
}

bool KObject::SubstituteRelation(kRelation relation, KObject& from, KObject& to, KMergeInfo& info)
{
    if (relation != eRelationSrc && relation != eRelationDst)
        return true;
    void (*merge)(KPlug*, KPlug*, KMergeInfo&) = relation == eRelationSrc ? MergeSrc : MergeDst;
    merge(&from, &to, info);
    for (int i = 0; i < from.GetPropertyCount(); ++i)
    {
        KProperty* property = from.GetProperty(i);
        if (property->IsSubPlug())
            continue;
        KProperty* match = to.FindPropertyByName(property->GetPropertyName());
        if (match)
            merge(property, match, info);
    }
    return true;
}

bool KObject::MergeOver(KObject& other, kMergePasses passes, IApplyManager& manager, KMergeInfo& info)
{
    if (&other == this)
        return false;
    bool result = false;
    if (passes & eMergeProperties)
    {
        // The incoming object takes over the existing object's values.
        TransferStaticPropertiesFrom(other);
        result = true;
    }
    if (passes & eMergeDstRelations)
        SubstituteRelation(eRelationDst, other, *this, info);
    if (passes & eMergeSrcRelations)
        SubstituteRelation(eRelationSrc, other, *this, info);
    if (passes & eMergeIdentity)
    {
        KString name(other.GetObjectName());
        KString prefix(other.GetObjectPrefixName());
        other.MergeCleanup(manager);
        other.Destroy(0);
        SetObjectPrefixName(prefix);
        SetObjectName(name);
        result = true;
    }
    return result;
}

bool KObject::IsMergeable()
{
    for (int i = 0; i < GetDstCount(); ++i)
    {
        KObject* owner = GetOwner(GetDst(i));
        if (owner && !owner->IsMergeableSrc(this))
            return false;
    }
    return true;
}

void KObject::FillOldToNewSet(KMergeInfo& info)
{
    int count = info.mNewObjects.GetCount();
    for (int i = 0; i < count; ++i)
    {
        KObject* incoming = info.mNewObjects.InternalGet(i).Get();
        KObject* existing = i < info.mOldObjects.GetCount() ? info.mOldObjects.InternalGet(i).Get() : nullptr;
        info.mOldToNew.Add(reinterpret_cast<kReference>(existing), reinterpret_cast<kReference>(incoming));
    }
}
