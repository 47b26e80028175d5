// Native writer: characters, their solver settings stored parameter by
// parameter under the parameter's name, and their links group by group.

#include <algorithm>
#include <array>
#include <vector>

#include "character/kqoxcharacter.h"
#include "character/kqoxcontrolset.h"
#include "character/kqoxcontrolsetplug.h"
#include "character/kqoxfilterset.h"
#include "object/kpropertylist.h"
#include "scene/kqoxnode.h"
#include "scene/kqoxpropertyhandler.h"
#include "fileio/kqoxnative_private.h"
#include "fileio/writers/kqoxwriterqox6_private.h"

namespace qoxsdk_600 {

using namespace qoxnative;

void KQoxWrite6::WriteCharacter(const KQoxFileCharacter& character)
{
    if (!character.mCharacter)
        return;
    KQoxFilterSet* filterSet = character.mCharacter->GetFilterSet();
    mFile.FieldWriteBegin(kCharacter);
    mFile.FieldWriteC(character.mName.ToChars());
    mFile.FieldWriteBlockBegin();
    Int(kVersion, kCharacterVersion);
    // Its own properties follow its filter set; those added to it are
    // written with their values.
    UserProperties(*character.mCharacter);
    UserPropertyValues(*character.mCharacter);
    mFile.FieldWriteBegin(kFilterSet);
    mFile.FieldWriteBlockBegin();
    for (int i = 0; i < KQoxFilterSet::GetParameterCount(); ++i)
    {
        mFile.FieldWriteBegin(kParam);
        mFile.FieldWriteC(KQoxFilterSet::GetParameterName(i));
        mFile.FieldWriteI(filterSet->GetParameterMode(i));
        mFile.FieldWriteD(KQoxFilterSet::GetParameterMinValue(i));
        mFile.FieldWriteD(KQoxFilterSet::GetParameterMaxValue(i));
        mFile.FieldWriteD(filterSet->GetParameterValue(i));
        mFile.FieldWriteEnd();
    }
    mFile.FieldWriteBlockEnd();
    mFile.FieldWriteEnd();
    WriteCharacterLinks(*character.mCharacter);
    WriteControlSet(*character.mCharacter->GetControlSet());
    mFile.FieldWriteBlockEnd();
    mFile.FieldWriteEnd();
}

void KQoxWrite6::WriteCharacterLink(const char* field, const char* name, const KQoxCharacterLink& link)
{
    auto node = mNodeIndex.find(link.mNode);
    mFile.FieldWriteBegin(field);
    mFile.FieldWriteC(name);
    mFile.FieldWriteI(node == mNodeIndex.end() ? -1 : node->second);
    mFile.FieldWriteC(link.mTemplateName.ToChars());
    for (const KQoxVector4* v : {&link.mOffsetT, &link.mOffsetR, &link.mOffsetS})
        for (int k = 0; k < 4; ++k)
            mFile.FieldWriteD((*v)[k]);
    mFile.FieldWriteEnd();
}

void KQoxWrite6::WriteCharacterLinks(KQoxCharacter& character)
{
    KQoxCharacterLink link;
    mFile.FieldWriteBegin(kCharacterLinks);
    mFile.FieldWriteBlockBegin();
    for (int group = 0; group < CharacterGroupCount; ++group)
    {
        const ECharacterGroupId id = static_cast<ECharacterGroupId>(group);
        bool opened = false;
        for (int i = 0; i < KQoxCharacter::GetCharacterGroupCount(id); ++i)
        {
            if (!character.GetCharacterLink(KQoxCharacter::GetCharacterGroupElementByIndex(id, i), &link))
                continue;
            if (!opened)
            {
                mFile.FieldWriteBegin(kLinkGroup);
                mFile.FieldWriteI(group);
                mFile.FieldWriteBlockBegin();
                opened = true;
            }
            WriteCharacterLink(kCharacterLink, KQoxCharacter::GetCharacterGroupNameByIndex(id, i), link);
        }
        if (opened)
        {
            mFile.FieldWriteBlockEnd();
            mFile.FieldWriteEnd();
        }
    }
    for (const UngroupedCharacterLink& ungrouped : kUngroupedCharacterLinks)
        if (character.GetCharacterLink(static_cast<ECharacterNodeId>(ungrouped.mId), &link))
            WriteCharacterLink(ungrouped.mField, "", link);
    mFile.FieldWriteBlockEnd();
    mFile.FieldWriteEnd();
}

void KQoxWrite6::WriteControlSet(KQoxControlSet& set)
{
    auto position = [this](KQoxNode* node) {
        auto found = mNodeIndex.find(node);
        return found == mNodeIndex.end() ? -1 : found->second;
    };
    mFile.FieldWriteBegin(kControlSet);
    mFile.FieldWriteBlockBegin();
    Int(kControlSetType, set.GetType());
    Int(kUseAxis, set.GetUseAxis() ? 1 : 0);
    Int(kLockTransform, set.GetLockTransform() ? 1 : 0);
    Int(kLock3DPick, set.GetLock3DPick() ? 1 : 0);
    KQoxControlSetLink link;
    for (int id = 0; id < kCharacterNodeIdCount; ++id)
        if (set.GetControlSetLink(static_cast<ECharacterNodeId>(id), &link))
        {
            mFile.FieldWriteBegin(kControlSetLink);
            mFile.FieldWriteI(id);
            mFile.FieldWriteI(position(link.mNode));
            mFile.FieldWriteC(link.mTemplateName.ToChars());
            mFile.FieldWriteEnd();
        }
    // An effector without a node holds either the flags a new control set
    // gives it, or, once set without a node, those of a fresh effector: only
    // the second is written (the reader sets it without a node again).
    const KQoxControlSet initial;
    auto flagsOf = [](const KQoxEffector& effector) {
        return std::array<bool, 5>{effector.mShow, effector.mTActive, effector.mRActive, effector.mCandidateTActive,
                                   effector.mCandidateRActive};
    };
    const std::array<bool, 5> fresh = flagsOf(KQoxEffector());
    for (int id = 0; id < kEffectorNodeIdCount; ++id)
    {
        KQoxEffector effector, first;
        if (!set.GetEffectorSlot(static_cast<EEffectorNodeId>(id), &effector) ||
            !initial.GetEffectorSlot(static_cast<EEffectorNodeId>(id), &first))
            continue;
        const std::array<bool, 5> flags = flagsOf(effector);
        if (!effector.mNode && (flags != fresh || flags == flagsOf(first)))
            continue;
        mFile.FieldWriteBegin(kEffector);
        mFile.FieldWriteI(id);
        mFile.FieldWriteI(position(effector.mNode));
        mFile.FieldWriteBlockBegin();
        for (int f = 0; f < 5; ++f)
            Int(kEffectorFlags[f], flags[f] ? 1 : 0);
        mFile.FieldWriteBlockEnd();
        mFile.FieldWriteEnd();
        for (int aux = eFirstEffectorSet; aux <= eLastEffectorSet; ++aux)
        {
            KQoxNode* node = nullptr;
            if (!set.GetEffectorAux(static_cast<EEffectorNodeId>(id), &node, static_cast<EEffectorSetId>(aux)) || !node)
                continue;
            mFile.FieldWriteBegin(kEffectorAux);
            mFile.FieldWriteI(id);
            mFile.FieldWriteI(aux);
            mFile.FieldWriteI(position(node));
            mFile.FieldWriteEnd();
        }
    }
    mFile.FieldWriteBlockEnd();
    mFile.FieldWriteEnd();
}

void KQoxWrite6::WriteControlSetPlug(KQoxControlSetPlug& plug)
{
    KQoxControlSetPlugProperties* properties = plug.GetProperties();
    mFile.FieldWriteBegin(kControlSetPlug);
    mFile.FieldWriteC(plug.GetName());
    mFile.FieldWriteC(kControlSetPlug);
    mFile.FieldWriteBlockBegin();
    ObjectHeader(plug, properties, kControlSetPlugVersion);
    auto writeList = [this](KPropertyObjectList* list) {
        std::vector<int> nodes;
        for (int i = 0; i < list->GetCount(); ++i)
        {
            KQoxPropertyHandler* handler = dynamic_cast<KQoxPropertyHandler*>(list->GetAt(i));
            KQoxNode* node = handler ? dynamic_cast<KQoxNode*>(handler->GetKQoxObject()) : nullptr;
            auto found = mNodeIndex.find(node);
            if (found != mNodeIndex.end())
                nodes.push_back(found->second);
        }
        if (nodes.empty())
            return;
        mFile.FieldWriteBegin(kPlugList);
        mFile.FieldWriteC(list->GetPropertyName());
        for (int node : nodes)
            mFile.FieldWriteI(node);
        mFile.FieldWriteEnd();
    };
    for (int i = 0; i < properties->GetLinkListCount(); ++i)
        writeList(properties->GetLinkList(i));
    for (int i = 0; i < properties->GetEffectorListCount(); ++i)
        writeList(properties->GetEffectorList(i));
    mFile.FieldWriteBlockEnd();
    mFile.FieldWriteEnd();
}

} // namespace qoxsdk_600
