#ifndef QOX_SCENE_KQOXUSERPARAMS_PRIVATE_H
#define QOX_SCENE_KQOXUSERPARAMS_PRIVATE_H

// The default table of the user parameters and the master unit texts.

#include "scene/kqoxuserparams.h"

namespace qoxsdk_600 {

struct KQoxUserParamDefault
{
    const char* mKey;
    int mType;
    const char* mReset;     // the text Reset writes
    const char* mSideReset; // the text ResetExport / ResetImport write; null: neither touches it
    bool mPersisted;        // read by Load and written by Save
};

const char* const kLoadModeTexts[3] = {"kExclusiveMerge", "kMerge", "kCreate"};

// The default texts of entries 0 and 1 are the unit-0 texts below.
const KQoxUserParamDefault kUserParamDefaults[KQoxUserParams::kDefaultParamCount] = {
    {"kExportMasterUnitStr", 2, "Detected source world unit = Unit\n1 unit = 1 centimeter", nullptr, false},
    {"kImportMasterUnitStr", 2, "Detected destination world unit = Unit\n1 centimeter = 1 unit", nullptr, false},
    {"kShowWarnings", 0, "true", "true", true},
    {"kAsciiQox", 0, "false", "false", true},
    {"kExportMasterScale", 1, "1.0", "1.0", true},
    {"kExportSamplingRate", 1, "30.0", "30.0", true},
    {"kExportAnimation", 0, "true", "true", true},
    {"kExportEmbedTextures", 0, "false", "false", true},
    {"kExportConvert_2Tiff", 0, "false", "false", true},
    {"kExportCameras", 0, "true", "true", true},
    {"kExportLights", 0, "true", "true", true},
    {"kExportGeometries", 0, "true", "true", true},
    {"kExportSkins", 0, "true", "true", true},
    {"kExportShapes", 0, "true", "true", true},
    {"kExportBindPose", 0, "true", "true", true},
    {"kExportPivotToNull", 0, "false", "false", false},
    {"kExportApplyCstKeyRed", 0, "true", "true", true},
    {"kExportCstKeyRedTPrec", 1, "0.00009", "0.009", true},
    {"kExportCstKeyRedRPrec", 1, "0.009", "0.00009", true},
    {"kExportCstKeyRedSPrec", 1, "0.004", "0.009", true},
    {"kExportCstKeyRedOPrec", 1, "0.009", "0.004", true},
    {"kExportApplyKeyReduce", 0, "false", "false", true},
    {"kExportKeyReducePrec", 1, "1.0000", "1.0000", true},
    {"kExportApplyKeySync", 0, "false", "false", true},
    {"kExportApplyKeysOnFrm", 0, "true", "true", true},
    {"kExportApplyUnroll", 0, "true", "true", true},
    {"kExportUnrollPrec", 1, "0.25", "0.25", true},
    {"kExportUnrollPath", 0, "true", "true", true},
    {"kImportLoadMode", 2, "kCreate", nullptr, true},
    {"kImportMasterScale", 1, "1.0", "1.0", true},
    {"kImportSamplingRate", 1, "30.0", "30.0", true},
    {"kImportAnimation", 0, "true", "true", true},
    {"kImportCameras", 0, "true", "true", true},
    {"kImportLights", 0, "true", "true", true},
    {"kImportGeometries", 0, "true", "true", true},
    {"kImportSkins", 0, "true", "true", true},
    {"kImportShapes", 0, "true", "true", true},
    {"kImportMarkers", 0, "false", "false", true},
    {"kImportNullsToPivot", 0, "false", "false", false},
    {"kImportApplyCstKeyRed", 0, "true", "true", true},
    {"kImportCstKeyRedTPrec", 1, "0.00009", "0.009", true},
    {"kImportCstKeyRedRPrec", 1, "0.009", "0.00009", true},
    {"kImportCstKeyRedSPrec", 1, "0.004", "0.009", true},
    {"kImportCstKeyRedOPrec", 1, "0.009", "0.004", true},
    {"kImportApplyKeyReduce", 0, "false", "false", true},
    {"kImportKeyReducePrec", 1, "1.0000", "1.0000", true},
    {"kImportApplyKeySync", 0, "false", "false", true},
    {"kImportApplyKeysOnFrm", 0, "true", "true", true},
    {"kImportApplyUnroll", 0, "true", "true", true},
    {"kImportUnrollPrec", 1, "0.25", "0.25", true},
    {"kImportUnrollPath", 0, "true", "true", true},
};

// The order in which Load and Save visit the persisted entries.
const int kPersistOrder[] = {2,  3,  4,  5,  6,  7,  8,  9,  10, 11, 12, 13, 14, 16, 17, 18,
                             19, 20, 21, 22, 23, 24, 25, 26, 27, 28, 29, 30, 31, 32, 33, 34,
                             35, 36, 37, 39, 40, 41, 42, 43, 44, 45, 46, 47, 48, 49, 50};

// The entries ResetExport and ResetImport write, in their order.
const int kExportResetFirst = 2;
const int kExportResetLast = 27;
const int kImportResetOrder[] = {2,  3,  29, 30, 31, 32, 33, 34, 35, 36, 37, 39,
                                 40, 41, 42, 43, 44, 45, 46, 47, 48, 49, 50, 38};

struct KQoxMasterUnit
{
    double mFactor;
    const char* mText; // two lines joined by a line feed
};

const int kMasterUnitCount = 9;

// Source side: one world unit in centimetres.
const KQoxMasterUnit kSourceUnits[kMasterUnitCount] = {
    {1.0, "Detected source world unit = Unit\n1 unit = 1 centimeter"},
    {2.54, "Detected source world unit = Inch\n1 inch = 2.54 centimeters"},
    {30.48, "Detected source world unit = Feet\n1 feet = 30.48 centimeters"},
    {91.44, "Detected source world unit = Yard\n1 yard = 91.44 centimeters"},
    {160934.4, "Detected source world unit = Mile\n1 mile = 160934.4 centimeters"},
    {0.1, "Detected source world unit = Millimeter\n1 millimeter = 0.1 centimeters"},
    {1.0, "Detected source world unit = Centimeter\n1 centimeter = 1 centimeter"},
    {100.0, "Detected source world unit = Meter\n1 meter = 100 centimeters"},
    {100000.0, "Detected source world unit = Kilometer\n1 kilometer = 100000 centimeters"},
};

// Destination side: one centimetre in world units.
const KQoxMasterUnit kDestinationUnits[kMasterUnitCount] = {
    {1.0, "Detected destination world unit = Unit\n1 centimeter = 1 unit"},
    {0.3937, "Detected destination world unit = Inches\n1 centimeter = 0.3937000 inches"},
    {0.0328084, "Detected destination world unit = Feet\n1 centimeter = 0.0328080 feet"},
    {0.010936, "Detected destination world unit = Yard\n1 centimeter = 0.010936 yards"},
    {0.000006213, "Detected destination world unit = Miles\n1 centimeter = 0.0000062 miles"},
    {10.0, "Detected destination world unit = Millimeters\n1 centimeter = 10 millimeters"},
    {1.0, "Detected destination world unit = Centimeters\n1 centimeter = 1 centimeter"},
    {0.01, "Detected destination world unit = Meter\n1 centimeter = 0.01 meter"},
    {0.00001, "Detected destination world unit = Kilometer\n1 centimeter = 0.00001 kilometer"},
};

} // namespace qoxsdk_600

#endif
