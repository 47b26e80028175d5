// Shared set-up of the control-set tests: a manager per test, nodes made
// through it, and the node-destruction hook bound to standalone control sets.
#ifndef QOX_TESTS_CHARACTER_CHARACTER_TEST_UTIL_H
#define QOX_TESTS_CHARACTER_CHARACTER_TEST_UTIL_H

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "character/kqoxcontrolset.h"
#include "scene/kqoxnode.h"
#include "scene/kqoxsdkmanager.h"

namespace chartest {

using namespace qoxsdk_600;

// A control set stands alone here: its own address is the character identity
// its records carry, so the hook can find it again.
inline KQoxCharacter* Identity(KQoxControlSet& set)
{
    return reinterpret_cast<KQoxCharacter*>(&set);
}

inline void ClearInControlSet(KQoxCharacter* character, int type, int index, int subIndex, KQoxNode* node)
{
    reinterpret_cast<KQoxControlSet*>(character)->ClearNodeReference(type, index, subIndex, node);
}

inline std::unique_ptr<KQoxControlSet> MakeControlSet()
{
    std::unique_ptr<KQoxControlSet> set(new KQoxControlSet);
    set->SetCharacter(Identity(*set));
    return set;
}

inline KQoxControlSetLink Link(KQoxNode* node, const char* templateName = "")
{
    KQoxControlSetLink link;
    link.mNode = node;
    link.mTemplateName = templateName;
    return link;
}

inline KQoxEffector Effector(KQoxNode* node)
{
    KQoxEffector effector;
    effector.mNode = node;
    effector.mRActive = effector.mCandidateTActive = true;
    return effector;
}

// Ids from plain ints.
template <class E>
struct As
{
    E operator()(int value) const { return static_cast<E>(value); }
};
const As<ECharacterNodeId> Id;
const As<EEffectorNodeId> Eff;
const As<EEffectorSetId> Set;

class ControlSetTest : public ::testing::Test
{
protected:
    ControlSetTest()
        : mManager(new KQoxSdkManager)
    {
        KQoxNode::SetCharacterLinkClearFunction(ClearInControlSet);
    }
    ~ControlSetTest() override { KQoxNode::SetCharacterLinkClearFunction(nullptr); }

    KQoxNode* Node(const std::string& name) { return mManager->CreateKQoxNode(name.c_str()); }
    void Destroy(KQoxNode* node) { ASSERT_TRUE(mManager->DestroyKQoxNode(node)); }

    // The records a node holds for a control set, of one kind or all.
    static int Records(KQoxNode* node, KQoxControlSet& set, int type = -1)
    {
        int count = 0;
        for (int i = 0; i < node->GetCharacterLinkCount(); ++i)
        {
            KQoxCharacter* character = nullptr;
            int t = 0, index = 0, sub = 0;
            node->GetCharacterLink(i, &character, &t, &index, &sub);
            count += character == Identity(set) && (type < 0 || t == type);
        }
        return count;
    }

    std::unique_ptr<KQoxSdkManager> mManager;
};

} // namespace chartest

#endif
