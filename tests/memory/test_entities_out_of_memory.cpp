// A subtree moved into, between and out of scene entities with allocations
// failing at every point in turn (memory_test_util.h): the move succeeds
// whole, or throws std::bad_alloc (as code that builds a scene does) leaving
// the subtree and both entities as they were (the nodes listed, each node's
// and geometry's entity, the materials, textures and clips with their use
// counts).
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <new>
#include <string>
#include <vector>

#include "memory_test_util.h"
#include "read_test_util.h"
#include "scene/attributes/kqoxlayer.h"
#include "scene/attributes/kqoxmaterial.h"
#include "scene/attributes/kqoxmesh.h"
#include "scene/attributes/kqoxshape.h"
#include "scene/attributes/kqoxtexture.h"
#include "scene/attributes/kqoxvideo.h"
#include "scene/kqoxentity.h"
#include "scene/kqoxnode.h"
#include "scene/kqoxscene.h"
#include "scene/kqoxsdkmanager.h"

using namespace qoxsdk_600;
using qoxtest::AllocationFailure;

namespace {

// Two scenes and a subtree "Arm" (in the first scene, or in none). The
// subtree's meshes use a material and a texture the first scene's body uses
// too, others of their own, a texture with a clip, and a shape with a
// material of its own; the second scene's floor uses a material and a
// texture of its own before two of the subtree's.
struct World
{
    std::unique_ptr<KQoxSdkManager> mManager{KQoxSdkManager::CreateKQoxSdkManager()};
    KQoxScene& mFirst = *mManager->CreateKQoxScene();
    KQoxScene& mSecond = *mManager->CreateKQoxScene();
    KQoxNode* mArm = nullptr;
    std::vector<KQoxNode*> mNodes;             // every node made, roots first
    std::vector<KQoxLayerContainer*> mLayered; // every mesh and shape

    explicit World(bool armInFirst)
    {
        mNodes = {mFirst.GetRootNode(), mSecond.GetRootNode()};
        KQoxMaterial* skin = mManager->CreateKQoxMaterial("Skin");
        KQoxMaterial* metal = mManager->CreateKQoxMaterial("Metal");
        KQoxTexture* skinMap = Texture("SkinMap");
        KQoxTexture* rust = Texture("Rust");
        Mesh(mFirst.GetRootNode(), "Body", {skin}, {skinMap});
        mArm = Node(armInFirst ? mFirst.GetRootNode() : nullptr, "Arm");
        KQoxMesh* hand = Mesh(mArm, "Hand", {skin, metal}, {skinMap, rust});
        KQoxShape* fist = mManager->CreateKQoxShape();
        fist->AM(mManager->CreateKQoxMaterial("Gloss"), 0);
        hand->AddShape(fist, "Fist");
        mLayered.push_back(fist);
        Mesh(mNodes.back(), "Finger", {metal}, {});
        Mesh(mSecond.GetRootNode(), "Floor", {mManager->CreateKQoxMaterial("Stone"), metal}, {Texture("Moss"), rust});
    }

    KQoxTexture* Texture(const char* name)
    {
        KQoxTexture* texture = mManager->CreateKQoxTexture(name);
        const std::string file = std::string(name) + ".png";
        texture->SetFileName(file.c_str());
        ConnectVideoToNodeUsing(texture, file.c_str(), nullptr, "", name, mManager.get());
        return texture;
    }

    KQoxNode* Node(KQoxNode* parent, const char* name)
    {
        KQoxNode* node = mManager->CreateKQoxNode(name);
        if (parent)
            parent->AddChild(node);
        mNodes.push_back(node);
        return node;
    }

    KQoxMesh* Mesh(KQoxNode* parent, const char* name, const std::vector<KQoxMaterial*>& materials,
                   const std::vector<KQoxTexture*>& textures)
    {
        KQoxMesh* mesh = mManager->CreateKQoxMesh();
        for (KQoxMaterial* material : materials)
            mesh->AM(material, 0);
        for (KQoxTexture* texture : textures)
            mesh->AT(texture, 0);
        // Added as a child once it holds its geometry, as readers do.
        KQoxNode* node = mManager->CreateKQoxNode(name);
        node->SetNodeAttribute(mesh);
        parent->AddChild(node);
        mNodes.push_back(node);
        mLayered.push_back(mesh);
        return mesh;
    }

    std::string EntityName(const KQoxEntity* entity) const
    {
        return !entity                         ? "none"
               : entity == mFirst.GetEntity()  ? "first"
               : entity == mSecond.GetEntity() ? "second"
                                               : "other";
    }

    // The objects of one kind an entity lists, each with its use count: the
    // count is found by removing it until it goes, so this is the last look
    // at the entity.
    static std::string Counted(const char* kind, int count, KQoxObject* (KQoxEntity::*get)(int),
                               bool (KQoxEntity::*remove)(KQoxObject*), KQoxEntity& entity)
    {
        std::vector<KQoxObject*> objects;
        for (int i = 0; i < count; ++i)
            objects.push_back((entity.*get)(i));
        std::string text = std::string(" ") + kind + ":";
        for (KQoxObject* object : objects)
        {
            int uses = 1;
            while (!(entity.*remove)(object) && uses < 100)
                ++uses;
            text += std::string(" ") + object->GetName() + "x" + std::to_string(uses);
        }
        return text;
    }

    // Everything a move may change, compared as one text; it empties the
    // entities' lists of shading objects and clips.
    std::string Look()
    {
        std::string text;
        for (KQoxNode* node : mNodes)
            text += std::string(node->GetName()) + " in " + EntityName(node->GetEntity()) + "\n";
        for (size_t i = 0; i < mLayered.size(); ++i)
            text += "layers " + std::to_string(i) + " in " + EntityName(mLayered[i]->GetEntity()) + "\n";
        for (KQoxScene* scene : {&mFirst, &mSecond})
        {
            KQoxEntity& entity = *scene->GetEntity();
            text += EntityName(&entity) + ": root " +
                    (entity.GetRootNode() ? entity.GetRootNode()->GetName() : "none") + ", nodes";
            for (int i = 0; i < entity.GetNodeCount(); ++i)
                text += std::string(" ") + entity.GetNode(i)->GetName();
            text += Counted("materials", entity.GetMaterialCount(),
                            static_cast<KQoxObject* (KQoxEntity::*)(int)>(&KQoxEntity::GetMaterial),
                            &KQoxEntity::RemoveMaterial, entity);
            text += Counted("textures", entity.GetTextureCount(),
                            static_cast<KQoxObject* (KQoxEntity::*)(int)>(&KQoxEntity::GetTexture),
                            &KQoxEntity::RemoveTexture, entity);
            text += Counted("clips", entity.GetVideoCount(),
                            static_cast<KQoxObject* (KQoxEntity::*)(int)>(&KQoxEntity::GetVideo),
                            &KQoxEntity::RemoveVideo, entity);
            text += "\n";
        }
        return text;
    }
};

struct Move
{
    const char* mName;
    bool mArmInFirst; // else the subtree is in no entity
    bool mIntoSecond; // else out of any entity
    bool mReplace;
};

const Move kMoves[] = {
    {"a loose subtree into a scene", false, true, false},
    {"a subtree from one scene into another", true, true, false},
    {"a subtree out of its scene", true, false, false},
    {"a subtree in place of a scene's content", true, true, true},
    {"a loose subtree in place of a scene's content", false, true, true},
};

// The move with memory to spare: what the worlds look like before and after.
void Reference(const Move& move, std::string& before, std::string& after)
{
    World unmoved(move.mArmInFirst);
    before = unmoved.Look();
    World moved(move.mArmInFirst);
    ASSERT_TRUE(moved.mArm->SetEntity(move.mIntoSecond ? moved.mSecond.GetEntity() : nullptr, move.mReplace))
        << moved.mArm->GetLastErrorString();
    after = moved.Look();
    ASSERT_NE(before, after);
}

// The world made with nothing failing, then the move with allocations
// failing as armed; the outcome, what went wrong in text.
int MoveShortOfMemory(const Move& move, const std::string& before, const std::string& after, std::string& text)
{
    qoxtest::DisarmAllocations();
    World world(move.mArmInFirst);
    qoxtest::ResumeAllocations();
    int outcome = qoxtest::kWorkDone;
    try
    {
        if (!world.mArm->SetEntity(move.mIntoSecond ? world.mSecond.GetEntity() : nullptr, move.mReplace))
        {
            qoxtest::DisarmAllocations();
            text = std::string("failed with ") + world.mArm->GetLastErrorString();
            return qoxtest::kWorkFailed;
        }
    }
    catch (const std::bad_alloc&)
    {
        outcome = qoxtest::kWorkOutOfMemory;
    }
    catch (...)
    {
        text = "SetEntity threw another exception";
        return qoxtest::kWorkEscaped;
    }
    // The world goes with nothing failing: freeing is the teardown sweeps'.
    qoxtest::DisarmAllocations();
    const bool moved = outcome == qoxtest::kWorkDone;
    const std::string found = world.Look();
    if (found != (moved ? after : before))
    {
        text = (moved ? "moved, but " : "threw, but ") + qoxtest::FirstDifference(moved ? after : before, found);
        std::replace(text.begin(), text.end(), '\n', '/');
        outcome = qoxtest::kWorkFailed;
    }
    return outcome;
}

} // namespace

TEST(EntitiesOutOfMemory, SubtreeMovesWholeOrNotAtAll)
{
    QOX_SKIP_UNDER_THREAD_SANITIZER();
    for (const Move& move : kMoves)
    {
        SCOPED_TRACE(move.mName);
        std::string before, after;
        Reference(move, before, after);
        if (HasFatalFailure())
            return;
        for (AllocationFailure mode : {AllocationFailure::eOnlyAt, AllocationFailure::eFromOn})
        {
            const qoxtest::SweepOutcome outcome = qoxtest::SweepAllocations(
                [&](std::string& text) { return MoveShortOfMemory(move, before, after, text); }, mode);
            qoxtest::ExpectEveryRunEndsWell(outcome, move.mName);
        }
    }
}

namespace {

// A node one entity lists, listed by a second with allocations failing as
// armed, then destroyed: the outcome.
int ListAgainThenDestroy(std::string& text)
{
    qoxtest::DisarmAllocations();
    std::unique_ptr<KQoxSdkManager> manager(KQoxSdkManager::CreateKQoxSdkManager());
    KQoxEntity first(*manager), second(*manager);
    KQoxNode* node = manager->CreateKQoxNode("Shared");
    first.AddNode(node);
    qoxtest::ResumeAllocations();
    int outcome = qoxtest::kWorkDone;
    try
    {
        second.AddNode(node);
    }
    catch (const std::bad_alloc&)
    {
        outcome = qoxtest::kWorkOutOfMemory;
    }
    qoxtest::DisarmAllocations();
    const int listed = (second.GetNode(1) == node) + (second.GetNodeCount() == 2);
    if (listed != (outcome == qoxtest::kWorkDone ? 2 : 0) || second.GetNodeCount() > 2)
    {
        text = "the second entity lists " + std::to_string(second.GetNodeCount()) + " nodes";
        return qoxtest::kWorkFailed;
    }
    // Destroying the node takes it out of every entity that lists it.
    manager->DestroyKQoxNode(node, false);
    if (first.GetNodeCount() != 1 || second.GetNodeCount() != 1)
    {
        text = "the node destroyed is still listed";
        return qoxtest::kWorkFailed;
    }
    return outcome;
}

} // namespace

TEST(EntitiesOutOfMemory, NodeListedAgainShortOfMemoryIsDestroyedWhole)
{
    QOX_SKIP_UNDER_THREAD_SANITIZER();
    for (AllocationFailure mode : {AllocationFailure::eOnlyAt, AllocationFailure::eFromOn})
        qoxtest::ExpectEveryRunEndsWell(qoxtest::SweepAllocations(ListAgainThenDestroy, mode), "listed again");
}
