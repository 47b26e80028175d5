#include "scene/kqoxpose.h"

#include "scene/kqoxscene.h"
#include "scene/kqoxsdkmanager.h"

namespace qoxsdk_600 {

KPLUG_CLASS_IMPLEMENT(KQoxPoseProperties, KQoxPropertyHandler, "KQoxPoseProperties")

namespace {
const char* const kPoseErrors[1] = {"Error"};

// Out-of-range reads answer with these.
const KString& EmptyName()
{
    static const KString empty;
    return empty;
}

const KQoxMatrix& IdentityMatrix()
{
    static const KQoxMatrix identity;
    return identity;
}
} // namespace

// Property block ---------------------------------------------------------------

KQoxPoseProperties::KQoxPoseProperties(KQoxPose* pose)
    : mPose(pose)
{}

KQoxPoseProperties::~KQoxPoseProperties() {}

void KQoxPoseProperties::DefaultValueChanged(KQoxUserProperty* userProperty)
{
    mPose->PropertyDefaultValueChanged(userProperty);
}

KQoxObject* KQoxPoseProperties::GetKQoxObject()
{
    return mPose;
}

// Pose -------------------------------------------------------------------------

KQoxPose::KQoxPose(KQoxSdkManager& manager, const KString& name, bool bindPose)
    : KQoxTakeNodeContainer(manager, name.ToChars(), &mError)
    , mProperties(new KQoxPoseProperties(this))
    , mError(kPoseErrors, 1)
    , mType(bindPose ? 'b' : 'r')
{}

KQoxPose::~KQoxPose()
{
    mProperties->Destroy(0);
}

void KQoxPose::Destruct()
{
    mProperties->Destruct();
}

KQoxPropertyHandler* KQoxPose::GetPropertyHandler()
{
    return mProperties;
}

KString KQoxPose::GetTypeName()
{
    return KString(mType == 'r' ? "RestPose" : "BindPose");
}

void KQoxPose::AddChannels(KQoxTakeNode* takeNode)
{
    const int count = mProperties->GetPropertyCount();
    for (int i = 0; i < count; ++i)
    {
        KProperty* property = mProperties->GetProperty(i);
        if (property && property->IsAnimatable())
            CreateChannelsForProperty(property, takeNode);
    }
}

KQoxUserProperty* KQoxPose::CreateKQoxUserProperty(KProperty* property)
{
    return GetSdkManager().CreateKQoxUserProperty(property);
}

// Items ------------------------------------------------------------------------

int KQoxPose::Add(const char* nodeName, const KQoxMatrix& matrix, bool local)
{
    KString name(nodeName);
    int index = -1;
    if (!ValidateParams(name, matrix, index))
        return -1;
    if (index != -1)
        return index;
    auto item = std::make_unique<KQoxPoseInfo>();
    item->mNodeName = name;
    item->mMatrix = matrix;
    item->mLocal = local;
    const int added = GetCount();
    mItems.push_back(std::move(item));
    if (mIndexValid)
        mFirstIndex.emplace(std::string(name.ToChars()), added);
    return added;
}

void KQoxPose::Remove(int index)
{
    if (index < 0 || index >= GetCount())
        return;
    mItems.erase(mItems.begin() + index);
    mIndexValid = false;
}

KQoxPose::KQoxPoseInfo* KQoxPose::GetItem(int index)
{
    if (index < 0 || index >= GetCount())
        return nullptr;
    return mItems[static_cast<size_t>(index)].get();
}

const KString& KQoxPose::GetNodeName(int index) const
{
    if (index < 0 || index >= GetCount())
        return EmptyName();
    return mItems[static_cast<size_t>(index)]->mNodeName;
}

const KQoxMatrix& KQoxPose::GetMatrix(int index) const
{
    if (index < 0 || index >= GetCount())
        return IdentityMatrix();
    return mItems[static_cast<size_t>(index)]->mMatrix;
}

bool KQoxPose::IsLocalMatrix(int index) const
{
    if (index < 0 || index >= GetCount())
        return false;
    return mItems[static_cast<size_t>(index)]->mLocal;
}

void KQoxPose::ReplaceNodeName(int index, const char* newName)
{
    if (index < 0 || index >= GetCount() || !newName || !*newName)
        return;
    mItems[static_cast<size_t>(index)]->mNodeName = newName;
    mIndexValid = false;
}

int KQoxPose::Find(const char* nodeName) const
{
    if (!nodeName)
        return -1;
    if (!mIndexValid)
        RebuildIndex();
    auto found = mFirstIndex.find(std::string(nodeName));
    return found == mFirstIndex.end() ? -1 : found->second;
}

void KQoxPose::RebuildIndex() const
{
    mFirstIndex.clear();
    for (size_t i = 0; i < mItems.size(); ++i)
        mFirstIndex.emplace(std::string(mItems[i]->mNodeName.ToChars()), static_cast<int>(i));
    mIndexValid = true;
}

// Checks -----------------------------------------------------------------------

bool KQoxPose::LocalValidateParams(const KString& name, const KQoxMatrix& matrix, int& index) const
{
    index = Find(name.ToChars());
    if (index < 0)
        return true;
    return mItems[static_cast<size_t>(index)]->mMatrix == matrix;
}

bool KQoxPose::ValidateParams(const KString& name, const KQoxMatrix& matrix, int& index)
{
    if (IsBindPose())
    {
        KQoxSdkManager& manager = GetSdkManager();
        for (int s = 0; s < manager.GetKQoxSceneCount(); ++s)
        {
            KQoxScene* scene = manager.GetKQoxScene(s);
            for (int p = 0; p < scene->GetPoseCount(); ++p)
            {
                KQoxPose* other = scene->GetPose(p);
                int ignored = -1;
                if (other != this && other->IsBindPose() && !other->LocalValidateParams(name, matrix, ignored))
                    return false;
            }
        }
    }
    return LocalValidateParams(name, matrix, index);
}

// Queries over a manager's scenes ------------------------------------------------

bool KQoxPose::CollectPoses(KQoxSdkManager& manager, const char* nodeName, char type, KArrayTemplate<KQoxPose*>& poses,
                            KArrayTemplate<int>& indices)
{
    bool found = false;
    for (int s = 0; s < manager.GetKQoxSceneCount(); ++s)
    {
        KQoxScene* scene = manager.GetKQoxScene(s);
        for (int p = 0; p < scene->GetPoseCount(); ++p)
        {
            KQoxPose* pose = scene->GetPose(p);
            if (type != 0 && pose->mType != type)
                continue;
            const int index = pose->Find(nodeName);
            if (index < 0)
                continue;
            poses.Add(pose);
            indices.Add(index);
            found = true;
        }
    }
    return found;
}

bool KQoxPose::GetPosesContaining(KQoxSdkManager& manager, const char* nodeName, KArrayTemplate<KQoxPose*>& poses,
                                  KArrayTemplate<int>& indices)
{
    return CollectPoses(manager, nodeName, 0, poses, indices);
}

bool KQoxPose::GetBindPoseContaining(KQoxSdkManager& manager, const char* nodeName, KArrayTemplate<KQoxPose*>& poses,
                                     KArrayTemplate<int>& indices)
{
    return CollectPoses(manager, nodeName, 'b', poses, indices);
}

bool KQoxPose::GetRestPoseContaining(KQoxSdkManager& manager, const char* nodeName, KArrayTemplate<KQoxPose*>& poses,
                                     KArrayTemplate<int>& indices)
{
    return CollectPoses(manager, nodeName, 'r', poses, indices);
}

} // namespace qoxsdk_600
