// Native writer: characters, their solver settings stored parameter by
// parameter under the parameter's name, and their links group by group.

#include "character/kqoxcharacter.h"
#include "character/kqoxfilterset.h"
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

} // namespace qoxsdk_600
