// What a node's take channels answer through the scene API, pinned against
// changes to how the channel trees are stored: each node's channels are its
// own, takes copy the Default take, names and types of the channels, curve
// values, and teardown in either order with many nodes.

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "fcurve/kfcurve.h"
#include "fcurve/kfcurvenode.h"
#include "object/kpropertydatatype.h"
#include "scene/attributes/kqoxcamera.h"
#include "scene/attributes/kqoxmesh.h"
#include "scene/kqoxnode.h"
#include "scene/kqoxsdkmanager.h"
#include "scene/kqoxtakenode.h"
#include "scene/kqoxuserproperty.h"

using namespace qoxsdk_600;

namespace {

// Name, type name, data type name, layer type, curve value and key count of
// every node of a channel tree, depth first.
void Describe(KFCurveNode* node, int depth, std::string& out)
{
    if (!node)
        return;
    out += std::string(static_cast<size_t>(depth) * 2, ' ') + node->GetName() + " [" + node->GetTypeName() + "|" +
           node->GetTimeWarpName() + "] layer " + std::to_string(node->GetLayerType());
    if (KFCurve* curve = node->FCurveGet())
        out += " = " + std::to_string(curve->GetValue()) + " keys " + std::to_string(curve->KeyGetCount());
    out += "\n";
    for (int i = 0; i < node->GetCount(); ++i)
        Describe(node->Get(i), depth + 1, out);
}

std::string Describe(KQoxTakeNode* take)
{
    std::string out;
    if (take)
        Describe(take->GetKFCurveNode(), 0, out);
    return out;
}

KFCurve* TranslationX(KQoxTakeNode* take)
{
    return take ? take->GetKFCurve("Transform", "T", "X") : nullptr;
}

const char* const kPlainDefaultTake = "Defaults [|Defaults] layer 0\n"
                                      "  Transform [|Transform] layer 0\n"
                                      "    T [Lcl Translation|T] layer 1\n"
                                      "      X [|X] layer 0 = 0.000000 keys 0\n"
                                      "      Y [|Y] layer 0 = 0.000000 keys 0\n"
                                      "      Z [|Z] layer 0 = 0.000000 keys 0\n"
                                      "    R [Lcl Rotation|R] layer 2\n"
                                      "      X [|X] layer 0 = 0.000000 keys 0\n"
                                      "      Y [|Y] layer 0 = 0.000000 keys 0\n"
                                      "      Z [|Z] layer 0 = 0.000000 keys 0\n"
                                      "    S [Lcl Scaling|S] layer 3\n"
                                      "      X [|X] layer 0 = 1.000000 keys 0\n"
                                      "      Y [|Y] layer 0 = 1.000000 keys 0\n"
                                      "      Z [|Z] layer 0 = 1.000000 keys 0\n"
                                      "  Visibility [Visibility|Visibility] layer 1 = 1.000000 keys 0\n";

} // namespace

TEST(NodeChannels, DefaultTakeTreeOfAPlainNode)
{
    KQoxSdkManager manager;
    KQoxNode* node = manager.CreateKQoxNode("node");
    EXPECT_EQ(kPlainDefaultTake, Describe(node->GetDefaultTakeNode()));
    KFCurveNode* root = node->GetDefaultTakeNode()->GetKFCurveNode();
    KFCurveNode* t = root->FindRecursive("T");
    ASSERT_NE(nullptr, t);
    EXPECT_EQ(KDataTypeLclTranslation, t->GetDataType());
    EXPECT_EQ(t, root->FindRecursive(KDataTypeLclTranslation));
    EXPECT_EQ(0, t->Find("x"));
    EXPECT_EQ(2, t->Find("Z"));
    EXPECT_EQ(-1, t->Find("W"));
    EXPECT_EQ(t->Get(1)->FCurveGet(), node->GetDefaultTakeNode()->GetKFCurve("Transform", "T", "Y"));
    // Camera and mesh nodes carry the same transform channels.
    for (bool camera : {false, true})
    {
        KQoxNode* other = manager.CreateKQoxNode(camera ? "camera" : "mesh");
        if (camera)
            other->SetNodeAttribute(manager.CreateKQoxCamera());
        else
            other->SetNodeAttribute(manager.CreateKQoxMesh());
        const std::string tree = Describe(other->GetDefaultTakeNode());
        EXPECT_EQ(0u, tree.find(std::string(kPlainDefaultTake).substr(0, 300))) << tree;
    }
}

TEST(NodeChannels, EachNodeKeepsItsOwnChannels)
{
    KQoxSdkManager manager;
    KQoxNode* first = manager.CreateKQoxNode("first");
    KQoxNode* second = manager.CreateKQoxNode("second");
    KFCurve* firstX = TranslationX(first->GetDefaultTakeNode());
    KFCurve* secondX = TranslationX(second->GetDefaultTakeNode());
    ASSERT_TRUE(firstX && secondX);
    EXPECT_NE(firstX, secondX);
    firstX->KeyAppendFast(KTime(0), 1.0f);
    firstX->KeyAppendFast(KTime(100), 3.0f);
    firstX->SetValue(2.5f);
    first->GetDefaultTakeNode()->GetKFCurveNode()->FindRecursive("R")->GetNameInfo()->mName = "Turned";
    EXPECT_EQ(0, secondX->KeyGetCount());
    EXPECT_EQ(0.0f, secondX->GetValue());
    EXPECT_EQ(kPlainDefaultTake, Describe(second->GetDefaultTakeNode()));
    EXPECT_NE(nullptr, first->GetDefaultTakeNode()->GetKFCurveNode()->FindRecursive("Turned"));
    EXPECT_EQ(nullptr, second->GetDefaultTakeNode()->GetKFCurveNode()->FindRecursive("Turned"));
    // The Default take's value reached the first node's property only.
    KQoxVector4 t;
    first->GetDefaultT(t);
    EXPECT_EQ(2.5, t[0]);
    second->GetDefaultT(t);
    EXPECT_EQ(0.0, t[0]);
}

TEST(NodeChannels, TakesCopyTheDefaultTakeAndGoAgain)
{
    KQoxSdkManager manager;
    KQoxNode* node = manager.CreateKQoxNode("node");
    node->SetDefaultT(KQoxVector4(4, 5, 6));
    KQoxTakeNode* take = node->CreateTakeNode("Walk");
    ASSERT_NE(nullptr, take);
    EXPECT_EQ(2, node->GetTakeNodeCount());
    const std::string defaults = Describe(node->GetDefaultTakeNode());
    EXPECT_EQ(defaults, Describe(take));
    EXPECT_EQ(4.0f, TranslationX(take)->GetValue());
    // Keys in the take stay out of the Default take and out of the property.
    TranslationX(take)->KeyAppendFast(KTime(0), 9.0f);
    TranslationX(take)->SetValue(7.0f);
    EXPECT_EQ(0, TranslationX(node->GetDefaultTakeNode())->KeyGetCount());
    EXPECT_EQ(4.0f, TranslationX(node->GetDefaultTakeNode())->GetValue());
    EXPECT_TRUE(node->IsChannelAnimated("Transform", "T", "X"));
    EXPECT_FALSE(node->IsChannelAnimated("Transform", "T", "Y"));
    // A second take copies the Default take, not the first one.
    KQoxTakeNode* second = node->CreateTakeNode("Run");
    EXPECT_EQ(defaults, Describe(second));
    EXPECT_EQ(nullptr, node->CreateTakeNode("Run"));
    EXPECT_TRUE(node->RemoveTakeNode("Walk"));
    EXPECT_EQ(2, node->GetTakeNodeCount());
    EXPECT_FALSE(node->IsChannelAnimated("Transform", "T", "X"));
    EXPECT_FALSE(node->RemoveTakeNode(0));
    EXPECT_TRUE(node->RemoveTakeNode("Run"));
    EXPECT_EQ(1, node->GetTakeNodeCount());
    EXPECT_EQ(defaults, Describe(node->GetDefaultTakeNode()));
    // The Default take still feeds the property after the takes went.
    TranslationX(node->GetDefaultTakeNode())->SetValue(-1.0f);
    KQoxVector4 t;
    node->GetDefaultT(t);
    EXPECT_EQ(-1.0, t[0]);
}

TEST(NodeChannels, CopiedNodeOwnsCopiedChannels)
{
    KQoxSdkManager manager;
    KQoxNode* source = manager.CreateKQoxNode("source");
    source->SetDefaultT(KQoxVector4(1, 2, 3));
    KQoxTakeNode* take = source->CreateTakeNode("Walk");
    TranslationX(take)->KeyAppendFast(KTime(0), 1.0f);
    TranslationX(take)->KeyAppendFast(KTime(1000), 8.0f);
    KQoxNode* copy = manager.CreateKQoxNode("copy");
    *copy = *source;
    ASSERT_EQ(2, copy->GetTakeNodeCount());
    EXPECT_EQ(Describe(source->GetDefaultTakeNode()), Describe(copy->GetDefaultTakeNode()));
    EXPECT_EQ(Describe(source->GetTakeNode(1)), Describe(copy->GetTakeNode(1)));
    EXPECT_NE(TranslationX(source->GetTakeNode(1)), TranslationX(copy->GetTakeNode(1)));
    EXPECT_EQ(8.0f, TranslationX(copy->GetTakeNode(1))->Evaluate(KTime(1000)));
    // The copy's Default take is tied to the copy's own property.
    TranslationX(copy->GetDefaultTakeNode())->SetValue(10.0f);
    KQoxVector4 t;
    copy->GetDefaultT(t);
    EXPECT_EQ(10.0, t[0]);
    source->GetDefaultT(t);
    EXPECT_EQ(1.0, t[0]);
    manager.DestroyKQoxNode(source);
    EXPECT_EQ(8.0f, TranslationX(copy->GetTakeNode(1))->Evaluate(KTime(1000)));
}

TEST(NodeChannels, ManyNodesGoWithTheManagerOrBeforeIt)
{
    const int count = 100000;
    for (bool nodesFirst : {false, true})
    {
        auto manager = std::make_unique<KQoxSdkManager>();
        std::vector<KQoxNode*> nodes;
        nodes.reserve(count);
        for (int i = 0; i < count; ++i)
        {
            nodes.push_back(manager->CreateKQoxNode(("n" + std::to_string(i)).c_str()));
            if (i % 1000 == 0)
                TranslationX(nodes.back()->GetDefaultTakeNode())->KeyAppendFast(KTime(i), float(i));
        }
        EXPECT_EQ(1.0f, TranslationX(nodes[1]->GetDefaultTakeNode())->GetValue() + 1.0f);
        EXPECT_EQ(1, TranslationX(nodes[99000]->GetDefaultTakeNode())->KeyGetCount());
        if (nodesFirst)
        {
            for (int i = count - 1; i >= 0; --i)
                ASSERT_TRUE(manager->DestroyKQoxNode(nodes[static_cast<size_t>(i)]));
        }
        manager.reset();
    }
}
