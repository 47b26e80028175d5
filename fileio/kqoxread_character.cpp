// Native reader: characters. The settings are kept as read and given to a
// new character of the scene once the whole read has succeeded.

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
        mFile.FieldReadBlockEnd();
    }
    mFile.FieldReadEnd();
    if (Ok() && !character.mName.IsEmpty())
        mScene.mCharacters.push_back(std::move(character));
}

} // namespace qoxsdk_600
