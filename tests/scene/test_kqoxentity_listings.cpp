// A node listed by several entities at once: destroying it takes it out of
// every one of them, whichever listed it first, and an entity cleared or
// destroyed first leaves nothing of itself in the node. Random runs check
// the lists against a plain model.

#include <algorithm>
#include <cstring>
#include <functional>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "node_test_util.h"
#include "scene/attributes/kqoxdeformer.h"
#include "scene/attributes/kqoxgenericnode.h"
#include "scene/attributes/kqoxmaterial.h"
#include "scene/attributes/kqoxtexture.h"
#include "scene/attributes/kqoxvideo.h"
#include "scene/kqoxscene.h"

using namespace nodetest;

TEST_F(NodeTest, NodeListedByTwoEntitiesLeavesBothWhenDestroyed)
{
    // Each entity in turn the first to list the node.
    for (int firstIsSecond = 0; firstIsSecond < 2; ++firstIsSecond)
    {
        KQoxEntity one(*mManager);
        KQoxEntity two(*mManager);
        KQoxNode* kept = Node("kept");
        KQoxNode* gone = Node("gone");
        KQoxEntity& first = firstIsSecond ? two : one;
        KQoxEntity& second = firstIsSecond ? one : two;
        ASSERT_TRUE(first.AddNode(gone));
        ASSERT_TRUE(second.AddNode(gone));
        ASSERT_TRUE(one.AddNode(kept));
        ASSERT_TRUE(two.AddNode(kept));
        ASSERT_TRUE(mManager->DestroyKQoxNode(gone, false));
        EXPECT_EQ(2, one.GetNodeCount());
        EXPECT_EQ(2, two.GetNodeCount());
        EXPECT_EQ((std::vector<KQoxNode*>{one.GetRootNode(), kept}), Listed(one));
        EXPECT_EQ((std::vector<KQoxNode*>{two.GetRootNode(), kept}), Listed(two));
        EXPECT_EQ(nullptr, one.GetNode(2));
        EXPECT_EQ(nullptr, two.GetNode(2));
        // The lists go on working: removal, a newcomer, name validation.
        EXPECT_TRUE(two.RemoveNode(kept));
        KQoxNode* again = Node("again");
        ASSERT_TRUE(two.AddNode(again));
        ASSERT_TRUE(one.AddNode(again));
        EXPECT_TRUE(one.ValidateName(*again, "Model::again"));
        EXPECT_FALSE(two.ValidateName(*again, "Model::gone"));
        EXPECT_EQ((std::vector<KQoxNode*>{one.GetRootNode(), again, kept}), Listed(one));
        EXPECT_EQ((std::vector<KQoxNode*>{two.GetRootNode(), again}), Listed(two));
    }
}

TEST_F(NodeTest, NodeListedByThreeEntitiesLeavesAllWhenDestroyed)
{
    KQoxEntity a(*mManager);
    KQoxEntity b(*mManager);
    KQoxEntity c(*mManager);
    KQoxNode* gone = Node("gone");
    KQoxNode* other = Node("other");
    ASSERT_TRUE(b.AddNode(gone));
    ASSERT_TRUE(c.AddNode(other));
    ASSERT_TRUE(a.AddNode(gone));
    ASSERT_TRUE(c.AddNode(gone));
    ASSERT_TRUE(a.AddNode(other));
    EXPECT_FALSE(c.AddNode(gone));
    EXPECT_EQ(KQoxEntity::eNODE_ALREADY_OWNED, c.GetLastErrorID());
    ASSERT_TRUE(mManager->DestroyKQoxNode(gone, false));
    EXPECT_EQ((std::vector<KQoxNode*>{a.GetRootNode(), other}), Listed(a));
    EXPECT_EQ((std::vector<KQoxNode*>{b.GetRootNode()}), Listed(b));
    EXPECT_EQ((std::vector<KQoxNode*>{c.GetRootNode(), other}), Listed(c));
    EXPECT_TRUE(a.RemoveNode(other));
    EXPECT_TRUE(c.RemoveNode(other));
    EXPECT_FALSE(b.RemoveNode(other));
}

TEST_F(NodeTest, RootNodeListedElsewhereLeavesBothWhenDestroyed)
{
    KQoxEntity owner(*mManager);
    KQoxEntity guest(*mManager);
    KQoxNode* root = owner.GetRootNode();
    ASSERT_TRUE(guest.AddNode(root));
    EXPECT_EQ(2, guest.GetNodeCount());
    ASSERT_TRUE(root->SetEntity(nullptr, true));
    // Out of its own entity through SetEntity; still listed by the guest.
    EXPECT_EQ(nullptr, owner.GetRootNode());
    EXPECT_EQ(2, guest.GetNodeCount());
    ASSERT_TRUE(mManager->DestroyKQoxNode(root, false));
    EXPECT_EQ((std::vector<KQoxNode*>{guest.GetRootNode()}), Listed(guest));
    EXPECT_EQ(0, owner.GetNodeCount());
}

TEST_F(NodeTest, EntityDestroyedBeforeNodesItShared)
{
    KQoxEntity kept(*mManager);
    KQoxNode* inlineHere = Node("inlineHere");   // the doomed entity lists it first
    KQoxNode* inlineThere = Node("inlineThere"); // the kept entity lists it first
    KQoxNode* alone = Node("alone");
    {
        KQoxEntity doomed(*mManager);
        ASSERT_TRUE(doomed.AddNode(inlineHere));
        ASSERT_TRUE(kept.AddNode(inlineHere));
        ASSERT_TRUE(kept.AddNode(inlineThere));
        ASSERT_TRUE(doomed.AddNode(inlineThere));
        ASSERT_TRUE(doomed.AddNode(alone));
    }
    EXPECT_EQ((std::vector<KQoxNode*>{kept.GetRootNode(), inlineHere, inlineThere}), Listed(kept));
    // Destroying the nodes now touches only the entity still there.
    ASSERT_TRUE(mManager->DestroyKQoxNode(alone, false));
    ASSERT_TRUE(mManager->DestroyKQoxNode(inlineThere, false));
    EXPECT_EQ((std::vector<KQoxNode*>{kept.GetRootNode(), inlineHere}), Listed(kept));
    ASSERT_TRUE(mManager->DestroyKQoxNode(inlineHere, false));
    EXPECT_EQ((std::vector<KQoxNode*>{kept.GetRootNode()}), Listed(kept));
}

TEST_F(NodeTest, EntityClearedBeforeNodesItShared)
{
    KQoxEntity kept(*mManager);
    KQoxEntity cleared(*mManager);
    KQoxNode* x = Node("x");
    KQoxNode* y = Node("y");
    ASSERT_TRUE(cleared.AddNode(x));
    ASSERT_TRUE(kept.AddNode(x));
    ASSERT_TRUE(kept.AddNode(y));
    ASSERT_TRUE(cleared.AddNode(y));
    cleared.Clear();
    EXPECT_EQ(0, cleared.GetNodeCount());
    EXPECT_FALSE(cleared.RemoveNode(x));
    EXPECT_FALSE(cleared.RemoveNode(y));
    ASSERT_TRUE(mManager->DestroyKQoxNode(x, false));
    EXPECT_EQ((std::vector<KQoxNode*>{kept.GetRootNode(), y}), Listed(kept));
    EXPECT_EQ(0, cleared.GetNodeCount());
    // Listed again after the clear, then gone from both.
    ASSERT_TRUE(cleared.AddNode(y));
    ASSERT_TRUE(mManager->DestroyKQoxNode(y, false));
    EXPECT_EQ((std::vector<KQoxNode*>{kept.GetRootNode()}), Listed(kept));
    EXPECT_EQ(0, cleared.GetNodeCount());
}

TEST_F(NodeTest, NodeRemovedFromOneEntityThenDestroyed)
{
    // Removed from the entity that listed it first, or from the other one.
    for (int removeFirst = 0; removeFirst < 2; ++removeFirst)
    {
        KQoxEntity first(*mManager);
        KQoxEntity second(*mManager);
        KQoxNode* node = Node("node");
        KQoxNode* other = Node("other");
        ASSERT_TRUE(first.AddNode(node));
        ASSERT_TRUE(second.AddNode(node));
        ASSERT_TRUE(first.AddNode(other));
        ASSERT_TRUE(second.AddNode(other));
        KQoxEntity& left = removeFirst ? first : second;
        KQoxEntity& stays = removeFirst ? second : first;
        ASSERT_TRUE(left.RemoveNode(node));
        EXPECT_FALSE(left.RemoveNode(node));
        // A read by position compacts the list that lost the node.
        EXPECT_EQ((std::vector<KQoxNode*>{left.GetRootNode(), other}), Listed(left));
        ASSERT_TRUE(mManager->DestroyKQoxNode(node, false));
        EXPECT_EQ((std::vector<KQoxNode*>{left.GetRootNode(), other}), Listed(left));
        EXPECT_EQ((std::vector<KQoxNode*>{stays.GetRootNode(), other}), Listed(stays));
    }
}

TEST_F(NodeTest, EntityListsANodeAgainThenTheNodeIsDestroyed)
{
    KQoxEntity first(*mManager);
    KQoxEntity second(*mManager);
    KQoxNode* node = Node("node");
    KQoxNode* other = Node("other");
    ASSERT_TRUE(first.AddNode(node));
    ASSERT_TRUE(second.AddNode(node));
    ASSERT_TRUE(second.AddNode(other));
    // The first entity lets it go and lists it again, now after the second.
    ASSERT_TRUE(first.RemoveNode(node));
    EXPECT_EQ((std::vector<KQoxNode*>{second.GetRootNode(), node, other}), Listed(second));
    ASSERT_TRUE(first.AddNode(node));
    EXPECT_FALSE(first.AddNode(node));
    // The second does the same, twice.
    for (int i = 0; i < 2; ++i)
    {
        ASSERT_TRUE(second.RemoveNode(node));
        ASSERT_TRUE(second.AddNode(node));
    }
    EXPECT_EQ((std::vector<KQoxNode*>{second.GetRootNode(), other, node}), Listed(second));
    EXPECT_EQ((std::vector<KQoxNode*>{first.GetRootNode(), node}), Listed(first));
    ASSERT_TRUE(mManager->DestroyKQoxNode(node, false));
    EXPECT_EQ((std::vector<KQoxNode*>{first.GetRootNode()}), Listed(first));
    EXPECT_EQ((std::vector<KQoxNode*>{second.GetRootNode(), other}), Listed(second));
}

TEST_F(NodeTest, ManyNodesInTwoEntitiesDestroyedBeforeTheEntities)
{
    const int kCount = 100000;
    KQoxEntity first(*mManager);
    KQoxEntity second(*mManager);
    std::vector<KQoxNode*> nodes;
    nodes.reserve(kCount);
    for (int i = 0; i < kCount; ++i)
    {
        nodes.push_back(Node("n"));
        // Half of them listed first by each entity.
        ASSERT_TRUE((i % 2 ? second : first).AddNode(nodes.back()));
        ASSERT_TRUE((i % 2 ? first : second).AddNode(nodes.back()));
    }
    EXPECT_EQ(kCount + 1, first.GetNodeCount());
    EXPECT_EQ(kCount + 1, second.GetNodeCount());
    // Every third node first, then the rest, from the back.
    for (int i = 0; i < kCount; i += 3)
        ASSERT_TRUE(mManager->DestroyKQoxNode(nodes[i], false));
    const int left = kCount - (kCount + 2) / 3;
    ASSERT_EQ(left + 1, first.GetNodeCount());
    ASSERT_EQ(left + 1, second.GetNodeCount());
    int position = 1;
    for (int i = 0; i < kCount; ++i)
        if (i % 3 != 0)
        {
            ASSERT_EQ(nodes[i], first.GetNode(position)) << i;
            ASSERT_EQ(nodes[i], second.GetNode(position)) << i;
            ++position;
        }
    for (int i = kCount - 1; i >= 0; --i)
    {
        if (i % 3 == 0)
            continue;
        ASSERT_TRUE(mManager->DestroyKQoxNode(nodes[i], false));
    }
    EXPECT_EQ((std::vector<KQoxNode*>{first.GetRootNode()}), Listed(first));
    EXPECT_EQ((std::vector<KQoxNode*>{second.GetRootNode()}), Listed(second));
}

TEST_F(NodeTest, ManyNodesInTwoEntitiesDestroyedAfterTheEntities)
{
    const int kCount = 100000;
    std::vector<KQoxNode*> nodes;
    nodes.reserve(kCount);
    auto first = std::make_unique<KQoxEntity>(*mManager);
    auto second = std::make_unique<KQoxEntity>(*mManager);
    for (int i = 0; i < kCount; ++i)
    {
        nodes.push_back(Node("n"));
        ASSERT_TRUE((i % 2 ? *second : *first).AddNode(nodes.back()));
        ASSERT_TRUE((i % 2 ? *first : *second).AddNode(nodes.back()));
    }
    // One entity goes, some nodes go, then the other entity and the rest.
    first.reset();
    for (int i = 0; i < kCount; i += 2)
        ASSERT_TRUE(mManager->DestroyKQoxNode(nodes[i], false));
    ASSERT_EQ(kCount / 2 + 1, second->GetNodeCount());
    for (int i = 1; i < kCount; i += 2)
        ASSERT_EQ(nodes[i], second->GetNode(1 + i / 2)) << i;
    second.reset();
    for (int i = 1; i < kCount; i += 2)
        ASSERT_TRUE(mManager->DestroyKQoxNode(nodes[i], false));
    // Both listed by a new entity and dropped with it: nothing is left over.
    KQoxEntity last(*mManager);
    EXPECT_EQ(1, last.GetNodeCount());
}

// Random additions, removals, clears, name checks and destructions of nodes
// and entities, checked after each step against plain lists.
TEST_F(NodeTest, SharedNodeListsFollowAModel)
{
    const int kEntities = 3;
    const int kNodes = 12;
    std::mt19937 random(20261207);
    std::unique_ptr<KQoxEntity> entities[kEntities];
    std::vector<KQoxNode*> model[kEntities];
    std::vector<KQoxNode*> nodes;
    int made = 0;
    auto newNode = [&]() { return Node(("n" + std::to_string(made++)).c_str()); };
    auto newEntity = [&](int e) {
        entities[e].reset(new KQoxEntity(*mManager));
        model[e] = {entities[e]->GetRootNode()};
    };
    auto listedIn = [&](int e, KQoxNode* node) {
        return std::find(model[e].begin(), model[e].end(), node) != model[e].end();
    };
    for (int e = 0; e < kEntities; ++e)
        newEntity(e);
    for (int n = 0; n < kNodes; ++n)
        nodes.push_back(newNode());

    enum EStep
    {
        eADD,
        eREMOVE,
        eDESTROY_NODE,
        eVALIDATE,
        eCLEAR,
        eRENEW_ENTITY,
        eREAD
    };
    // Mostly additions and removals.
    const EStep kSteps[] = {eADD,    eADD,    eADD,          eADD,          eADD,      eADD,   eREMOVE,       eREMOVE,
                            eREMOVE, eREMOVE, eDESTROY_NODE, eDESTROY_NODE, eVALIDATE, eCLEAR, eRENEW_ENTITY, eREAD};
    for (int step = 0; step < 20000; ++step)
    {
        const int e = static_cast<int>(random() % kEntities);
        const int n = static_cast<int>(random() % kNodes);
        KQoxEntity& entity = *entities[e];
        KQoxNode* node = nodes[n];
        switch (kSteps[random() % (sizeof(kSteps) / sizeof(kSteps[0]))])
        {
        case eADD:
            ASSERT_EQ(!listedIn(e, node), entity.AddNode(node)) << step;
            if (!listedIn(e, node))
                model[e].push_back(node);
            break;
        case eREMOVE:
        {
            const bool listed = listedIn(e, node);
            ASSERT_EQ(listed, entity.RemoveNode(node)) << step;
            if (listed)
                model[e].erase(std::find(model[e].begin(), model[e].end(), node));
            else
                EXPECT_EQ(KQoxEntity::eNODE_NOT_OWNED, entity.GetLastErrorID());
            break;
        }
        case eDESTROY_NODE:
            for (std::vector<KQoxNode*>& list : model)
                list.erase(std::remove(list.begin(), list.end(), node), list.end());
            ASSERT_TRUE(mManager->DestroyKQoxNode(node, false));
            nodes[n] = newNode();
            break;
        case eVALIDATE:
            // Names differ, so validation leaves the list in name order.
            if (!model[e].empty())
            {
                entity.ValidateName(*node, node->GetName());
                std::sort(model[e].begin(), model[e].end(),
                          [](KQoxNode* a, KQoxNode* b) { return std::strcmp(a->GetName(), b->GetName()) < 0; });
            }
            break;
        case eCLEAR:
            if (random() % 4 == 0)
            {
                entity.Clear();
                model[e].clear();
            }
            break;
        case eRENEW_ENTITY:
            if (random() % 4 == 0)
                newEntity(e);
            break;
        case eREAD:
            // A read by position only now and then, so holes pile up.
            if (random() % 4 == 0)
            {
                ASSERT_EQ(model[e], Listed(entity)) << step;
            }
            break;
        }
        for (int k = 0; k < kEntities; ++k)
            ASSERT_EQ(static_cast<int>(model[k].size()), entities[k]->GetNodeCount()) << step;
    }
    for (int e = 0; e < kEntities; ++e)
        EXPECT_EQ(model[e], Listed(*entities[e]));
    // Nodes first for one entity, the entities first for the others.
    entities[0].reset();
    for (KQoxNode* node : nodes)
        ASSERT_TRUE(mManager->DestroyKQoxNode(node, false));
    for (int e = 1; e < kEntities; ++e)
    {
        model[e].erase(
            std::remove_if(model[e].begin(), model[e].end(),
                           [&](KQoxNode* node) { return std::find(nodes.begin(), nodes.end(), node) != nodes.end(); }),
            model[e].end());
        EXPECT_EQ(model[e], Listed(*entities[e]));
    }
}

// Materials, textures, clips, generic nodes and deformers destroyed while
// entities list them (twice, so with a use count left): each leaves every
// entity, those of scenes the manager made and those of scenes made on
// their own, and the lists go on working: another object of the same name
// joins and is found by it, where before the list named freed memory.
TEST_F(NodeTest, ObjectsDestroyedWhileListedLeaveEveryEntity)
{
    struct Kind
    {
        const char* mName;
        std::function<KQoxObject*(KQoxSdkManager&)> mMake;
        std::function<bool(KQoxEntity&, KQoxObject*)> mAdd;
        std::function<int(KQoxEntity&)> mCount;
        std::function<KQoxObject*(KQoxEntity&, const char*)> mFind;
        std::function<bool(KQoxSdkManager&, KQoxObject*)> mDestroy;
    };
    const Kind kinds[] = {
        {"material", [](KQoxSdkManager& m) -> KQoxObject* { return m.CreateKQoxMaterial("wood"); },
         [](KQoxEntity& e, KQoxObject* o) { return e.AddMaterial(o); },
         [](KQoxEntity& e) { return e.GetMaterialCount(); },
         [](KQoxEntity& e, const char* n) { return e.GetMaterial(KString(n)); },
         [](KQoxSdkManager& m, KQoxObject* o) { return m.DestroyKQoxMaterial(static_cast<KQoxMaterial*>(o)); }},
        {"texture", [](KQoxSdkManager& m) -> KQoxObject* { return m.CreateKQoxTexture("wood"); },
         [](KQoxEntity& e, KQoxObject* o) { return e.AddTexture(o); },
         [](KQoxEntity& e) { return e.GetTextureCount(); },
         [](KQoxEntity& e, const char* n) { return e.GetTexture(KString(n)); },
         [](KQoxSdkManager& m, KQoxObject* o) { return m.DestroyKQoxTexture(static_cast<KQoxTexture*>(o)); }},
        {"clip", [](KQoxSdkManager& m) -> KQoxObject* { return m.CreateKQoxVideo("wood"); },
         [](KQoxEntity& e, KQoxObject* o) { return e.AddVideo(o); },
         [](KQoxEntity& e) { return e.GetVideoCount(); },
         [](KQoxEntity& e, const char* n) { return e.GetVideo(KString(n)); },
         [](KQoxSdkManager& m, KQoxObject* o) { return m.DestroyKQoxVideo(static_cast<KQoxVideo*>(o)); }},
        {"generic node", [](KQoxSdkManager& m) -> KQoxObject* { return m.CreateKQoxGenericNode("wood"); },
         [](KQoxEntity& e, KQoxObject* o) { return e.AddGenericNode(o); },
         [](KQoxEntity& e) { return e.GetGenericNodeCount(); },
         [](KQoxEntity& e, const char* n) { return e.GetGenericNode(n); },
         [](KQoxSdkManager& m, KQoxObject* o) {
             return m.DestroyKQoxGenericNode(static_cast<KQoxGenericNode*>(o));
         }},
        {"deformer", [](KQoxSdkManager& m) -> KQoxObject* { return m.CreateKQoxDeformer("wood", "Skin"); },
         [](KQoxEntity& e, KQoxObject* o) { return e.AddDeformer(o); },
         [](KQoxEntity& e) { return e.GetDeformerCount(); },
         [](KQoxEntity& e, const char* n) { return e.GetDeformer(n); },
         [](KQoxSdkManager& m, KQoxObject* o) { return m.DestroyKQoxDeformer(static_cast<KQoxDeformer*>(o)); }},
    };
    for (const Kind& kind : kinds)
    {
        SCOPED_TRACE(kind.mName);
        KQoxScene* made = mManager->CreateKQoxScene();
        KQoxScene own(*mManager);
        KQoxEntity alone(*mManager);
        KQoxEntity* entities[] = {made->GetEntity(), own.GetEntity(), &alone};
        KQoxObject* kept = kind.mMake(*mManager);
        kept->SetName("kept");
        KQoxObject* gone = kind.mMake(*mManager);
        const std::string name = gone->GetName();
        for (KQoxEntity* entity : entities)
        {
            ASSERT_TRUE(kind.mAdd(*entity, kept));
            ASSERT_TRUE(kind.mAdd(*entity, gone));
            ASSERT_TRUE(kind.mAdd(*entity, gone));
        }
        ASSERT_TRUE(kind.mDestroy(*mManager, gone));
        KQoxObject* again = kind.mMake(*mManager);
        ASSERT_EQ(again->GetName(), name);
        for (KQoxEntity* entity : entities)
        {
            EXPECT_EQ(kind.mCount(*entity), 1);
            EXPECT_EQ(kind.mFind(*entity, name.c_str()), nullptr);
            EXPECT_TRUE(kind.mAdd(*entity, again)) << entity->GetLastErrorString();
            EXPECT_EQ(kind.mFind(*entity, name.c_str()), again);
            EXPECT_EQ(kind.mFind(*entity, kept->GetName()), kept);
        }
        EXPECT_TRUE(mManager->DestroyKQoxScene(made, false));
    }
}

// A scene made on its own outlives its manager's Clear, and an entity made
// on its own the manager itself: they drop their records of what went, and
// never reach the manager again.
TEST_F(NodeTest, EntitiesOutliveTheirManagersClearAndTheManager)
{
    auto own = std::make_unique<KQoxScene>(*mManager);
    auto alone = std::make_unique<KQoxEntity>(*mManager);
    for (KQoxEntity* entity : {own->GetEntity(), alone.get()})
    {
        ASSERT_TRUE(entity->AddMaterial(mManager->CreateKQoxMaterial("paint")));
        ASSERT_TRUE(entity->AddVideo(mManager->CreateKQoxVideo("clip")));
        ASSERT_TRUE(entity->AddDeformer(mManager->CreateKQoxDeformer("skin", "Skin")));
    }
    mManager->Clear();
    for (KQoxEntity* entity : {own->GetEntity(), alone.get()})
    {
        EXPECT_EQ(entity->GetMaterialCount(), 0);
        EXPECT_EQ(entity->GetVideoCount(), 0);
        EXPECT_EQ(entity->GetDeformerCount(), 1); // Clear keeps deformers
        EXPECT_EQ(entity->GetMaterial(KString("Material::paint")), nullptr);
    }
    own.reset();
    ASSERT_TRUE(alone->AddTexture(mManager->CreateKQoxTexture("wood")));
    mManager.reset();
    EXPECT_EQ(alone->GetTextureCount(), 0);
    EXPECT_EQ(alone->GetDeformerCount(), 0);
    alone.reset();
}
