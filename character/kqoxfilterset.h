#ifndef QOX_CHARACTER_KQOXFILTERSET_H
#define QOX_CHARACTER_KQOXFILTERSET_H

// A character's own state of the 177 solver parameters: one mode and one
// value per parameter, starting at the table's defaults (kfiltersetinfo.h).
//
// KQoxFilterSet is the part a character owns and the accessors by index and
// by name; KFilterSetBase holds the per-parameter records and the automatic
// rules that tie modes, values and governing parameters together:
//
// | mode type | modes accepted        | automatic when | active when                            |
// | 0         | none                  | never          | always                                 |
// | 1 switch  | 0, 1                  | never          | mode != 0 and governing param active   |
// | 2         | 0 Off, 1 Auto, 2 User | mode 1         | mode != 0 and governing param active   |
// | 3         | 0 Auto, 1 User        | mode 0         | governing parameter active             |
//
// A missing governing parameter (-1) counts as active. Values are stored as
// given: nothing compares them with the range or the unit. An index outside
// 0 to 176 reads as 0 (null for names) and changes nothing.

#include <memory>

namespace qoxsdk_600 {

class KFilterSetInfo;

class KFilterSetBase
{
public:
    // The state of one parameter.
    struct KParamState
    {
        int mMode;
        double mValue;
    };

    // One record per table entry, at the entry's default mode and value.
    KFilterSetBase();
    ~KFilterSetBase();

    KFilterSetBase(const KFilterSetBase&) = delete;
    KFilterSetBase& operator=(const KFilterSetBase&) = delete;

    int GetCount() const { return mCount; }
    // The record of a parameter; null outside the table.
    KParamState* GetState(int index);
    const KParamState* GetState(int index) const;

    // Mode type 2 in mode 1, or mode type 3 in mode 0.
    bool IsParamAuto(int index) const;
    // An automatic parameter follows its governing parameter's factor (1 minus
    // it when inverted), -1 without one; otherwise a percentage gives value /
    // 100 and any other unit -1. Never clamped.
    double GetParamFact(int index) const;
    // Sets every automatic parameter with a unit to min + factor * (max - min),
    // or to its default when the factor is negative. Modes are not touched.
    void AutomaticParamSetup();
    // See the table above; index -1 is active, any other index outside the
    // table is not.
    bool IsParamActive(int index) const;
    // Takes every mode and value of source over as they stand, unchecked.
    void Copy(KFilterSetBase* source);

private:
    const KFilterSetInfo* mInfo; // the shared table
    int mCount;
    std::unique_ptr<KParamState[]> mParamStates;
};

class KQoxFilterSet
{
public:
    // Every parameter at its table default.
    KQoxFilterSet();
    ~KQoxFilterSet();

    KQoxFilterSet(const KQoxFilterSet&) = delete;
    KQoxFilterSet& operator=(const KQoxFilterSet&) = delete;

    // Puts every parameter back to its table default.
    void Reset();

    // Answers from the shared table, without an instance. Count is 177.
    static int GetParameterCount();
    // The entry's name (owned by the table, constant), or null outside it.
    static char* GetParameterName(int index);
    // The first entry whose name equals the text exactly, or -1.
    static int GetParameterIndex(const char* name);
    static int GetParameterModeType(int index);
    static int GetParameterDefaultMode(int index);
    static int GetParameterValueType(int index);
    static int GetParameterUnit(int index);
    static double GetParameterDefaultValue(int index);
    static double GetParameterMinValue(int index);
    static double GetParameterMaxValue(int index);

    // Stores the mode when the parameter's mode type accepts it; a refused
    // mode changes nothing and is not reported.
    void SetParameterMode(int index, int mode);
    int GetParameterMode(int index) const;
    // Stores the value unchanged, whatever the mode, range or unit. Every
    // parameter has one value: the component is ignored.
    void SetParameterValue(int index, double value, int component = 0);
    double GetParameterValue(int index, int component = 0) const;

    KFilterSetBase* GetFilterSetBase() { return mFilterSetBase.get(); }

private:
    std::unique_ptr<KFilterSetBase> mFilterSetBase; // never null
};

} // namespace qoxsdk_600

#endif
