// Native writer: characters, their solver settings stored parameter by
// parameter under the parameter's name.

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
    mFile.FieldWriteBlockEnd();
    mFile.FieldWriteEnd();
}

} // namespace qoxsdk_600
