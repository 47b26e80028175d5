// KFCurve: storage of one curve as fields of the native file (base/kqox.h),
// in the current layout, and reading of every older key layout.

#include <cctype>
#include <cfloat>
#include <climits>
#include <cmath>
#include <cstring>
#include <limits>
#include <memory>
#include <vector>

#include "base/kqox.h"
#include "fcurve/kfcurve.h"
#include "fcurve/kfcurve_internal.h"

using namespace kfcurve_detail;

// Infinities and NaN pass as they are.
float KFCurveValueFromFile(double d)
{
    if (d > FLT_MAX)
        return std::isinf(d) ? std::numeric_limits<float>::infinity() : FLT_MAX;
    if (d < -FLT_MAX)
        return std::isinf(d) ? -std::numeric_limits<float>::infinity() : -FLT_MAX;
    return static_cast<float>(d);
}

namespace {

// Key layouts by the "KeyVer" they were written with.
const int kKeyVersion = 4004;              // the layout written now
const int kKeyVersionOldTangents = 3999;   // up to here: the oldest tangent combinations
const int kKeyVersionAutoLeftSlope = 4000; // only here: flat auto keys carry a left slope
const int kKeyVersionWeights = 4002;       // from here: tangent weights
const int kKeyVersionAutoEnds = 4004;      // before here: auto keys turn linear beside linear ones
const int kKeyVersionConstantMode = 4004;  // from here: constant keys carry their mode letter
const int kKeyVersionArrays = 4005;        // from here: keys as typed arrays, one field per member
// Values every key written takes at least: a time and a value (a key of no
// interpolation has no letter).
const int kKeyLeastValues = 2;
// A time that makes a key invalid (written by old files for an unset key).
const long long kUnsetTime = static_cast<long long>(0x8000000000000001ull);

bool IsCubicMode(const KFCurveKey* key, unsigned int mode)
{
    return key && IsCubic(*key) && key->GetTangeantMode() == mode;
}

char ExtrapolationLetter(unsigned int type)
{
    switch (type)
    {
    case KFCURVE_EXTRAPOLATION_CONST: return 'C';
    case KFCURVE_EXTRAPOLATION_REPETITION: return 'R';
    case KFCURVE_EXTRAPOLATION_MIRROR_REPETITION: return 'M';
    case KFCURVE_EXTRAPOLATION_KEEP_SLOPE: return 'K';
    default: return '0';
    }
}

unsigned int ExtrapolationType(char letter)
{
    switch (letter)
    {
    case 'C': return KFCURVE_EXTRAPOLATION_CONST;
    case 'R': return KFCURVE_EXTRAPOLATION_REPETITION;
    case 'M': return KFCURVE_EXTRAPOLATION_MIRROR_REPETITION;
    case 'K': return KFCURVE_EXTRAPOLATION_KEEP_SLOPE;
    default: return 0;
    }
}

bool WriteExtrapolation(KQox* file, const char* name, unsigned int type, unsigned int count)
{
    // The default (constant without repetition) and an unset type are not written.
    if (type == 0 || (type == KFCURVE_EXTRAPOLATION_CONST && count == 0))
        return true;
    bool ok = file->FieldWriteBegin(name);
    ok = file->FieldWriteBlockBegin() && ok;
    ok = file->FieldWriteBegin("Type") && ok;
    ok = file->FieldWriteCH(ExtrapolationLetter(type)) && ok;
    ok = file->FieldWriteEnd() && ok;
    ok = file->FieldWriteBegin("Repetition") && ok;
    ok = file->FieldWriteI(static_cast<int>(count)) && ok;
    ok = file->FieldWriteEnd() && ok;
    ok = file->FieldWriteBlockEnd() && ok;
    ok = file->FieldWriteEnd() && ok;
    return ok;
}

// The fields of the curve being read. In a list holding one curve every
// field is the curve's; in a list holding curves one after the other, each
// curve's fields lie from its "Default" to the next curve's: a field one
// curve lacks is not taken from the curve after it, and one an earlier
// curve left unread is passed over.
struct OwnFields
{
    KQox* mFile;
    int mFirst = -1; // record index of the curve's "Default"; -1: the list holds one curve
    int mEnd = -1;   // record index of the next curve's "Default"; -1: none

    explicit OwnFields(KQox* file)
        : mFile(file)
    {}

    // FieldReadBegin of the curve's own field of that name.
    bool Begin(const char* name) const
    {
        if (mFirst < 0)
            return mFile->FieldReadBegin(name);
        for (;;)
        {
            const int at = mFile->FieldReadGetRecordIndex(name);
            if (at < 0 || (mEnd >= 0 && at >= mEnd))
                return false;
            if (at >= mFirst)
                return mFile->FieldReadBegin(name);
            // An earlier curve's field, left unread: passed over.
            mFile->FieldReadBegin(name);
            mFile->FieldReadEnd();
        }
    }
    // The first value of the curve's own field of that name (then ended), or
    // the default when it lacks one.
    int ReadI(const char* name, int defaultValue) const
    {
        if (mFirst < 0)
            return mFile->FieldReadI(name, defaultValue);
        if (!Begin(name))
            return defaultValue;
        const int value = mFile->FieldReadGetRemain() > 0 ? mFile->FieldReadI() : defaultValue;
        mFile->FieldReadEnd();
        return value;
    }
};

// "Type" and "Repetition" of an extrapolation block, when the field is there.
void ReadExtrapolation(const OwnFields& fields, const char* name, bool pre, KFCurve* curve)
{
    KQox* file = fields.mFile;
    if (!fields.Begin(name))
        return;
    if (file->FieldReadBlockBegin())
    {
        unsigned int type = ExtrapolationType(file->FieldReadCH("Type", '0'));
        unsigned int count = static_cast<unsigned int>(file->FieldReadI("Repetition", 0));
        if (pre)
        {
            curve->SetPreExtrapolation(type);
            curve->SetPreExtrapolationCount(count);
        }
        else
        {
            curve->SetPostExtrapolation(type);
            curve->SetPostExtrapolationCount(count);
        }
        file->FieldReadBlockEnd();
    }
    file->FieldReadEnd();
}

bool WriteWeights(KQox* file, const KFCurveKey& key)
{
    switch (key.GetTangeantWeightMode())
    {
    case KFCURVE_WEIGHTED_RIGHT:
        return file->FieldWriteCH('r') && file->FieldWriteD(key.GetDataDouble(KFCURVEKEY_RIGHT_WEIGHT));
    case KFCURVE_WEIGHTED_NEXT_LEFT:
        return file->FieldWriteCH('l') && file->FieldWriteD(key.GetDataDouble(KFCURVEKEY_NEXT_LEFT_WEIGHT));
    case KFCURVE_WEIGHTED_ALL:
        return file->FieldWriteCH('a') && file->FieldWriteD(key.GetDataDouble(KFCURVEKEY_RIGHT_WEIGHT)) &&
               file->FieldWriteD(key.GetDataDouble(KFCURVEKEY_NEXT_LEFT_WEIGHT));
    default: return file->FieldWriteCH('n');
    }
}

// The right and next-left slopes, in that order.
void ReadSlopes(KQox* file, KFCurveKey* key)
{
    key->SetDataDouble(KFCURVEKEY_RIGHT_SLOPE, KFCurveValueFromFile(file->FieldReadD()));
    key->SetDataDouble(KFCURVEKEY_NEXT_LEFT_SLOPE, KFCurveValueFromFile(file->FieldReadD()));
}

void ReadWeights(KQox* file, KFCurveKey* key)
{
    unsigned int mode = KFCURVE_WEIGHTED_NONE;
    switch (file->FieldReadCH())
    {
    case 'a': mode = KFCURVE_WEIGHTED_ALL; break;
    case 'l': mode = KFCURVE_WEIGHTED_NEXT_LEFT; break;
    case 'r': mode = KFCURVE_WEIGHTED_RIGHT; break;
    default: break;
    }
    key->SetTangeantWeightMode(mode, KFCURVE_WEIGHTED_ALL);
    if (mode & KFCURVE_WEIGHTED_RIGHT)
        key->SetDataDouble(KFCURVEKEY_RIGHT_WEIGHT, KFCurveValueFromFile(file->FieldReadD()));
    if (mode & KFCURVE_WEIGHTED_NEXT_LEFT)
        key->SetDataDouble(KFCURVEKEY_NEXT_LEFT_WEIGHT, KFCurveValueFromFile(file->FieldReadD()));
}

// Tangent combinations of the oldest key layouts, turned into current ones.
void ConvertOldTangents(KFCurve& curve)
{
    const int count = curve.KeyGetCount();
    const int last = count - 1;
    curve.KeySetInterpolation(last, KFCURVE_INTERPOLATION_CUBIC);
    curve.KeySetTangeantMode(last, KFCURVE_TANGEANT_AUTO);

    // Backward: user keys after TCB keys break; linear keys after TCB keys
    // become broken cubic keys; plain auto keys take their neighbours' slopes.
    for (int i = last; i >= 1; --i)
    {
        KFCurveKey* key = curve.KeyGetPtr(i);
        KFCurveKey* previous = curve.KeyGetPtr(i - 1);
        bool previousTcb = IsCubicMode(previous, KFCURVE_TANGEANT_TCB);
        if (IsCubicMode(key, KFCURVE_TANGEANT_USER) && previousTcb)
        {
            key->SetTangeantMode(KFCURVE_TANGEANT_BREAK);
        }
        else if (key->GetInterpolation() == KFCURVE_INTERPOLATION_LINEAR && previousTcb)
        {
            float slope = curve.KeyGetRightDerivative(i);
            key->SetInterpolation(KFCURVE_INTERPOLATION_CUBIC);
            key->SetTangeantMode(KFCURVE_TANGEANT_BREAK);
            key->SetDataDouble(KFCURVEKEY_RIGHT_SLOPE, slope);
            key->SetDataDouble(KFCURVEKEY_NEXT_LEFT_SLOPE, slope);
        }
        else if (IsCubicMode(key, KFCURVE_TANGEANT_AUTO))
        {
            float s = 0.0f;
            if (i + 1 == last)
                s = KFCurveValueFromFile((curve.KeyGetValue(i + 1) - curve.KeyGetValue(i)) /
                            KTimeDifferenceSeconds(curve.KeyGetTime(i), curve.KeyGetTime(i + 1)));
            else if (i + 1 < last)
                s = curve.KeyGetRightDerivative(i + 1);
            if (IsCubicMode(previous, KFCURVE_TANGEANT_USER) || IsCubicMode(previous, KFCURVE_TANGEANT_BREAK))
            {
                key->SetTangeantMode(KFCURVE_TANGEANT_USER);
                key->SetDataDouble(KFCURVEKEY_RIGHT_SLOPE, previous->GetDataDouble(KFCURVEKEY_NEXT_LEFT_SLOPE));
                key->SetDataDouble(KFCURVEKEY_NEXT_LEFT_SLOPE, s);
            }
            else if (previousTcb)
            {
                key->SetTangeantMode(KFCURVE_TANGEANT_TCB);
                key->SetDataFloat(KFCURVEKEY_TCB_TENSION, previous->GetDataFloat(KFCURVEKEY_TCB_TENSION));
                key->SetDataFloat(KFCURVEKEY_TCB_CONTINUITY, previous->GetDataFloat(KFCURVEKEY_TCB_CONTINUITY));
                key->SetDataFloat(KFCURVEKEY_TCB_BIAS, previous->GetDataFloat(KFCURVEKEY_TCB_BIAS));
                if (i < last)
                {
                    float left = curve.KeyGetLeftDerivative(i);
                    key->SetTangeantMode(KFCURVE_TANGEANT_USER);
                    key->SetDataDouble(KFCURVEKEY_RIGHT_SLOPE, left);
                    key->SetDataDouble(KFCURVEKEY_NEXT_LEFT_SLOPE, s);
                }
            }
            else if (previous->GetInterpolation() == KFCURVE_INTERPOLATION_CONSTANT)
            {
                key->SetTangeantMode(KFCURVE_TANGEANT_USER);
                key->SetDataDouble(KFCURVEKEY_RIGHT_SLOPE, 0.0f);
                key->SetDataDouble(KFCURVEKEY_NEXT_LEFT_SLOPE, s);
            }
        }
    }

    // Forward: an auto key before a key that is not auto takes explicit slopes.
    for (int i = 0; i < last; ++i)
    {
        if (!IsCubicMode(curve.KeyGetPtr(i), KFCURVE_TANGEANT_AUTO) ||
            IsCubicMode(curve.KeyGetPtr(i + 1), KFCURVE_TANGEANT_AUTO))
            continue;
        float right = curve.KeyGetRightDerivative(i);
        float nextRight = curve.KeyGetRightDerivative(i + 1);
        KFCurveKey* key = curve.KeyGetPtr(i);
        key->SetTangeantMode(KFCURVE_TANGEANT_USER);
        key->SetDataDouble(KFCURVEKEY_RIGHT_SLOPE, right);
        key->SetDataDouble(KFCURVEKEY_NEXT_LEFT_SLOPE, nextRight);
    }

    // Backward: a TCB key after a user or break key becomes a break key.
    for (int i = last; i >= 1; --i)
    {
        KFCurveKey* key = curve.KeyGetPtr(i);
        KFCurveKey* previous = curve.KeyGetPtr(i - 1);
        if (!IsCubicMode(key, KFCURVE_TANGEANT_TCB) || i >= last ||
            !(IsCubicMode(previous, KFCURVE_TANGEANT_USER) || IsCubicMode(previous, KFCURVE_TANGEANT_BREAK)))
            continue;
        float right = curve.KeyGetRightDerivative(i);
        float slope1;
        if (IsCubicMode(curve.KeyGetPtr(i + 1), KFCURVE_TANGEANT_TCB))
        {
            slope1 = curve.KeyGetLeftDerivative(i + 1);
        }
        else
        {
            double t = key->GetDataFloat(KFCURVEKEY_TCB_TENSION);
            double c = key->GetDataFloat(KFCURVEKEY_TCB_CONTINUITY);
            double b = key->GetDataFloat(KFCURVEKEY_TCB_BIAS);
            double v = key->GetValue();
            double vNext = curve.KeyGetValue(i + 1);
            double dt1 = KTimeDifferenceSeconds(curve.KeyGetTime(i), curve.KeyGetTime(i + 1));
            if (i + 2 <= last)
            {
                double vAfter = curve.KeyGetValue(i + 2);
                double dt2 = KTimeDifferenceSeconds(curve.KeyGetTime(i + 1), curve.KeyGetTime(i + 2));
                slope1 = KFCurveValueFromFile(
                    0.5 * (1.0 - t) *
                    ((1.0 - c) * (1.0 + b) * (vNext - v) / dt1 + (1.0 + c) * (1.0 - b) * (vAfter - vNext) / dt2));
            }
            else
            {
                slope1 = KFCurveValueFromFile((1.0 - t) * (1.0 - c) * (1.0 + b) * (vNext - v) / dt1);
            }
        }
        key->SetTangeantMode(KFCURVE_TANGEANT_BREAK);
        key->SetDataDouble(KFCURVEKEY_RIGHT_SLOPE, right);
        key->SetDataDouble(KFCURVEKEY_NEXT_LEFT_SLOPE, slope1);
    }
}

// Opens the curve's "Key" field for the keys its "KeyCount" gives (listed:
// the list holds a "Key" field). The count must match the field: a negative
// count, a count without a field, keys without a count, and more keys than
// the field's values can hold (every key takes at least a time and a value)
// are damage, found before any key storage is reserved. Returns the keys to
// read with the field open; 0 with no field open.
int BeginKeyField(const OwnFields& fields, int count, bool listed, bool& damaged)
{
    KQox* file = fields.mFile;
    damaged = count < 0;
    if (count <= 0)
    {
        if (!damaged && listed && fields.Begin("Key"))
        {
            damaged = file->FieldReadGetRemain() > 0;
            file->FieldReadEnd();
        }
        return 0;
    }
    if (!listed || !fields.Begin("Key"))
    {
        damaged = true;
        return 0;
    }
    if (count > file->FieldReadGetRemain() / kKeyLeastValues)
    {
        damaged = true;
        file->FieldReadEnd();
        return 0;
    }
    return count;
}

// One key being read: the file, the version of the key layout, and the key
// with the one before it (the older layouts move slopes onto it).
struct KeyReader
{
    KQox* file;
    KFCurve& curve;
    int version;
    bool binary;
    int index;
    KFCurveKey* key;
    KFCurveKey* previous;
    char previousLetter;
    // The field ended before a key's time and value: it holds fewer keys
    // than its count.
    bool shortOfKeys;
};

bool PreviousIsCubic(const KeyReader& r, unsigned int modeBits)
{
    return r.previous && IsCubic(*r.previous) && (r.previous->GetTangeantMode() & modeBits);
}

// The previous key's left weight on this key back to the default.
void ClearPreviousLeftWeight(KeyReader& r)
{
    r.previous->SetTangeantWeightMode(KFCURVE_WEIGHTED_NONE, KFCURVE_WEIGHTED_NEXT_LEFT);
    r.previous->SetDataDouble(KFCURVEKEY_NEXT_LEFT_WEIGHT, KFCURVE_DEFAULT_WEIGHT);
}

// Time, value and key letter; false when one of them is missing or unset
// (shortOfKeys when the field ended before the time and the value).
bool ReadKeyHead(KeyReader& r, char firstType, char& letter)
{
    KQox* file = r.file;
    KFCurveKey* key = r.key;
    bool valid = true;
    key->SetTangeantVisibility(KFCURVE_TANGEANT_SHOW_NONE);
    key->SetSelected(false);

    // Resynchronise on the next value of the first time type.
    if (r.binary)
        while (file->FieldReadGetType() != firstType && file->FieldReadGetRemain() > 0)
            file->FieldReadL();
    if (file->FieldReadGetRemain() < kKeyLeastValues)
    {
        r.shortOfKeys = true;
        return false;
    }
    if (r.binary && file->FieldReadGetType() != firstType)
    {
        valid = false;
        key->SetTime(KTIME_INFINITE);
    }
    else
    {
        const KTime time = file->FieldReadT();
        key->SetTime(time);
        if (time.Get() == kUnsetTime)
            valid = false;
    }

    key->SetTangeantWeightMode(KFCURVE_WEIGHTED_NONE, KFCURVE_WEIGHTED_ALL);
    key->SetDataDouble(KFCURVEKEY_RIGHT_WEIGHT, KFCURVE_DEFAULT_WEIGHT);
    key->SetDataDouble(KFCURVEKEY_NEXT_LEFT_WEIGHT, KFCURVE_DEFAULT_WEIGHT);
    key->SetDataDouble(KFCURVEKEY_RIGHT_VELOCITY, 0.0f);
    key->SetDataDouble(KFCURVEKEY_NEXT_LEFT_VELOCITY, 0.0f);

    const char valueType = file->FieldReadGetType();
    if (r.binary && valueType != 'D' && valueType != 'F')
    {
        valid = false;
        key->SetValue(0.0f);
    }
    else
    {
        key->SetValue(KFCurveValueFromFile(file->FieldReadD()));
    }

    letter = 0;
    if (r.binary && file->FieldReadGetType() != 'C')
        valid = false;
    else
        letter = file->FieldReadCH();
    return valid;
}

// Before the constant mode was stored, an auto key ahead of a constant or
// linear key turned linear on that side.
void LinearAutoEnd(KeyReader& r)
{
    if (r.version < kKeyVersionAutoEnds && PreviousIsCubic(r, KFCURVE_TANGEANT_AUTO))
        r.curve.KeySetLeftAuto(r.index, KFCURVE_AUTO_LINEAR);
}

// 'L': a linear key.
void ReadLinearKey(KeyReader& r)
{
    r.key->SetInterpolation(KFCURVE_INTERPOLATION_LINEAR);
    LinearAutoEnd(r);
}

// 'C' (and the older 'A' and 'Z'): a constant key, with its mode letter
// from the version that stores it.
void ReadConstantKey(KeyReader& r)
{
    r.key->SetInterpolation(KFCURVE_INTERPOLATION_CONSTANT);
    unsigned int constantMode = KFCURVE_CONSTANT_STANDARD;
    if (r.version >= kKeyVersionConstantMode && (!r.binary || r.file->FieldReadGetType() == 'C'))
        constantMode = r.file->FieldReadCH() == 'n' ? KFCURVE_CONSTANT_NEXT : KFCURVE_CONSTANT_STANDARD;
    r.key->SetConstantMode(constantMode);
    LinearAutoEnd(r);
}

// 'a': a flat auto key.
void ReadCubicAuto(KeyReader& r)
{
    KFCurveKey* key = r.key;
    key->SetTangeantMode(KFCURVE_TANGEANT_AUTO);
    if (r.version >= kKeyVersionWeights && r.previous)
        ClearPreviousLeftWeight(r);
    key->SetDataDouble(KFCURVEKEY_NEXT_LEFT_SLOPE, 0.0f);
    const bool afterLinear = r.previous && r.previous->GetInterpolation() == KFCURVE_INTERPOLATION_LINEAR;
    key->SetDataDouble(KFCURVEKEY_RIGHT_SLOPE,
                       r.version < kKeyVersionAutoEnds && afterLinear ? -KFCURVE_AUTO_LINEAR : 0.0f);
    if (r.version < kKeyVersionAutoEnds && PreviousIsCubic(r, KFCURVE_TANGEANT_USER))
        r.previous->SetDataDouble(KFCURVEKEY_NEXT_LEFT_SLOPE, 0.0f);
    if (r.version == kKeyVersionAutoLeftSlope)
        key->SetDataDouble(KFCURVEKEY_NEXT_LEFT_SLOPE, KFCurveValueFromFile(r.file->FieldReadD()));
}

// 'd': an auto key with the left slope of a following user key.
void ReadCubicAutoLeft(KeyReader& r)
{
    KFCurveKey* key = r.key;
    key->SetTangeantMode(KFCURVE_TANGEANT_AUTO);
    key->SetDataDouble(KFCURVEKEY_NEXT_LEFT_SLOPE, KFCurveValueFromFile(r.file->FieldReadD()));
    key->SetDataDouble(KFCURVEKEY_RIGHT_SLOPE, 0.0f);
    if (r.version >= kKeyVersionWeights)
    {
        ReadWeights(r.file, key);
        if (r.previous)
            ClearPreviousLeftWeight(r);
    }
}

// 'p' and 'q': an auto or auto-break key with its slopes; an auto key whose
// two sides differ is broken.
void ReadCubicAutoSlopes(KeyReader& r, char tangent)
{
    KFCurveKey* key = r.key;
    key->SetTangeantMode(tangent == 'p' ? KFCURVE_TANGEANT_AUTO : KFCURVE_TANGEANT_AUTO_BREAK);
    ReadSlopes(r.file, key);
    if (tangent == 'p' && r.previous &&
        std::fabs(r.curve.KeyGetLeftAuto(r.index) + r.curve.KeyGetRightAuto(r.index)) > 0.001f)
        key->SetTangeantMode(KFCURVE_TANGEANT_AUTO_BREAK);
    ReadWeights(r.file, key);
}

// 's' and 'b': a user or break key with its slopes.
void ReadCubicUser(KeyReader& r, char tangent)
{
    KFCurveKey* key = r.key;
    key->SetTangeantMode(tangent == 's' ? KFCURVE_TANGEANT_USER : KFCURVE_TANGEANT_BREAK);
    ReadSlopes(r.file, key);
    if (r.version <= kKeyVersionOldTangents && IsCubicMode(r.previous, KFCURVE_TANGEANT_AUTO))
        r.previous->SetDataDouble(KFCURVEKEY_NEXT_LEFT_SLOPE, key->GetDataDouble(KFCURVEKEY_RIGHT_SLOPE));
    if (r.version >= kKeyVersionWeights)
        ReadWeights(r.file, key);
}

void ReadTcb(KQox* file, KFCurveKey* key)
{
    key->SetTangeantMode(KFCURVE_TANGEANT_TCB);
    key->SetDataFloat(KFCURVEKEY_TCB_TENSION, KFCurveValueFromFile(file->FieldReadD()));
    key->SetDataFloat(KFCURVEKEY_TCB_CONTINUITY, KFCurveValueFromFile(file->FieldReadD()));
    key->SetDataFloat(KFCURVEKEY_TCB_BIAS, KFCurveValueFromFile(file->FieldReadD()));
}

// 'U': a cubic key and its tangent letter (auto when a binary file has none).
bool ReadCubicKey(KeyReader& r)
{
    r.key->SetInterpolation(KFCURVE_INTERPOLATION_CUBIC);
    int tangent = 'a';
    if (!r.binary || r.file->FieldReadGetType() == 'C')
        tangent = std::tolower(static_cast<unsigned char>(r.file->FieldReadCH()));
    switch (tangent)
    {
    case 'a': ReadCubicAuto(r); return true;
    case 'd': ReadCubicAutoLeft(r); return true;
    case 'p':
    case 'q': ReadCubicAutoSlopes(r, static_cast<char>(tangent)); return true;
    case 's':
    case 'b': ReadCubicUser(r, static_cast<char>(tangent)); return true;
    case 't': ReadTcb(r.file, r.key); return true;
    default: return false;
    }
}

// The tangent kind of an oldest-layout key other than 'T': break slopes,
// auto, or one user slope for both sides.
void ReadOldTangent(KeyReader& r, bool previousTcb)
{
    KFCurveKey* key = r.key;
    const char kind = r.file->FieldReadCH();
    if (kind == 'B' || kind == 'b')
    {
        key->SetTangeantMode(KFCURVE_TANGEANT_BREAK);
        const float left = KFCurveValueFromFile(r.file->FieldReadD());
        const float right = KFCurveValueFromFile(r.file->FieldReadD());
        if (r.previous && !previousTcb)
            r.previous->SetDataDouble(KFCURVEKEY_NEXT_LEFT_SLOPE, left);
        key->SetDataDouble(KFCURVEKEY_RIGHT_SLOPE, right);
    }
    else if (kind == 'A' || kind == 'a')
    {
        key->SetTangeantMode(KFCURVE_TANGEANT_AUTO);
    }
    else
    {
        key->SetTangeantMode(KFCURVE_TANGEANT_USER);
        const float slope = KFCurveValueFromFile(r.file->FieldReadD());
        if (r.previous && !previousTcb)
            r.previous->SetDataDouble(KFCURVEKEY_NEXT_LEFT_SLOPE, slope);
        key->SetDataDouble(KFCURVEKEY_RIGHT_SLOPE, slope);
    }
}

// 'B', 'H', 'I', 'O', 'R', 'T': the oldest layout, cubic keys whose 'B'
// predecessor holds control values that become slopes here.
void ReadOldCubicKey(KeyReader& r, char letter)
{
    KFCurveKey* key = r.key;
    KFCurveKey* previous = r.previous;
    key->SetInterpolation(KFCURVE_INTERPOLATION_CUBIC);
    const bool previousTcb = IsCubicMode(previous, KFCURVE_TANGEANT_TCB);
    if (letter == 'T')
        ReadTcb(r.file, key);
    else
        ReadOldTangent(r, previousTcb);
    if (!previous || r.previousLetter != 'B')
        return;
    const double dt = KTimeDifferenceSeconds(previous->GetTime(), key->GetTime());
    float slope0 = 0.0f;
    float slope1 = 0.0f;
    if (dt > 0.0)
    {
        slope0 = KFCurveValueFromFile(3.0 * (previous->GetDataDouble(KFCURVEKEY_RIGHT_SLOPE) - previous->GetValue()) / dt);
        if (letter == 'B')
            slope1 = KFCurveValueFromFile(-3.0 * (previous->GetDataDouble(KFCURVEKEY_NEXT_LEFT_SLOPE) - key->GetValue()) / dt);
    }
    previous->SetDataDouble(KFCURVEKEY_RIGHT_SLOPE, slope0);
    previous->SetDataDouble(KFCURVEKEY_NEXT_LEFT_SLOPE, slope1);
}

// The rest of a key after its letter; false for an unknown letter.
bool ReadKeyBody(KeyReader& r, char letter)
{
    switch (letter)
    {
    case 'A':
    case 'C':
    case 'Z': ReadConstantKey(r); return true;
    case 'L': ReadLinearKey(r); return true;
    case 'U': return ReadCubicKey(r);
    case 'B':
    case 'H':
    case 'I':
    case 'O':
    case 'R':
    case 'T': ReadOldCubicKey(r, letter); return true;
    default: return false;
    }
}

// ---- Keys as typed arrays ("KeyVer" 4005) ----
//
// "KeyTime" (ticks, 'l'), "KeyValue" ('f') and "KeyFlags" ('i') hold one item
// per key; "KeyData" ('f') holds the data of the cubic keys in key order:
// tension, continuity and bias of a TCB key; else the right and next-left
// slopes, then the weights and velocities whose flag bits are set (right
// before next-left).

const char kKeyTime[] = "KeyTime";
const char kKeyValue[] = "KeyValue";
const char kKeyFlags[] = "KeyFlags";
const char kKeyData[] = "KeyData";

// The flag bits the arrays keep: what the key's kind uses. Selection, focus
// and tangent visibility are not stored.
unsigned int StoredFlags(const KFCurveKey& key)
{
    const unsigned int interpolation = key.GetInterpolation();
    switch (interpolation)
    {
    case KFCURVE_INTERPOLATION_CONSTANT: return interpolation | key.GetConstantMode();
    case KFCURVE_INTERPOLATION_CUBIC:
        if (key.GetTangeantMode() == KFCURVE_TANGEANT_TCB)
            return interpolation | KFCURVE_TANGEANT_TCB;
        return interpolation | key.GetTangeantMode() | key.GetTangeantWeightMode() | key.GetTangeantVelocityMode();
    default: return interpolation; // linear, or no interpolation (dropped on reading)
    }
}

// Items a key of these stored flags takes in "KeyData".
int DataItems(unsigned int flags)
{
    if ((flags & KFCURVE_INTERPOLATION_ALL) != KFCURVE_INTERPOLATION_CUBIC)
        return 0;
    if ((flags & KFCURVE_TANGEANT_ALL) == KFCURVE_TANGEANT_TCB)
        return 3;
    return 2 + ((flags & KFCURVE_WEIGHTED_RIGHT) ? 1 : 0) + ((flags & KFCURVE_WEIGHTED_NEXT_LEFT) ? 1 : 0) +
           ((flags & KFCURVE_VELOCITY_RIGHT) ? 1 : 0) + ((flags & KFCURVE_VELOCITY_NEXT_LEFT) ? 1 : 0);
}

// The data slots of a cubic key, in "KeyData" order.
void AppendKeyData(const KFCurveKey& key, unsigned int flags, std::vector<float>& data)
{
    if ((flags & KFCURVE_TANGEANT_ALL) == KFCURVE_TANGEANT_TCB)
    {
        data.push_back(key.GetDataFloat(KFCURVEKEY_TCB_TENSION));
        data.push_back(key.GetDataFloat(KFCURVEKEY_TCB_CONTINUITY));
        data.push_back(key.GetDataFloat(KFCURVEKEY_TCB_BIAS));
        return;
    }
    data.push_back(key.GetDataFloat(KFCURVEKEY_RIGHT_SLOPE));
    data.push_back(key.GetDataFloat(KFCURVEKEY_NEXT_LEFT_SLOPE));
    if (flags & KFCURVE_WEIGHTED_RIGHT)
        data.push_back(key.GetDataDouble(KFCURVEKEY_RIGHT_WEIGHT));
    if (flags & KFCURVE_WEIGHTED_NEXT_LEFT)
        data.push_back(key.GetDataDouble(KFCURVEKEY_NEXT_LEFT_WEIGHT));
    if (flags & KFCURVE_VELOCITY_RIGHT)
        data.push_back(key.GetDataDouble(KFCURVEKEY_RIGHT_VELOCITY));
    if (flags & KFCURVE_VELOCITY_NEXT_LEFT)
        data.push_back(key.GetDataDouble(KFCURVEKEY_NEXT_LEFT_VELOCITY));
}

bool WriteKeyArrays(KQox* file, KFCurve& curve, int count)
{
    std::vector<long long> times(static_cast<size_t>(count));
    std::vector<float> values(static_cast<size_t>(count));
    std::vector<int> flags(static_cast<size_t>(count));
    std::vector<float> data;
    data.reserve(static_cast<size_t>(count) * 2);
    for (int i = 0; i < count; ++i)
    {
        const KFCurveKey& key = *curve.KeyGetPtr(i);
        const unsigned int stored = StoredFlags(key);
        times[i] = key.GetTime().Get();
        values[i] = key.GetValue();
        flags[i] = static_cast<int>(stored);
        if (DataItems(stored) > 0)
            AppendKeyData(key, stored, data);
    }
    const unsigned int n = static_cast<unsigned int>(count);
    bool ok = file->FieldWriteBegin(kKeyTime) && file->FieldWriteArrayL(times.data(), n) && file->FieldWriteEnd();
    ok = file->FieldWriteBegin(kKeyValue) && file->FieldWriteArrayF(values.data(), n) && file->FieldWriteEnd() && ok;
    ok = file->FieldWriteBegin(kKeyFlags) && file->FieldWriteArrayI(flags.data(), n) && file->FieldWriteEnd() && ok;
    ok = file->FieldWriteBegin(kKeyData) &&
         file->FieldWriteArrayF(data.data(), static_cast<unsigned int>(data.size())) && file->FieldWriteEnd() && ok;
    return ok;
}

// The items of one key array read: in the object itself for the few keys
// most curves have, on the heap beyond.
template <typename T>
class KeyArray
{
public:
    KeyArray() = default;
    KeyArray(const KeyArray&) = delete;
    KeyArray& operator=(const KeyArray&) = delete;

    // Room for n items, their values unset.
    T* Reserve(size_t n)
    {
        mSize = n;
        if (n <= kInline)
            return mInline;
        mHeap.reset(new T[n]);
        return mHeap.get();
    }
    const T* Data() const { return mSize <= kInline ? mInline : mHeap.get(); }
    size_t Size() const { return mSize; }
    const T& operator[](size_t i) const { return Data()[i]; }

private:
    static const size_t kInline = 16;
    T mInline[kInline];
    std::unique_ptr<T[]> mHeap;
    size_t mSize = 0;
};

// The next value of the field name, a typed array of exactly count items
// (none when count is 0 and the field is absent). False when it is missing,
// another length or damaged.
template <typename T, typename Read>
bool ReadKeyArray(const OwnFields& fields, const char* name, long long count, KeyArray<T>& out, Read read)
{
    KQox* file = fields.mFile;
    out.Reserve(0);
    if (!fields.Begin(name))
        return count == 0;
    bool ok = file->FieldReadArrayCount() == count;
    if (ok && count > 0)
        ok = (file->*read)(out.Reserve(static_cast<size_t>(count)), static_cast<unsigned long long>(count));
    file->FieldReadEnd();
    return ok;
}

// A cubic key at time 0 with value 0, no tangent mode, zero slopes, default
// weights and no velocities: what every key read from the arrays starts from
// (copied whole, the fixed-point slots are not worked out again per key).
const KFCurveKey& BlankKey()
{
    static const KFCurveKey blank = [] {
        KFCurveKey key;
        key.Init();
        key.SetDataFloat(KFCURVEKEY_RIGHT_SLOPE, 0.0f);
        key.SetDataFloat(KFCURVEKEY_NEXT_LEFT_SLOPE, 0.0f);
        key.SetDataFloat(KFCURVEKEY_RIGHT_WEIGHT, 0.0f);
        key.SetDataFloat(KFCURVEKEY_NEXT_LEFT_WEIGHT, 0.0f);
        key.SetInterpolation(KFCURVE_INTERPOLATION_CUBIC); // default weights, no velocities
        return key;
    }();
    return blank;
}

// Fills one key from the arrays; false for a key the file cannot hold (no
// known interpolation, or too few data items left).
bool FillKey(KFCurveKey& key, long long time, float value, unsigned int flags, const float*& data, const float* end)
{
    key = BlankKey();
    key.SetTime(KTime(time));
    key.SetValue(value);
    const unsigned int interpolation = flags & KFCURVE_INTERPOLATION_ALL;
    const int items = DataItems(flags);
    if (end - data < items)
        return false;
    switch (interpolation)
    {
    case KFCURVE_INTERPOLATION_CONSTANT:
        key.SetInterpolation(interpolation);
        key.SetConstantMode(flags);
        return true;
    case KFCURVE_INTERPOLATION_LINEAR: key.SetInterpolation(interpolation); return true;
    case KFCURVE_INTERPOLATION_CUBIC: break;
    default: return false;
    }
    key.SetInterpolation(interpolation);
    key.SetTangeantMode(flags);
    const float* d = data;
    data += items;
    if ((flags & KFCURVE_TANGEANT_ALL) == KFCURVE_TANGEANT_TCB)
    {
        key.SetDataFloat(KFCURVEKEY_TCB_TENSION, d[0]);
        key.SetDataFloat(KFCURVEKEY_TCB_CONTINUITY, d[1]);
        key.SetDataFloat(KFCURVEKEY_TCB_BIAS, d[2]);
        return true;
    }
    key.SetDataFloat(KFCURVEKEY_RIGHT_SLOPE, *d++);
    key.SetDataFloat(KFCURVEKEY_NEXT_LEFT_SLOPE, *d++);
    key.SetTangeantWeightMode(flags, KFCURVE_WEIGHTED_ALL);
    key.SetTangeantVelocityMode(flags, KFCURVE_VELOCITY_ALL);
    if (flags & KFCURVE_WEIGHTED_RIGHT)
        key.SetDataDouble(KFCURVEKEY_RIGHT_WEIGHT, *d++);
    if (flags & KFCURVE_WEIGHTED_NEXT_LEFT)
        key.SetDataDouble(KFCURVEKEY_NEXT_LEFT_WEIGHT, *d++);
    if (flags & KFCURVE_VELOCITY_RIGHT)
        key.SetDataDouble(KFCURVEKEY_RIGHT_VELOCITY, *d++);
    if (flags & KFCURVE_VELOCITY_NEXT_LEFT)
        key.SetDataDouble(KFCURVEKEY_NEXT_LEFT_VELOCITY, *d++);
    return true;
}

} // namespace

// Reads the keys of the array layout. Arrays that disagree with "KeyCount"
// or with each other are damage: the file's error becomes eFILE_CORRUPTED
// and the curve keeps no keys. A key the arrays cannot hold, or whose time
// is not after the last key kept, is dropped.
bool KFCurve::QoxRetrieveKeyArrays(KQox* file, int first, int past)
{
    OwnFields fields(file);
    fields.mFirst = first;
    fields.mEnd = past;
    const int count = fields.ReadI("KeyCount", 0);
    KeyArray<long long> times;
    KeyArray<float> values;
    KeyArray<int> flags;
    KeyArray<float> data;
    bool ok = count >= 0 && ReadKeyArray(fields, kKeyTime, count, times, &KQox::FieldReadArrayL) &&
              ReadKeyArray(fields, kKeyValue, count, values, &KQox::FieldReadArrayF) &&
              ReadKeyArray(fields, kKeyFlags, count, flags, &KQox::FieldReadArrayI);
    if (ok)
    {
        long long items = 0;
        for (size_t i = 0; i < flags.Size(); ++i)
            items += DataItems(static_cast<unsigned int>(flags[i]));
        ok = ReadKeyArray(fields, kKeyData, items, data, &KQox::FieldReadArrayF);
    }
    if (!ok)
    {
        file->GetError().SetLastErrorID(KQox::eFILE_CORRUPTED);
        return false;
    }
    if (count == 0)
        return true;
    KeyModifyBegin(count);
    const float* next = data.Data();
    const float* end = next + data.Size();
    int kept = 0;
    for (int i = 0; i < count; ++i)
    {
        KFCurveKey& key = *Key(kept);
        const bool valid = FillKey(key, times[i], values[i], static_cast<unsigned int>(flags[i]), next, end) &&
                           times[i] != kUnsetTime && (kept == 0 || times[i] > Key(kept - 1)->GetTime().Get());
        if (valid)
            ++kept;
    }
    KeyModifyEnd(kept);
    return true;
}

// ---------------------------------------------------------------------------
// Writing

bool KFCurve::QoxStore(KQox* file, bool onlyDefaults, bool withColor, bool legacyLayout, bool keyArrays)
{
    if (!file)
        return false;
    bool ok = file->FieldWriteBegin("Default");
    ok = file->FieldWriteD(GetValue()) && ok;
    ok = file->FieldWriteEnd() && ok;
    if (onlyDefaults)
        return ok;

    int count = KeyGetCount();
    if (count > 0 && keyArrays)
    {
        ok = file->FieldWriteBegin("KeyVer") && file->FieldWriteI(kKeyVersionArrays) && file->FieldWriteEnd() && ok;
        ok = file->FieldWriteBegin("KeyCount") && file->FieldWriteI(count) && file->FieldWriteEnd() && ok;
        ok = WriteKeyArrays(file, *this, count) && ok;
        ok = WriteExtrapolation(file, "Pre-Extrapolation", GetPreExtrapolation(), GetPreExtrapolationCount()) && ok;
        ok = WriteExtrapolation(file, "Post-Extrapolation", GetPostExtrapolation(), GetPostExtrapolationCount()) && ok;
    }
    else if (count > 0)
    {
        ok = file->FieldWriteBegin("KeyVer") && file->FieldWriteI(kKeyVersion) && file->FieldWriteEnd() && ok;
        ok = file->FieldWriteBegin("KeyCount") && file->FieldWriteI(count) && file->FieldWriteEnd() && ok;
        ok = file->FieldWriteBegin("Key") && ok;
        for (int i = 0; i < count; ++i)
        {
            const KFCurveKey& key = *Key(i);
            ok = file->FieldWriteT(key.GetTime()) && ok;
            ok = file->FieldWriteD(key.GetValue()) && ok;
            switch (key.GetInterpolation())
            {
            case KFCURVE_INTERPOLATION_CONSTANT:
                ok = file->FieldWriteCH('C') && ok;
                ok = file->FieldWriteCH(key.GetConstantMode() == KFCURVE_CONSTANT_NEXT ? 'n' : 's') && ok;
                continue;
            case KFCURVE_INTERPOLATION_LINEAR: ok = file->FieldWriteCH('L') && ok; continue;
            case KFCURVE_INTERPOLATION_CUBIC: ok = file->FieldWriteCH('U') && ok; break;
            default: continue; // no letter, nothing more
            }
            float slot0 = key.GetDataDouble(KFCURVEKEY_RIGHT_SLOPE);
            float slot1 = key.GetDataDouble(KFCURVEKEY_NEXT_LEFT_SLOPE);
            unsigned int mode = key.GetTangeantMode();
            bool autoMode = mode == KFCURVE_TANGEANT_AUTO || mode == KFCURVE_TANGEANT_AUTO_BREAK;
            if (autoMode && legacyLayout)
            {
                // Older readers know auto keys only as flat ('a'), as a left
                // slope for a following user key ('d'), or as explicit slopes.
                const KFCurveKey* next = i + 1 < count ? Key(i + 1) : nullptr;
                bool plain = slot0 == 0.0f && (i == 0 || Key(i - 1)->GetDataDouble(KFCURVEKEY_NEXT_LEFT_SLOPE) == 0.0f);
                // A next key that is stored with explicit slopes (a user key,
                // or an automatic key that is not plain) reads back as a user
                // key whose left slope is this key's next-left slope: 'd'
                // keeps it, where 'a' would flatten it.
                bool nextAuto = next && (next->GetTangeantMode() == KFCURVE_TANGEANT_AUTO ||
                                         next->GetTangeantMode() == KFCURVE_TANGEANT_AUTO_BREAK);
                bool nextPlain = nextAuto && next->GetDataDouble(KFCURVEKEY_RIGHT_SLOPE) == 0.0f && slot1 == 0.0f;
                bool nextWithSlopes = next && IsCubic(*next) &&
                                      ((next->GetTangeantMode() & KFCURVE_TANGEANT_USER) || (nextAuto && !nextPlain));
                if (plain && nextWithSlopes)
                {
                    ok = file->FieldWriteCH('d') && ok;
                    ok = file->FieldWriteD(KeyGetLeftDerivative(i + 1)) && ok;
                    ok = WriteWeights(file, key) && ok;
                }
                else if (plain)
                {
                    ok = file->FieldWriteCH('a') && ok;
                }
                else
                {
                    ok = file->FieldWriteCH((mode & KFCURVE_GENERIC_BREAK) ? 'b' : 's') && ok;
                    ok = file->FieldWriteD(KeyGetRightDerivative(i)) && ok;
                    ok = file->FieldWriteD(next ? KeyGetLeftDerivative(i + 1) : 0.0) && ok;
                    ok = WriteWeights(file, key) && ok;
                }
                continue;
            }
            switch (mode)
            {
            case KFCURVE_TANGEANT_TCB:
                ok = file->FieldWriteCH('t') && ok;
                ok = file->FieldWriteD(key.GetDataFloat(KFCURVEKEY_TCB_TENSION)) && ok;
                ok = file->FieldWriteD(key.GetDataFloat(KFCURVEKEY_TCB_CONTINUITY)) && ok;
                ok = file->FieldWriteD(key.GetDataFloat(KFCURVEKEY_TCB_BIAS)) && ok;
                break;
            case KFCURVE_TANGEANT_USER:
            case KFCURVE_TANGEANT_BREAK:
                ok = file->FieldWriteCH(mode == KFCURVE_TANGEANT_USER ? 's' : 'b') && ok;
                // Read back, a following automatic key stored with slopes (not
                // plain) takes its left slope from here: store the one it has.
                if (legacyLayout && i + 1 < count && IsCubic(*Key(i + 1)) &&
                    (Key(i + 1)->GetTangeantMode() == KFCURVE_TANGEANT_AUTO ||
                     Key(i + 1)->GetTangeantMode() == KFCURVE_TANGEANT_AUTO_BREAK) &&
                    !(Key(i + 1)->GetDataDouble(KFCURVEKEY_RIGHT_SLOPE) == 0.0f && slot1 == 0.0f))
                    slot1 = KeyGetLeftDerivative(i + 1);
                ok = file->FieldWriteD(slot0) && file->FieldWriteD(slot1) && ok;
                ok = WriteWeights(file, key) && ok;
                break;
            case KFCURVE_TANGEANT_AUTO:
            case KFCURVE_TANGEANT_AUTO_BREAK:
                if (slot0 == 0.0f && slot1 == 0.0f)
                {
                    ok = file->FieldWriteCH('a') && ok;
                }
                else
                {
                    ok = file->FieldWriteCH(mode == KFCURVE_TANGEANT_AUTO ? 'p' : 'q') && ok;
                    ok = file->FieldWriteD(slot0) && file->FieldWriteD(slot1) && ok;
                    ok = WriteWeights(file, key) && ok;
                }
                break;
            default: break; // no tangent letter
            }
        }
        ok = file->FieldWriteEnd() && ok;
        ok = WriteExtrapolation(file, "Pre-Extrapolation", GetPreExtrapolation(), GetPreExtrapolationCount()) && ok;
        ok = WriteExtrapolation(file, "Post-Extrapolation", GetPostExtrapolation(), GetPostExtrapolationCount()) && ok;
    }
    if (withColor)
    {
        const float* color = GetColor();
        ok = file->FieldWriteBegin("Color") && ok;
        ok = file->FieldWriteD(color[0]) && file->FieldWriteD(color[1]) && file->FieldWriteD(color[2]) && ok;
        ok = file->FieldWriteEnd() && ok;
    }
    return ok;
}

// ---------------------------------------------------------------------------
// Reading

bool ListFields::sSkipAbsent = true;

namespace {

// The ListFields bit of a field name; "Channel" counts as kChannel, any
// other name as 0.
const unsigned int kChannel = 1u << 31;

unsigned int FieldOf(const char* name)
{
    // By first letter: most names then need one comparison.
    auto is = [name](const char* known) { return std::strcmp(name + 1, known + 1) == 0; };
    switch (name[0])
    {
    case 'C':
        if (is("Channel"))
            return kChannel;
        return is("Color") ? ListFields::eColor : 0;
    case 'D': return is("Default") ? ListFields::eDefault : 0;
    case 'K':
        if (is("KeyVer"))
            return ListFields::eKeyVer;
        if (is("Key"))
            return ListFields::eKey;
        if (is("KeyCount"))
            return ListFields::eKeyCount;
        if (is(kKeyTime))
            return ListFields::eKeyTime;
        if (is(kKeyValue))
            return ListFields::eKeyValue;
        if (is(kKeyFlags))
            return ListFields::eKeyFlags;
        return is(kKeyData) ? ListFields::eKeyData : 0;
    case 'L':
        if (is("LayerType"))
            return ListFields::eLayerType;
        if (is("LayerID"))
            return ListFields::eLayerID;
        return is("LayerChannel") ? ListFields::eLayerChannel : 0;
    case 'P':
        if (is("Pre-Extrapolation"))
            return ListFields::ePreExtrapolation;
        return is("Post-Extrapolation") ? ListFields::ePostExtrapolation : 0;
    case 'T': return is("TimeWarpID") ? ListFields::eTimeWarpID : 0;
    case 'U': return is("UserName") ? ListFields::eUserName : 0;
    default: return 0;
    }
}

// The curve fields of records [first, end) of the open list, eMisplaced
// when one stands twice.
unsigned int CurveFieldsOf(KQox* file, int first, int end)
{
    unsigned int present = 0;
    for (int i = first; i < end; ++i)
    {
        const char* name = file->FieldReadGetRecordName(i);
        if (name)
            ListFields::Note(FieldOf(name) & ListFields::eCurveFields, present);
    }
    return present;
}

// Where the next curve of the open list lies when the list may hold curves
// one after the other, each from its "Default" (KFCurve::QoxRetrieve). In a
// list of one "Default" every curve field is the curve's; in a list of
// several, the curve's fields lie from its "Default" to the next, and curve
// fields before the first "Default" belong to no curve read: damage
// (eMisplaced), as is a list of curve fields without any "Default".
struct NextCurve
{
    bool mFound = false;
    unsigned int mPresent = 0;
    int mFirst = -1;
    int mEnd = -1;

    explicit NextCurve(KQox* file)
    {
        const int records = file->FieldReadGetRecordCount();
        const int defaults = file->FieldReadGetCount("Default");
        if (defaults == 0)
        {
            if (CurveFieldsOf(file, 0, records) & ListFields::eCurveFields)
                file->GetError().SetLastErrorID(KQox::eFILE_CORRUPTED);
            return;
        }
        const int at = file->FieldReadGetRecordIndex("Default");
        if (at < 0)
            return;
        mFound = true;
        if (defaults == 1)
        {
            mPresent = CurveFieldsOf(file, 0, records);
            return;
        }
        mFirst = at;
        mPresent = ListFields::eDefault;
        for (int i = at + 1; i < records && mEnd < 0; ++i)
        {
            const char* name = file->FieldReadGetRecordName(i);
            const unsigned int field = name ? FieldOf(name) & ListFields::eCurveFields : 0;
            if (field == ListFields::eDefault)
                mEnd = i;
            else
                ListFields::Note(field, mPresent);
        }
        // Back to the curve before (each curve looks over the one before it
        // only: reading a list's curves in turn passes over it once).
        unsigned int before = 0;
        for (int i = at - 1; i >= 0; --i)
        {
            const char* name = file->FieldReadGetRecordName(i);
            const unsigned int field = name ? FieldOf(name) & ListFields::eCurveFields : 0;
            if (field == ListFields::eDefault)
                return;
            before |= field;
        }
        if (before)
            mPresent |= ListFields::eMisplaced;
    }
};

} // namespace

void ListFields::Find(KQox* file)
{
    if (!sSkipAbsent)
        return;
    // A name the list holds counts as there however it is held (a section,
    // a name cut short at a NUL byte): only names it lacks are skipped.
    unsigned int present = 0;
    int channels = 0;
    const int count = file->FieldReadGetRecordCount();
    for (int i = 0; i < count; ++i)
    {
        const char* name = file->FieldReadGetRecordName(i);
        if (!name)
            return;
        const unsigned int field = FieldOf(name);
        if (field == kChannel)
            ++channels;
        else
            Note(field, present);
    }
    mPresent = present;
    mChannels = channels;
}

bool KFCurve::QoxInternalRetrieve(KQox* file, bool onlyDefaults, bool withColor)
{
    return QoxRetrieve(file, onlyDefaults, withColor);
}

bool KFCurve::QoxRetrieveListed(KQox* file, bool onlyDefaults, bool withColor, unsigned int present, int first,
                                int end)
{
    if (!file)
        return false;
    KeyClear();
    OwnFields fields(file);
    fields.mFirst = first;
    fields.mEnd = end;
    if ((present & ListFields::eDefault) && fields.Begin("Default"))
    {
        SetValue(KFCurveValueFromFile(file->FieldReadD()));
        file->FieldReadEnd();
    }
    if (present & ListFields::eMisplaced)
    {
        // Which of two fields is the curve's cannot be told: nothing more is
        // read.
        file->GetError().SetLastErrorID(KQox::eFILE_CORRUPTED);
        return true;
    }
    if (onlyDefaults)
        return true;

    // No "KeyVer": the oldest key layout is assumed.
    const int noVersion = INT_MIN;
    const int versionRead = (present & ListFields::eKeyVer) ? fields.ReadI("KeyVer", noVersion) : noVersion;
    const int version = versionRead == noVersion ? 0 : versionRead;
    const bool arrays = version >= kKeyVersionArrays;
    if (arrays && !QoxRetrieveKeyArrays(file, fields.mFirst, fields.mEnd))
        KeyClear();
    bool damaged = false;
    int count = 0;
    if (!arrays)
    {
        const int written = (present & ListFields::eKeyCount) ? fields.ReadI("KeyCount", 0) : 0;
        count = BeginKeyField(fields, written, (present & ListFields::eKey) != 0, damaged);
    }
    std::vector<int> invalid;
    if (count > 0)
    {
        KeyClear();
        KeyModifyBegin(count);
        KeyModifyEnd(count);
        KeyModifyBegin(count);
        KeyReader r{file, *this, version, file->IsBinary(), 0, nullptr, nullptr, 0, false};
        const char firstType = file->FieldReadGetType();
        for (int i = 0; i < count && !r.shortOfKeys; ++i)
        {
            r.index = i;
            r.key = Key(i);
            r.previous = i > 0 ? Key(i - 1) : nullptr;
            char letter = 0;
            bool valid = ReadKeyHead(r, firstType, letter);
            if (valid)
                valid = ReadKeyBody(r, letter);
            r.previousLetter = letter;
            if (r.previous && !(r.key->GetTime() > r.previous->GetTime()))
                valid = false;
            if (!valid)
                invalid.push_back(i);
        }
        // Values left after the last key: more keys than the count. Without
        // its "KeyVer" the curve's layout is only assumed: the keys must
        // fill the field exactly, each read whole, else which were meant
        // cannot be told.
        damaged = r.shortOfKeys || file->FieldReadGetRemain() > 0 || (versionRead == noVersion && !invalid.empty());
        file->FieldReadEnd();
        KeyModifyEnd(count);
    }
    if (damaged)
    {
        // A count that does not match its keys: the curve keeps none.
        file->GetError().SetLastErrorID(KQox::eFILE_CORRUPTED);
        KeyClear();
        invalid.clear();
    }

    if (present & ListFields::ePreExtrapolation)
        ReadExtrapolation(fields, "Pre-Extrapolation", true, this);
    if (present & ListFields::ePostExtrapolation)
        ReadExtrapolation(fields, "Post-Extrapolation", false, this);

    if (withColor && (present & ListFields::eColor) && fields.Begin("Color"))
    {
        float color[3];
        for (float& c : color)
            c = KFCurveValueFromFile(file->FieldReadD());
        SetColor(color);
        file->FieldReadEnd();
    }

    for (size_t k = invalid.size(); k-- > 0;)
        KeyRemove(invalid[k]);

    if (version <= kKeyVersionOldTangents && KeyGetCount() > 0)
        ConvertOldTangents(*this);
    return true;
}

bool KFCurve::QoxRetrieve(KQox* file, bool onlyDefaults, bool withColor)
{
    // True when a curve was read; false when the list holds none.
    if (!file)
        return false;
    const NextCurve next(file);
    return next.mFound && QoxRetrieveListed(file, onlyDefaults, withColor, next.mPresent, next.mFirst, next.mEnd);
}

KFCurve* KFCurveCreate(KQox* file, KFCurve* curve, bool onlyDefaults, bool withColor)
{
    if (!file)
        return nullptr;
    const NextCurve next(file);
    if (!next.mFound)
        return nullptr;
    if (!curve)
        curve = KFCurveCreate();
    curve->QoxRetrieveListed(file, onlyDefaults, withColor, next.mPresent, next.mFirst, next.mEnd);
    return curve;
}

KFCurve* KFCurveCreateListed(KQox* file, KFCurve* curve, bool onlyDefaults, bool withColor, unsigned int present)
{
    if (!file)
        return nullptr;
    if (present == ListFields::eAll)
        present = CurveFieldsOf(file, 0, file->FieldReadGetRecordCount());
    if (!(present & ListFields::eCurveFields))
        return nullptr;
    if (!curve)
        curve = KFCurveCreate();
    curve->QoxRetrieveListed(file, onlyDefaults, withColor, present, -1, -1);
    return curve;
}

KFCurve* KFCurveCreate(KQox* file, bool onlyDefaults, bool withColor)
{
    return KFCurveCreate(file, nullptr, onlyDefaults, withColor);
}
