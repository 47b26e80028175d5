// Native reader: characters. The settings are kept as read and given to a
// new character of the scene once the whole read has succeeded.

#include "character/kqoxcharacter.h"
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
    const int node = mFile.FieldReadI();
    if (node < -1 || node >= static_cast<int>(mNodes.size()) || mFile.FieldReadGetRemain() < 13)
        return false;
    link.mNode = node < 0 ? nullptr : mNodes[static_cast<size_t>(node)];
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

} // namespace qoxsdk_600
