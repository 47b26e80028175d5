// Shared set-up of the character tests: a manager with one scene, characters
// made by the scene, nodes made through the manager, and the records that
// nodes hold.
#ifndef QOX_TESTS_CHARACTER_CHARACTER_FIXTURE_H
#define QOX_TESTS_CHARACTER_CHARACTER_FIXTURE_H

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "character/kqoxcharacter.h"
#include "character/kqoxcharacterproperties.h"
#include "character/kqoxcontrolset.h"
#include "character/kqoxfilterset.h"
#include "scene/kqoxnode.h"
#include "scene/kqoxscene.h"
#include "scene/kqoxsdkmanager.h"

namespace chartest {

using namespace qoxsdk_600;

inline ECharacterNodeId NodeId(int id)
{
    return static_cast<ECharacterNodeId>(id);
}

inline KQoxCharacterLink CharLink(KQoxNode* node, const char* templateName = "")
{
    KQoxCharacterLink link;
    link.mNode = node;
    link.mTemplateName = templateName;
    return link;
}

class CharacterTest : public ::testing::Test
{
protected:
    CharacterTest()
        : mManager(new KQoxSdkManager)
        , mScene(mManager->CreateKQoxScene())
    {}
    ~CharacterTest() override { mManager->DestroyKQoxScene(mScene, true); }

    KQoxCharacter* NewCharacter(const char* name = "Hero")
    {
        return mScene->GetCharacter(mScene->CreateCharacter(name));
    }
    // A node of the manager, below parent when one is given (the scene's
    // root puts it in the scene).
    KQoxNode* Node(const std::string& name, KQoxNode* parent = nullptr)
    {
        KQoxNode* node = mManager->CreateKQoxNode(name.c_str());
        if (parent)
            parent->AddChild(node);
        return node;
    }
    // The records of a kind that a node holds for a character.
    static int Records(KQoxNode* node, KQoxCharacter* character, int type = -1)
    {
        int count = 0;
        for (int i = 0; i < node->GetCharacterLinkCount(); ++i)
        {
            KQoxCharacter* owner = nullptr;
            int t = 0, index = 0, sub = 0;
            node->GetCharacterLink(i, &owner, &t, &index, &sub);
            count += owner == character && (type < 0 || t == type);
        }
        return count;
    }
    static KPropertyObjectList* LinkProperty(KQoxCharacter* character, int id)
    {
        return character->GetProperties()->GetNodeLinkProperty(id);
    }

    std::unique_ptr<KQoxSdkManager> mManager;
    KQoxScene* mScene;
};

} // namespace chartest

#endif
