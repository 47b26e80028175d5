#ifndef QOX_PLUGIN_QOXZELTUSERPARAMS_H
#define QOX_PLUGIN_QOXZELTUSERPARAMS_H

// QoxZeltUserParams: the plug-in's one table of user parameters: the SDK's 51
// entries and ten of the plug-in's own after them. They persist in
// "registry.txt", section "UserParams", in the configuration directory:
// loaded at start-up, saved by QOXSetUserParams and at destruction, each
// save writing the whole file once (see KConfigFile), so that two hosts
// saving at once leave one's whole settings. Without a configuration
// directory they are kept in memory only. A file that is not read (another
// user's, one that others may write, a link, a FIFO: see KConfigFile) is
// never saved over, not even once it could be: the settings are then kept
// in memory only; WhyNotRead tells why, for the host to be told. Lines of
// the file that are no setting are told too (LoadNotes): the file as it
// was is kept aside before a save replaces it (see KConfigFile).

#include <string>
#include <vector>

#include "scene/kqoxuserparams.h"

class KConfigFile;

class QoxZeltUserParams : public qoxsdk_600::KQoxUserParams
{
public:
    enum EZeltParams
    {
        kImportShowUI = kDefaultParamCount, // 51
        kImportForceWeightNormalize,
        kImportDeformNullsAsJoints,
        kImportHardEdges,
        kProtectDrivenKeys,
        kSetLockedAttrib,
        kExportShowUI,
        kExportSelectionOnly,
        kExportHardEdges,
        kExportBypassRrsInheritance,
        kZeltParamCount // 61
    };

    static const char* const kFileName;    // "registry.txt"
    static const char* const kSectionName; // "UserParams"

    // The shared instance, made (with its settings loaded) on first use;
    // std::bad_alloc reaches the caller, and no instance is kept then.
    static QoxZeltUserParams& Instance();
    // Saves (unless told not to) and deletes the shared instance; the next
    // Instance makes a new one. False when memory ran out while saving (the
    // file is then as it was); never throws.
    // *whyNotSaved (when given) says why a save that was due failed (see
    // WhyNotSaved).
    static bool ReleaseInstance(bool save = true, std::string* whyNotSaved = nullptr);

    QoxZeltUserParams();
    // Saves the settings, unless a Load was cut short (not saved when memory
    // runs out; never throws).
    ~QoxZeltUserParams() override;

    // The 51 defaults, then the plug-in's ten.
    void Reset() override;
    // std::bad_alloc reaches the caller, and the table is then not saved at
    // its destruction (it may hold part of the file).
    void Load() override;
    // False when "registry.txt" could not be written, is not read as
    // settings or was not at the last Load (it is then left as it is) or
    // there is no configuration directory; std::bad_alloc reaches the
    // caller, the file as it was.
    void Save() override;
    bool SaveChecked();
    // Why the last Load did not read "registry.txt" although something
    // stands at its name: its path and the cause; empty when it read it or
    // there is none.
    const std::string& WhyNotRead() const { return mNotRead; }
    // What the last Load found to tell the user: each line of the file that
    // is no setting and is left out, with where the file as it was is kept
    // aside (or why it could not be, and is then not saved over).
    const std::vector<std::string>& LoadNotes() const { return mLoadNotes; }
    // Why the last save failed when the file could have been written (the
    // file and the cause); empty when it was saved, or when the settings
    // are kept in memory only, which the host was told at load.
    const std::string& WhyNotSaved() const { return mNotSaved; }

    // 0 exclusive merge, 1 merge, 2 add, from the text of kImportLoadMode.
    int GetImportType() const;
    // The import mode's text; the empty text for a mode out of range.
    KString GetLoadModeText(int mode) const { return LoadModeToString(static_cast<ELoadMode>(mode)); }

    ESysUnits GetSystemUnitInfo() const override;
    double GetSystemScale(ESysUnits unit) const override;

private:
    void AppendZeltEntries();
    void NoteStrayLines(const KConfigFile& file);

    bool mSaveAtEnd = true;
    std::string mNotRead;
    std::vector<std::string> mLoadNotes;
    std::string mNotSaved;
};

#endif
