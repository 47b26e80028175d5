// Helpers shared by the curve tests: times, key builders, curve sampling, member nodes and in-memory native files.

#ifndef QOX_TESTS_FCURVE_TEST_UTIL_H
#define QOX_TESTS_FCURVE_TEST_UTIL_H

#include <gtest/gtest.h>

#include <cstring>
#include <initializer_list>
#include <string>
#include <vector>

#include "base/kqox.h"
#include "common/qox_test_common.h"
#include "fcurve/kfcurve.h"
#include "fcurve/kfcurvenode.h"
#include "object/kpropertydatatype.h"

namespace fctest {

using qoxtest::kTicksPerFrame30;
using qoxtest::kTicksPerSecond;
const long long kDelta = kTicksPerSecond / 120;

// Short names of the interpolations and tangent modes.
const unsigned int C = KFCURVE_INTERPOLATION_CONSTANT, L = KFCURVE_INTERPOLATION_LINEAR;
const unsigned int U = KFCURVE_INTERPOLATION_CUBIC, USER = KFCURVE_TANGEANT_USER, AUTO = KFCURVE_TANGEANT_AUTO;
const unsigned int BREAK = KFCURVE_TANGEANT_BREAK;

inline KTime Sec(double seconds)
{
    KTime t;
    t.SetSecondDouble(seconds);
    return t;
}

// A zeroed key with every field given.
inline KFCurveKey MakeKey(KTime t, float value, unsigned int interpolation = KFCURVE_INTERPOLATION_LINEAR,
                          unsigned int mode = KFCURVE_TANGEANT_AUTO, float right = 0.0f, float nextLeft = 0.0f)
{
    KFCurveKey key;
    std::memset(static_cast<void*>(&key), 0, sizeof key);
    key.Set(t, value, interpolation, mode, right, nextLeft);
    return key;
}

inline void AddKey(KFCurve& c, KTime t, float value, unsigned int interpolation = KFCURVE_INTERPOLATION_LINEAR,
                   unsigned int mode = KFCURVE_TANGEANT_AUTO, float right = 0.0f, float nextLeft = 0.0f)
{
    KFCurveKey key = MakeKey(t, value, interpolation, mode, right, nextLeft);
    c.KeyAdd(t, key);
}

// Keys at 0, step, 2 step ... seconds holding the given values.
inline void AddKeys(KFCurve& c, std::initializer_list<float> values, double step = 1.0,
                    unsigned int interpolation = KFCURVE_INTERPOLATION_LINEAR,
                    unsigned int mode = KFCURVE_TANGEANT_AUTO)
{
    int i = 0;
    for (float v : values)
        AddKey(c, Sec(step * i++), v, interpolation, mode);
}

inline void AddTCB(KFCurve& c, KTime t, float value, float tension = 0.0f, float continuity = 0.0f, float bias = 0.0f)
{
    KFCurveKey key = MakeKey(t, value);
    key.SetTCB(t, value, tension, continuity, bias);
    c.KeyAdd(t, key);
}

inline std::vector<long long> Times(KFCurve& c)
{
    std::vector<long long> out;
    for (int i = 0; i < c.KeyGetCount(); ++i)
        out.push_back(c.KeyGetTime(i).Get());
    return out;
}

// Per key its kind letter and mode letter as the native file writes them: "Cs", "Cn", "L", "Ua" (auto), "Uq"
// (auto-break), "Us" (user), "Ub" (break), "Ut" (TCB), each followed by a space.
inline std::string Kinds(KFCurve& c)
{
    std::string kinds;
    for (int i = 0; i < c.KeyGetCount(); ++i)
    {
        const unsigned int mode = c.KeyGetTangeantMode(i);
        switch (c.KeyGetInterpolation(i))
        {
        case KFCURVE_INTERPOLATION_CONSTANT: kinds += c.KeyGetConstantMode(i) ? "Cn" : "Cs"; break;
        case KFCURVE_INTERPOLATION_LINEAR: kinds += "L"; break;
        default:
            kinds += mode == KFCURVE_TANGEANT_AUTO         ? "Ua"
                     : mode == KFCURVE_TANGEANT_AUTO_BREAK ? "Uq"
                     : mode == KFCURVE_TANGEANT_USER       ? "Us"
                     : mode == KFCURVE_TANGEANT_BREAK      ? "Ub"
                     : mode == KFCURVE_TANGEANT_TCB        ? "Ut"
                                                           : "U?";
        }
        kinds += ' ';
    }
    return kinds;
}

// Key times in ticks of the given seconds.
inline std::vector<long long> Secs(std::initializer_list<double> seconds)
{
    std::vector<long long> out;
    for (double s : seconds)
        out.push_back(Sec(s).Get());
    return out;
}

inline std::vector<float> Values(KFCurve& c)
{
    std::vector<float> out;
    for (int i = 0; i < c.KeyGetCount(); ++i)
        out.push_back(c.KeyGetValue(i));
    return out;
}

// The left and right derivatives of a key.
inline std::vector<double> Derivatives(KFCurve& c, int index)
{
    return {c.KeyGetLeftDerivative(index), c.KeyGetRightDerivative(index)};
}

// A few numbers compared at once, exactly.
inline std::vector<double> Vec(std::initializer_list<double> values)
{
    return values;
}

// n + 1 values evenly spaced from `from` to `to` seconds.
inline std::vector<float> Sample(KFCurve& c, double from, double to, int n)
{
    std::vector<float> v;
    for (int i = 0; i <= n; ++i)
        v.push_back(c.Evaluate(Sec(from + (to - from) * i / n)));
    return v;
}

inline void ExpectNearAll(const std::vector<float>& a, const std::vector<float>& b, double tolerance)
{
    ASSERT_EQ(a.size(), b.size());
    for (size_t i = 0; i < a.size(); ++i)
        EXPECT_NEAR(a[i], b[i], tolerance) << i;
}

inline void ExpectNear3(const double* v, double x, double y, double z, double tolerance = 1e-4)
{
    EXPECT_NEAR(v[0], x, tolerance);
    EXPECT_NEAR(v[1], y, tolerance);
    EXPECT_NEAR(v[2], z, tolerance);
}

// The last error of a filter (or of anything with the same error queries).
template <typename Filter>
void ExpectError(Filter& filter, int id, const char* text)
{
    EXPECT_EQ(filter.GetLastErrorID(), id);
    EXPECT_STREQ(filter.GetLastErrorString(), text);
}

// A node of the given layer type whose members "X", "Y", "Z" (and "W" for a fourth) each have a curve, holding the
// given static values.
inline KFCurveNode* MemberNode(const char* name = "T", int layerType = KFCL_ADD,
                               std::initializer_list<double> values = {0, 0, 0})
{
    KFCurveNode* node = KFCurveNodeCreate(name, static_cast<KDataType*>(nullptr), layerType, 0);
    static const char* const kNames[] = {"X", "Y", "Z", "W"};
    int i = 0;
    for (double v : values)
        node->FindOrCreate(kNames[i++], true)->FCurveGet()->SetValue(static_cast<float>(v));
    return node;
}

// "Transform" with the three local transform nodes (named as given) and "Visibility"; every leaf has a curve.
inline KFCurveNode* MakeTransform(const char* t = "Lcl Translation", const char* r = "Lcl Rotation",
                                  const char* s = "Lcl Scaling")
{
    KFCurveNode* root = KFCurveNodeCreate("Transform");
    root->Add(FCurveNodeCreateFromDataType(KDataTypeLclTranslation, t));
    root->Add(FCurveNodeCreateFromDataType(KDataTypeLclRotation, r));
    root->Add(FCurveNodeCreateFromDataType(KDataTypeLclScaling, s));
    root->Add(KFCurveNodeCreate("Visibility", KDataTypeVisibility));
    root->CreateFCurve();
    return root;
}

inline KFCurve* Member(KFCurveNode* node, int member)
{
    return node->Get(member)->FCurveGet();
}

// Keys {seconds, value of member 0, value of member 1, ...} on a node's members.
inline void KeyMembers(KFCurveNode* node, std::initializer_list<std::initializer_list<double>> keys,
                       unsigned int interpolation = KFCURVE_INTERPOLATION_LINEAR)
{
    for (const auto& key : keys)
        for (size_t i = 1; i < key.size(); ++i)
            AddKey(*Member(node, static_cast<int>(i - 1)), Sec(key.begin()[0]), static_cast<float>(key.begin()[i]),
                   interpolation);
}

// Static values of a node's members.
inline void SetMembers(KFCurveNode* node, const std::vector<double>& values)
{
    for (size_t i = 0; i < values.size(); ++i)
        Member(node, static_cast<int>(i))->SetValue(static_cast<float>(values[i]));
}

// The static values of a node's members.
inline std::vector<double> Statics(KFCurveNode* node)
{
    std::vector<double> values;
    for (int i = 0; i < node->GetCount(); ++i)
        values.push_back(Member(node, i)->GetValue());
    return values;
}

inline void ExpectNearN(const double* v, const std::vector<double>& expected, double tolerance)
{
    for (size_t i = 0; i < expected.size(); ++i)
        EXPECT_NEAR(v[i], expected[i], tolerance) << i;
}

// A native file in memory, written in one section "Takes".
struct Image
{
    std::vector<unsigned char> bytes = std::vector<unsigned char>(1 << 20);
    unsigned int size = 0;
};

template <typename Writer>
Image WriteSection(KQox::EForm form, int sectionVersion, Writer write)
{
    Image image;
    KQox f;
    EXPECT_TRUE(f.ProjectCreate(image.bytes.data(), static_cast<unsigned int>(image.bytes.size()), form,
                                KQox::eVERSION_6, "pw"));
    f.ProjectWriteSectionBegin("Takes", sectionVersion);
    write(f);
    f.ProjectWriteSectionEnd();
    EXPECT_TRUE(f.ProjectClose()) << f.GetLastErrorString();
    image.size = static_cast<unsigned int>(f.ProjectGetFileSize());
    return image;
}

inline bool OpenSection(KQox& f, const Image& image)
{
    return f.ProjectOpen(image.bytes.data(), image.size, "pw") && f.ProjectOpenSection(0);
}

// Begins field `name` holding one string and a block, as channels are written.
inline void BeginChannel(KQox& f, const char* name, const char* field = "Channel")
{
    f.FieldWriteBegin(field);
    f.FieldWriteC(name);
    f.FieldWriteBlockBegin();
}

inline void EndChannel(KQox& f)
{
    f.FieldWriteBlockEnd();
    f.FieldWriteEnd();
}

inline void WriteD(KQox& f, const char* field, double value)
{
    f.FieldWriteBegin(field);
    f.FieldWriteD(value);
    f.FieldWriteEnd();
}

inline void WriteI(KQox& f, const char* field, int value)
{
    f.FieldWriteBegin(field);
    f.FieldWriteI(value);
    f.FieldWriteEnd();
}

// A member channel holding a static value (a curve without keys); a layer id of 0 writes none.
inline void StaticChannel(KQox& f, const char* name, double value, int layerId = 0)
{
    BeginChannel(f, name);
    WriteD(f, "Default", value);
    if (layerId != 0)
        WriteI(f, "LayerID", layerId);
    EndChannel(f);
}

// No node of the tree (children and layers) keeps a warp.
inline bool NoWarpLeft(KFCurveNode* node)
{
    if (!node)
        return true;
    if (node->TimeWarpGet())
        return false;
    for (int i = 0; i < node->GetCount(); ++i)
        if (!NoWarpLeft(node->Get(i)))
            return false;
    return NoWarpLeft(node->LayerGet());
}

} // namespace fctest

#endif
