#include "scene/kqoxuserparams.h"

#include <cfloat>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <memory>
#include <new>

#include "base/kconfigfile.h"
#include "base/knumbertext.h"
#include "scene/kqoxuserparams_private.h"

namespace qoxsdk_600 {

namespace {
const char* const kTrueText = "true";
const char* const kFalseText = "false";

// The double narrowed to single precision; beyond the float range the
// result is an infinity of the value's sign rather than undefined.
float NarrowToFloat(double value)
{
    if (std::isnan(value))
        return std::numeric_limits<float>::quiet_NaN();
    if (value > static_cast<double>(FLT_MAX))
        return std::numeric_limits<float>::infinity();
    if (value < -static_cast<double>(FLT_MAX))
        return -std::numeric_limits<float>::infinity();
    return static_cast<float>(value);
}
} // namespace

KQoxUserParams::KQoxUserParams()
{
    try
    {
        KQoxUserParams::Reset();
    }
    catch (...)
    {
        ClearEntries();
        throw;
    }
}

KQoxUserParams::~KQoxUserParams()
{
    ClearEntries();
}

void KQoxUserParams::ClearEntries()
{
    for (int i = 0; i < mEntries.GetCount(); ++i)
        delete mEntries[i];
    mEntries.Clear();
}

void KQoxUserParams::AppendEntry(const char* name, int type, const char* value)
{
    // An entry whose texts or slot cannot be had is not kept in part.
    std::unique_ptr<KQoxUserParamEntry> entry(new KQoxUserParamEntry);
    entry->mName = name;
    entry->mType = type;
    entry->mValue = value;
    if (!entry->mName.IsOK() || !entry->mValue.IsOK() || mEntries.Add(entry.get()) < 0)
        throw std::bad_alloc();
    entry.release();
}

void KQoxUserParams::Reset()
{
    ClearEntries();
    for (const KQoxUserParamDefault& row : kUserParamDefaults)
        AppendEntry(row.mKey, row.mType, row.mReset);
}

void KQoxUserParams::ResetExport()
{
    for (int index = kExportResetFirst; index <= kExportResetLast; ++index)
        if (KQoxUserParamEntry* entry = Entry(static_cast<unsigned int>(index)))
            entry->mValue = kUserParamDefaults[index].mSideReset;
}

void KQoxUserParams::ResetImport()
{
    for (int index : kImportResetOrder)
        if (KQoxUserParamEntry* entry = Entry(static_cast<unsigned int>(index)))
            entry->mValue = kUserParamDefaults[index].mSideReset;
}

KQoxUserParamEntry* KQoxUserParams::Entry(unsigned int index)
{
    if (index >= static_cast<unsigned int>(mEntries.GetCount()))
        return nullptr;
    return mEntries[static_cast<int>(index)];
}

const KQoxUserParamEntry* KQoxUserParams::Entry(unsigned int index) const
{
    if (index >= static_cast<unsigned int>(mEntries.GetCount()))
        return nullptr;
    return mEntries[static_cast<int>(index)];
}

// Typed access -------------------------------------------------------------------

bool KQoxUserParams::GetBoolParam(unsigned int index) const
{
    const KQoxUserParamEntry* entry = Entry(index);
    return entry && GetBool(entry->mValue.ToChars());
}

double KQoxUserParams::GetDoubleParam(unsigned int index) const
{
    const KQoxUserParamEntry* entry = Entry(index);
    return entry ? GetDouble(entry->mValue.ToChars()) : 0.0;
}

KString KQoxUserParams::GetStringParam(unsigned int index) const
{
    const KQoxUserParamEntry* entry = Entry(index);
    return entry ? entry->mValue : KString("");
}

void KQoxUserParams::SetBoolParam(unsigned int index, bool value)
{
    if (KQoxUserParamEntry* entry = Entry(index))
        GetString(value, entry->mValue);
}

void KQoxUserParams::SetDoubleParam(unsigned int index, double value)
{
    if (KQoxUserParamEntry* entry = Entry(index))
        GetString(value, entry->mValue);
}

void KQoxUserParams::SetStringParam(unsigned int index, KString value)
{
    if (KQoxUserParamEntry* entry = Entry(index))
        entry->mValue = value;
}

bool KQoxUserParams::GetBool(const char* text) const
{
    return text && strcmp(text, kTrueText) == 0;
}

double KQoxUserParams::GetDouble(const char* text) const
{
    return KTextToDouble(text);
}

KString& KQoxUserParams::GetString(bool value, KString& text) const
{
    text = value ? kTrueText : kFalseText;
    return text;
}

KString& KQoxUserParams::GetString(double value, KString& text) const
{
    text = KString(NarrowToFloat(value));
    return text;
}

// Sides ----------------------------------------------------------------------------

KString KQoxUserParams::GetMasterUnitStr(bool import) const
{
    return GetStringParam(import ? kImportMasterUnitStr : kExportMasterUnitStr);
}

double KQoxUserParams::GetMasterScale(bool import) const
{
    return GetDoubleParam(import ? kImportMasterScale : kExportMasterScale);
}

void KQoxUserParams::SetMasterScale(double scale, bool import)
{
    SetDoubleParam(import ? kImportMasterScale : kExportMasterScale, scale);
}

double KQoxUserParams::GetResamplingRate(bool import) const
{
    return GetDoubleParam(import ? kImportSamplingRate : kExportSamplingRate);
}

void KQoxUserParams::SetResamplingRate(double rate, bool import)
{
    SetDoubleParam(import ? kImportSamplingRate : kExportSamplingRate, rate);
}

// Persistence --------------------------------------------------------------------------

void KQoxUserParams::Load(KConfigFile& file, const char* section)
{
    for (int index : kPersistOrder)
    {
        KQoxUserParamEntry* entry = Entry(static_cast<unsigned int>(index));
        if (!entry)
            continue;
        if (const char* value = file.Get(section, entry->mName.ToChars(), nullptr))
        {
            entry->mValue = value;
            if (!entry->mValue.IsOK())
                throw std::bad_alloc();
        }
    }
}

void KQoxUserParams::Save(KConfigFile& file, const char* section) const
{
    for (int index : kPersistOrder)
        if (const KQoxUserParamEntry* entry = Entry(static_cast<unsigned int>(index)))
            file.Set(section, entry->mName.ToChars(), entry->mValue.ToChars(), nullptr);
}

void KQoxUserParams::AddUserParams(const KArrayTemplate<KQoxUserParamEntry*>& list)
{
    for (int i = 0; i < list.GetCount(); ++i)
        if (const KQoxUserParamEntry* entry = list[i])
            AppendEntry(entry->mName.ToChars(), entry->mType, entry->mValue.ToChars());
}

// Load mode and master scale ------------------------------------------------------------

KString KQoxUserParams::LoadModeToString(ELoadMode mode) const
{
    if (mode < eEXCLUSIVE_MERGE || mode > eCREATE)
        return KString("");
    return KString(kLoadModeTexts[mode]);
}

KQoxUserParams::ELoadMode KQoxUserParams::StringToLoadMode(const KString& text) const
{
    for (int mode = eEXCLUSIVE_MERGE; mode <= eCREATE; ++mode)
        if (text.Compare(kLoadModeTexts[mode]) == 0)
            return static_cast<ELoadMode>(mode);
    return eMERGE;
}

void KQoxUserParams::ComputeMasterScale(bool destination, bool textOnly)
{
    double scale = 1.0;
    const ESysUnits unit = GetSystemUnitInfo();
    const bool known = static_cast<unsigned int>(unit) < static_cast<unsigned int>(kMasterUnitCount);
    if (destination)
    {
        if (known)
        {
            SetStringParam(kImportMasterUnitStr, KString(kDestinationUnits[unit].mText));
            scale = kDestinationUnits[unit].mFactor;
        }
    }
    else
    {
        scale = GetSystemScale(unit);
        if (known)
        {
            SetStringParam(kExportMasterUnitStr, KString(kSourceUnits[unit].mText));
            scale *= kSourceUnits[unit].mFactor;
        }
    }
    if (!textOnly)
        SetDoubleParam(destination ? kImportMasterScale : kExportMasterScale, scale);
}

} // namespace qoxsdk_600
