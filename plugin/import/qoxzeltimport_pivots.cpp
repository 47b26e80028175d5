// Pivot import: the passes over the SDK tree that fill the destination pivot
// set from the source set and drop what the host cannot carry (spheric
// orders, rotation limits a resampling would break), with their notices; the
// warning about animation on pre- and post-rotation nodes of old files.
#include <cmath>
#include <cstring>
#include <memory>

#include "base/qoxlogfile.h"
#include "fcurve/kfcurve.h"
#include "fcurve/kfcurvefilters.h"
#include "plugin/import/qoxzeltdeformations.h"
#include "plugin/import/qoxzeltimport.h"
#include "plugin/import/qoxzeltimport_private.h"
#include "plugin/qoxzeltnode.h"
#include "scene/kqoxnode.h"
#include "scene/kqoxnodelimits.h"
#include "scene/kqoxtakenode.h"

using namespace qoxsdk_600;
using namespace qoxzeltimport;

namespace {

const double kRotationEpsilon = 1e-6;
const char kNoticeTitle[] = "QOX import error";
const char kLimitsDropped[] = "Since the node also has rotation limits, those limits cannot be applied due to the "
                              "resampling and will be dropped\\n";

KQoxVector4 ZeroVector()
{
    return KQoxVector4(0.0, 0.0, 0.0, 1.0);
}

bool NonZero(const KQoxVector4& v)
{
    return std::fabs(v[0]) > kRotationEpsilon || std::fabs(v[1]) > kRotationEpsilon ||
           std::fabs(v[2]) > kRotationEpsilon;
}

bool HasKeys(KFCurve* curve)
{
    return curve && curve->KeyGetCount() > 0;
}

// Rotation active and some rotation minimum or maximum on.
bool HasRotationLimits(KQoxNode* node)
{
    KQoxNodeLimits& limits = node->GetLimits();
    return limits.GetRotationLimitActive() && limits.mRotationLimits.GetLimitSomethingActive();
}

// The destination vector of a pivot set becomes the source's.
void CopyToDestination(KQoxNode* node, KQoxVector4& (KQoxNode::*get)(EPivotSet),
                       void (KQoxNode::*set)(EPivotSet, KQoxVector4))
{
    (node->*set)(eDESTINATION_SET, (node->*get)(eSOURCE_SET));
}

void ZeroBothSets(KQoxNode* node, void (KQoxNode::*set)(EPivotSet, KQoxVector4))
{
    (node->*set)(eSOURCE_SET, ZeroVector());
    (node->*set)(eDESTINATION_SET, ZeroVector());
}

// A camera looks down X in the host where the file's looks down -Z, a light
// down Z: the post-rotation of an untargeted camera or light takes the turn
// F first (Y 90 for cameras, X 90 for lights).
void AdjustCameraOrLightPostRotation(KQoxNode* node, ERotationOrder order)
{
    const bool camera = node->GetCamera() != nullptr;
    KgeRVector turn;
    turn[0] = camera ? 0.0 : 90.0;
    turn[1] = camera ? 90.0 : 0.0;
    turn[2] = 0.0;
    KgeRMatrix first;
    first.SetIdentity();
    KSSRotationOrder(0).V2M(first, turn);
    const KSSRotationOrder rotationOrder(2 * static_cast<int>(order));
    KQoxVector4& post = node->GetPostRotation(eSOURCE_SET);
    KgeRVector angles;
    for (int i = 0; i < 3; ++i)
        angles[i] = post[i];
    KgeRMatrix matrix;
    matrix.SetIdentity();
    rotationOrder.V2M(matrix, angles);
    // F acts first: the product F . M(P).
    KmRR(matrix.mData, matrix.mData, first.mData);
    rotationOrder.M2V(angles, matrix);
    KQoxVector4 adjusted(angles[0], angles[1], angles[2], post[3]);
    node->SetPostRotation(eSOURCE_SET, adjusted);
}

// Both pivot sets of the node and of every node below it take the state.
void SetPivotStateOfSubtree(KQoxNode* node, EPivotState state)
{
    if (!node)
        return;
    node->SetPivotState(eSOURCE_SET, state);
    node->SetPivotState(eDESTINATION_SET, state);
    for (int i = 0; i < node->GetChildCount(false); ++i)
        SetPivotStateOfSubtree(node->GetChild(i), state);
}

} // namespace

void QoxZeltImport::EnablePivotUse(QoxZeltNode* node)
{
    SetPivotStateOfSubtree(node, ePIVOT_STATE_ACTIVE);
}

void QoxZeltImport::DisablePivotUse(QoxZeltNode* node)
{
    SetPivotStateOfSubtree(node, ePIVOT_STATE_REFERENCE);
}

void QoxZeltImport::RemoveRotationPivot(KQoxNode* node)
{
    if (!node)
        return;
    node->SetRotationPivot(eSOURCE_SET, ZeroVector());
    node->SetRotationOffset(eSOURCE_SET, ZeroVector());
    for (int i = 0; i < node->GetChildCount(false); ++i)
        RemoveRotationPivot(node->GetChild(i));
}

void QoxZeltImport::RemoveRotationPivotOnNotPresentNode(QoxZeltNode* node)
{
    if (!node)
        return;
    if (!node->mMatchedByMerge)
    {
        node->SetRotationPivot(eSOURCE_SET, ZeroVector());
        node->SetRotationOffset(eSOURCE_SET, ZeroVector());
    }
    for (int i = 0; i < node->GetChildCount(false); ++i)
        RemoveRotationPivotOnNotPresentNode(static_cast<QoxZeltNode*>(node->GetChild(i)));
}

void QoxZeltImport::ValidatePreAndPostJoints(KQoxNode* node)
{
    if (!node)
        return;
    const KString name = ShortName(node);
    if (name.Find("__Pre_", 0) >= 0)
    {
        for (int t = 0; t < node->GetTakeNodeCount(); ++t)
        {
            KQoxTakeNode* take = node->GetTakeNode(t);
            if (!take)
                continue;
            KFCurve* curves[3] = {take->GetEulerRotationX(), take->GetEulerRotationY(), take->GetEulerRotationZ()};
            if (!HasKeys(curves[0]) && !HasKeys(curves[1]) && !HasKeys(curves[2]))
                continue;
            // Reduced copies, freed with this scope; the scene's curves stay.
            KFCurveFilterConstantKeyReducer reducer;
            reducer.SetKeepFirstAndLastKeys(false);
            bool animated = false;
            for (KFCurve* curve : curves)
            {
                std::unique_ptr<KFCurve> copy(new KFCurve);
                if (curve)
                    copy->CopyFrom(*curve, true);
                reducer.Apply(*copy);
                animated = animated || copy->KeyGetCount() >= 2;
            }
            if (!animated)
                continue;
            const char tail[] = " , \\n Keyframing rotation in a PreRotation node can lead to undefined behavior.";
            KString message = KString("KeyFrames found in the rotation channel for node: ") + name + tail;
            LogLine(mLog.get(), "KeyFrames found in the rotation channel for node");
            LogLine(mLog.get(), name.ToChars());
            LogLine(mLog.get(), tail);
            ImportDialog(kNoticeTitle, message);
        }
    }
    else if (name.Find("__Post_", 0) >= 0)
    {
        for (int t = 0; t < node->GetTakeNodeCount(); ++t)
        {
            KQoxTakeNode* take = node->GetTakeNode(t);
            if (!take)
                continue;
            KFCurve* curves[9] = {take->GetEulerRotationX(), take->GetEulerRotationY(), take->GetEulerRotationZ(),
                                  take->GetTranslationX(),   take->GetTranslationY(),   take->GetTranslationZ(),
                                  take->GetScaleX(),         take->GetScaleY(),         take->GetScaleZ()};
            bool animated = false;
            for (KFCurve* curve : curves)
                animated = animated || HasKeys(curve);
            if (!animated)
                continue;
            const char tail[] = " , \\n Keyframing animation in a PostRotation node can lead to undefined behavior.";
            KString message = KString("KeyFrames found in an animation channel for node: ") + name + tail;
            LogLine(mLog.get(), "KeyFrames found in an animation channel for node: ");
            LogLine(mLog.get(), name.ToChars());
            LogLine(mLog.get(), tail);
            ImportDialog(kNoticeTitle, message);
        }
    }
    for (int i = 0; i < node->GetChildCount(false); ++i)
        ValidatePreAndPostJoints(node->GetChild(i));
}

void QoxZeltImport::SetZeltPivotsRecursive(KQoxNode* node)
{
    if (!node)
        return;
    const KString name = ShortName(node);
    bool sphericNotice = HasRotationLimits(node);
    node->SetPivotState(eSOURCE_SET, ePIVOT_STATE_ACTIVE);
    node->SetPivotState(eDESTINATION_SET, ePIVOT_STATE_ACTIVE);
    ERotationOrder order;
    node->GetRotationOrder(eSOURCE_SET, order);
    KQoxNodeLimits& limits = node->GetLimits();

    if ((node->GetCamera() || node->GetLight()) && !node->GetTarget())
        AdjustCameraOrLightPostRotation(node, order);

    if (node->GetUseRotationSpaceForLimitOnly(eSOURCE_SET))
    {
        const bool modified = NonZero(node->GetPreRotation(eSOURCE_SET)) ||
                              NonZero(node->GetPostRotation(eSOURCE_SET)) || order != eEULER_XYZ;
        if (modified && HasRotationLimits(node))
        {
            const KString text = KString(" Node ") + name +
                                 " has the option UseLimitsForRotationSpaceOnly enabled and has a modified rotation "
                                 "space.\\n This is not supported by Zelt, rotation limits for this node will be "
                                 "dropped \\n";
            LogLine(mLog.get(), text.ToChars());
            ImportDialog(kNoticeTitle, text);
            limits.SetRotationLimitActive(false);
        }
        ZeroBothSets(node, &KQoxNode::SetPreRotation);
        ZeroBothSets(node, &KQoxNode::SetPostRotation);
        node->SetRotationOrder(eSOURCE_SET, eEULER_XYZ);
        node->SetRotationOrder(eDESTINATION_SET, eEULER_XYZ);
    }
    else
    {
        if (limits.GetRotationLimitActive())
            CopyToDestination(node, &KQoxNode::GetPostRotation, &KQoxNode::SetPostRotation);
        else
            ZeroBothSets(node, &KQoxNode::SetPostRotation);

        if (AttributeType(node) == eSKELETON)
        {
            CopyToDestination(node, &KQoxNode::GetPreRotation, &KQoxNode::SetPreRotation);
            node->SetRotationPivot(eDESTINATION_SET, ZeroVector());
            node->SetScalingPivot(eDESTINATION_SET, ZeroVector());
        }
        else
        {
            if (limits.GetRotationLimitActive())
                CopyToDestination(node, &KQoxNode::GetPreRotation, &KQoxNode::SetPreRotation);
            else
                ZeroBothSets(node, &KQoxNode::SetPreRotation);
            CopyToDestination(node, &KQoxNode::GetRotationPivot, &KQoxNode::SetRotationPivot);
            CopyToDestination(node, &KQoxNode::GetScalingPivot, &KQoxNode::SetScalingPivot);
            if (sphericNotice && NonZero(node->GetPreRotation(eSOURCE_SET)))
            {
                limits.SetRotationLimitActive(false);
                sphericNotice = false;
                const char line[] = " has to resample its rotation because it has a PreRotation.\\n";
                ImportDialog(kNoticeTitle, KString("Node  ") + name + line + kLimitsDropped);
                LogLine(mLog.get(), "Node  ");
                LogLine(mLog.get(), name.ToChars());
                LogLine(mLog.get(), line);
                LogLine(mLog.get(), kLimitsDropped);
            }
        }

        if (limits.GetRotationLimitActive())
        {
            if (order == eSPHERIC_XYZ)
            {
                node->SetRotationOrder(eDESTINATION_SET, eEULER_XYZ);
                if (sphericNotice)
                {
                    limits.SetRotationLimitActive(false);
                    ImportDialog(kNoticeTitle,
                                 KString("Node ") + name +
                                     " has to resample its rotation because it has a Spheric rotation space\\n" +
                                     kLimitsDropped);
                    LogLine(mLog.get(), "Node  ");
                    LogLine(mLog.get(), name.ToChars());
                    LogLine(mLog.get(), " has to resample its rotation because it has a Spheric rotation space \\n");
                    LogLine(mLog.get(), kLimitsDropped);
                }
            }
            else
                node->SetRotationOrder(eDESTINATION_SET, order);
        }
    }
    CopyToDestination(node, &KQoxNode::GetRotationOffset, &KQoxNode::SetRotationOffset);
    CopyToDestination(node, &KQoxNode::GetScalingOffset, &KQoxNode::SetScalingOffset);
    for (int i = 0; i < node->GetChildCount(false); ++i)
        SetZeltPivotsRecursive(node->GetChild(i));
}

void SortNodeArray(KArrayTemplate<KQoxNode*>& array)
{
    const int count = array.GetCount();
    for (bool exchanged = true; exchanged;)
    {
        exchanged = false;
        for (int i = 0; i + 1 < count; ++i)
            if (std::strcmp(ShortName(array[i]).ToChars(), ShortName(array[i + 1]).ToChars()) > 0)
            {
                KQoxNode* item = array.RemoveAt(i);
                array.InsertAt(i + 1, item);
                exchanged = true;
            }
    }
    for (int i = array.GetCount() - 1; i >= 1; --i)
        if (std::strcmp(ShortName(array[i]).ToChars(), ShortName(array[i - 1]).ToChars()) == 0)
            array.RemoveAt(i);
}
