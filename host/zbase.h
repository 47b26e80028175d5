#ifndef ZELT_HOST_ZBASE_H
#define ZELT_HOST_ZBASE_H

// Value types of the Zelt host interface: status, strings, arrays, points,
// vectors, colours, matrices, times, angles, spaces, argument lists and the
// opaque object handle. Nothing here throws; failures come back as ZStatus.

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

class ZStatus
{
public:
    enum ZStatusCode
    {
        kSuccess = 0,
        kFailure = 1,
        kInsufficientMemory = 2,
        kInvalidParameter = 3, // also: an attribute name already in use
        kUnknownParameter = 5,
        kNotImplemented = 6,
        kNotFound = 7 // e.g. an anim-curve function set on a plug without a curve
    };

    ZStatus()
        : mCode(kSuccess)
    {}
    ZStatus(ZStatusCode code, const std::string& text = std::string())
        : mCode(code)
        , mText(text)
    {}

    ZStatusCode statusCode() const { return mCode; }
    bool error() const { return mCode != kSuccess; }
    explicit operator bool() const { return mCode == kSuccess; }
    bool operator==(ZStatusCode code) const { return mCode == code; }
    bool operator!=(ZStatusCode code) const { return mCode != code; }
    // The description of a failure ("" on success).
    std::string errorString() const { return mText; }
    void clear()
    {
        mCode = kSuccess;
        mText.clear();
    }
    // Reports text with this status's description to the host's error output
    // (recorded in the host transcript, see zelthost::Host).
    void perror(const char* text) const;
    void perror(const std::string& text) const { perror(text.c_str()); }

private:
    ZStatusCode mCode;
    std::string mText;
};

// Stores st through out when out is not null, and returns st.
inline ZStatus ZSetStatus(ZStatus* out, const ZStatus& st)
{
    if (out)
        *out = st;
    return st;
}

class ZString
{
public:
    ZString() = default;
    ZString(const char* text)
        : mText(text ? text : "")
    {}
    ZString(const std::string& text)
        : mText(text)
    {}
    const char* asChar() const { return mText.c_str(); }
    const std::string& str() const { return mText; }
    unsigned length() const { return static_cast<unsigned>(mText.size()); }
    int asInt() const;
    double asDouble() const;
    bool isInt() const;
    bool isDouble() const;
    ZString& operator+=(const ZString& other)
    {
        mText += other.mText;
        return *this;
    }
    ZString& operator+=(const char* text)
    {
        mText += text ? text : "";
        return *this;
    }
    // Numbers are appended in a form the host's script parser reads back to
    // the same value (17 significant digits for doubles).
    ZString& operator+=(double value);
    ZString& operator+=(int value);
    ZString& operator+=(unsigned value) { return *this += static_cast<int>(value); }
    bool operator==(const ZString& o) const { return mText == o.mText; }
    bool operator!=(const ZString& o) const { return mText != o.mText; }
    bool operator==(const char* o) const { return mText == (o ? o : ""); }
    bool operator!=(const char* o) const { return !(*this == o); }
    ZString operator+(const ZString& o) const { return ZString(mText + o.mText); }
    ZString substring(int start, int end) const;
    int index(char c) const;
    int rindex(char c) const;

private:
    std::string mText;
};

// Growable arrays of host values. Out-of-range access through operator[] is
// the caller's fault as with any array; get/set check their index.
template <typename T>
class ZArray
{
public:
    ZArray() = default;
    ZArray(unsigned count, const T& value = T())
        : mItems(count, value)
    {}
    ZArray(const T* items, unsigned count)
        : mItems(items, items + count)
    {}
    unsigned length() const { return static_cast<unsigned>(mItems.size()); }
    T& operator[](unsigned i) { return mItems[i]; }
    const T& operator[](unsigned i) const { return mItems[i]; }
    ZStatus append(const T& value)
    {
        mItems.push_back(value);
        return ZStatus();
    }
    ZStatus set(const T& value, unsigned i)
    {
        if (i >= mItems.size())
            return ZStatus(ZStatus::kInvalidParameter, "array index out of range");
        mItems[i] = value;
        return ZStatus();
    }
    ZStatus remove(unsigned i)
    {
        if (i >= mItems.size())
            return ZStatus(ZStatus::kInvalidParameter, "array index out of range");
        mItems.erase(mItems.begin() + i);
        return ZStatus();
    }
    ZStatus setLength(unsigned n)
    {
        mItems.resize(n);
        return ZStatus();
    }
    void clear() { mItems.clear(); }
    const std::vector<T>& items() const { return mItems; }
    std::vector<T>& items() { return mItems; }

private:
    std::vector<T> mItems;
};

class ZPoint
{
public:
    ZPoint() = default;
    ZPoint(double px, double py, double pz, double pw = 1.0)
        : x(px)
        , y(py)
        , z(pz)
        , w(pw)
    {}
    double x = 0, y = 0, z = 0, w = 1;
};

class ZFloatPoint
{
public:
    ZFloatPoint() = default;
    ZFloatPoint(float px, float py, float pz, float pw = 1.0f)
        : x(px)
        , y(py)
        , z(pz)
        , w(pw)
    {}
    float x = 0, y = 0, z = 0, w = 1;
};

class ZVector
{
public:
    ZVector() = default;
    ZVector(double vx, double vy, double vz)
        : x(vx)
        , y(vy)
        , z(vz)
    {}
    ZVector(const ZPoint& p)
        : x(p.x)
        , y(p.y)
        , z(p.z)
    {}
    ZStatus get(double out[3]) const
    {
        out[0] = x;
        out[1] = y;
        out[2] = z;
        return ZStatus();
    }
    double x = 0, y = 0, z = 0;
};

class ZColor
{
public:
    ZColor() = default;
    ZColor(float cr, float cg, float cb, float ca = 1.0f)
        : r(cr)
        , g(cg)
        , b(cb)
        , a(ca)
    {}
    float r = 0, g = 0, b = 0, a = 1;
};

// 4x4 doubles, row-major, for row vectors: translation in row 3.
class ZMatrix
{
public:
    ZMatrix();
    explicit ZMatrix(const double m[4][4]);
    double operator()(unsigned r, unsigned c) const { return (r < 4 && c < 4) ? matrix[r][c] : 0.0; }
    ZMatrix operator*(const ZMatrix& right) const;
    ZMatrix inverse() const;
    bool isEquivalent(const ZMatrix& other, double tolerance = 1e-10) const;
    ZStatus get(double out[4][4]) const;
    static const ZMatrix identity;
    double matrix[4][4];
};

using ZIntArray = ZArray<int>;
using ZUintArray = ZArray<unsigned>;
using ZDoubleArray = ZArray<double>;
using ZFloatArray = ZArray<float>;
using ZStringArray = ZArray<ZString>;
using ZPointArray = ZArray<ZPoint>;
using ZFloatPointArray = ZArray<ZFloatPoint>;
using ZVectorArray = ZArray<ZVector>;
using ZColorArray = ZArray<ZColor>;

// A time with its unit. Unit codes 1 to 11.
class ZTime
{
public:
    enum Unit
    {
        kInvalid = 0,
        kHours = 1,
        kMinutes = 2,
        kSeconds = 3,
        kMilliseconds = 4,
        kGames = 5,      // 15 fps
        kFilm = 6,       // 24 fps
        kNTSCFrame = 7,  // 30 fps
        kNTSCDrop = 8,   // 30 fps, drop-frame counting
        kShowScan = 9,   // 48 fps
        kPALField = 10,  // 50 fps
        kNTSCField = 11, // 60 fps
        kLast = 12
    };
    ZTime() = default;
    ZTime(double value, Unit unit = kSeconds)
        : mValue(value)
        , mUnit(unit)
    {}
    double value() const { return mValue; }
    Unit unit() const { return mUnit; }
    void setValue(double value) { mValue = value; }
    // The same instant in another unit (0 for an invalid unit).
    double as(Unit unit) const;
    double asSeconds() const { return as(kSeconds); }
    static Unit uiUnit();
    static ZStatus setUIUnit(Unit unit);
    // Units per second of a unit code; 0 for an invalid code.
    static double unitsPerSecond(Unit unit);

private:
    double mValue = 0;
    Unit mUnit = kSeconds;
};

class ZAngle
{
public:
    enum Unit
    {
        kInvalid = 0,
        kRadians = 1,
        kDegrees = 2,
        kAngMinutes = 3,
        kAngSeconds = 4,
        kLast = 5
    };
    ZAngle() = default;
    ZAngle(double value, Unit unit = kRadians)
        : mValue(value)
        , mUnit(unit)
    {}
    double as(Unit unit) const;
    double asRadians() const { return as(kRadians); }
    double asDegrees() const { return as(kDegrees); }
    static Unit uiUnit();
    static Unit internalUnit() { return kRadians; }
    static ZStatus setUIUnit(Unit unit);

private:
    double mValue = 0;
    Unit mUnit = kRadians;
};

class ZDistance
{
public:
    enum Unit
    {
        kInvalid = 0,
        kInches = 1,
        kFeet = 2,
        kYards = 3,
        kMiles = 4,
        kMillimeters = 5,
        kCentimeters = 6,
        kKilometers = 7,
        kMeters = 8,
        kLast = 9
    };
    static Unit uiUnit();
    static ZStatus setUIUnit(Unit unit);
};

struct ZSpace
{
    enum Space
    {
        kInvalid = 0,
        kTransform = 1,
        kPreTransform = 2,
        kObject = 2,
        kPostTransform = 3,
        kWorld = 4
    };
};

// Function-set type codes. The codes named by the import are fixed (242
// camera, 243 cluster handle, 301 spot light, 327 blend shape, 450 set, 521
// NURBS control-vertex component, 533 mesh vertex component, 660 skin
// cluster); the others are this host's own numbering.
struct ZFn
{
    enum Type
    {
        kInvalid = 0,
        kBase = 1,
        kDependencyNode = 2,
        kDagNode = 3,
        kWorld = 4,
        kTransform = 5,
        kJoint = 6,
        kShape = 7,
        kLocator = 8,
        kMesh = 9,
        kNurbsSurface = 10,
        kLight = 11,
        kPointLight = 12,
        kDirectionalLight = 13,
        kLambert = 14,
        kReflect = 15,
        kPhong = 16,
        kAnimCurve = 17,
        kAnimCurveTimeToAngular = 18,
        kAnimCurveTimeToDistance = 19,
        kAnimCurveTimeToTime = 20,
        kAnimCurveTimeToUnitless = 21,
        kAnimCurveUnitlessToUnitless = 22,
        kFileTexture = 23,
        kPlace2dTexture = 24,
        kLayeredTexture = 25,
        kCluster = 26,
        kGeometryFilter = 27,
        kShadingEngine = 28,
        kShaderList = 29,
        kRigidSkin = 30,
        kAttribute = 40,
        kNumericAttribute = 41,
        kCompoundAttribute = 42,
        kTypedAttribute = 43,
        kMatrixAttribute = 44,
        kMessageAttribute = 45,
        kData = 50,
        kMatrixData = 51,
        kComponent = 60,
        kSingleIndexedComponent = 61,
        kDoubleIndexedComponent = 62,
        kMeshPolygonComponent = 63,
        kPluginObject = 70,
        kCamera = 242,
        kClusterHandle = 243,
        kSpotLight = 301,
        kBlendShape = 327,
        kSet = 450,
        kSurfaceCVComponent = 521,
        kMeshVertComponent = 533,
        kSkinClusterFilter = 660
    };
};

namespace zelthost {
struct ObjectRep;
}

// Opaque handle to a host entity: a node, an attribute, a component, a data
// object or a plug-in. A handle to a node that was deleted is null.
class ZObject
{
public:
    ZObject() = default;
    explicit ZObject(std::shared_ptr<zelthost::ObjectRep> rep)
        : mRep(std::move(rep))
    {}
    bool isNull() const;
    ZFn::Type apiType() const;
    bool hasFn(ZFn::Type type) const;
    const char* apiTypeStr() const;
    bool operator==(const ZObject& other) const;
    bool operator!=(const ZObject& other) const { return !(*this == other); }
    static const ZObject kNullObj;
    const std::shared_ptr<zelthost::ObjectRep>& rep() const { return mRep; }

private:
    std::shared_ptr<zelthost::ObjectRep> mRep;
};

using ZObjectArray = ZArray<ZObject>;

// The arguments of a command, as the script gave them.
class ZArgList
{
public:
    ZArgList() = default;
    explicit ZArgList(const std::vector<std::string>& args)
        : mArgs(args)
    {}
    unsigned length() const { return static_cast<unsigned>(mArgs.size()); }
    ZString asString(unsigned index, ZStatus* status = nullptr) const;
    int asInt(unsigned index, ZStatus* status = nullptr) const;
    double asDouble(unsigned index, ZStatus* status = nullptr) const;
    bool asBool(unsigned index, ZStatus* status = nullptr) const;
    // Index of a flag ("-f") or -1.
    int flagIndex(const char* flag) const;

private:
    std::vector<std::string> mArgs;
};

#endif
