#ifndef QOX_PLUGIN_QOXZELTUSERPARAMS_H
#define QOX_PLUGIN_QOXZELTUSERPARAMS_H

// QoxZeltUserParams: the plug-in's one table of user parameters: the SDK's 51
// entries and ten of the plug-in's own after them. They persist in
// "registry.txt", section "UserParams", in the configuration directory:
// loaded at start-up, saved by QOXSetUserParams and at destruction. Without a
// configuration directory they are kept in memory only. A file another user
// owns or may write is not read (see KConfigFile).

#include "scene/kqoxuserparams.h"

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

    // The shared instance, made (with its settings loaded) on first use.
    static QoxZeltUserParams& Instance();
    // Saves and deletes the shared instance; the next Instance makes a new one.
    static void ReleaseInstance();

    QoxZeltUserParams();
    // Saves the settings (not saved when memory runs out; never throws).
    ~QoxZeltUserParams() override;

    // The 51 defaults, then the plug-in's ten.
    void Reset() override;
    void Load() override;
    // False when "registry.txt" could not be written (or there is no
    // configuration directory); std::bad_alloc reaches the caller.
    void Save() override;
    bool SaveChecked();

    // 0 exclusive merge, 1 merge, 2 add, from the text of kImportLoadMode.
    int GetImportType() const;
    // The import mode's text; the empty text for a mode out of range.
    KString GetLoadModeText(int mode) const { return LoadModeToString(static_cast<ELoadMode>(mode)); }

    ESysUnits GetSystemUnitInfo() const override;
    double GetSystemScale(ESysUnits unit) const override;

private:
    void AppendZeltEntries();
};

#endif
