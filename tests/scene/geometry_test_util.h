// Shared set-up of the geometry tests: a manager, a scene, and short ways to
// build meshes and nodes.
#ifndef QOX_TESTS_SCENE_GEOMETRY_TEST_UTIL_H
#define QOX_TESTS_SCENE_GEOMETRY_TEST_UTIL_H

#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <vector>

#include "scene/attributes/kqoxdeformer.h"
#include "scene/attributes/kqoxlink.h"
#include "scene/attributes/kqoxmaterial.h"
#include "scene/attributes/kqoxmesh.h"
#include "scene/attributes/kqoxshape.h"
#include "scene/attributes/kqoxtexture.h"
#include "scene/kqoxentity.h"
#include "scene/kqoxnode.h"
#include "scene/kqoxscene.h"
#include "scene/kqoxsdkmanager.h"

namespace geometrytest {

using namespace qoxsdk_600;

class GeometryTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        mManager.reset(KQoxSdkManager::CreateKQoxSdkManager());
        mScene = mManager->CreateKQoxScene();
    }
    void TearDown() override { mManager.reset(); }

    KQoxEntity& Entity() { return *mScene->GetEntity(); }

    // A node under the scene's root holding the attribute.
    KQoxNode* NodeWith(const char* pName, KQoxNodeAttribute* pAttribute)
    {
        KQoxNode* node = mManager->CreateKQoxNode(pName);
        mScene->GetRootNode()->AddChild(node);
        if (pAttribute)
            node->SetNodeAttribute(pAttribute);
        return node;
    }

    // A mesh with the points and the polygons (lists of point indices).
    KQoxMesh* Mesh(const std::vector<KQoxVector4>& pPoints, const std::vector<std::vector<int>>& pPolygons)
    {
        KQoxMesh* mesh = mManager->CreateKQoxMesh();
        mesh->InitControlPoints(static_cast<int>(pPoints.size()));
        for (size_t i = 0; i < pPoints.size(); ++i)
            mesh->GetControlPoints()[i] = pPoints[i];
        for (const std::vector<int>& polygon : pPolygons)
        {
            mesh->BeginPolygon();
            for (int index : polygon)
                mesh->AddPolygon(index);
            mesh->EndPolygon();
        }
        return mesh;
    }

    // The unit cube: 8 points, 6 quads seen counter-clockwise from outside.
    KQoxMesh* Cube()
    {
        return Mesh({{0, 0, 0, 1},
                     {1, 0, 0, 1},
                     {1, 1, 0, 1},
                     {0, 1, 0, 1},
                     {0, 0, 1, 1},
                     {1, 0, 1, 1},
                     {1, 1, 1, 1},
                     {0, 1, 1, 1}},
                    {{0, 3, 2, 1}, {4, 5, 6, 7}, {0, 1, 5, 4}, {1, 2, 6, 5}, {2, 3, 7, 6}, {3, 0, 4, 7}});
    }

    std::unique_ptr<KQoxSdkManager> mManager;
    KQoxScene* mScene = nullptr;
};

// Whether the vectors agree in x, y and z within the tolerance.
inline ::testing::AssertionResult Near3(const KQoxVector4& pA, const KQoxVector4& pB, double pTolerance = 1e-9)
{
    for (int i = 0; i < 3; ++i)
        if (!(std::fabs(pA[i] - pB[i]) <= pTolerance))
            return ::testing::AssertionFailure() << "(" << pA[0] << ", " << pA[1] << ", " << pA[2] << ") vs (" << pB[0]
                                                 << ", " << pB[1] << ", " << pB[2] << ")";
    return ::testing::AssertionSuccess();
}

} // namespace geometrytest

#endif
