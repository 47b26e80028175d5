#include "scene/kqoxpluginbase.h"

#include <cmath>

#include "base/kmath_types.h"
#include "scene/kqoxnode.h"

namespace qoxsdk_600 {

namespace {
const char* const kQoxRootName = "Qox_Root";
const double kIdentityTolerance = 0.0001;
} // namespace

KQoxPluginBase::KQoxPluginBase()
    : mRootName(kQoxRootName)
{}

KQoxPluginBase::~KQoxPluginBase() {}

bool KQoxPluginBase::IsQoxRootNode(KQoxNode* node)
{
    if (!node)
        return false;
    KString name(node->GetName());
    if (name.Find(mRootName.ToChars(), 0) >= 0)
        return true;
    return IsAlternativeQoxRootNode(node);
}

bool KQoxPluginBase::IsAlternativeQoxRootNode(KQoxNode*)
{
    return false;
}

KQoxPluginImportBase::KQoxPluginImportBase() {}

KQoxPluginImportBase::~KQoxPluginImportBase()
{
    mUnwrappedNodes.Clear();
    mExcludedRoots.Clear();
}

bool KQoxPluginImportBase::IsExcludedQoxRoot(KQoxNode* node)
{
    return IsQoxRootNode(node) && mExcludedRoots.Find(node) >= 0;
}

bool KQoxPluginImportBase::NeedQoxRoot(KQoxNode* node)
{
    if (mUnwrappedNodes.Find(node) >= 0)
        return false;
    return !IsExcludedQoxRoot(node);
}

bool KQoxPluginImportBase::IsIdentity(const KgeAMatrix& matrix)
{
    for (int row = 0; row < 4; ++row)
        for (int column = 0; column < 3; ++column)
        {
            const double expected = row == column ? 1.0 : 0.0;
            // NaN fails the test as it should.
            if (!(std::fabs(matrix.mData[row][column] - expected) <= kIdentityTolerance))
                return false;
        }
    return true;
}

void KQoxPluginImportBase::Preprocess(KQoxNode* root)
{
    if (!root)
        return;
    KgeAMatrix world;
    ComputeWorldTransform(world);
    const bool worldIsIdentity = IsIdentity(world);

    KArrayTemplate<KQoxNode*> wrappers;
    for (int i = 0; i < root->GetChildCount(false); ++i)
    {
        KQoxNode* child = root->GetChild(i);
        if (IsQoxRootNode(child))
            wrappers.Add(child);
    }
    mUnwrappedNodes.Clear();
    for (int i = 0; i < wrappers.GetCount(); ++i)
    {
        KQoxNode* wrapper = wrappers[i];
        KgeAMatrix combined;
        KmAA(combined, world, wrapper->GetGlobalMatrix(eSOURCE_SET, true));
        if (IsIdentity(combined))
        {
            for (int c = 0; c < wrapper->GetChildCount(false); ++c)
                mUnwrappedNodes.Add(wrapper->GetChild(c));
            mExcludedRoots.Add(wrapper);
        }
        else
        {
            mUnwrappedNodes.Add(wrapper);
        }
    }
    CustomApplyWorldTransform(root, world, worldIsIdentity);
}

void KQoxPluginImportBase::CustomApplyWorldTransform(KQoxNode* node, KgeAMatrix& world, bool)
{
    if (!node)
        return;
    KQoxXMatrix matrix;
    matrix = world;
    node->SetDefaultT(matrix.GetT());
    node->SetDefaultR(matrix.GetR());
    node->SetDefaultS(matrix.GetS());
    node->GetGlobalMatrix(eSOURCE_SET, true);
}

} // namespace qoxsdk_600
