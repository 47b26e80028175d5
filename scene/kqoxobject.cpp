#include "scene/kqoxobject.h"

#include <cstring>

#include "scene/kqoxsdkmanager.h"
#include "scene/kqoxuserproperty.h"

namespace qoxsdk_600 {

namespace {
// Default prefixes of the namespaces 1 to 12.
const char* const kNameSpacePrefixes[13] = {"",        "Model::",      "Texture::",       "Material::",   "Video::",
                                            "Video::", "Constraint::", "MarkerSet::",     "Constraint::", "Pose::",
                                            "",        "Pose::",       "ControlSetPlug::"};
} // namespace

KQoxObject::KQoxObject(KQoxSdkManager& pManager, const char* pName)
    : mName(pName ? pName : "")
    , mUserProperties(16)
    , mManager(pManager)
{}

KQoxObject::~KQoxObject() {}

void KQoxObject::SetName(const char* pName)
{
    mName.SetCurrentName(KQoxSdkManager::PrefixName(GetNameSpacePrefix().ToChars(), pName).ToChars());
    mManager.NameChanged();
}

char* KQoxObject::GetName()
{
    return mName.GetCurrentName();
}

const char* KQoxObject::GetName() const
{
    return mName.GetCurrentName();
}

void KQoxObject::SetInitialName(const char* pName)
{
    mName.SetInitialName(pName ? pName : "");
    mManager.NameChanged();
}

char* KQoxObject::GetInitialName()
{
    return mName.GetInitialName();
}

KString KQoxObject::GetNameWithoutNameSpacePrefix() const
{
    KString name(GetName());
    KString prefix = GetNameSpacePrefix();
    if (strncmp(name.ToChars(), prefix.ToChars(), prefix.GetLen()) == 0)
        return name.Mid(prefix.GetLen());
    int separator = name.Find("::");
    if (separator >= 0)
        return name.Mid(static_cast<unsigned int>(separator) + 2);
    return name;
}

KString KQoxObject::GetNameSpacePrefix() const
{
    return GetDefaultNameSpacePrefix(GetNameSpace());
}

KString KQoxObject::GetDefaultNameSpacePrefix(ENameSpace pNameSpace)
{
    if (pNameSpace < 1 || pNameSpace > 12)
        return KString("");
    return KString(kNameSpacePrefixes[pNameSpace]);
}

KString KQoxObject::RemovePrefix(const char* pName)
{
    if (!pName)
        return KString("");
    const char* colon = strrchr(pName, ':');
    return KString(colon ? colon + 1 : pName);
}

KName& KQoxObject::GetNameRecord()
{
    // The caller may edit the names in place.
    mManager.NameChanged();
    return mName;
}

KQoxObject& KQoxObject::operator=(KQoxObject& pObject)
{
    if (&pObject != this && GetNameSpace() == pObject.GetNameSpace())
    {
        mName = pObject.mName;
        mManager.NameChanged();
    }
    return *this;
}

int KQoxObject::GetPropertyCount(int pFlag) const
{
    EnsurePublished();
    int count = 0;
    for (int i = 0; i < mUserProperties.GetCount(); ++i)
        if (mUserProperties[i]->GetFlag(pFlag))
            ++count;
    return count;
}

void KQoxObject::AddProperty(KQoxUserProperty* pProperty)
{
    EnsurePublished();
    if (!pProperty || mUserProperties.Find(pProperty) >= 0)
        return;
    mUserProperties.Add(pProperty);
    PropertyAdded(pProperty);
}

void KQoxObject::RemoveProperty(KQoxUserProperty* pProperty)
{
    EnsurePublished();
    if (!pProperty)
        return;
    int index = mUserProperties.FindAfter(-1, pProperty);
    if (index < 0)
        return;
    mUserProperties.RemoveAt(index);
    PropertyRemoved(pProperty);
}

KQoxUserProperty* KQoxObject::GetProperty(int pIndex) const
{
    EnsurePublished();
    if (pIndex < 0 || pIndex >= mUserProperties.GetCount())
        return nullptr;
    return mUserProperties[pIndex];
}

void KQoxObject::VisitProperties(const std::function<void(KQoxUserProperty&)>& pVisit)
{
    for (int i = 0; i < mUserProperties.GetCount(); ++i)
        pVisit(*mUserProperties[i]);
    if (!mPublishPending)
        return;
    for (int i = 0; i < GetPendingPropertyCount(); ++i)
        if (KProperty* property = GetPendingProperty(i))
        {
            KQoxUserProperty view(mManager, property);
            pVisit(view);
        }
}

KQoxUserProperty* KQoxObject::GetProperty(KProperty* pProperty) const
{
    EnsurePublished();
    if (!pProperty)
        return nullptr;
    for (int i = 0; i < mUserProperties.GetCount(); ++i)
        if (*mUserProperties[i] == pProperty)
            return mUserProperties[i];
    return nullptr;
}

KQoxUserProperty* KQoxObject::FindPropertyByName(const char* pName) const
{
    EnsurePublished();
    if (!pName)
        return nullptr;
    for (int i = 0; i < mUserProperties.GetCount(); ++i)
        if (mUserProperties[i]->GetName() == pName)
            return mUserProperties[i];
    return nullptr;
}

} // namespace qoxsdk_600
