#include "character/kqoxfilterset.h"

#include "character/kcharacterenums.h"
#include "character/kfiltersetinfo.h"

namespace qoxsdk_600 {

namespace {

// The table entry of a parameter, or null outside the table.
const KFilterParamInfo* ParamInfo(int index)
{
    const KFilterSetInfo* info = GetFilterSetInfo();
    return (index >= 0 && index < info->mCount) ? &info->mParams[index] : nullptr;
}

// One field of a parameter's table entry; zero outside the table.
template <typename T>
T ParamField(int index, T KFilterParamInfo::*field)
{
    const KFilterParamInfo* param = ParamInfo(index);
    return param ? param->*field : T();
}

// Highest mode a mode type accepts; -1 when it accepts none.
int HighestMode(int modeType)
{
    switch (modeType)
    {
    case eFilterModeSwitch: return 1;
    case eFilterModeOffAutoUser: return 2;
    case eFilterModeAutoUser: return 1;
    default: return -1;
    }
}

// The factor of a parameter without a factor.
const double kNoFactor = -1.0;

} // namespace

// ---------------------------------------------------------------------------
// Per-instance state and automatic rules

KFilterSetBase::KFilterSetBase()
    : mInfo(GetFilterSetInfo())
    , mCount(mInfo->mCount)
    , mParamStates(new KParamState[mInfo->mCount > 0 ? mInfo->mCount : 1])
{
    for (int i = 0; i < mCount; ++i)
    {
        mParamStates[i].mMode = mInfo->mParams[i].mDefaultMode;
        mParamStates[i].mValue = mInfo->mParams[i].mDefaultValue;
    }
}

KFilterSetBase::~KFilterSetBase() {}

KFilterSetBase::KParamState* KFilterSetBase::GetState(int index)
{
    return (index >= 0 && index < mCount) ? &mParamStates[index] : nullptr;
}

const KFilterSetBase::KParamState* KFilterSetBase::GetState(int index) const
{
    return (index >= 0 && index < mCount) ? &mParamStates[index] : nullptr;
}

bool KFilterSetBase::IsParamAuto(int index) const
{
    const KParamState* state = GetState(index);
    if (!state)
        return false;
    switch (mInfo->mParams[index].mModeType)
    {
    case eFilterModeOffAutoUser: return state->mMode == eCharacterOffAutoUserAuto;
    case eFilterModeAutoUser: return state->mMode == eCharacterAutoUserAuto;
    default: return false;
    }
}

double KFilterSetBase::GetParamFact(int index) const
{
    const KParamState* state = GetState(index);
    if (!state)
        return kNoFactor;
    const KFilterParamInfo& param = mInfo->mParams[index];
    if (IsParamAuto(index))
    {
        // Governing parameters always come before the ones they govern, so
        // the walk up the chain ends.
        if (param.mParentIndex < 0 || param.mParentIndex >= index)
            return kNoFactor;
        const double factor = GetParamFact(param.mParentIndex);
        return param.mInvert ? 1.0 - factor : factor;
    }
    if (param.mUnit == eFilterUnitPercent)
        return state->mValue / 100.0;
    return kNoFactor;
}

void KFilterSetBase::AutomaticParamSetup()
{
    for (int i = 0; i < mCount; ++i)
    {
        const KFilterParamInfo& param = mInfo->mParams[i];
        if (param.mUnit == eFilterUnitNone || !IsParamAuto(i))
            continue;
        const double factor = GetParamFact(i);
        mParamStates[i].mValue =
            factor >= 0.0 ? param.mMinValue + factor * (param.mMaxValue - param.mMinValue) : param.mDefaultValue;
    }
}

bool KFilterSetBase::IsParamActive(int index) const
{
    if (index == -1)
        return true;
    const KParamState* state = GetState(index);
    if (!state)
        return false;
    const KFilterParamInfo& param = mInfo->mParams[index];
    // A governing parameter precedes what it governs; anything else counts
    // as no governing parameter.
    const int parent = param.mParentIndex < index ? param.mParentIndex : -1;
    switch (param.mModeType)
    {
    case eFilterModeSwitch:
    case eFilterModeOffAutoUser: return state->mMode != 0 && IsParamActive(parent);
    case eFilterModeAutoUser: return IsParamActive(parent);
    default: return true;
    }
}

void KFilterSetBase::Copy(KFilterSetBase* source)
{
    if (!source || source == this)
        return;
    for (int i = 0; i < mCount && i < source->mCount; ++i)
        mParamStates[i] = source->mParamStates[i];
}

// ---------------------------------------------------------------------------
// Filter set

KQoxFilterSet::KQoxFilterSet()
    : mFilterSetBase(new KFilterSetBase)
{}

KQoxFilterSet::~KQoxFilterSet() {}

void KQoxFilterSet::Reset()
{
    mFilterSetBase.reset(new KFilterSetBase);
}

int KQoxFilterSet::GetParameterCount()
{
    return kFilterParamCount;
}

char* KQoxFilterSet::GetParameterName(int index)
{
    const KFilterParamInfo* param = ParamInfo(index);
    return param ? const_cast<char*>(param->mName) : nullptr;
}

int KQoxFilterSet::GetParameterIndex(const char* name)
{
    return GetFilterSetInfo()->ParamIndexByName(name);
}

int KQoxFilterSet::GetParameterModeType(int index)
{
    return ParamField(index, &KFilterParamInfo::mModeType);
}

int KQoxFilterSet::GetParameterDefaultMode(int index)
{
    return ParamField(index, &KFilterParamInfo::mDefaultMode);
}

int KQoxFilterSet::GetParameterValueType(int index)
{
    return ParamField(index, &KFilterParamInfo::mValueType);
}

int KQoxFilterSet::GetParameterUnit(int index)
{
    return ParamField(index, &KFilterParamInfo::mUnit);
}

double KQoxFilterSet::GetParameterDefaultValue(int index)
{
    return ParamField(index, &KFilterParamInfo::mDefaultValue);
}

double KQoxFilterSet::GetParameterMinValue(int index)
{
    return ParamField(index, &KFilterParamInfo::mMinValue);
}

double KQoxFilterSet::GetParameterMaxValue(int index)
{
    return ParamField(index, &KFilterParamInfo::mMaxValue);
}

void KQoxFilterSet::SetParameterMode(int index, int mode)
{
    KFilterSetBase::KParamState* state = mFilterSetBase->GetState(index);
    if (state && mode >= 0 && mode <= HighestMode(GetParameterModeType(index)))
        state->mMode = mode;
}

int KQoxFilterSet::GetParameterMode(int index) const
{
    const KFilterSetBase::KParamState* state = mFilterSetBase->GetState(index);
    return state ? state->mMode : 0;
}

void KQoxFilterSet::SetParameterValue(int index, double value, int)
{
    if (KFilterSetBase::KParamState* state = mFilterSetBase->GetState(index))
        state->mValue = value;
}

double KQoxFilterSet::GetParameterValue(int index, int) const
{
    const KFilterSetBase::KParamState* state = mFilterSetBase->GetState(index);
    return state ? state->mValue : 0.0;
}

} // namespace qoxsdk_600
