#ifndef QOX_FCURVE_KFCURVEVALUEBUFFER_H
#define QOX_FCURVE_KFCURVEVALUEBUFFER_H

// A short array of doubles: up to Inline values held in the object itself,
// more on the heap. Values that growth brings in are 0.

#include <algorithm>
#include <cassert>
#include <cstddef>
#include <memory>

template <int Inline>
class KFCurveValueBuffer
{
public:
    // n values, all 0 (a negative n counts as 0).
    explicit KFCurveValueBuffer(int n = 0) { Resize(n); }
    KFCurveValueBuffer(const KFCurveValueBuffer& other) { Assign(other.Data(), other.Count()); }
    KFCurveValueBuffer& operator=(const KFCurveValueBuffer& other)
    {
        if (&other != this)
            Assign(other.Data(), other.Count());
        return *this;
    }

    int Count() const { return mCount; }
    double* Data() { return mHeap ? mHeap.get() : mInline; }
    const double* Data() const { return mHeap ? mHeap.get() : mInline; }
    double& operator[](int i)
    {
        assert(i >= 0 && i < mCount);
        return Data()[i];
    }

    // The count becomes n (a negative n counts as 0): the first values stay,
    // new ones are 0.
    void Resize(int n)
    {
        n = std::max(n, 0);
        if (n > Capacity())
        {
            std::unique_ptr<double[]> grown(new double[static_cast<size_t>(n)]());
            std::copy(Data(), Data() + mCount, grown.get());
            mHeap = std::move(grown);
            mHeapCapacity = n;
        }
        else if (n > mCount)
            std::fill(Data() + mCount, Data() + n, 0.0);
        mCount = n;
    }

    // Holds the n values given (values must not point into this buffer),
    // then zeros up to `minimum` values.
    void Assign(const double* values, int n, int minimum = 0)
    {
        n = std::max(n, 0);
        Resize(std::max(n, minimum));
        std::copy(values, values + n, Data());
        std::fill(Data() + n, Data() + mCount, 0.0);
    }

private:
    int Capacity() const { return mHeap ? mHeapCapacity : Inline; }

    double mInline[Inline]; // the first mCount are in use while mHeap is empty
    std::unique_ptr<double[]> mHeap;
    int mHeapCapacity = 0;
    int mCount = 0;
};

#endif
