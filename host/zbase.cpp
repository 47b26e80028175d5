// Value types of the host interface.
#include "host/zbase.h"
#include "host/zhost.h"
#include "host/znumber_private.h"
#include "host/zscene_private.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace zelthost {
// Interface units, reset with the scene.
struct Units
{
    ZTime::Unit time = ZTime::kFilm;
    ZAngle::Unit angle = ZAngle::kDegrees;
    ZDistance::Unit distance = ZDistance::kCentimeters;
};
Units& CurrentUnits()
{
    static Units units;
    return units;
}
void ResetUnits()
{
    CurrentUnits() = Units();
}
} // namespace zelthost

void ZStatus::perror(const char* text) const
{
    std::string message = text ? text : "";
    if (!mText.empty())
        message += message.empty() ? mText : ": " + mText;
    zelthost::Host::Get().Record(zelthost::TranscriptEntry::kError, message);
}

// ---- ZString ----

static bool ParseWhole(const std::string& s, bool integer, double& out)
{
    if (s.empty())
        return false;
    if (!integer)
        return zelthost::WholeNumber(s, out);
    char* end = nullptr;
    long v = std::strtol(s.c_str(), &end, 10);
    out = static_cast<double>(v);
    return end && *end == '\0';
}

int ZString::asInt() const
{
    double v = 0;
    if (ParseWhole(mText, true, v))
        return static_cast<int>(v);
    return std::atoi(mText.c_str());
}

double ZString::asDouble() const
{
    double value = 0.0;
    zelthost::ScanNumber(mText, value);
    return value;
}

bool ZString::isInt() const
{
    double v;
    return ParseWhole(mText, true, v);
}

bool ZString::isDouble() const
{
    double v;
    return ParseWhole(mText, false, v);
}

ZString& ZString::operator+=(double value)
{
    mText += zelthost::NumberText(value, 'g', 17);
    return *this;
}

ZString& ZString::operator+=(int value)
{
    mText += std::to_string(value);
    return *this;
}

ZString ZString::substring(int start, int end) const
{
    if (start < 0)
        start = 0;
    if (end >= static_cast<int>(mText.size()))
        end = static_cast<int>(mText.size()) - 1;
    if (end < start)
        return ZString();
    return ZString(mText.substr(start, end - start + 1));
}

int ZString::index(char c) const
{
    size_t p = mText.find(c);
    return p == std::string::npos ? -1 : static_cast<int>(p);
}

int ZString::rindex(char c) const
{
    size_t p = mText.rfind(c);
    return p == std::string::npos ? -1 : static_cast<int>(p);
}

// ---- ZMatrix ----

const ZMatrix ZMatrix::identity;

ZMatrix::ZMatrix()
{
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 4; ++c)
            matrix[r][c] = r == c ? 1.0 : 0.0;
}

ZMatrix::ZMatrix(const double m[4][4])
{
    std::memcpy(matrix, m, sizeof matrix);
}

ZMatrix ZMatrix::operator*(const ZMatrix& right) const
{
    ZMatrix out;
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 4; ++c)
        {
            double sum = 0;
            for (int k = 0; k < 4; ++k)
                sum += matrix[r][k] * right.matrix[k][c];
            out.matrix[r][c] = sum;
        }
    return out;
}

// Gauss-Jordan with partial pivoting; a singular matrix gives the identity.
ZMatrix ZMatrix::inverse() const
{
    double a[4][8];
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 8; ++c)
            a[r][c] = c < 4 ? matrix[r][c] : (c - 4 == r ? 1.0 : 0.0);
    for (int col = 0; col < 4; ++col)
    {
        int pivot = col;
        for (int r = col + 1; r < 4; ++r)
            if (std::fabs(a[r][col]) > std::fabs(a[pivot][col]))
                pivot = r;
        if (std::fabs(a[pivot][col]) < 1e-300)
            return ZMatrix();
        for (int c = 0; c < 8; ++c)
            std::swap(a[col][c], a[pivot][c]);
        double d = a[col][col];
        for (int c = 0; c < 8; ++c)
            a[col][c] /= d;
        for (int r = 0; r < 4; ++r)
            if (r != col)
            {
                double f = a[r][col];
                for (int c = 0; c < 8; ++c)
                    a[r][c] -= f * a[col][c];
            }
    }
    ZMatrix out;
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 4; ++c)
            out.matrix[r][c] = a[r][c + 4];
    return out;
}

bool ZMatrix::isEquivalent(const ZMatrix& other, double tolerance) const
{
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 4; ++c)
            if (!(std::fabs(matrix[r][c] - other.matrix[r][c]) <= tolerance))
                return false;
    return true;
}

ZStatus ZMatrix::get(double out[4][4]) const
{
    std::memcpy(out, matrix, sizeof matrix);
    return ZStatus();
}

// ---- ZTime, ZAngle, ZDistance ----

double ZTime::unitsPerSecond(Unit unit)
{
    static const double perSecond[] = {0, 1.0 / 3600.0, 1.0 / 60.0, 1, 1000, 15, 24, 30, 30, 48, 50, 60};
    if (unit <= kInvalid || unit >= kLast)
        return 0;
    return perSecond[unit];
}

double ZTime::as(Unit unit) const
{
    double from = unitsPerSecond(mUnit), to = unitsPerSecond(unit);
    if (from == 0 || to == 0)
        return 0;
    return mValue / from * to;
}

ZTime::Unit ZTime::uiUnit()
{
    return zelthost::CurrentUnits().time;
}

ZStatus ZTime::setUIUnit(Unit unit)
{
    if (unit <= kInvalid || unit >= kLast)
        return ZStatus(ZStatus::kInvalidParameter, "invalid time unit " + std::to_string(unit));
    zelthost::CurrentUnits().time = unit;
    return ZStatus();
}

double ZAngle::as(Unit unit) const
{
    static const double perRadian[] = {0, 1, 180.0 / M_PI, 180.0 * 60.0 / M_PI, 180.0 * 3600.0 / M_PI};
    if (mUnit <= kInvalid || mUnit >= kLast || unit <= kInvalid || unit >= kLast)
        return 0;
    return mValue / perRadian[mUnit] * perRadian[unit];
}

ZAngle::Unit ZAngle::uiUnit()
{
    return zelthost::CurrentUnits().angle;
}

ZStatus ZAngle::setUIUnit(Unit unit)
{
    if (unit <= kInvalid || unit >= kLast)
        return ZStatus(ZStatus::kInvalidParameter, "invalid angle unit " + std::to_string(unit));
    zelthost::CurrentUnits().angle = unit;
    return ZStatus();
}

ZDistance::Unit ZDistance::uiUnit()
{
    return zelthost::CurrentUnits().distance;
}

ZStatus ZDistance::setUIUnit(Unit unit)
{
    if (unit <= kInvalid || unit >= kLast)
        return ZStatus(ZStatus::kInvalidParameter, "invalid distance unit " + std::to_string(unit));
    zelthost::CurrentUnits().distance = unit;
    return ZStatus();
}

// ---- ZObject ----

const ZObject ZObject::kNullObj;

bool ZObject::isNull() const
{
    if (!mRep)
        return true;
    if (mRep->kind == zelthost::ObjectRep::kNode ||
        (mRep->kind == zelthost::ObjectRep::kAttribute && mRep->pack.empty()))
        return zelthost::CurrentScene().Get(mRep->node) == nullptr;
    return false;
}

ZFn::Type ZObject::apiType() const
{
    if (isNull())
        return ZFn::kInvalid;
    using zelthost::ObjectRep;
    switch (mRep->kind)
    {
    case ObjectRep::kNode: return zelthost::CurrentScene().Get(mRep->node)->type->fnTypes.front();
    case ObjectRep::kAttribute:
    {
        const zelthost::AttrDef* def =
            mRep->pack.empty() ? zelthost::CurrentScene().Get(mRep->node)->Attr(mRep->attr) : &mRep->pack.front();
        if (!def)
            return ZFn::kInvalid;
        switch (def->kind)
        {
        case zelthost::AttrDef::kNumeric: return ZFn::kNumericAttribute;
        case zelthost::AttrDef::kCompound: return ZFn::kCompoundAttribute;
        case zelthost::AttrDef::kMatrix: return ZFn::kMatrixAttribute;
        case zelthost::AttrDef::kString: return ZFn::kTypedAttribute;
        case zelthost::AttrDef::kMessage: return ZFn::kMessageAttribute;
        }
        return ZFn::kAttribute;
    }
    case ObjectRep::kComponent: return mRep->componentType;
    case ObjectRep::kData: return ZFn::kMatrixData;
    case ObjectRep::kPlugin: return ZFn::kPluginObject;
    }
    return ZFn::kInvalid;
}

bool ZObject::hasFn(ZFn::Type type) const
{
    if (isNull())
        return false;
    using zelthost::ObjectRep;
    switch (mRep->kind)
    {
    case ObjectRep::kNode: return zelthost::CurrentScene().Get(mRep->node)->Is(type);
    case ObjectRep::kAttribute:
    {
        ZFn::Type t = apiType();
        return type == t || type == ZFn::kAttribute || type == ZFn::kBase ||
               (type == ZFn::kNumericAttribute && t == ZFn::kCompoundAttribute && !mRep->pack.empty() &&
                mRep->pack.front().numericType != zelthost::kNumInvalid);
    }
    case ObjectRep::kComponent:
    {
        ZFn::Type t = mRep->componentType;
        bool doubleIndexed = t == ZFn::kSurfaceCVComponent;
        return type == t || type == ZFn::kComponent || type == ZFn::kBase ||
               (type == ZFn::kDoubleIndexedComponent && doubleIndexed) ||
               (type == ZFn::kSingleIndexedComponent && !doubleIndexed);
    }
    case ObjectRep::kData: return type == ZFn::kMatrixData || type == ZFn::kData || type == ZFn::kBase;
    case ObjectRep::kPlugin: return type == ZFn::kPluginObject || type == ZFn::kBase;
    }
    return false;
}

const char* ZObject::apiTypeStr() const
{
    if (isNull())
        return "kInvalid";
    if (mRep->kind == zelthost::ObjectRep::kNode)
        return zelthost::CurrentScene().Get(mRep->node)->type->name.c_str();
    return "kObject";
}

bool ZObject::operator==(const ZObject& other) const
{
    if (mRep == other.mRep)
        return true;
    if (!mRep || !other.mRep)
        return isNull() && other.isNull();
    if (mRep->kind != other.mRep->kind)
        return false;
    if (mRep->kind == zelthost::ObjectRep::kNode)
        return mRep->node == other.mRep->node;
    if (mRep->kind == zelthost::ObjectRep::kAttribute && mRep->pack.empty() && other.mRep->pack.empty())
    {
        // A static attribute is one object for every node of its type.
        const zelthost::Node* a = zelthost::CurrentScene().Get(mRep->node);
        const zelthost::Node* b = zelthost::CurrentScene().Get(other.mRep->node);
        if (a && b && a->type == b->type && mRep->attr == other.mRep->attr &&
            mRep->attr < static_cast<int>(a->type->attrs.size()))
            return true;
        return mRep->node == other.mRep->node && mRep->attr == other.mRep->attr;
    }
    return false;
}

// ---- ZArgList ----

ZString ZArgList::asString(unsigned index, ZStatus* status) const
{
    if (index >= mArgs.size())
    {
        ZSetStatus(status, ZStatus(ZStatus::kInvalidParameter, "argument index out of range"));
        return ZString();
    }
    ZSetStatus(status, ZStatus());
    return ZString(mArgs[index]);
}

int ZArgList::asInt(unsigned index, ZStatus* status) const
{
    ZStatus st;
    ZString s = asString(index, &st);
    if (st && !s.isInt())
        st = ZStatus(ZStatus::kInvalidParameter, "argument " + s.str() + " is not an integer");
    ZSetStatus(status, st);
    return st ? s.asInt() : 0;
}

double ZArgList::asDouble(unsigned index, ZStatus* status) const
{
    ZStatus st;
    ZString s = asString(index, &st);
    if (st && !s.isDouble())
        st = ZStatus(ZStatus::kInvalidParameter, "argument " + s.str() + " is not a number");
    ZSetStatus(status, st);
    return st ? s.asDouble() : 0.0;
}

bool ZArgList::asBool(unsigned index, ZStatus* status) const
{
    ZStatus st;
    ZString s = asString(index, &st);
    bool value = false;
    if (st)
    {
        const std::string& t = s.str();
        if (t == "true" || t == "on" || t == "yes" || t == "1")
            value = true;
        else if (!(t == "false" || t == "off" || t == "no" || t == "0"))
            st = ZStatus(ZStatus::kInvalidParameter, "argument " + t + " is not a boolean");
    }
    ZSetStatus(status, st);
    return value;
}

int ZArgList::flagIndex(const char* flag) const
{
    for (size_t i = 0; i < mArgs.size(); ++i)
        if (mArgs[i] == flag)
            return static_cast<int>(i);
    return -1;
}
