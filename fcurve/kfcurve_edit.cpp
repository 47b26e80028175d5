// Whole-curve operations: copy, range deletion, span replacement and the
// consistency check of the key storage.

#include "fcurve/kfcurve.h"

#include "fcurve/kfcurve_internal.h"

#include <cmath>
#include <cstring>

using namespace kfcurve_detail;

namespace {

const float kNoOffset = 0.0000001f;

enum ReplaceMode
{
    kReplacePlain,
    kReplaceEuler,
    kReplaceQuaternion
};

bool IsMinusInfinite(KTime t)
{
    return t <= KTIME_MINUS_INFINITE;
}

bool IsInfinite(KTime t)
{
    return t >= KTIME_INFINITE;
}

// Mirrors a key's value about offset (or shifts it by offset); mirrored
// user and break keys have their stored slopes negated as well.
void OffsetKey(KFCurveKey& key, float offset, bool mirror)
{
    if (!mirror)
    {
        key.SetValue(key.GetValue() + offset);
        return;
    }
    key.SetValue(offset - key.GetValue());
    const unsigned int mode = key.GetTangeantMode();
    if (IsCubic(key) && IsUserMode(mode))
    {
        key.SetDataDouble(KFCURVEKEY_RIGHT_SLOPE, -key.GetDataDouble(KFCURVEKEY_RIGHT_SLOPE));
        key.SetDataDouble(KFCURVEKEY_NEXT_LEFT_SLOPE, -key.GetDataDouble(KFCURVEKEY_NEXT_LEFT_SLOPE));
    }
}

} // namespace

void KFCurve::CopyFrom(KFCurve& source, bool withKeys)
{
    if (withKeys)
    {
        if (&source != this)
        {
            const int n = source.mKeyCount;
            // Whole blocks are copied: the first block takes at least the
            // size of the source's.
            const int first = n > 0 && source.mFirstBlockKeys > n ? source.mFirstBlockKeys : n;
            KeyModifyBegin(first);
            if (AllocatedKeys() >= n)
            {
                for (int b = 0; b * 32 < n; ++b)
                {
                    const int keys = BlockKeys(b);
                    const int copied = source.BlockKeys(b) < keys ? source.BlockKeys(b) : keys;
                    std::memcpy(static_cast<void*>(mBlocks[b]), source.mBlocks[b], copied * sizeof(KFCurveKey));
                    std::memset(static_cast<void*>(mBlocks[b] + copied), 0, (keys - copied) * sizeof(KFCurveKey));
                }
                KeyModifyEnd(n);
            }
            else
            {
                KeyModifyEnd();
            }
        }
    }
    else
    {
        KeyClear();
    }
    mValue = source.mValue;
    mColor[0] = source.mColor[0];
    mColor[1] = source.mColor[1];
    mColor[2] = source.mColor[2];
    mPreExtrapolation = source.mPreExtrapolation;
    mPreExtrapolationCount = source.mPreExtrapolationCount;
    mPostExtrapolation = source.mPostExtrapolation;
    mPostExtrapolationCount = source.mPostExtrapolationCount;
    mCandidateTime = source.mCandidateTime;
    mCandidateValue = source.mCandidateValue;
    mUpdateId++;
    CallbackAddEvent(KFCURVEEVENT_KEY, -1);
}

KFCurve* KFCurve::Copy(KTime start, KTime stop)
{
    KFCurve* copy = KFCurveCreate();
    if (start == KTIME_MINUS_INFINITE && stop == KTIME_INFINITE)
    {
        copy->CopyFrom(*this, true);
    }
    else
    {
        copy->mValue = mValue;
        copy->mUpdateId = mUpdateId;
        copy->mCandidateTime = mCandidateTime;
        copy->mCandidateValue = mCandidateValue;
    }
    return copy;
}

bool KFCurve::Delete(int first, int last)
{
    if (mKeyCount == 0)
        return false;
    CandidateClear();
    const float firstValue = Key(0)->GetValue();
    // Indices beyond the keys are limited to them.
    if (first < 0)
        first = 0;
    if (last > mKeyCount - 1)
        last = mKeyCount - 1;

    if (first == last)
    {
        KeyRemove(first);
    }
    else if (first == 0 && last == mKeyCount - 1)
    {
        KeyClear();
    }
    else if (first < last)
    {
        const bool hasNext = last + 1 < mKeyCount;
        const KFCurveTangeantInfo info = hasNext ? KeyGetLeftDerivativeInfo(last + 1) : KFCurveTangeantInfo();
        const int tail = mKeyCount - (last + 1);

        // Blocks lying wholly inside the range are freed and the table closed up.
        const int firstBlock = (first + kBlockMask) / kBlockKeys;
        const int lastBlock = (last + 1) / kBlockKeys - 1;
        int removed = 0;
        if (lastBlock >= firstBlock)
        {
            const int blocks = lastBlock - firstBlock + 1;
            for (int b = firstBlock; b <= lastBlock; ++b)
                WatchFree(mBlocks[b], static_cast<size_t>(BlockKeys(b)) * sizeof(KFCurveKey));
            std::memmove(static_cast<void*>(&mBlocks[firstBlock]), &mBlocks[lastBlock + 1],
                         static_cast<size_t>(mLastBlock - lastBlock) * sizeof(KFCurveKey*));
            for (int b = mLastBlock - blocks + 1; b <= mLastBlock; ++b)
                mBlocks[b] = nullptr;
            mLastBlock -= blocks;
            removed = blocks * 32;
        }
        // The rest of the range is closed by moving the following keys down.
        const int remainingLast = last - removed;
        if (remainingLast >= first && tail > 0)
            CopyKeysDown(first, remainingLast + 1, tail);
        mKeyCount -= last - first + 1;
        mKeyReserved = 0;
        if (hasNext)
            KeySetLeftDerivativeInfo(first, info);
        CallbackAddEvent(KFCURVEEVENT_KEY, -1);
    }
    if (mKeyCount == 0)
        mValue = firstValue;
    return true;
}

bool KFCurve::Delete(KTime start, KTime stop)
{
    if (mKeyCount == 0)
        return false;
    const double from = KeyFind(start);
    const double to = KeyFind(stop);
    int first = static_cast<int>(std::ceil(from));
    if (from == std::floor(from))
        ++first; // a key exactly at start is kept
    int last = static_cast<int>(std::floor(to));
    if (to == std::ceil(to))
        --last; // a key exactly at stop is kept
    return Delete(first, last);
}

void KFCurve::Replace(KFCurve* source, KTime start, KTime stop, bool exactSpan, bool candidateKeys)
{
    ReplaceImpl(source, start, stop, exactSpan, candidateKeys, kReplacePlain, 0.0f, 0.0f, false, false);
}

void KFCurve::ReplaceForEulerXYZ(KFCurve* source, KTime start, KTime stop, float spanOffset, float afterOffset,
                                 bool mirrorSpan, bool mirrorAfter, bool exactSpan, bool candidateKeys)
{
    ReplaceImpl(source, start, stop, exactSpan, candidateKeys, kReplaceEuler, spanOffset, afterOffset, mirrorSpan,
                mirrorAfter);
}

void KFCurve::ReplaceForQuaternion(KFCurve* source, KTime start, KTime stop, float startFactor, float stopFactor,
                                   bool exactSpan, bool candidateKeys)
{
    ReplaceImpl(source, start, stop, exactSpan, candidateKeys, kReplaceQuaternion, startFactor, stopFactor, false,
                false);
}

void KFCurve::ReplaceImpl(KFCurve* source, KTime start, KTime stop, bool exactSpan, bool candidateKeys, int mode,
                          float value1, float value2, bool mirror1, bool mirror2)
{
    if (source == nullptr)
        return;
    KFCurve copy;
    if (source == this)
    {
        copy.CopyFrom(*this, true);
        source = &copy;
    }

    KeyModifyBegin();
    const bool startOpen = IsMinusInfinite(start);
    const bool stopOpen = IsInfinite(stop);
    const int sourceCount = source->mKeyCount;
    if (sourceCount > 0)
    {
        if (startOpen)
            start = source->Key(0)->GetTime();
        if (stopOpen)
            stop = source->Key(sourceCount - 1)->GetTime();
    }

    // Source keys in the span.
    int first = 0, last = -1;
    if (sourceCount > 0)
    {
        int hint = 0;
        first = static_cast<int>(std::ceil(source->KeyFind(start, &hint)));
        last = static_cast<int>(std::floor(source->KeyFind(stop, &hint)));
        if (first < 0)
            first = 0;
        if (last > sourceCount - 1)
            last = sourceCount - 1;
    }
    const bool sourceInSpan = first <= last && first < sourceCount;
    if (sourceInSpan && !exactSpan)
    {
        start = source->Key(first)->GetTime();
        stop = source->Key(last)->GetTime();
    }

    // Slopes of this curve at the span's ends, handed over to the new keys.
    const double at = KeyFind(start);
    const int insertion = at < 0.0 ? 0 : static_cast<int>(std::ceil(at));
    const float leftDerivative = EvaluateLeftDerivative(start);
    const float rightDerivative = EvaluateRightDerivative(stop);

    Delete(SaturatedAdd(start, -1), SaturatedAdd(stop, 1));

    // Keys after the span follow the after offset.
    if (mode == kReplaceEuler && std::fabs(value2) > kNoOffset)
    {
        for (int i = 0; i < mKeyCount; ++i)
            if (Key(i)->GetTime() > stop)
                OffsetKey(*Key(i), value2, mirror2);
    }

    if (sourceInSpan)
    {
        CandidateClear();
        const float spanOffset = std::fabs(value1) > kNoOffset ? value1 : 0.0f;
        const double span = static_cast<double>(stop.Get()) - static_cast<double>(start.Get());
        int lastCopied = -1;
        for (int j = first; j < sourceCount && source->Key(j)->GetTime() <= stop; ++j)
        {
            KFCurveKey key = *source->Key(j);
            if (mode == kReplaceEuler && (spanOffset != 0.0f || mirror1))
            {
                OffsetKey(key, spanOffset, mirror1);
            }
            else if (mode == kReplaceQuaternion)
            {
                const double u =
                    span != 0.0 ? (static_cast<double>(key.GetTime().Get()) - static_cast<double>(start.Get())) / span
                                : 0.0;
                key.MultValue(static_cast<float>((1.0 - u) * value1 + u * value2));
            }
            const int index = KeyAdd(key.GetTime(), key);
            if (index >= 0)
                lastCopied = index;
        }
        const unsigned int handOver = KFCURVE_TANGEANT_USER | KFCURVE_TANGEANT_AUTO;
        if (!startOpen && mKeyCount > 0 && insertion < mKeyCount && Key(insertion)->GetTime() <= stop)
        {
            const int target = Key(insertion)->GetTime() < start ? insertion + 1 : insertion;
            if (target < mKeyCount && (Key(target)->GetTangeantMode() & handOver))
                KeySetLeftDerivative(target, leftDerivative);
        }
        if (!stopOpen && lastCopied >= 0 && (Key(lastCopied)->GetTangeantMode() & handOver))
            KeySetRightDerivative(lastCopied, rightDerivative);
        CallbackAddEvent(KFCURVEEVENT_KEY, -1);
    }
    else if (candidateKeys)
    {
        // Pin this curve just outside the span, then key the source's static
        // value at its ends.
        const int cubic = KFCURVE_INTERPOLATION_CUBIC;
        const int user = KFCURVE_TANGEANT_USER;
        if (!startOpen)
        {
            const KTime before = SaturatedAdd(start, -1);
            CandidateEvaluate(before);
            CandidateKey(nullptr, cubic, user, false, true, before, 0.0);
        }
        if (!stopOpen)
        {
            const KTime after = SaturatedAdd(stop, 1);
            CandidateEvaluate(after);
            CandidateKey(nullptr, cubic, user, false, true, after, 0.0);
        }
        if (!startOpen)
        {
            CandidateSet(start, source->GetValue());
            CandidateKey(nullptr, cubic, user, false, true, start, 0.0);
        }
        if (!stopOpen)
        {
            CandidateSet(stop, source->GetValue());
            CandidateKey(nullptr, cubic, user, false, true, stop, 0.0);
        }
    }
    KeyModifyEnd();
}

bool KFCurve::IsKeyInterpolationPureCubicAuto(int index)
{
    if (!IsKey(index))
        return false;
    const KFCurveKey& key = *Key(index);
    return (key.GetInterpolation() & KFCURVE_INTERPOLATION_CUBIC) != 0 &&
           (key.GetTangeantMode() & KFCURVE_TANGEANT_AUTO) != 0 && KeyGetLeftAuto(index) == 0.0f &&
           KeyGetRightAuto(index) == 0.0f && !KeyIsLeftTangeantWeighted(index) && !KeyIsRightTangeantWeighted(index);
}

bool KFCurve::CheckCurve() const
{
    if (mBlocks == nullptr)
        return mLastBlock >= -1 && mKeyCount == 0;
    if (mLastBlock == -1)
        return false;
    const int keyBlock = mKeyCount > 0 ? (mKeyCount - 1) / kBlockKeys : -1;
    const int needed = mLastBlock > keyBlock ? mLastBlock : keyBlock;
    const int entries = mKeyCapacity / kBlockKeys;
    if (needed >= entries)
        return false;
    for (int b = 0; b <= needed; ++b)
        if (mBlocks[b] == nullptr)
            return false;
    for (int b = needed + 1; b < entries; ++b)
        if (mBlocks[b] != nullptr)
            return false;
    return true;
}
