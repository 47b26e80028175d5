#include "scene/kqoxpath.h"

#include "scene/kqoxnode.h"

namespace qoxsdk_600 {

KQoxPath::KQoxPath()
    : mNode(nullptr)
    , mRootNode(nullptr)
{}

KQoxPath::KQoxPath(KQoxNode* node)
    : KQoxPath()
{
    Set(node);
}

KQoxPath::KQoxPath(KQoxPath& other)
    : KQoxPath()
{
    Set(other);
}

KQoxPath::~KQoxPath() {}

void KQoxPath::Set(KQoxNode* node)
{
    mLevels.Clear();
    mNode = node;
    mRootNode = nullptr;
    // Indices are gathered bottom-up and reversed once at the end.
    KArrayTemplate<int> upward;
    for (KQoxNode* current = node; current;)
    {
        KQoxNode* parent = current->GetParent();
        if (!parent)
        {
            mRootNode = current;
            break;
        }
        int index = 0;
        const int count = parent->GetChildCount(false);
        if (count > 1)
            for (int i = 0; i < count; ++i)
                if (parent->GetChild(i) == current)
                {
                    index = i;
                    break;
                }
        upward.Add(index);
        current = parent;
    }
    for (int i = upward.GetCount() - 1; i >= 0; --i)
        mLevels.Add(upward[i]);
}

void KQoxPath::Set(KQoxPath& other)
{
    if (&other == this)
        return;
    mLevels.Clear();
    mNode = other.mNode;
    mRootNode = other.mRootNode;
    mLevels.AddArray(other.mLevels);
}

KQoxPath& KQoxPath::operator=(KQoxPath& other)
{
    Set(other);
    return *this;
}

KQoxNode* KQoxPath::GetParentNode(int level)
{
    if (level > mLevels.GetCount())
        level = mLevels.GetCount();
    KQoxNode* node = mRootNode;
    for (int i = 0; i < level && node; ++i)
        node = node->GetChild(mLevels[i]);
    return node;
}

char* KQoxPath::GetParentNodeName(int level)
{
    KQoxNode* node = GetParentNode(level);
    return node ? node->GetName() : nullptr;
}

bool KQoxPath::operator==(KQoxPath& other)
{
    if (mLevels.GetCount() != other.mLevels.GetCount())
        return false;
    for (int i = 0; i < mLevels.GetCount(); ++i)
        if (mLevels[i] != other.mLevels[i])
            return false;
    return true;
}

} // namespace qoxsdk_600
