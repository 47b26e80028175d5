// Shared set-up of the node-attribute tests: a manager, a node with two takes
// besides "Default", and the channel names of a take node.
#ifndef QOX_TESTS_SCENE_ATTRIBUTE_TEST_UTIL_H
#define QOX_TESTS_SCENE_ATTRIBUTE_TEST_UTIL_H

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "fcurve/kfcurve.h"
#include "fcurve/kfcurvenode.h"
#include "scene/kqoxnode.h"
#include "scene/kqoxsdkmanager.h"
#include "scene/kqoxtakenode.h"

namespace attrtest {

using namespace qoxsdk_600;

class AttributeTest : public ::testing::Test
{
protected:
    AttributeTest()
        : mManager(new KQoxSdkManager)
    {
        mNode = mManager->CreateKQoxNode("Holder");
        mNode->CreateTakeNode("Take 001");
        mNode->CreateTakeNode("Take 002");
    }

    // The root children of a take node, "|"-separated, in order.
    static std::string Channels(KQoxTakeNode* take)
    {
        std::string names;
        KFCurveNode* root = take->GetKFCurveNode();
        for (int i = 0; i < root->GetCount(); ++i)
            names += std::string(i ? "|" : "") + root->Get(i)->GetName();
        return names;
    }
    // Every take node of the node has exactly these root channels.
    void ExpectChannelsEverywhere(const std::string& expected)
    {
        ASSERT_EQ(mNode->GetTakeNodeCount(), 3);
        for (int i = 0; i < mNode->GetTakeNodeCount(); ++i)
            EXPECT_EQ(Channels(mNode->GetTakeNode(i)), expected) << "take " << i;
    }
    KQoxTakeNode* DefaultTake() { return mNode->GetDefaultTakeNode(); }
    KQoxTakeNode* Take(int index) { return mNode->GetTakeNode(index); }

    std::unique_ptr<KQoxSdkManager> mManager;
    KQoxNode* mNode;
};

// The node's own channels, ahead of any attribute's.
inline std::string NodeChannels(const std::string& extra)
{
    return "Transform|Visibility" + (extra.empty() ? std::string() : "|" + extra);
}

} // namespace attrtest

#endif
