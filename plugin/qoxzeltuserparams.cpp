#include "plugin/qoxzeltuserparams.h"

#include <memory>
#include <new>
#include <vector>

#include "base/kconfigfile.h"
#include "base/kfilecause.h"
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
        // Kept once loaded whole; one that memory cuts short goes unsaved.
        std::unique_ptr<QoxZeltUserParams> made(new QoxZeltUserParams);
        made->Load();
        shared = std::move(made);
    }
    return *shared;
}

bool QoxZeltUserParams::ReleaseInstance(bool save, std::string* whyNotSaved)
{
    std::unique_ptr<QoxZeltUserParams>& shared = Shared();
    bool saved = true;
    if (shared && save && shared->mSaveAtEnd)
    {
        try
        {
            if (!shared->SaveChecked() && whyNotSaved)
                *whyNotSaved = shared->mNotSaved;
        }
        catch (const std::bad_alloc&)
        {
            saved = false;
        }
    }
    if (shared)
        shared->mSaveAtEnd = false;
    shared.reset();
    return saved;
}

QoxZeltUserParams::QoxZeltUserParams()
{
    AppendZeltEntries();
}

QoxZeltUserParams::~QoxZeltUserParams()
{
    // Saving needs memory; without it the settings stay as last saved, and
    // the destruction (at the plug-in's unloading, or at exit) goes on.
    if (!mSaveAtEnd)
        return;
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
        if (list.Add(&entry) < 0)
            throw std::bad_alloc();
    AddUserParams(list);
}

void QoxZeltUserParams::Reset()
{
    KQoxUserParams::Reset();
    AppendZeltEntries();
}

void QoxZeltUserParams::Load()
{
    // A load cut short leaves part of the file: that is not saved over it.
    mSaveAtEnd = false;
    mNotRead.clear();
    mLoadNotes.clear();
    if (HasSettingsFolder())
    {
        // The file read once, into memory.
        KConfigFile file(kFileName, true);
        mNotRead = file.WhyNotRead();
        NoteStrayLines(file);
        KQoxUserParams::Load(file, kSectionName);
        for (int index = kImportShowUI; index < kZeltParamCount; ++index)
        {
            KQoxUserParamEntry* entry = Entry(index);
            if (!entry)
                continue;
            if (const char* value = file.Get(kSectionName, entry->mName.ToChars(), nullptr))
            {
                entry->mValue = value;
                if (!entry->mValue.IsOK())
                    throw std::bad_alloc();
            }
        }
    }
    mSaveAtEnd = true;
}

void QoxZeltUserParams::Save()
{
    SaveChecked();
}

bool QoxZeltUserParams::SaveChecked()
{
    // Settings whose file was not read are kept in memory only: whatever
    // stands at its name now, they were not read from it.
    mNotSaved.clear();
    if (!HasSettingsFolder() || !mNotRead.empty())
        return false;
    // Every entry set in a copy of the file as it stands (its other sections
    // and keys kept), then the whole written once. Memory running out on the
    // way writes nothing.
    KConfigFile file(kFileName, true);
    KQoxUserParams::Save(file, kSectionName);
    for (int index = kImportShowUI; index < kZeltParamCount; ++index)
        if (const KQoxUserParamEntry* entry = Entry(index))
            file.Set(kSectionName, entry->mName.ToChars(), entry->mValue.ToChars(), nullptr);
    if (file.Write())
        return true;
    mNotSaved = file.WhyNotWritten();
    return false;
}

void QoxZeltUserParams::NoteStrayLines(const KConfigFile& file)
{
    const std::string path = file.GetPath();
    for (const KConfigFile::StrayLine& line : file.StrayLines())
        mLoadNotes.push_back(
            path + ", line " + std::to_string(line.mNumber) +
            ", is no setting (\"key = value\" in a section) and is left out: " + KEscapeControls(line.mText));
    if (!file.KeptAside().empty())
        mLoadNotes.push_back("The settings file as it was is kept as " + file.KeptAside());
    else if (!file.WhyNotKeptAside().empty())
        mLoadNotes.push_back("The settings file could not be kept aside and is not replaced: " +
                             file.WhyNotKeptAside());
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
