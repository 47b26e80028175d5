#ifndef ZELT_HOST_ZANIM_H
#define ZELT_HOST_ZANIM_H

// Animation curves and the time slider.

#include "host/zfn.h"

class ZAnimCurveChange;

class ZFnAnimCurve : public ZFnDependencyNode
{
public:
    enum AnimCurveType
    {
        kAnimCurveTA = 0, // time to angle
        kAnimCurveTL = 1, // time to distance
        kAnimCurveTT = 2, // time to time
        kAnimCurveTU = 3, // time to unitless
        kAnimCurveUA = 4,
        kAnimCurveUL = 5,
        kAnimCurveUT = 6,
        kAnimCurveUU = 7,
        kAnimCurveUnknown = 8
    };
    enum TangentType
    {
        kTangentGlobal = 0,
        kTangentFixed = 1,
        kTangentLinear = 2,
        kTangentFlat = 3,
        kTangentSmooth = 4,
        kTangentStep = 5,
        kTangentSlow = 6,
        kTangentFast = 7,
        kTangentClamped = 8,
        kTangentPlateau = 9,
        kTangentStepNext = 10
    };
    enum InfinityType
    {
        kConstant = 0,
        kLinear = 1,
        kCycle = 3,
        kCycleRelative = 4,
        kOscillate = 5
    };
    ZFnAnimCurve() = default;
    ZFnAnimCurve(const ZObject& curve, ZStatus* status = nullptr);
    // Attaches to the curve that feeds the plug; kNotFound (7) when none does.
    ZFnAnimCurve(const ZPlug& plug, ZStatus* status = nullptr);
    ZFn::Type type() const override { return ZFn::kAnimCurve; }
    ZStatus setObject(const ZObject& object) override;

    // A new curve feeding the plug (which must be free and animatable).
    ZObject create(const ZPlug& plug, AnimCurveType type, ZAnimCurveChange* change = nullptr,
                   ZStatus* status = nullptr);
    // The type follows the plug's unit.
    ZObject create(const ZPlug& plug, ZAnimCurveChange* change = nullptr, ZStatus* status = nullptr);

    AnimCurveType animCurveType(ZStatus* status = nullptr) const;
    unsigned numKeys(ZStatus* status = nullptr) const;
    unsigned numKeyframes(ZStatus* status = nullptr) const { return numKeys(status); }
    // Keys are kept in time order; a key at a time that has one is refused.
    unsigned addKey(const ZTime& time, double value, TangentType inType = kTangentGlobal,
                    TangentType outType = kTangentGlobal, ZAnimCurveChange* change = nullptr,
                    ZStatus* status = nullptr);
    ZStatus addKeyframe(const ZTime& time, double value, ZAnimCurveChange* change = nullptr);
    ZStatus remove(unsigned index, ZAnimCurveChange* change = nullptr);
    ZTime time(unsigned index, ZStatus* status = nullptr) const;
    double value(unsigned index, ZStatus* status = nullptr) const;
    ZStatus setTime(unsigned index, const ZTime& time, ZAnimCurveChange* change = nullptr);
    ZStatus setValue(unsigned index, double value, ZAnimCurveChange* change = nullptr);
    TangentType inTangentType(unsigned index, ZStatus* status = nullptr) const;
    TangentType outTangentType(unsigned index, ZStatus* status = nullptr) const;
    ZStatus setInTangentType(unsigned index, TangentType type, ZAnimCurveChange* change = nullptr);
    ZStatus setOutTangentType(unsigned index, TangentType type, ZAnimCurveChange* change = nullptr);
    ZStatus setTangent(unsigned index, float x, float y, bool inTangent, ZAnimCurveChange* change = nullptr,
                       bool convertUnits = true);
    ZStatus getTangent(unsigned index, float& x, float& y, bool inTangent) const;
    ZStatus setTangentsLocked(unsigned index, bool locked, ZAnimCurveChange* change = nullptr);
    bool tangentsLocked(unsigned index, ZStatus* status = nullptr) const;
    ZStatus setWeightsLocked(unsigned index, bool locked, ZAnimCurveChange* change = nullptr);
    bool weightsLocked(unsigned index, ZStatus* status = nullptr) const;
    ZStatus setIsWeighted(bool weighted, ZAnimCurveChange* change = nullptr);
    bool isWeighted(ZStatus* status = nullptr) const;
    ZStatus setPreInfinityType(InfinityType type, ZAnimCurveChange* change = nullptr);
    ZStatus setPostInfinityType(InfinityType type, ZAnimCurveChange* change = nullptr);
    InfinityType preInfinityType(ZStatus* status = nullptr) const;
    InfinityType postInfinityType(ZStatus* status = nullptr) const;
    // Value at a time: held before the first and after the last key, a step
    // after a step key, a straight line otherwise.
    double evaluate(const ZTime& time, ZStatus* status = nullptr) const;
};

// The time slider: current time and playback range.
class ZAnimControl
{
public:
    static ZTime currentTime();
    static ZStatus setCurrentTime(const ZTime& time);
    static ZTime minTime();
    static ZTime maxTime();
    static ZStatus setMinTime(const ZTime& time);
    static ZStatus setMaxTime(const ZTime& time);
    static ZStatus setMinMaxTime(const ZTime& min, const ZTime& max);
};

#endif
