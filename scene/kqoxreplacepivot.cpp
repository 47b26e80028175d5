// Extra "__Pre_" and "__Post_" nodes in place of pre- and post-rotations.
//
// Both walks run with explicit stacks, visiting nodes in the order the
// nested calls of a recursive walk would, so hierarchies of any depth are
// safe.

#include "scene/kqoxreplacepivot.h"

#include <cstring>
#include <unordered_set>
#include <vector>

#include "base/kstring.h"
#include "fcurve/kfcurve.h"
#include "scene/kqoxnodeattribute.h"
#include "scene/kqoxsdkmanager.h"
#include "scene/kqoxtakenode.h"

namespace qoxsdk_600 {

namespace {

const char kPreSuffix[] = "__Pre_";
const char kPostSuffix[] = "__Post_";

bool NameContains(KQoxNode* node, const char* text)
{
    const char* name = node->GetName();
    return name && std::strstr(name, text) != nullptr;
}

// A rotation counts when x, y or z differs from 0 by more than 1e-6.
bool Present(const KQoxVector4& rotation)
{
    return rotation != KQoxVector4(0.0, 0.0, 0.0, 0.0);
}

void TranslationCurves(KQoxTakeNode* take, KFCurve** curves)
{
    curves[0] = take ? take->GetTranslationX() : nullptr;
    curves[1] = take ? take->GetTranslationY() : nullptr;
    curves[2] = take ? take->GetTranslationZ() : nullptr;
}

// The extra node for node: its name with the suffix, a clash counter
// ("ncl...") kept after the suffix. A skeleton's extra node gets a limb-node
// skeleton of its own.
KQoxNode* CreateExtraNode(KQoxNode* node, const char* suffix, KQoxSdkManager& manager)
{
    KString name(node->GetName());
    const int position = name.Find("ncl");
    KString extraName = position > 0 ? KString(node->GetInitialName()) + suffix + name.Mid(position) : name + suffix;
    KQoxNode* extra = manager.CreateKQoxNode(extraName.Buffer());
    if (!extra)
        return nullptr;
    KQoxNodeAttribute* attribute = node->GetNodeAttribute();
    if (attribute && attribute->GetAttributeType() == KQoxNodeAttribute::eSKELETON)
        if (KQoxNodeAttribute* limb = attribute->CreatePivotNodeAttribute(extra->GetName()))
            extra->SetNodeAttribute(limb);
    return extra;
}

// Moves node's translation (default and the curves of every take) and its
// pre-rotation into a new parent. False, with nothing changed, when the new
// node cannot take node's place.
bool InsertPreNode(KQoxNode* node, const KQoxVector4& pre, KQoxSdkManager& manager)
{
    KQoxNode* preNode = CreateExtraNode(node, kPreSuffix, manager);
    if (!preNode)
        return false;
    // The new node joins the parent first (as its last child), so that a
    // name clash there leaves node where it was.
    KQoxNode* parent = node->GetParent();
    if ((parent && !parent->AddChild(preNode)) || !preNode->AddChild(node))
    {
        if (!node->GetParent() && parent)
            parent->AddChild(node);
        manager.DestroyKQoxNode(preNode, true);
        return false;
    }

    KQoxVector4 t;
    node->GetDefaultT(t);
    preNode->SetDefaultR(pre);
    preNode->SetDefaultT(t);
    node->SetDefaultT(KQoxVector4(0.0, 0.0, 0.0, 0.0));
    node->SetPreRotation(eSOURCE_SET, KQoxVector4(0.0, 0.0, 0.0, 0.0));

    for (int j = 0; j < node->GetTakeNodeCount(); ++j)
    {
        KQoxTakeNode* take = node->GetTakeNode(j);
        if (!take)
            continue;
        preNode->CreateTakeNode(take->GetName());
        KQoxTakeNode* preTake = preNode->GetTakeNode(j);
        if (!preTake)
            continue;
        KFCurve* from[3];
        KFCurve* to[3];
        TranslationCurves(take, from);
        TranslationCurves(preTake, to);
        KFCurve* rotation[3] = {preTake->GetEulerRotationX(), preTake->GetEulerRotationY(),
                                preTake->GetEulerRotationZ()};
        for (int axis = 0; axis < 3; ++axis)
        {
            if (from[axis] && to[axis])
                to[axis]->CopyFrom(*from[axis], true);
            if (from[axis])
            {
                from[axis]->KeyClear();
                from[axis]->SetValue(0.0f);
            }
            if (to[axis])
                to[axis]->SetValue(static_cast<float>(t[axis]));
            if (rotation[axis])
                rotation[axis]->SetValue(static_cast<float>(pre[axis]));
        }
    }
    return true;
}

// Puts a new sole child, carrying node's post-rotation, between node and its
// children. False, with nothing changed, when it cannot join node.
bool InsertPostNode(KQoxNode* node, const KQoxVector4& post, KQoxSdkManager& manager)
{
    KQoxNode* postNode = CreateExtraNode(node, kPostSuffix, manager);
    if (!postNode)
        return false;
    std::vector<KQoxNode*> children;
    for (int i = 0; i < node->GetChildCount(false); ++i)
        if (KQoxNode* child = node->GetChild(i))
            children.push_back(child);
    if (!node->AddChild(postNode))
    {
        manager.DestroyKQoxNode(postNode, true);
        return false;
    }
    for (KQoxNode* child : children)
        postNode->AddChild(child);
    postNode->SetDefaultR(post);
    node->SetPostRotation(eSOURCE_SET, KQoxVector4(0.0, 0.0, 0.0, 0.0));
    return true;
}

// One node's own rewrite; true when it changed.
bool ReplaceOwnRotations(KQoxNode* node, KQoxSdkManager& manager)
{
    const KQoxVector4 pre = node->GetPreRotation(eSOURCE_SET);
    const KQoxVector4 post = node->GetPostRotation(eSOURCE_SET);
    bool changed = false;
    if (Present(pre) && InsertPreNode(node, pre, manager))
        changed = true;
    if (Present(post) && InsertPostNode(node, post, manager))
        changed = true;
    return changed;
}

// Gives c, whose parent q is an extra pre node, q's translation, rotation
// and translation curves, and takes q out of the hierarchy.
void FoldPreNode(KQoxNode* c, KQoxNode* q, std::vector<KQoxNode*>& folded)
{
    KQoxVector4 value;
    c->SetDefaultT(q->GetDefaultT(value));
    c->SetPreRotation(eSOURCE_SET, q->GetDefaultR(value));
    KQoxNode* grandParent = q->GetParent();
    q->RemoveChild(c);
    grandParent->AddChild(c);
    grandParent->RemoveChild(q);
    folded.push_back(q);

    for (int j = 0; j < q->GetTakeNodeCount(); ++j)
    {
        KQoxTakeNode* take = q->GetTakeNode(j);
        if (!take)
            continue;
        c->CreateTakeNode(take->GetName());
        KFCurve* from[3];
        KFCurve* to[3];
        TranslationCurves(take, from);
        TranslationCurves(c->GetTakeNode(j), to);
        for (int axis = 0; axis < 3; ++axis)
            if (from[axis] && to[axis])
            {
                to[axis]->CopyFrom(*from[axis], true);
                to[axis]->SetValue(from[axis]->GetValue());
            }
    }
}

// Gives c the rotation of its extra post child r and moves r's children,
// in order, back under c.
void FoldPostNode(KQoxNode* c, KQoxNode* r, std::vector<KQoxNode*>& folded)
{
    KQoxVector4 rotation;
    c->SetPostRotation(eSOURCE_SET, r->GetDefaultR(rotation));
    c->RemoveChild(r);
    const int count = r->GetChildCount(false);
    for (int k = 0; k < count; ++k)
        if (KQoxNode* child = r->GetChild(0))
            c->AddChild(child);
    folded.push_back(r);
}

// Steps over extra nodes to the node they stand for and folds them into it.
// Null when an extra node has no child to fold into.
KQoxNode* FoldChild(KQoxNode* c, std::vector<KQoxNode*>& folded)
{
    if (NameContains(c, kPostSuffix) && !(c = c->GetChild(0)))
        return nullptr;
    if (NameContains(c, kPreSuffix) && !(c = c->GetChild(0)))
        return nullptr;
    bool any = false;
    // A pre node without parent would take c out of the hierarchy with it.
    KQoxNode* q = c->GetParent();
    if (q && NameContains(q, kPreSuffix) && q->GetParent())
    {
        FoldPreNode(c, q, folded);
        any = true;
    }
    KQoxNode* r = c->GetChildCount(false) > 0 ? c->GetChild(0) : nullptr;
    if (r && NameContains(r, kPostSuffix))
    {
        FoldPostNode(c, r, folded);
        any = true;
    }
    if (!any)
    {
        c->SetPivotState(eSOURCE_SET, ePIVOT_STATE_ACTIVE);
        c->SetPivotState(eDESTINATION_SET, ePIVOT_STATE_ACTIVE);
    }
    return c;
}

} // namespace

bool ReplacePivotExport(KQoxNode* pNode, KQoxNode::EPivotSet pPivotSet, KQoxSdkManager& pManager)
{
    (void)pPivotSet;
    if (!pNode)
        return false;

    // A node whose walk has ended has no rotation left anywhere in its
    // subtree; meeting it again (at the same index after a post node was
    // added, or below its pre node) would change nothing, so it is passed.
    struct Frame
    {
        KQoxNode* mNode;
        int mIndex;
        bool mChanged;
    };
    std::unordered_set<KQoxNode*> finished;
    std::vector<Frame> stack;
    stack.push_back({pNode, 0, ReplaceOwnRotations(pNode, pManager)});
    for (;;)
    {
        Frame& top = stack.back();
        if (top.mIndex >= top.mNode->GetChildCount(false))
        {
            const bool changed = top.mChanged;
            finished.insert(top.mNode);
            stack.pop_back();
            if (stack.empty())
                return changed;
            // A changed child leaves the index where it is: the next child
            // or the same one now sits there.
            if (!changed)
                ++stack.back().mIndex;
            continue;
        }
        KQoxNode* child = top.mNode->GetChild(top.mIndex);
        if (!child || finished.count(child))
        {
            ++top.mIndex;
            continue;
        }
        const bool changed = ReplaceOwnRotations(child, pManager);
        stack.push_back({child, 0, changed});
    }
}

void ReplacePivotImport(KQoxNode* pNode, KQoxNode::EPivotSet pPivotSet, KQoxSdkManager& pManager)
{
    (void)pPivotSet;
    if (!pNode)
        return;

    // Children from the last to the first, so that a node a fold appends
    // to the list is not met again in the same loop.
    struct Frame
    {
        KQoxNode* mNode;
        int mIndex;
    };
    std::vector<KQoxNode*> folded;
    std::vector<Frame> stack;
    stack.push_back({pNode, pNode->GetChildCount(false) - 1});
    while (!stack.empty())
    {
        Frame& top = stack.back();
        if (top.mIndex < 0)
        {
            stack.pop_back();
            continue;
        }
        KQoxNode* child = top.mNode->GetChild(top.mIndex--);
        if (!child)
            continue;
        if (KQoxNode* c = FoldChild(child, folded))
            stack.push_back({c, c->GetChildCount(false) - 1});
    }

    // Folded nodes are destroyed once nothing is left on them: out of the
    // hierarchy, childless, and not the node the caller holds.
    std::unordered_set<KQoxNode*> destroyed;
    for (KQoxNode* node : folded)
        if (node != pNode && !node->GetParent() && node->GetChildCount(false) == 0 && destroyed.insert(node).second)
            pManager.DestroyKQoxNode(node, true);
}

} // namespace qoxsdk_600
