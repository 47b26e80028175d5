#ifndef QOX_PLUGIN_EXPORT_QOXMODIFIER_H
#define QOX_PLUGIN_EXPORT_QOXMODIFIER_H

// Value modifiers: map one number to another, one operation per numeric type.
// QoxFocalLengthToFOVModifier turns a focal length (millimetres) into a field
// of view (degrees) for the camera curves.

#include <cmath>
#include <cstdint>

class QoxModifier
{
public:
    virtual ~QoxModifier() = default;
    virtual int Modify(int value) { return value; }
    virtual long Modify(long value) { return value; }
    virtual unsigned int Modify(unsigned int value) { return value; }
    virtual float Modify(float value) { return value; }
    virtual double Modify(double value) { return value; }
};

class QoxFocalLengthToFOVModifier : public QoxModifier
{
public:
    // Results that do not fit the integer types (a focal length of 0 gives
    // 180; NaN and infinities come from odd apertures) are clamped to the
    // type's range, NaN to 0.
    int Modify(int value) override { return ToInt32(Fov(static_cast<double>(value))); }
    long Modify(long value) override { return ToInt32(Fov(static_cast<double>(static_cast<int32_t>(value)))); }
    unsigned int Modify(unsigned int value) override
    {
        double fov = Fov(static_cast<double>(value));
        if (!(fov > 0.0))
            return 0;
        if (fov >= 18446744073709551616.0)
            return 0xffffffffu;
        return static_cast<unsigned int>(static_cast<uint64_t>(fov) & 0xffffffffu);
    }
    float Modify(float value) override { return static_cast<float>(Fov(static_cast<double>(value))); }
    double Modify(double value) override { return Fov(value); }

    double mApertureWidth = 0.0;  // millimetres
    double mApertureHeight = 0.0; // millimetres
    double mSqueezeRatio = 1.0;
    int32_t mApertureMode = 0; // 2: vertical; any other: horizontal

private:
    double Fov(double focalLength) const
    {
        const double aperture = mApertureMode == 2 ? mApertureHeight : mSqueezeRatio * mApertureWidth;
        return 2.0 * std::atan(aperture / focalLength * 0.5) * 57.29577951308232;
    }
    static int ToInt32(double value)
    {
        if (std::isnan(value))
            return 0;
        if (value >= 2147483647.0)
            return 2147483647;
        if (value <= -2147483648.0)
            return -2147483647 - 1;
        return static_cast<int>(value);
    }
};

#endif
