// Shared set-up of the node tests: a manager per test and short ways to make
// nodes and read their property table.
#ifndef QOX_TESTS_SCENE_NODE_TEST_UTIL_H
#define QOX_TESTS_SCENE_NODE_TEST_UTIL_H

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "scene/kqoxentity.h"
#include "scene/kqoxnode.h"
#include "scene/kqoxnodeattribute.h"
#include "scene/kqoxsdkmanager.h"

namespace nodetest {

using namespace qoxsdk_600;

// The nodes an entity lists, in its order.
inline std::vector<KQoxNode*> Listed(KQoxEntity& entity)
{
    std::vector<KQoxNode*> nodes;
    for (int i = 0; i < entity.GetNodeCount(); ++i)
        nodes.push_back(entity.GetNode(i));
    return nodes;
}

// An attribute of a chosen type that records its channel hooks.
class TestAttribute : public KQoxNodeAttribute
{
public:
    TestAttribute(KQoxSdkManager& manager, EAttributeType type, int markerType = -1, bool rootSkeleton = false)
        : KQoxNodeAttribute(manager)
        , mType(type)
        , mMarkerType(markerType)
        , mRootSkeleton(rootSkeleton)
    {}
    EAttributeType GetAttributeType() const override { return mType; }
    int GetMarkerType() const override { return mMarkerType; }
    bool IsRootSkeleton() const override { return mRootSkeleton; }
    int GetControlPointsCount() const override { return static_cast<int>(mPoints.size()); }
    const KQoxVector4* GetControlPoints() const override { return mPoints.empty() ? nullptr : mPoints.data(); }
    void AddChannels(KQoxTakeNode* take) override
    {
        mLog += "+" + std::to_string(reinterpret_cast<uintptr_t>(take) != 0);
    }
    void RemoveChannels(KQoxTakeNode*) override { mLog += "-"; }

    EAttributeType mType;
    int mMarkerType;
    bool mRootSkeleton;
    std::vector<KQoxVector4> mPoints;
    std::string mLog;
};

// The manager with the listing of attributes opened to the tests, which
// make attributes of their own.
class TestManager : public KQoxSdkManager
{
public:
    using KQoxSdkManager::AddCreatedNodeAttribute;
    bool DestroyKQoxNode(KQoxNode* node, bool recursive) override
    {
        ++mDestroyNodeCalls;
        return KQoxSdkManager::DestroyKQoxNode(node, recursive);
    }
    int mDestroyNodeCalls = 0;
};

class NodeTest : public ::testing::Test
{
protected:
    NodeTest()
        : mManager(new TestManager)
    {}

    KQoxNode* Node(const char* name) { return mManager->CreateKQoxNode(name); }
    TestAttribute* Attribute(KQoxNodeAttribute::EAttributeType type, int marker = -1, bool root = false)
    {
        return static_cast<TestAttribute*>(
            mManager->AddCreatedNodeAttribute(new TestAttribute(*mManager, type, marker, root)));
    }
    // parent with the given children, in order.
    KQoxNode* Tree(const char* name, std::initializer_list<KQoxNode*> children)
    {
        KQoxNode* node = Node(name);
        for (KQoxNode* child : children)
            EXPECT_TRUE(node->AddChild(child));
        return node;
    }

    std::unique_ptr<TestManager> mManager;
};

inline void ExpectVector(const KQoxVector4& v, double x, double y, double z, double w, double tolerance = 1e-9)
{
    EXPECT_NEAR(v[0], x, tolerance);
    EXPECT_NEAR(v[1], y, tolerance);
    EXPECT_NEAR(v[2], z, tolerance);
    EXPECT_NEAR(v[3], w, tolerance);
}

} // namespace nodetest

#endif
