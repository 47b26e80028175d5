#ifndef QOX_FCURVE_KFCURVE_H
#define QOX_FCURVE_KFCURVE_H

// The animation curve: a time-sorted sequence of keys holding one animated
// scalar, with its tangents, evaluation and extrapolation, candidate keying,
// range edits and change notification.
//
// Keys live in blocks of 32 (one 1024-byte block each); a table of block
// pointers addresses them. Every per-index operation checks its index: an
// index outside the curve leaves the curve unchanged (setters) or answers the
// operation's default (getters). While a KeyModifyBegin(n) / InitBuffers(n)
// batch is open, the first n key slots may also be filled directly.

#include "base/karray.h"
#include "base/ktime.h"
#include "object/kcallback.h"

#include <cstddef>
#include <memory>

class KFCurve;
class KQox;

// Interpolation of the segment after a key (bits 0x0E of the flag word).
enum
{
    KFCURVE_INTERPOLATION_CONSTANT = 0x00000002,
    KFCURVE_INTERPOLATION_LINEAR = 0x00000004,
    KFCURVE_INTERPOLATION_CUBIC = 0x00000008,
    KFCURVE_INTERPOLATION_ALL = 0x0000000E
};

// Constant mode (meaningful for constant interpolation).
enum
{
    KFCURVE_CONSTANT_STANDARD = 0x00000000,
    KFCURVE_CONSTANT_NEXT = 0x00000100,
    KFCURVE_CONSTANT_ALL = 0x00000100
};

// Tangent mode (meaningful for cubic interpolation).
enum
{
    KFCURVE_TANGEANT_AUTO = 0x00000100,
    KFCURVE_TANGEANT_TCB = 0x00000200,
    KFCURVE_TANGEANT_USER = 0x00000400,
    KFCURVE_GENERIC_BREAK = 0x00000800,
    KFCURVE_TANGEANT_BREAK = KFCURVE_TANGEANT_USER | KFCURVE_GENERIC_BREAK,
    KFCURVE_TANGEANT_AUTO_BREAK = KFCURVE_TANGEANT_AUTO | KFCURVE_GENERIC_BREAK,
    KFCURVE_TANGEANT_ALL = 0x00000F00
};

// Selection field.
enum
{
    KFCURVE_SELECT_POINT = 0x00010000,
    KFCURVE_FOCUS_POINT = 0x00080000,
    KFCURVE_SELECT_ALL = 0x000F0000
};

// Tangent visibility (stored as given).
enum
{
    KFCURVE_TANGEANT_SHOW_NONE = 0x00000000,
    KFCURVE_TANGEANT_SHOW_LEFT = 0x00100000,
    KFCURVE_TANGEANT_SHOW_RIGHT = 0x00200000,
    KFCURVE_TANGEANT_SHOW_BOTH = 0x00300000
};

// Weight mode: right tangent weighted, next key's left tangent weighted.
enum
{
    KFCURVE_WEIGHTED_NONE = 0x00000000,
    KFCURVE_WEIGHTED_RIGHT = 0x01000000,
    KFCURVE_WEIGHTED_NEXT_LEFT = 0x02000000,
    KFCURVE_WEIGHTED_ALL = 0x03000000
};

// Velocity mode: right tangent has velocity, next key's left tangent has velocity.
enum
{
    KFCURVE_VELOCITY_NONE = 0x00000000,
    KFCURVE_VELOCITY_RIGHT = 0x10000000,
    KFCURVE_VELOCITY_NEXT_LEFT = 0x20000000,
    KFCURVE_VELOCITY_ALL = 0x30000000
};

// Extrapolation types.
enum
{
    KFCURVE_EXTRAPOLATION_CONST = 1,
    KFCURVE_EXTRAPOLATION_REPETITION = 2,
    KFCURVE_EXTRAPOLATION_MIRROR_REPETITION = 3,
    KFCURVE_EXTRAPOLATION_KEEP_SLOPE = 4
};

// Change event kinds.
enum
{
    KFCURVEEVENT_NONE = 0,
    KFCURVEEVENT_CANDIDATE = 1,   // the static value changed
    KFCURVEEVENT_KEY = 16,        // keys, tangents or extrapolation changed
    KFCURVEEVENT_SELECTION = 256, // selection or tangent visibility changed
    KFCURVEEVENT_DESTROY = 512,   // the curve is being destroyed
    KFCURVEEVENT_KEYVALUE = 2048  // a key's value changed
};

// Default tangent weight (a third of the span).
const float KFCURVE_DEFAULT_WEIGHT = 0.33333334f;
// Weights are stored clamped to this range.
const float KFCURVE_MIN_WEIGHT = 0.00010001f;
const float KFCURVE_MAX_WEIGHT = 0.99f;
// Auto value that makes a side follow the secant on its own side.
const float KFCURVE_AUTO_LINEAR = 100.0f;
// Repetition count meaning "without end".
const unsigned int KFCURVE_UNLIMITED_REPETITION = 0xFFFFFFFFu;

// Slots of a key's 16-byte data area. Slots 0 and 1 are floats, slots 2 to 5
// signed 16-bit fixed-point values (value x 9999). TCB keys use float slots
// 0, 1 and 2 for tension, continuity and bias.
enum EKFCurveDataIndex
{
    KFCURVEKEY_RIGHT_SLOPE = 0,
    KFCURVEKEY_NEXT_LEFT_SLOPE = 1,
    KFCURVEKEY_WEIGHTS = 2,
    KFCURVEKEY_RIGHT_WEIGHT = 2,
    KFCURVEKEY_NEXT_LEFT_WEIGHT = 3,
    KFCURVEKEY_VELOCITY = 4,
    KFCURVEKEY_RIGHT_VELOCITY = 4,
    KFCURVEKEY_NEXT_LEFT_VELOCITY = 5,
    KFCURVEKEY_TCB_TENSION = 0,
    KFCURVEKEY_TCB_CONTINUITY = 1,
    KFCURVEKEY_TCB_BIAS = 2,
    KFCURVEKEY_RIGHT_AUTO = 0,
    KFCURVEKEY_NEXT_LEFT_AUTO = 1
};

// One key: time, value, flag word and tangent data. A plain record, copied
// bit for bit (32 bytes).
class KFCurveKey
{
public:
    // Zeroes value, time and flags; the data area is left as it was.
    void Init()
    {
        mValue = 0.0f;
        mTime = KTime(0);
        mFlags = 0;
    }

    // Every field of the key; the tangent visibility becomes 0.
    void Set(KTime time, float value, unsigned int interpolation = KFCURVE_INTERPOLATION_CUBIC,
             unsigned int tangentMode = KFCURVE_TANGEANT_AUTO, float data0 = 0.0f, float data1 = 0.0f,
             unsigned int weightMode = KFCURVE_WEIGHTED_NONE, float weight2 = KFCURVE_DEFAULT_WEIGHT,
             float weight3 = KFCURVE_DEFAULT_WEIGHT, float velocity4 = 0.0f, float velocity5 = 0.0f);
    // A cubic TCB key; the tangent visibility becomes 0.
    void SetTCB(KTime time, float value, float tension = 0.0f, float continuity = 0.0f, float bias = 0.0f);
    // Copies the whole record.
    void Set(const KFCurveKey& source) { *this = source; }

    unsigned int GetInterpolation() const { return mFlags & KFCURVE_INTERPOLATION_ALL; }
    // Making a key cubic that was not resets its weights and velocities.
    void SetInterpolation(unsigned int interpolation);
    unsigned int GetConstantMode() const { return mFlags & KFCURVE_CONSTANT_ALL; }
    void SetConstantMode(unsigned int mode) { SetBits(KFCURVE_CONSTANT_ALL, mode); }
    unsigned int GetTangeantMode() const { return mFlags & KFCURVE_TANGEANT_ALL; }
    void SetTangeantMode(unsigned int mode) { SetBits(KFCURVE_TANGEANT_ALL, mode); }
    unsigned int GetTangeantWeightMode() const { return mFlags & KFCURVE_WEIGHTED_ALL; }
    void SetTangeantWeightMode(unsigned int mode, unsigned int mask = KFCURVE_WEIGHTED_ALL)
    {
        SetBits(mask & KFCURVE_WEIGHTED_ALL, mode);
    }
    unsigned int GetTangeantVelocityMode() const { return mFlags & KFCURVE_VELOCITY_ALL; }
    void SetTangeantVelocityMode(unsigned int mode, unsigned int mask = KFCURVE_VELOCITY_ALL)
    {
        SetBits(mask & KFCURVE_VELOCITY_ALL, mode);
    }
    unsigned int GetTangeantVisibility() const { return mFlags & KFCURVE_TANGEANT_SHOW_BOTH; }
    void SetTangeantVisibility(unsigned int visibility) { SetBits(KFCURVE_TANGEANT_SHOW_BOTH, visibility); }
    bool GetBreak() const { return (mFlags & KFCURVE_GENERIC_BREAK) != 0; }
    void SetBreak(bool on) { SetBits(KFCURVE_GENERIC_BREAK, on ? KFCURVE_GENERIC_BREAK : 0); }
    bool GetSelected() const { return (mFlags & KFCURVE_SELECT_POINT) != 0; }
    // Clears the whole selection field (focus included) first.
    void SetSelected(bool on) { SetBits(KFCURVE_SELECT_ALL, on ? KFCURVE_SELECT_POINT : 0); }
    bool GetFocus() const { return (mFlags & KFCURVE_FOCUS_POINT) != 0; }
    void SetFocus(bool on) { SetBits(KFCURVE_FOCUS_POINT, on ? KFCURVE_FOCUS_POINT : 0); }

    float GetValue() const { return mValue; }
    void SetValue(float value) { mValue = value; }
    void IncValue(float delta) { mValue += delta; }
    void MultValue(float factor) { mValue *= factor; }
    KTime GetTime() const { return mTime; }
    void SetTime(KTime time) { mTime = time; }
    void IncTime(KTime delta) { mTime += delta; }

    // Slots 0 and 1: the float; slots 2 to 5: the fixed-point value / 9999.
    // Other slots read 0.
    float GetDataDouble(EKFCurveDataIndex slot) const;
    // Slots 0 and 1 store the float; weights (2, 3) are clamped to
    // [0.00010001, 0.99]; velocities (4, 5) are limited to the 16-bit range.
    // Other slots are ignored.
    void SetDataDouble(EKFCurveDataIndex slot, float value);
    // Raw float access to bytes 4 x slot (slots 0 to 3); other slots read 0.
    float GetDataFloat(EKFCurveDataIndex slot) const;
    void SetDataFloat(EKFCurveDataIndex slot, float value);
    float* GetDataPtr() { return mData; }
    const float* GetDataPtr() const { return mData; }

    // Multiplies the stored slopes of a cubic user or break key.
    void MultTangeant(float factor);

    unsigned int GetFlags() const { return mFlags; }

private:
    void SetBits(unsigned int mask, unsigned int bits) { mFlags = (mFlags & ~mask) | (bits & mask); }

    KTime mTime;
    float mValue;
    unsigned int mFlags;
    float mData[4];
};

// Merges one event of kind at index into a record's kinds, key range and
// count. Index -1 (the whole curve) stays the first index once merged: only
// the record's first event replaces an empty range.
inline void KFCurveMergeEvent(int& type, int& start, int& stop, int& count, int kind, int index)
{
    type |= kind;
    if (count++ == 0 || index < start)
        start = index;
    if (index > stop)
        stop = index;
}

// The change record given to curve callbacks. The base's type word holds
// the OR of every kind fired since the last delivery.
class KFCurveEvent : public KEventBase
{
public:
    KFCurveEvent() { Clear(); }

    void Clear()
    {
        mType = KFCURVEEVENT_NONE;
        mKeyIndexStart = -1;
        mKeyIndexStop = -1;
        mEventCount = 0;
    }
    // Merges one event (KFCurveMergeEvent).
    void Add(int kind, int index)
    {
        KFCurveMergeEvent(mType, mKeyIndexStart, mKeyIndexStop, mEventCount, kind, index);
    }

    int mKeyIndexStart; // first key index touched (-1: the whole curve)
    int mKeyIndexStop;  // last key index touched
    int mEventCount;    // events merged into this record
};

// A tangent on one side of a key, as kept across edits.
struct KFCurveTangeantInfo
{
    float mDerivative = 0.0f;
    float mWeight = KFCURVE_DEFAULT_WEIGHT;
    bool mWeighted = false;
    float mVelocity = 0.0f;
    bool mHasVelocity = false;
    float mAuto = 0.0f;
};

typedef void (*kFCurveCallback)(KFCurve* curve, KFCurveEvent* event, void* userData);

// Allocation of key blocks and block tables: zero-filled memory counted in
// the process-wide gRecordingMemory (atomically: curves are made on several
// threads at once). Out of memory ends the process.
extern long long gRecordingMemory;
void* WatchMalloc(size_t size);
void WatchFree(void* pointer, size_t size);
long long GetRecordingMemory();

// Keys closer than this are moved apart (1e-5 second, set by every curve constructor).
extern KTime gsTimeEpsilon;

// Weighted-tangent time solve: the parameter run backwards (1 - s) along the
// Bezier 0, weightA, 1 - weightB, 1 minus u, and its secant root finder.
typedef float (*kFCurveWarpFunction)(float s, float u, float weightA, float weightB);
float CubicWarp(float s, float u, float weightA, float weightB);
float rtsec(kFCurveWarpFunction function, float x1, float x2, float u, float weightA, float weightB);

class KFCurve
{
public:
    KFCurve();
    virtual ~KFCurve();
    void Destroy(int local = 0);

    KFCurve(const KFCurve&) = delete;
    KFCurve& operator=(const KFCurve&) = delete;

    // Laid in the block of an open KFCurveGroupScope when it has room (see
    // fcurve/kfcurvegroup.h); deleting is the same either way.
    static void* operator new(size_t size);
    static void operator delete(void* curve, size_t size);

    // Curve settings.
    float* GetColor() { return mColor; }
    void SetColor(float* color);
    float GetValue() const { return mValue; }
    void SetValue(float value);
    unsigned int GetPreExtrapolation() const { return mPreExtrapolation; }
    void SetPreExtrapolation(unsigned int type);
    unsigned int GetPreExtrapolationCount() const { return mPreExtrapolationCount; }
    void SetPreExtrapolationCount(unsigned int count);
    unsigned int GetPostExtrapolation() const { return mPostExtrapolation; }
    void SetPostExtrapolation(unsigned int type);
    unsigned int GetPostExtrapolationCount() const { return mPostExtrapolationCount; }
    void SetPostExtrapolationCount(unsigned int count);
    int GetWasData() const { return mWasData; }
    void SetWasData(int tag) { mWasData = tag; }

    // Key storage and batches.
    void InitBuffers(int count);
    void KeyShrink();
    void KeyClear();
    void KeyModifyBegin();
    void KeyModifyBegin(int count);
    void KeyModifyEnd();
    void KeyModifyEnd(int count);
    int KeyGetCount() const { return mKeyCount; }
    // Address of a key; null outside the curve (and outside the open batch).
    KFCurveKey* KeyGetPtr(int index) { return KeyInRange(index) ? Key(index) : nullptr; }
    KFCurveKey* KeyGetRaw(int index) { return KeyGetPtr(index); }
    // A copy of a key; an initialised, zeroed key outside the curve.
    KFCurveKey KeyGet(int index) const;

    // Key editing.
    int KeyAdd(KTime time, KFCurveKey& key, int* last = nullptr);
    int KeyAdd(KTime time, int* last = nullptr);
    int KeyAdd(KTime time, KFCurve* source, int sourceIndex, int* last = nullptr);
    int KeyAppendFast(KTime time, float value);
    int KeyInsert(KTime time, int* last = nullptr);
    int KeySet(int index, KFCurveKey& key);
    int KeySet(int index, KFCurve* source, int sourceIndex);
    void KeySet(int index, KTime time, float value, unsigned int interpolation = KFCURVE_INTERPOLATION_CUBIC,
                unsigned int tangentMode = KFCURVE_TANGEANT_AUTO, float data0 = 0.0f, float data1 = 0.0f,
                unsigned int weightMode = KFCURVE_WEIGHTED_NONE, float weight2 = KFCURVE_DEFAULT_WEIGHT,
                float weight3 = KFCURVE_DEFAULT_WEIGHT, float velocity4 = 0.0f, float velocity5 = 0.0f);
    void KeySetTCB(int index, KTime time, float value, float tension = 0.0f, float continuity = 0.0f,
                   float bias = 0.0f);
    int KeyRemove(int index);

    // Per-index access to one key's fields.
    unsigned int KeyGetInterpolation(int index) const;
    void KeySetInterpolation(int index, unsigned int interpolation);
    unsigned int KeyGetConstantMode(int index) const;
    void KeySetConstantMode(int index, unsigned int mode);
    unsigned int KeyGetTangeantMode(int index) const;
    void KeySetTangeantMode(int index, unsigned int mode);
    unsigned int KeyGetTangeantWeightMode(int index) const;
    void KeySetTangeantWeightMode(int index, unsigned int mode, unsigned int mask = KFCURVE_WEIGHTED_ALL);
    unsigned int KeyGetTangeantVelocityMode(int index) const;
    void KeySetTangeantVelocityMode(int index, unsigned int mode, unsigned int mask = KFCURVE_VELOCITY_ALL);
    float KeyGetDataDouble(int index, EKFCurveDataIndex slot) const;
    void KeySetDataDouble(int index, EKFCurveDataIndex slot, float value);
    float KeyGetDataFloat(int index, EKFCurveDataIndex slot) const;
    void KeySetDataFloat(int index, EKFCurveDataIndex slot, float value);
    float* KeyGetDataPtr(int index);
    float KeyGetValue(int index) const;
    void KeySetValue(int index, float value);
    void KeyIncValue(int index, float delta);
    void KeyMultValue(int index, float factor);
    KTime KeyGetTime(int index) const;
    void KeySetTime(int index, KTime time);
    void KeyIncTime(int index, KTime delta);
    bool KeyGetSelected(int index) const;
    void KeySetSelected(int index, bool on);
    bool KeyGetFocus(int index) const;
    void KeySetFocus(int index, bool on);
    unsigned int KeyGetTangeantVisibility(int index) const;
    void KeySetTangeantVisibility(int index, unsigned int visibility);
    bool KeyGetBreak(int index) const;
    void KeySetBreak(int index, bool on);
    void KeyMultTangeant(int index, float factor);

    // Selection and edits over all or the selected keys.
    int KeyGetSelectionCount() const;
    void KeySelectAll();
    void KeyUnselectAll();
    void KeyTangeantHide();
    void KeyTangeantSetInterpolation(bool selectedOnly, unsigned int interpolation);
    void KeyTangeantSetMode(bool selectedOnly, unsigned int tangentMode);
    int KeyMoveValueTo(bool selectedOnly, float value);
    int KeyScaleValue(bool selectedOnly, float factor);
    int KeyScaleValueAndTangeant(bool selectedOnly, float factor);
    int KeyScaleTangeant(bool selectedOnly, float factor);
    // Returns the key's index after the move; -1 for an index outside the curve.
    int KeyMove(int index, KTime time);
    int KeyMoveOf(bool selectedOnly, KTime delta, float valueDelta);

    // Fractional key index of a time: whole on a key, -0.5 before the first
    // key, count - 0.5 after the last, -1 without keys. last is the caller's
    // search hint (the curve's own hint when null).
    double KeyFind(KTime time, int* last = nullptr);

    // Tangents and derivatives (value units per second).
    float KeyGetLeftDerivative(int index);
    float KeyGetRightDerivative(int index);
    void KeySetLeftDerivative(int index, float derivative);
    void KeySetRightDerivative(int index, float derivative);
    void KeyIncLeftDerivative(int index, float delta);
    void KeyIncRightDerivative(int index, float delta);
    void KeyMultDerivative(int index, float factor);
    float KeyGetLeftAuto(int index);
    float KeyGetRightAuto(int index);
    void KeySetLeftAuto(int index, float autoValue);
    void KeySetRightAuto(int index, float autoValue);
    KFCurveTangeantInfo KeyGetLeftDerivativeInfo(int index);
    KFCurveTangeantInfo KeyGetRightDerivativeInfo(int index);
    void KeySetLeftDerivativeInfo(int index, KFCurveTangeantInfo info);
    void KeySetRightDerivativeInfo(int index, KFCurveTangeantInfo info);
    bool KeyIsLeftTangeantWeighted(int index) const;
    bool KeyIsRightTangeantWeighted(int index) const;
    void KeySetLeftTangeantWeightedMode(int index, bool weighted);
    void KeySetRightTangeantWeightedMode(int index, bool weighted);
    float KeyGetLeftTangeantWeight(int index) const;
    float KeyGetRightTangeantWeight(int index) const;
    void KeySetLeftTangeantWeight(int index, float weight);
    void KeySetRightTangeantWeight(int index, float weight);
    bool KeyIsLeftTangeantVelocity(int index) const;
    bool KeyIsRightTangeantVelocity(int index) const;
    void KeySetLeftTangeantVelocityMode(int index, bool velocity);
    void KeySetRightTangeantVelocityMode(int index, bool velocity);
    float KeyGetLeftTangeantVelocity(int index) const;
    float KeyGetRightTangeantVelocity(int index) const;
    void KeySetLeftTangeantVelocity(int index, float velocity);
    void KeySetRightTangeantVelocity(int index, float velocity);
    float KeyGetLeftBezierTangeant(int index);
    float KeyGetRightBezierTangeant(int index);
    void KeySetLeftBezierTangeant(int index, float handle);
    void KeySetRightBezierTangeant(int index, float handle);
    // Inserts a copy of another curve's keys, its first key at time.
    void Insert(KFCurve* source, KTime time, KFCurveTangeantInfo info);
    void Insert(KFCurve* source, KTime time, float derivative, bool weighted = false,
                float weight = KFCURVE_DEFAULT_WEIGHT);

    // Evaluation and extrapolation. Sequential calls with a kept hint cost
    // O(1) each; the curve memoises the slopes of the last cubic segment
    // (a curve is used by one thread at a time).
    float Evaluate(KTime time, int* last = nullptr);
    float EvaluateIndex(double index);
    double KeyFindAll(KTime time, int* last = nullptr);
    float EvaluateLeftDerivative(KTime time, int* last = nullptr);
    float EvaluateRightDerivative(KTime time, int* last = nullptr);
    int KeyGetCountAll() const;
    int MapIndexAll(int indexAll, int& zone) const;
    KFCurveKey* KeyGetRawAll(int indexAll);
    KTime KeyGetTimeAll(int indexAll) const;

    // Candidate: the last evaluated (or given) time and value, to be keyed.
    float CandidateEvaluate(KTime time, int* last = nullptr);
    void CandidateClear()
    {
        mCandidateTime = KTIME_INFINITE;
        mCandidateValue = 0.0f;
    }
    void CandidateSet(KTime time, double value)
    {
        mCandidateTime = time;
        mCandidateValue = static_cast<float>(value);
    }
    bool IsCandidate() const { return mCandidateTime != KTIME_INFINITE; }
    float CandidateGet() const { return mCandidateValue; }
    KTime CandidateGetTime() const { return mCandidateTime; }
    // Keys the candidate without changing the curve elsewhere; 1 without a candidate, else 0.
    int CandidateKey(int* last = nullptr, int interpolation = KFCURVE_INTERPOLATION_CUBIC,
                     int tangentMode = KFCURVE_TANGEANT_USER, bool tangentBreak = false, bool setAllFields = true,
                     KTime time = KTIME_INFINITE, double tolerance = 0.0);

    // Curve analysis.
    int FindPeaks(int index, KTime& time1, KTime& time2);
    int FindPeaks(int index, float& value1, float& value2);
    int FindPeaks(int index, KTime& time1, float& value1, KTime& time2, float& value2);
    KTime KeyGetAverageRate(bool* regular = nullptr, KTime* regularInterval = nullptr, KTime* largest = nullptr);
    int GuessWasData(KTime* firstTime = nullptr, KTime* period = nullptr);

    // Whole-curve copy and range edits.
    void CopyFrom(KFCurve& source, bool withKeys = true);
    KFCurve* Copy(KTime start = KTIME_MINUS_INFINITE, KTime stop = KTIME_INFINITE);
    bool Delete(int first, int last);
    bool Delete(KTime start = KTIME_MINUS_INFINITE, KTime stop = KTIME_INFINITE);
    void Replace(KFCurve* source, KTime start = KTIME_MINUS_INFINITE, KTime stop = KTIME_INFINITE,
                 bool exactSpan = false, bool candidateKeys = false);
    void ReplaceForEulerXYZ(KFCurve* source, KTime start, KTime stop, float spanOffset, float afterOffset,
                            bool mirrorSpan, bool mirrorAfter, bool exactSpan = false, bool candidateKeys = false);
    void ReplaceForQuaternion(KFCurve* source, KTime start, KTime stop, float startFactor, float stopFactor,
                              bool exactSpan = false, bool candidateKeys = false);
    bool IsKeyInterpolationPureCubicAuto(int index);
    bool CheckCurve() const;

    // Change notification.
    unsigned int GetValuesUpdateId() const { return mUpdateId & 0xFFFFu; }
    unsigned int GetUpdateId() const { return mUpdateId; }
    void CallbackEnable(bool enable);
    bool CallbackIsEnable() const { return mCallbackEnable; }
    void CallbackClear() { mEvent.Clear(); }
    void CallbackAddEvent(int kind, int index);
    void CallbackRegister(kFCurveCallback function, void* userData);
    void CallbackUnregister(kFCurveCallback function, void* userData);

    // Storage in the native file (defined with the native file support).
    // keyArrays stores the keys as typed arrays ("KeyVer" 4005, the
    // version-6 writer's layout); else key by key ("KeyVer" 4004).
    bool QoxStore(KQox* file, bool onlyDefaults = false, bool withColor = true, bool legacyLayout = false,
                  bool keyArrays = false);
    // Reading: the next curve of the open list, which may hold curves one
    // after the other, each from its "Default" (false when none is left).
    // With one "Default" every curve field of the list is the curve's; with
    // several, a curve's fields lie from its "Default" to the next. A field
    // standing twice in one curve's fields, curve fields before the first
    // "Default" of several, or curve fields without any "Default" are damage:
    // eFILE_CORRUPTED, and the curve keeps no keys.
    bool QoxInternalRetrieve(KQox* file, bool onlyDefaults = false, bool withColor = true);
    bool QoxRetrieve(KQox* file, bool onlyDefaults = false, bool withColor = true);

    // Keys live in blocks of kBlockKeys: the block is the index's high bits,
    // the place in it the low ones.
    static constexpr int kBlockShift = 5;
    static constexpr int kBlockKeys = 1 << kBlockShift;
    static constexpr int kBlockMask = kBlockKeys - 1;

private:
    // Reads the curve whose fields are the curve fields present (bits of
    // the readers' census of the open list) of records [first, end) of the
    // open list (-1, -1: the whole list), its "Default" included when there.
    bool QoxRetrieveListed(KQox* file, bool onlyDefaults, bool withColor, unsigned int present, int first, int end);
    friend KFCurve* KFCurveCreateListed(KQox* file, KFCurve* curve, bool onlyDefaults, bool withColor,
                                        unsigned int present);
    friend KFCurve* KFCurveCreate(KQox* file, KFCurve* curve, bool onlyDefaults, bool withColor);
    // Keys of the typed-array layout into this curve (its keys cleared), its
    // fields found as for QoxRetrieveListed.
    bool QoxRetrieveKeyArrays(KQox* file, int first, int past);
    struct CallbackWalk;

    // Slopes of the last cubic segment evaluated, with copies of the keys
    // they were computed from (the segment's keys and one neighbour on each
    // side): sequential evaluation reuses them while those keys are
    // unchanged, however they were edited.
    struct SegmentCache
    {
        int a = -1;
        int count = 0;
        bool tcb4051 = false;
        float right = 0.0f;
        float left = 0.0f;
        float span = 0.0f;     // seconds from key a to key a + 1
        float control1 = 0.0f; // inner control values of the unweighted Bezier
        float control2 = 0.0f;
        KFCurveKey window[4];
        // The last key span asked for, in ticks and in seconds.
        __int128 spanTicks = 0;
        double spanSeconds = 0.0;
    };

    // The registered callbacks in registration order. The first lives in
    // the curve itself: most curves have one listener or none. Past one,
    // the same bytes point to the entries on the heap.
    class CallbackList
    {
    public:
        CallbackList() = default;
        ~CallbackList()
        {
            if (OnHeap())
                delete[] mHeap;
        }
        CallbackList(const CallbackList&) = delete;
        CallbackList& operator=(const CallbackList&) = delete;

        int Count() const { return mCount; }
        kFCurveCallback Function(int i) const { return Entries()[i].mFunction; }
        void* Data(int i) const { return Entries()[i].mData; }
        void Add(kFCurveCallback function, void* data);
        void RemoveAt(int i);

    private:
        struct Entry
        {
            kFCurveCallback mFunction;
            void* mData;
        };
        bool OnHeap() const { return mCapacity > 1; }
        Entry* Entries() { return OnHeap() ? mHeap : &mFirst; }
        const Entry* Entries() const { return OnHeap() ? mHeap : &mFirst; }

        union
        {
            Entry mFirst{nullptr, nullptr}; // while the capacity is 1
            Entry* mHeap;                   // once it is more
        };
        int mCount = 0;
        int mCapacity = 1;
    };

    KFCurveKey* Key(int index) const { return mBlocks[index >> kBlockShift] + (index & kBlockMask); }
    // Starts loading the two keys a binary search may probe next.
    void Prefetch(int first, int second) const
    {
        __builtin_prefetch(Key(first));
        __builtin_prefetch(Key(second));
    }
    // Key of the curve, or of the open batch.
    bool KeyInRange(int index) const
    {
        return index >= 0 && index < (mKeyCount > mKeyReserved ? mKeyCount : mKeyReserved);
    }
    bool IsKey(int index) const { return index >= 0 && index < mKeyCount; }
    // Keys the blocks would hold at full size: what a count may cover (the
    // storage is made real up to a count before it is used).
    int AllocatedKeys() const { return (mLastBlock + 1) * 32; }
    // Keys block b holds: the first block starts short on small curves.
    int BlockKeys(int b) const { return b == 0 ? mFirstBlockKeys : kBlockKeys; }
    // While the table addresses one block (fewer than 32 keys), its one
    // slot and the short first block share one allocation: the slot, then
    // the keys. GrowShortStorage makes it for that many keys, keeping the
    // keys held.
    bool ShortStorage() const { return mKeyCapacity == kBlockKeys; }
    static size_t ShortStorageBytes(int keys) { return sizeof(KFCurveKey*) + size_t(keys) * sizeof(KFCurveKey); }
    void GrowShortStorage(int keys);

    bool Reserve(int count);
    void FreeStorage();
    void MoveKeysUp(int index);
    void CopyKeysDown(int destination, int source, int count);
    void Dispatch();
    void EndValueEdit(int first, int last);
    void SetAllSelected(bool selected);
    template <typename StaticEdit, typename KeyEdit>
    int EditValues(bool selectedOnly, StaticEdit editStatic, KeyEdit editKey);
    // Changes the kind of the keys that differs() picks, keeping their slopes
    // (the last key's right slope too when lastKeyRight).
    template <typename Differs, typename Change>
    void ChangeKeysKeepingSlopes(bool selectedOnly, bool lastKeyRight, Differs differs, Change change);
    int ReinsertKey(int index, KTime time, float valueDelta);
    // Weights and velocities of a key's sides (the left side of key i lives
    // on key i - 1): `weight` picks the weight, otherwise the velocity.
    KFCurveKey* SideKey(int index, bool left) const;
    bool SideIsSet(int index, bool left, bool weight) const;
    float SideGet(int index, bool left, bool weight) const;
    void SideSetMode(int index, bool left, bool weight, bool on);
    void SideSet(int index, bool left, bool weight, float value);
    void SideSetWeightAndVelocity(int index, bool left, const KFCurveTangeantInfo& info);
    void ApplyLeftSlope(int index, const KFCurveTangeantInfo& info);
    void ApplyRightSlope(int index, const KFCurveTangeantInfo& info);
    void ReplaceImpl(KFCurve* source, KTime start, KTime stop, bool exactSpan, bool candidateKeys, int mode,
                     float offset1, float offset2, bool mirror1, bool mirror2);
    double FindBackward(KTime time, int start, int* hint);
    double FindForward(KTime time, int start, int* hint);
    double TcbLeft(int index, const KFCurveKey& params);
    const SegmentCache& Segment(int a);
    float SegmentSlope(int a, float u);
    float EvaluateDerivative(KTime time, int* last, bool left);
    // Seconds from key time `from` to a later key time `to`, remembered for
    // the next call (sequential evaluation asks for the same span again and
    // again).
    double SpanSeconds(KTime from, KTime to)
    {
        SegmentCache& cache = SegmentRecord();
        const __int128 ticks = KTimeDifference(from, to);
        if (ticks != cache.spanTicks)
        {
            cache.spanTicks = ticks;
            cache.spanSeconds = KTimeDifferenceSeconds(from, to);
        }
        return cache.spanSeconds;
    }
    // The evaluation caches, made on first use.
    SegmentCache& SegmentRecord()
    {
        if (!mSegment)
            mSegment.reset(new SegmentCache);
        return *mSegment;
    }

    float mColor[3];
    float mValue;
    unsigned int mUpdateId;
    bool mCallbackEnable;
    bool mEventsRecorded;

    KFCurveKey** mBlocks;
    int mKeyCount;
    int mKeyCapacity;
    int mLastBlock;
    int mKeyReserved; // keys addressable through the open KeyModifyBegin(n) batch
    // Keys of the first block: 4, 8 or 16 while a curve has fewer than 32
    // keys and only one block (its table then addresses 32 keys), else 32.
    int mFirstBlockKeys;

    unsigned int mPreExtrapolation;
    unsigned int mPreExtrapolationCount;
    unsigned int mPostExtrapolation;
    unsigned int mPostExtrapolationCount;
    int mWasData;
    int mLastSearchIndex;

    // The value before the time: it fills the word after the ints.
    float mCandidateValue;
    KTime mCandidateTime;

    // The events fired since the last delivery, merged as KFCurveEvent::Add
    // merges them (handed to the callbacks as a KFCurveEvent).
    struct PendingEvent
    {
        int mType = KFCURVEEVENT_NONE;
        int mKeyIndexStart = -1;
        int mKeyIndexStop = -1;
        int mEventCount = 0;
        void Clear() { *this = PendingEvent(); }
        void Add(int kind, int index)
        {
            KFCurveMergeEvent(mType, mKeyIndexStart, mKeyIndexStop, mEventCount, kind, index);
        }
    };
    PendingEvent mEvent;
    CallbackList mCallbacks;
    CallbackWalk* mWalks;
    // The last evaluated segment and key span; made by the first evaluation
    // between two keys (most curves hold a static value only).
    std::unique_ptr<SegmentCache> mSegment;
};

KFCurve* KFCurveCreate();
// Reading a curve from the native file (defined with the native file support).
KFCurve* KFCurveCreate(KQox* file, KFCurve* curve, bool onlyDefaults = false, bool withColor = true);
KFCurve* KFCurveCreate(KQox* file, bool onlyDefaults = false, bool withColor = true);
// A value read from the native file as a curve takes it: a finite value
// stays finite (the ASCII text of FLT_MAX reads back a hair above it).
float KFCurveValueFromFile(double value);

#endif
