#ifndef QOX_SCENE_KQOXUSERPARAMS_H
#define QOX_SCENE_KQOXUSERPARAMS_H

// KQoxUserParams: the SDK's table of import and export settings.
//
// An ordered list of entries, each a key, a declared type and a value held
// as text. Accessors address entries by index; keys matter only for
// persistence in one section of a settings file. The table supplies the 51
// default entries, resets all of them or those of one side, reads and writes
// values as bool ("true" / "false"), double (single precision, "%f") or text,
// converts the import load mode, and derives the master unit text and scale
// from the world unit a subclass reports. A subclass supplies its own store
// and may append entries after the defaults.
//
// The master unit texts (entries 0 and 1) span two lines; they are derived
// from the world unit and never stored in the settings file.

#include <memory>
#include <vector>

#include "base/karray.h"
#include "base/kstring.h"

class KConfigFile;

namespace qoxsdk_600 {

// One setting: its key, its declared type (0 bool, 1 double, 2 string; never
// checked) and its value text.
struct KQoxUserParamEntry
{
    KString mName;
    int mType;
    KString mValue;
};

class KQoxUserParams
{
public:
    enum EType : int
    {
        eBOOL = 0,
        eDOUBLE = 1,
        eSTRING = 2
    };

    // The indices of the default entries, named after their keys.
    enum EUserParams : int
    {
        kExportMasterUnitStr = 0,
        kImportMasterUnitStr,
        kShowWarnings,
        kAsciiQox,
        kExportMasterScale,
        kExportSamplingRate,
        kExportAnimation,
        kExportEmbedTextures,
        kExportConvert_2Tiff,
        kExportCameras,
        kExportLights,
        kExportGeometries,
        kExportSkins,
        kExportShapes,
        kExportBindPose,
        kExportPivotToNull,
        kExportApplyCstKeyRed,
        kExportCstKeyRedTPrec,
        kExportCstKeyRedRPrec,
        kExportCstKeyRedSPrec,
        kExportCstKeyRedOPrec,
        kExportApplyKeyReduce,
        kExportKeyReducePrec,
        kExportApplyKeySync,
        kExportApplyKeysOnFrm,
        kExportApplyUnroll,
        kExportUnrollPrec,
        kExportUnrollPath,
        kImportLoadMode,
        kImportMasterScale,
        kImportSamplingRate,
        kImportAnimation,
        kImportCameras,
        kImportLights,
        kImportGeometries,
        kImportSkins,
        kImportShapes,
        kImportMarkers,
        kImportNullsToPivot,
        kImportApplyCstKeyRed,
        kImportCstKeyRedTPrec,
        kImportCstKeyRedRPrec,
        kImportCstKeyRedSPrec,
        kImportCstKeyRedOPrec,
        kImportApplyKeyReduce,
        kImportKeyReducePrec,
        kImportApplyKeySync,
        kImportApplyKeysOnFrm,
        kImportApplyUnroll,
        kImportUnrollPrec,
        kImportUnrollPath,
        kDefaultParamCount // 51
    };

    enum ELoadMode : int
    {
        eEXCLUSIVE_MERGE = 0, // "kExclusiveMerge"
        eMERGE = 1,           // "kMerge"
        eCREATE = 2           // "kCreate"
    };

    enum ESysUnits : int
    {
        eUNIT = 0, // generic unit, taken as one centimetre
        eINCH,
        eFEET,
        eYARD,
        eMILE,
        eMILLIMETER,
        eCENTIMETER,
        eMETER,
        eKILOMETER
    };

    // Holds the 51 defaults (the class's own Reset runs).
    KQoxUserParams();
    virtual ~KQoxUserParams();
    KQoxUserParams(const KQoxUserParams&) = delete;
    KQoxUserParams& operator=(const KQoxUserParams&) = delete;

    // Every entry replaced by the 51 defaults; appended entries go.
    virtual void Reset();
    // The export entries 2 to 27 (or the import entries 2, 3 and 29 to 50)
    // get their side's reset texts, written as they stand.
    virtual void ResetExport();
    virtual void ResetImport();
    // From and to the subclass's own store.
    virtual void Load() = 0;
    virtual void Save() = 0;

    int GetNbParameters() const { return mEntries.GetCount(); }
    // Null when the index is not below the count.
    KQoxUserParamEntry* Entry(unsigned int index);
    const KQoxUserParamEntry* Entry(unsigned int index) const;

    // An index not below the count reads false, 0.0 or the empty text, and
    // a setter does nothing with it.
    bool GetBoolParam(unsigned int index) const;
    double GetDoubleParam(unsigned int index) const;
    KString GetStringParam(unsigned int index) const;
    void SetBoolParam(unsigned int index, bool value);
    void SetDoubleParam(unsigned int index, double value);
    void SetStringParam(unsigned int index, KString value);

    // The text encodings, with a point in every locale: exactly "true"; as
    // atof; "true"/"false"; single precision with "%f" (a value beyond the
    // float range becomes an infinity of its sign).
    bool GetBool(const char* text) const;
    double GetDouble(const char* text) const;
    KString& GetString(bool value, KString& text) const;
    KString& GetString(double value, KString& text) const;

    // true selects the import entry, false the export one.
    virtual KString GetMasterUnitStr(bool import) const;
    virtual double GetMasterScale(bool import) const;
    virtual void SetMasterScale(double scale, bool import);
    virtual double GetResamplingRate(bool import) const;
    virtual void SetResamplingRate(double rate, bool import);

    // Reads (or writes) the persisted entries from (to) the section: every
    // default entry but the two master unit texts, "kExportPivotToNull" and
    // "kImportNullsToPivot". A key the file lacks leaves its entry as it is.
    // A value that memory cannot hold throws std::bad_alloc (as do the
    // constructor, Reset and AddUserParams for an entry they cannot add).
    void Load(KConfigFile& file, const char* section);
    void Save(KConfigFile& file, const char* section) const;

    // Appends copies of the entries (the caller keeps them); keys are not
    // compared with the existing ones.
    void AddUserParams(const KArrayTemplate<KQoxUserParamEntry*>& list);

    // The empty text for an unknown mode; an unknown text gives merge.
    KString LoadModeToString(ELoadMode mode) const;
    ELoadMode StringToLoadMode(const KString& text) const;

    // The world unit's text into entry 0 (export) or 1 (import, destination
    // true) and, unless textOnly, the scale into entry 4 (one unit in
    // centimetres, times GetSystemScale) or 29 (one centimetre in units).
    void ComputeMasterScale(bool destination, bool textOnly);

    virtual ESysUnits GetSystemUnitInfo() const = 0;
    virtual double GetSystemScale(ESysUnits unit) const = 0;

private:
    void AppendEntry(const char* name, int type, const char* value);
    void ClearEntries();

    KArrayTemplate<KQoxUserParamEntry*> mEntries; // owned
};

} // namespace qoxsdk_600

#endif
