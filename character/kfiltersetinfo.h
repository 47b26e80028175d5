#ifndef QOX_CHARACTER_KFILTERSETINFO_H
#define QOX_CHARACTER_KFILTERSETINFO_H

// The solver parameter table: one process-wide, read-only description of the
// 177 parameters of every character's filter set.
//
// Entry i always describes parameter i under the same exact name: filter
// sets, the bridge to the character properties and the copies of characters
// address parameters by fixed index, and the native file stores them by name.
// Each entry holds the governing parameter, mode type, unit, value type,
// range, two flags, default mode and default value.

#include <memory>

namespace qoxsdk_600 {

// How a parameter's mode is read (see KQoxFilterSet).
enum EFilterModeType : int
{
    eFilterModeValueOnly = 0,   // no mode: every mode is refused
    eFilterModeSwitch = 1,      // 0 off, 1 on
    eFilterModeOffAutoUser = 2, // kCharacterOffAutoUser: automatic in mode 1
    eFilterModeAutoUser = 3     // kCharacterAutoUser: automatic in mode 0
};

// What a parameter's value measures. Only none and percentage change
// behaviour; the others classify the value and nothing converts it.
enum EFilterUnit : int
{
    eFilterUnitNone = 0,    // only the mode counts; the automatic setup never writes the value
    eFilterUnitPercent = 1, // the factor outside automatic mode is value / 100
    eFilterUnitTime = 2,
    eFilterUnitLength = 3,
    eFilterUnitAngle = 4,
    eFilterUnitChoice = 5 // number of a named choice, 0 to max - 1
};

// Number of entries of the solver parameter table.
const int kFilterParamCount = 177;

// Capacity of a parameter name, terminating NUL included.
const int kFilterParamNameSize = 256;

class KFilterParamInfo
{
public:
    // No governing parameter (-1), empty name, every number 0, flags false.
    KFilterParamInfo();

    // Governing index and name. A name longer than 255 characters is cut to
    // 255; null gives the empty name.
    void Init(int parentIndex, const char* name);
    // Mode type, unit, value type and range; flag goes to mFlag and invert to
    // mInvert.
    void TypeInit(int modeType, int unit, int valueType, double minValue, double maxValue, bool flag, bool invert);
    void DefaultInit(int defaultMode, double defaultValue);

    int mParentIndex;                 // governing parameter, or -1
    char mName[kFilterParamNameSize]; // NUL-terminated
    int mModeType;                    // EFilterModeType
    int mUnit;                        // EFilterUnit
    int mValueType;                   // 0: one value (the only type in the table)
    double mMinValue;
    double mMaxValue;
    bool mInvert; // in automatic mode the factor is 1 - the governing factor
    bool mFlag;   // carried only; nothing reads it
    int mDefaultMode;
    double mDefaultValue;
};

class KFilterSetInfo
{
public:
    // count default entries (none for a count below 1).
    explicit KFilterSetInfo(int count);
    ~KFilterSetInfo();

    KFilterSetInfo(const KFilterSetInfo&) = delete;
    KFilterSetInfo& operator=(const KFilterSetInfo&) = delete;

    // Index of the first entry whose name equals the text exactly (with
    // case), or -1; -1 for null and for a table without entries.
    int ParamIndexByName(const char* name) const;

    int mCount;
    std::unique_ptr<KFilterParamInfo[]> mParams;
};

// The filled table. Built and filled once, on the first call, safely from any
// thread; it lives until the program ends and is never changed afterwards.
KFilterSetInfo* GetFilterSetInfo();

} // namespace qoxsdk_600

#endif
