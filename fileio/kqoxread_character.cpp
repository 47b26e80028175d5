// Native reader: characters. The settings are kept as read and given to a
// new character of the scene once the whole read has succeeded.

#include <utility>
#include <vector>

#include "character/kqoxcharacter.h"
#include "character/kqoxcontrolset.h"
#include "character/kqoxcontrolsetplug.h"
#include "object/kpropertylist.h"
#include "scene/kqoxsdkmanager.h"
#include "scene/kqoxuserproperty.h"
#include "fileio/kqoxnative_private.h"
#include "fileio/kqoxreaderqox_private.h"

namespace qoxsdk_600 {

using namespace qoxnative;

void KQoxRead6::ReadCharacter()
{
    if (!mFile.FieldReadBegin(kCharacter))
        return;
    KQoxFileCharacter character;
    character.mName = mFile.FieldReadC();
    if (mFile.FieldReadBlockBegin())
    {
        // User properties and their values wait in a character of their own
        // (made only for a block that has some) until the scene's is made.
        if (mFile.FieldReadGetCount(kUserProperties) > 0)
        {
            KQoxCharacter* holder = new KQoxCharacter(mScene.mManager, "");
            character.mUserProperties.Hold(mScene.mManager, holder);
            ObjectHeader(*holder, holder->GetPropertyHandler());
        }
        if (mFile.FieldReadBegin(kFilterSet))
        {
            if (mFile.FieldReadBlockBegin())
            {
                while (Ok() && mFile.FieldReadBegin(kParam))
                {
                    KQoxFileCharacter::Param param;
                    param.mName = mFile.FieldReadC();
                    param.mMode = mFile.FieldReadI();
                    mFile.FieldReadD(); // the range: the parameter table's own
                    mFile.FieldReadD();
                    param.mValue = mFile.FieldReadD();
                    mFile.FieldReadEnd();
                    character.mParams.push_back(param);
                }
                mFile.FieldReadBlockEnd();
            }
            mFile.FieldReadEnd();
        }
        ReadCharacterLinks(character);
        ReadControlSet(character.mControlSet);
        mFile.FieldReadBlockEnd();
    }
    mFile.FieldReadEnd();
    if (Ok() && !character.mName.IsEmpty())
        mScene.mCharacters.push_back(std::move(character));
}

bool KQoxRead6::ReadCharacterLink(KQoxFileCharacter& character, int id)
{
    // One link per id.
    for (const KQoxFileCharacter::Link& read : character.mLinks)
        if (read.mId == id)
            return false;
    KQoxFileCharacter::Link link;
    link.mId = id;
    bool ok = true;
    link.mNode = NodeAt(mFile.FieldReadI(), ok);
    if (!ok || mFile.FieldReadGetRemain() < 13)
        return false;
    link.mTemplateName = mFile.FieldReadC();
    for (double& offset : link.mOffsets)
        offset = mFile.FieldReadD();
    character.mLinks.push_back(link);
    return true;
}

void KQoxRead6::ReadCharacterLinks(KQoxFileCharacter& character)
{
    if (!mFile.FieldReadBegin(kCharacterLinks))
        return;
    if (mFile.FieldReadBlockBegin())
    {
        while (Ok() && mFile.FieldReadBegin(kLinkGroup))
        {
            const int group = mFile.FieldReadI();
            const ECharacterGroupId groupId = static_cast<ECharacterGroupId>(group);
            bool ok = group >= 0 && group < CharacterGroupCount;
            if (ok && mFile.FieldReadBlockBegin())
            {
                // Links without a name take the group's positions in order.
                int unnamed = 0;
                while (ok && Ok() && mFile.FieldReadBegin(kCharacterLink))
                {
                    KString name(mFile.FieldReadC());
                    int index = -1;
                    if (name.IsEmpty())
                        index = unnamed++;
                    else
                    {
                        ECharacterGroupId found = groupId;
                        if (!KQoxCharacter::FindCharacterGroupIndexByName(name.ToChars(), false, found, index) ||
                            found != groupId)
                            index = -1;
                    }
                    ok = index >= 0 && index < KQoxCharacter::GetCharacterGroupCount(groupId) &&
                         ReadCharacterLink(character, KQoxCharacter::GetCharacterGroupElementByIndex(groupId, index));
                    mFile.FieldReadEnd();
                }
                mFile.FieldReadBlockEnd();
            }
            mFile.FieldReadEnd();
            if (!ok)
                mCorrupted = true;
        }
        for (const UngroupedCharacterLink& ungrouped : kUngroupedCharacterLinks)
            if (Ok() && mFile.FieldReadBegin(ungrouped.mField))
            {
                mFile.FieldReadC(); // no name: the field names the id
                if (!ReadCharacterLink(character, ungrouped.mId))
                    mCorrupted = true;
                mFile.FieldReadEnd();
            }
        mFile.FieldReadBlockEnd();
    }
    mFile.FieldReadEnd();
}

KQoxNode* KQoxRead6::NodeAt(int position, bool& ok)
{
    // Without the nodes read (the model option off) a position names no
    // node, and only its form can be checked.
    if (!mOptions.GetState(KStreamOptionsQox::eMODEL))
    {
        ok = ok && position >= -1;
        return nullptr;
    }
    if (position < -1 || position >= static_cast<int>(mNodes.size()))
    {
        ok = false;
        return nullptr;
    }
    return position < 0 ? nullptr : mNodes[static_cast<size_t>(position)];
}

void KQoxRead6::ReadControlSet(KQoxFileCharacter::ControlSet& set)
{
    if (!mFile.FieldReadBegin(kControlSet))
        return;
    bool ok = true;
    if (mFile.FieldReadBlockBegin())
    {
        set.mRead = true;
        // The type is carried as the file holds it.
        set.mType = mFile.FieldReadI(kControlSetType, 0);
        set.mUseAxis = mFile.FieldReadI(kUseAxis, 0) != 0;
        set.mLockTransform = mFile.FieldReadI(kLockTransform, 0) != 0;
        set.mLock3DPick = mFile.FieldReadI(kLock3DPick, 0) != 0;
        while (ok && Ok() && mFile.FieldReadBegin(kControlSetLink))
        {
            KQoxFileCharacter::ControlSet::Link link;
            link.mId = mFile.FieldReadI();
            link.mNode = NodeAt(mFile.FieldReadI(), ok);
            link.mTemplateName = mFile.FieldReadC();
            ok = ok && link.mId >= 0 && link.mId < kCharacterNodeIdCount && set.mLinks.size() < kCharacterNodeIdCount;
            set.mLinks.push_back(link);
            mFile.FieldReadEnd();
        }
        while (ok && Ok() && mFile.FieldReadBegin(kEffector))
        {
            KQoxFileCharacter::ControlSet::Effector effector;
            effector.mId = mFile.FieldReadI();
            effector.mNode = NodeAt(mFile.FieldReadI(), ok);
            ok = ok && effector.mId >= 0 && effector.mId < kEffectorNodeIdCount &&
                 set.mEffectors.size() < kEffectorNodeIdCount;
            const KQoxEffector fresh;
            const bool defaults[5] = {fresh.mShow, fresh.mTActive, fresh.mRActive, fresh.mCandidateTActive,
                                      fresh.mCandidateRActive};
            for (int f = 0; f < 5; ++f)
                effector.mFlags[f] = defaults[f];
            if (ok && mFile.FieldReadBlockBegin())
            {
                for (int f = 0; f < 5; ++f)
                    effector.mFlags[f] = mFile.FieldReadI(kEffectorFlags[f], defaults[f] ? 1 : 0) != 0;
                mFile.FieldReadBlockEnd();
            }
            set.mEffectors.push_back(effector);
            mFile.FieldReadEnd();
        }
        while (ok && Ok() && mFile.FieldReadBegin(kEffectorAux))
        {
            KQoxFileCharacter::ControlSet::Aux aux;
            aux.mId = mFile.FieldReadI();
            aux.mSet = mFile.FieldReadI();
            aux.mNode = NodeAt(mFile.FieldReadI(), ok);
            ok = ok && aux.mId >= 0 && aux.mId < kEffectorNodeIdCount && aux.mSet >= eFirstEffectorSet &&
                 aux.mSet <= eLastEffectorSet && set.mAux.size() < kEffectorNodeIdCount * kEffectorAuxSetCount;
            set.mAux.push_back(aux);
            mFile.FieldReadEnd();
        }
        mFile.FieldReadBlockEnd();
    }
    mFile.FieldReadEnd();
    if (!ok)
        mCorrupted = true;
}

void KQoxRead6::ReadControlSetPlug()
{
    if (!mFile.FieldReadBegin(kControlSetPlug))
        return;
    KQoxFilePlug plug;
    plug.mName = KQoxObject::RemovePrefix(mFile.FieldReadC());
    bool ok = true;
    if (mFile.FieldReadBlockBegin())
    {
        // The user properties and the property list go into a plug of its
        // own, kept until the scene makes its plug once the read has
        // succeeded (that plug takes the two values and the user
        // properties); its lists tell the names a list may have.
        KQoxControlSetPlug* holder = new KQoxControlSetPlug(mScene.mManager, "");
        plug.mUserProperties.Hold(mScene.mManager, holder);
        ObjectHeader(*holder, holder->GetProperties());
        plug.mUseAxis = holder->GetProperties()->UseAxisGet();
        plug.mType = holder->GetProperties()->ControlSetTypeGet();
        // Each list at most once, with at most as many nodes as it holds.
        while (ok && Ok() && mFile.FieldReadBegin(kPlugList))
        {
            KString name(mFile.FieldReadC());
            KPropertyObjectList* list = FindPlugList(*holder, name.ToChars());
            int capacity = 0, classId = 0;
            if (list)
                list->GetContentSpec(capacity, classId);
            ok = list != nullptr && mFile.FieldReadGetRemain() <= capacity;
            for (const auto& read : plug.mLists)
                ok = ok && read.first != name;
            std::vector<KQoxNode*> nodes;
            while (ok && mFile.FieldReadGetRemain() > 0)
            {
                KQoxNode* node = NodeAt(mFile.FieldReadI(), ok);
                // Without the nodes read, the list's entries name none.
                if (!mOptions.GetState(KStreamOptionsQox::eMODEL))
                    continue;
                ok = ok && node != nullptr;
                nodes.push_back(node);
            }
            plug.mLists.emplace_back(name, nodes);
            mFile.FieldReadEnd();
        }
        mFile.FieldReadBlockEnd();
    }
    mFile.FieldReadEnd();
    if (!ok)
        mCorrupted = true;
    else if (Ok())
        mScene.mPlugs.push_back(std::move(plug));
}

} // namespace qoxsdk_600
