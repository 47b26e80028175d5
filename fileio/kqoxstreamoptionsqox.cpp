#include "fileio/kqoxstreamoptionsqox.h"

#include <cstring>

#include "fileio/kqoxio.h"

namespace qoxsdk_600 {

KStreamOptionsQox::KStreamOptionsQox()
{
    Reset();
}

void KStreamOptionsQox::Reset()
{
    KStreamOptions::Reset();
    for (bool& state : mStates)
        state = true;
    mTakeName = "";
    mPassword = "";
    mAllTakes = true;
    mSelectedTakes.clear();
}

bool KStreamOptionsQox::GetOption(int option) const
{
    return option >= 1 && option <= eSTATE_COUNT && mStates[option - 1];
}

void KStreamOptionsQox::SetOption(int option, bool on)
{
    if (option >= 1 && option <= eSTATE_COUNT)
        mStates[option - 1] = on;
}

bool KStreamOptionsQox::IsTakeSelected(const char* name) const
{
    if (mAllTakes)
        return true;
    for (const KString& take : mSelectedTakes)
        if (std::strcmp(take.ToChars(), name) == 0)
            return true;
    return false;
}

const KStreamOptionsQox* KStreamOptionsQox::ForTransfer(KQoxFileHandler& handler, KStreamOptions* options,
                                                        const KStreamOptionsQox& defaults, int notOpenCode,
                                                        int notSetCode)
{
    int failure = notOpenCode;
    if (handler.IsFileOpen())
    {
        const KStreamOptionsQox* qoxOptions = options ? dynamic_cast<KStreamOptionsQox*>(options) : &defaults;
        if (qoxOptions)
            return qoxOptions;
        failure = notSetCode;
    }
    handler.GetError().SetLastErrorID(failure);
    return nullptr;
}

} // namespace qoxsdk_600
