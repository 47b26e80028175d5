#include "scene/kqoxtakenode.h"

#include <cstring>
#include <memory>
#include <strings.h>

#include "fcurve/kfcurve.h"
#include "fcurve/kfcurvegroup.h"
#include "fcurve/kfcurvenode.h"
#include "object/kproperty.h"
#include "object/kpropertydatatype.h"
#include "scene/kqoxtakenode_private.h"
#include "scene/kqoxtakenodecontainer.h"
#include "scene/kqoxuserproperty.h"

namespace qoxsdk_600 {

static_assert(alignof(KQoxTakeNode) <= 8, "bulk memory is aligned on 8 bytes");

void* KQoxTakeNode::operator new(size_t size)
{
    return KFCurveGroupSlabs::New(size);
}

void KQoxTakeNode::operator delete(void* takeNode, size_t size)
{
    KFCurveGroupSlabs::Delete(takeNode, size);
}

const char* const kTakeNodeRootName = "Defaults";
const char* const kDefaultTakeName = "Default";

namespace {
const char* const sTakeNodeErrorTable[1] = {"Curve not found"};

KFCurveNode* FindByWholeName(KFCurveNode* pNode, const char* pName)
{
    for (int i = 0; i < pNode->GetCount(); ++i)
    {
        KFCurveNode* child = pNode->Get(i);
        if (!child)
            continue;
        if (strcasecmp(child->GetName(), pName) == 0)
            return child;
        if (KFCurveNode* found = FindByWholeName(child, pName))
            return found;
    }
    return nullptr;
}
} // namespace

KFCurveNode* FindChannelNode(KFCurveNode* pNode, const char* pName)
{
    if (!pNode || !pName)
        return nullptr;
    if (strchr(pName, '/'))
        return FindByWholeName(pNode, pName);
    return pNode->FindRecursive(pName);
}

KQoxTakeNode::KQoxTakeNode(const char* pName)
    : mName(pName ? pName : "")
    , mNode(KFCurveNodeCreate(kTakeNodeRootName, static_cast<KDataType*>(nullptr), KFCL_NOLAYER, 0))
    , mError(sTakeNodeErrorTable, 1)
{}

KQoxTakeNode::KQoxTakeNode(KQoxTakeNode& pSource)
    : mName(pSource.mName)
    , mNode(pSource.mNode ? pSource.mNode->Clone(false) : nullptr)
    , mError(sTakeNodeErrorTable, 1)
{}

KQoxTakeNode::~KQoxTakeNode()
{
    if (!mNode)
        return;
    if (mNode->GetContainerType())
        DeleteRecursive(mNode);
    mNode->Destroy();
    mNode = nullptr;
}

void KQoxTakeNode::DeleteRecursive(KFCurveNode* pNode)
{
    for (int i = pNode->GetCount() - 1; i >= 0; --i)
    {
        KFCurveNode* child = pNode->Get(i);
        if (!child || !child->GetContainerType())
            continue;
        DeleteRecursive(child);
        pNode->Delete(i);
    }
}

void KQoxTakeNode::SetName(const char* pName)
{
    mName = pName ? pName : "";
}

char* KQoxTakeNode::GetName()
{
    return mName.Buffer();
}

bool KQoxTakeNode::GetAnimationInterval(KTime& pStart, KTime& pStop)
{
    return mNode && mNode->GetAnimationInterval(pStart, pStop);
}

KFCurve* KQoxTakeNode::Checked(KFCurve* pCurve)
{
    if (!pCurve)
        mError.SetLastErrorID(eCurveNotFound);
    return pCurve;
}

KFCurve* KQoxTakeNode::GetKFCurve(const char* pNodeName, const char* pChannelName, const char* pSubChannelName)
{
    KFCurveNode* node = mNode;
    const char* items[3] = {pNodeName, pChannelName, pSubChannelName};
    for (const char* item : items)
    {
        if (!node)
            break;
        if (item)
            node = FindChannelNode(node, item);
    }
    return Checked(node ? node->FCurveGet() : nullptr);
}

KFCurve* KQoxTakeNode::GetKFCurve(const char* pNodeName, const char* pChannelName, KDataType* pDataType)
{
    KFCurveNode* node = mNode;
    if (node && pNodeName)
        node = FindChannelNode(node, pNodeName);
    if (node && pChannelName)
        node = FindChannelNode(node, pChannelName);
    if (node && pDataType)
        node = node->FindRecursive(pDataType);
    return Checked(node ? node->FCurveGet() : nullptr);
}

bool KQoxTakeNode::IsChannelAnimated(const char* pNodeName, const char* pChannelName, const char* pSubChannelName)
{
    KFCurve* curve = GetKFCurve(pNodeName, pChannelName, pSubChannelName);
    return curve && curve->KeyGetCount() > 0;
}

bool KQoxTakeNode::IsChannelAnimated(const char* pNodeName, const char* pChannelName, KDataType* pDataType)
{
    KFCurve* curve = GetKFCurve(pNodeName, pChannelName, pDataType);
    return curve && curve->KeyGetCount() > 0;
}

KFCurve* KQoxTakeNode::GetPropertyAnimation(KQoxUserProperty* pProperty, unsigned int pComponent)
{
    if (!pProperty || !mNode)
        return Checked(nullptr);
    KString channel = GetEffectivePropertyName(pProperty->GetName());
    KFCurveNode* node = FindChannelNode(mNode, channel.ToChars());
    if (!node)
        return Checked(nullptr);
    if (node->GetCount() > 0)
    {
        if (pComponent >= static_cast<unsigned int>(node->GetCount()) || !node->Get(static_cast<int>(pComponent)))
            return Checked(nullptr);
        return Checked(node->Get(static_cast<int>(pComponent))->FCurveGet());
    }
    return Checked(pComponent == 0 ? node->FCurveGet() : nullptr);
}

// Named channels ---------------------------------------------------------------

#define KQOX_TAKENODE_PATH(Getter, A, B, C)                                                                            \
    KFCurve* KQoxTakeNode::Getter()                                                                                    \
    {                                                                                                                  \
        return GetKFCurve(A, static_cast<const char*>(B), static_cast<const char*>(C));                                \
    }

KQOX_TAKENODE_PATH(GetTranslationX, "Transform", "T", "X")
KQOX_TAKENODE_PATH(GetTranslationY, "Transform", "T", "Y")
KQOX_TAKENODE_PATH(GetTranslationZ, "Transform", "T", "Z")
KQOX_TAKENODE_PATH(GetEulerRotationX, "Transform", "R", "X")
KQOX_TAKENODE_PATH(GetEulerRotationY, "Transform", "R", "Y")
KQOX_TAKENODE_PATH(GetEulerRotationZ, "Transform", "R", "Z")
KQOX_TAKENODE_PATH(GetScaleX, "Transform", "S", "X")
KQOX_TAKENODE_PATH(GetScaleY, "Transform", "S", "Y")
KQOX_TAKENODE_PATH(GetScaleZ, "Transform", "S", "Z")
KQOX_TAKENODE_PATH(GetColorR, "Color", "X", nullptr)
KQOX_TAKENODE_PATH(GetColorG, "Color", "Y", nullptr)
KQOX_TAKENODE_PATH(GetColorB, "Color", "Z", nullptr)
KQOX_TAKENODE_PATH(GetLightIntensity, "Intensity", nullptr, nullptr)
KQOX_TAKENODE_PATH(GetLightConeAngle, "Cone angle", nullptr, nullptr)
KQOX_TAKENODE_PATH(GetLightFog, "Fog", nullptr, nullptr)
KQOX_TAKENODE_PATH(GetCameraFieldOfView, "FieldOfView", nullptr, nullptr)
KQOX_TAKENODE_PATH(GetCameraFieldOfViewX, "FieldOfViewX", nullptr, nullptr)
KQOX_TAKENODE_PATH(GetCameraFieldOfViewY, "FieldOfViewY", nullptr, nullptr)
KQOX_TAKENODE_PATH(GetCameraOpticalCenterX, "OpticalCenterX", nullptr, nullptr)
KQOX_TAKENODE_PATH(GetCameraOpticalCenterY, "OpticalCenterY", nullptr, nullptr)
KQOX_TAKENODE_PATH(GetCameraRoll, "Roll", nullptr, nullptr)
KQOX_TAKENODE_PATH(GetCameraTurnTable, "TurnTable", nullptr, nullptr)
KQOX_TAKENODE_PATH(GetBackgroundColorR, "BackgroundColor (Color)", "X", nullptr)
KQOX_TAKENODE_PATH(GetBackgroundColorG, "BackgroundColor (Color)", "Y", nullptr)
KQOX_TAKENODE_PATH(GetBackgroundColorB, "BackgroundColor (Color)", "Z", nullptr)
KQOX_TAKENODE_PATH(GetCameraIndex, "Camera Index", nullptr, nullptr)
KQOX_TAKENODE_PATH(GetTextureTranslationX, "Translation", "X", nullptr)
KQOX_TAKENODE_PATH(GetTextureTranslationY, "Translation", "Y", nullptr)
KQOX_TAKENODE_PATH(GetTextureTranslationZ, "Translation", "Z", nullptr)
KQOX_TAKENODE_PATH(GetTextureEulerRotationX, "Rotation", "X", nullptr)
KQOX_TAKENODE_PATH(GetTextureEulerRotationY, "Rotation", "Y", nullptr)
KQOX_TAKENODE_PATH(GetTextureEulerRotationZ, "Rotation", "Z", nullptr)
KQOX_TAKENODE_PATH(GetTextureScaleX, "Scaling", "X", nullptr)
KQOX_TAKENODE_PATH(GetTextureScaleY, "Scaling", "Y", nullptr)
KQOX_TAKENODE_PATH(GetTextureScaleZ, "Scaling", "Z", nullptr)
KQOX_TAKENODE_PATH(GetTextureAlpha, "Alpha", nullptr, nullptr)
KQOX_TAKENODE_PATH(GetMaterialEmissiveColorR, "Emissive", "X", nullptr)
KQOX_TAKENODE_PATH(GetMaterialEmissiveColorG, "Emissive", "Y", nullptr)
KQOX_TAKENODE_PATH(GetMaterialEmissiveColorB, "Emissive", "Z", nullptr)
KQOX_TAKENODE_PATH(GetMaterialAmbientColorR, "Ambient", "X", nullptr)
KQOX_TAKENODE_PATH(GetMaterialAmbientColorG, "Ambient", "Y", nullptr)
KQOX_TAKENODE_PATH(GetMaterialAmbientColorB, "Ambient", "Z", nullptr)
KQOX_TAKENODE_PATH(GetMaterialDiffuseColorR, "Diffuse", "X", nullptr)
KQOX_TAKENODE_PATH(GetMaterialDiffuseColorG, "Diffuse", "Y", nullptr)
KQOX_TAKENODE_PATH(GetMaterialDiffuseColorB, "Diffuse", "Z", nullptr)
KQOX_TAKENODE_PATH(GetMaterialSpecularColorR, "Specular", "X", nullptr)
KQOX_TAKENODE_PATH(GetMaterialSpecularColorG, "Specular", "Y", nullptr)
KQOX_TAKENODE_PATH(GetMaterialSpecularColorB, "Specular", "Z", nullptr)
KQOX_TAKENODE_PATH(GetMaterialOpacity, "Opacity", nullptr, nullptr)
KQOX_TAKENODE_PATH(GetMaterialReflectivity, "Reflectivity", nullptr, nullptr)
KQOX_TAKENODE_PATH(GetMaterialShininess, "Shininess", nullptr, nullptr)

#undef KQOX_TAKENODE_PATH

KFCurve* KQoxTakeNode::GetVisibility()
{
    return GetKFCurve(nullptr, nullptr, KDataTypeVisibility);
}

KFCurve* KQoxTakeNode::GetOcclusion()
{
    return GetKFCurve(nullptr, nullptr, KDataTypeOcclusion);
}

KFCurve* KQoxTakeNode::GetIKReachTranslation()
{
    return GetKFCurve(nullptr, nullptr, KDataTypeIKReachTranslation);
}

KFCurve* KQoxTakeNode::GetIKReachRotation()
{
    return GetKFCurve(nullptr, nullptr, KDataTypeIKReachRotation);
}

// Folding a rotation into the translation ---------------------------------------

bool KQoxTakeNode::AddRotationToTranslation(KQoxVector4 pRotation)
{
    KFCurve* curves[3] = {GetTranslationX(), GetTranslationY(), GetTranslationZ()};
    if (!curves[0] || !curves[1] || !curves[2])
        return false;

    KQoxXMatrix rotation;
    rotation.SetIdentity();
    rotation.SetR(pRotation);

    KQoxVector4 value =
        rotation.MultT(KQoxVector4(curves[0]->GetValue(), curves[1]->GetValue(), curves[2]->GetValue(), 0.0));
    for (int axis = 0; axis < 3; ++axis)
        curves[axis]->SetValue(static_cast<float>(value[axis]));

    // Every time at which any of the three curves has a key, in order, once.
    std::unique_ptr<KFCurve> rotated[3] = {std::unique_ptr<KFCurve>(KFCurveCreate()),
                                           std::unique_ptr<KFCurve>(KFCurveCreate()),
                                           std::unique_ptr<KFCurve>(KFCurveCreate())};
    int next[3] = {0, 0, 0};
    for (;;)
    {
        KTime times[3];
        for (int axis = 0; axis < 3; ++axis)
            times[axis] =
                next[axis] < curves[axis]->KeyGetCount() ? curves[axis]->KeyGetTime(next[axis]) : KTIME_INFINITE;
        bool done = true;
        for (int axis = 0; axis < 3; ++axis)
            if (next[axis] < curves[axis]->KeyGetCount())
                done = false;
        if (done)
            break;
        KTime time = times[0];
        for (int axis = 1; axis < 3; ++axis)
            if (times[axis] < time)
                time = times[axis];
        for (int axis = 0; axis < 3; ++axis)
            if (next[axis] < curves[axis]->KeyGetCount() && times[axis] == time)
                ++next[axis];

        value = rotation.MultT(
            KQoxVector4(curves[0]->Evaluate(time), curves[1]->Evaluate(time), curves[2]->Evaluate(time), 0.0));
        for (int axis = 0; axis < 3; ++axis)
        {
            KFCurve* target = rotated[axis].get();
            target->KeyModifyBegin();
            int index = target->KeyAdd(time);
            target->KeySet(index, time, static_cast<float>(value[axis]), KFCURVE_INTERPOLATION_CUBIC,
                           KFCURVE_TANGEANT_AUTO, 0.0f, 0.0f, KFCURVE_WEIGHTED_NONE, KFCURVE_DEFAULT_WEIGHT,
                           KFCURVE_DEFAULT_WEIGHT, 0.0f, 0.0f);
            target->KeyModifyEnd();
        }
    }

    for (int axis = 0; axis < 3; ++axis)
    {
        KFCurve* curve = curves[axis];
        curve->KeyModifyBegin();
        curve->Delete(KTIME_MINUS_INFINITE, KTIME_INFINITE);
        curve->CopyFrom(*rotated[axis], true);
        curve->SetValue(static_cast<float>(value[axis]));
        curve->KeyModifyEnd();
    }
    return true;
}

} // namespace qoxsdk_600
