#include "plugin/qoxzeltuserparams.h"

#include <memory>
#include <new>

#include "base/kconfigfile.h"
#include "base/kpath.h"
#include "host/zbase.h"

using namespace qoxsdk_600;

const char* const QoxZeltUserParams::kFileName = "registry.txt";
const char* const QoxZeltUserParams::kSectionName = "UserParams";

namespace {

struct ZeltEntry
{
    const char* mName;
    const char* mValue;
};

// Entries 51 to 60, all booleans.
const ZeltEntry kZeltEntries[] = {
    {"kImportShowUI", "true"},
    {"kImportForceWeightNormalize", "true"},
    {"kImportDeformNullsAsJoints", "false"},
    {"kImportHardEdges", "false"},
    {"kProtectDrivenKeys", "false"},
    {"kSetLockedAttrib", "false"},
    {"kExportShowUI", "true"},
    {"kExportSelectionOnly", "false"},
    {"kExportHardEdges", "false"},
    {"kExportBypassRrsInheritance", "false"},
};

std::unique_ptr<QoxZeltUserParams>& Shared()
{
    static std::unique_ptr<QoxZeltUserParams> instance;
    return instance;
}

// Without a configuration folder (none of the user's own could be had) the
// settings live in memory only: a file name alone would be the working
// folder's.
bool HasSettingsFolder()
{
    const char* directory = KLib_GetConfigDirectory();
    return directory && *directory;
}

} // namespace

QoxZeltUserParams& QoxZeltUserParams::Instance()
{
    std::unique_ptr<QoxZeltUserParams>& shared = Shared();
    if (!shared)
    {
        shared.reset(new QoxZeltUserParams);
        shared->Load();
    }
    return *shared;
}

void QoxZeltUserParams::ReleaseInstance()
{
    Shared().reset();
}

QoxZeltUserParams::QoxZeltUserParams()
{
    AppendZeltEntries();
}

QoxZeltUserParams::~QoxZeltUserParams()
{
    // Saving needs memory; without it the settings stay as last saved, and
    // the destruction (at the plug-in's unloading, or at exit) goes on.
    try
    {
        SaveChecked();
    }
    catch (const std::bad_alloc&)
    {}
}

void QoxZeltUserParams::AppendZeltEntries()
{
    KArrayTemplate<KQoxUserParamEntry*> list;
    std::vector<KQoxUserParamEntry> entries;
    entries.reserve(sizeof(kZeltEntries) / sizeof(kZeltEntries[0]));
    for (const ZeltEntry& e : kZeltEntries)
        entries.push_back(KQoxUserParamEntry{KString(e.mName), eBOOL, KString(e.mValue)});
    for (KQoxUserParamEntry& entry : entries)
        list.Add(&entry);
    AddUserParams(list);
}

void QoxZeltUserParams::Reset()
{
    KQoxUserParams::Reset();
    AppendZeltEntries();
}

void QoxZeltUserParams::Load()
{
    if (!HasSettingsFolder())
        return;
    KConfigFile file(kFileName, KLib_GetConfigDirectory());
    KQoxUserParams::Load(file, kSectionName);
    for (int index = kImportShowUI; index < kZeltParamCount; ++index)
    {
        KQoxUserParamEntry* entry = Entry(index);
        if (!entry)
            continue;
        if (const char* value = file.Get(kSectionName, entry->mName.ToChars(), nullptr))
            entry->mValue = value;
    }
}

void QoxZeltUserParams::Save()
{
    SaveChecked();
}

bool QoxZeltUserParams::SaveChecked()
{
    if (!HasSettingsFolder())
        return false;
    KConfigFile file(kFileName, KLib_GetConfigDirectory());
    KQoxUserParams::Save(file, kSectionName);
    bool ok = true;
    for (int index = kImportShowUI; index < kZeltParamCount; ++index)
        if (const KQoxUserParamEntry* entry = Entry(index))
            ok = file.Set(kSectionName, entry->mName.ToChars(), entry->mValue.ToChars(), nullptr) && ok;
    return ok;
}

int QoxZeltUserParams::GetImportType() const
{
    return StringToLoadMode(GetStringParam(kImportLoadMode));
}

KQoxUserParams::ESysUnits QoxZeltUserParams::GetSystemUnitInfo() const
{
    switch (ZDistance::uiUnit())
    {
    case ZDistance::kInches: return eINCH;
    case ZDistance::kFeet: return eFEET;
    case ZDistance::kYards: return eYARD;
    case ZDistance::kMiles: return eMILE;
    case ZDistance::kMillimeters: return eMILLIMETER;
    case ZDistance::kCentimeters: return eCENTIMETER;
    case ZDistance::kKilometers: return eKILOMETER;
    case ZDistance::kMeters: return eMETER;
    default: return eUNIT;
    }
}

double QoxZeltUserParams::GetSystemScale(ESysUnits) const
{
    return 1.0;
}
