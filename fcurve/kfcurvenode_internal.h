#ifndef QOX_FCURVE_KFCURVENODE_INTERNAL_H
#define QOX_FCURVE_KFCURVENODE_INTERNAL_H

// Helpers shared by the curve-node source files.

#include "fcurve/kfcurvenode.h"

#include <vector>

class KDataType;

namespace kfcurvenode_detail {

// The named data types the curve nodes test for and give to members.
KDataType* TypeLclTranslation();
KDataType* TypeLclRotation();
KDataType* TypeLclScaling();
KDataType* TypeTimeWarp();
KDataType* TypeNumber();
KDataType* TypeMatrixRotation();
KDataType* TypeScaling();
KDataType* TypeMatrixScaling();
KDataType* TypeScalingUV();
KDataType* TypeGet(const char* name);
const char* TypeName(KDataType* type);
int TypeMemberCount(KDataType* type);

// Scratch buffer of doubles: a few on the stack, more on the heap.
class ValueBuffer
{
public:
    explicit ValueBuffer(int n)
    {
        if (n < 1)
            n = 1;
        if (n <= kInline)
            mData = mInline;
        else
        {
            mHeap.assign(static_cast<size_t>(n), 0.0);
            mData = mHeap.data();
        }
        if (n <= kInline)
            for (int i = 0; i < n; ++i)
                mInline[i] = 0.0;
        mCount = n;
    }
    ValueBuffer(const ValueBuffer&) = delete;
    ValueBuffer& operator=(const ValueBuffer&) = delete;

    double* Data() { return mData; }
    int Count() const { return mCount; }
    double& operator[](int i) { return mData[i]; }

private:
    static const int kInline = 32;
    double mInline[kInline];
    std::vector<double> mHeap;
    double* mData;
    int mCount;
};

} // namespace kfcurvenode_detail

#endif
