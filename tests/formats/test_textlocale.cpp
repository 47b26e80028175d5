// OBJ, MTL and DXF texts written and read while LC_NUMERIC writes a decimal
// comma: the same bytes and the same values as in the "C" locale.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <memory>
#include <string>
#include <vector>

#include "common/qox_test_common.h"
#include "formats/dxf/kqoxreaderdxf.h"
#include "formats/dxf/kqoxwriterdxf.h"
#include "formats/kqoxstreamoptionsgeometry.h"
#include "obj_test_util.h"

using namespace objtest;

namespace {

// Every control point of every mesh under node, depth first.
void CollectPoints(KQoxNode* node, std::vector<double>& out)
{
    if (auto* mesh = dynamic_cast<KQoxMesh*>(node->GetNodeAttribute()))
        for (int i = 0; i < mesh->GetControlPointsCount(); ++i)
            for (int k = 0; k < 3; ++k)
                out.push_back(mesh->GetControlPoints()[i][k]);
    for (int i = 0; i < node->GetChildCount(false); ++i)
        CollectPoints(node->GetChild(i), out);
}

// Coordinates whose texts leave the plain-decimal short path of the readers:
// more than 15 digits, exponents, values beyond the range of a double.
const char kObj[] = "mtllib look.mtl\n"
                    "v 0.33333333333333331 -2.5e-3 1.25E+2\n"
                    "v 1.5e999 -2.5e-999 123456789.123456789\n"
                    "v 0.5 -0.75 1e21\n"
                    "usemtl Look\nf 1 2 3\n";
const char kMtl[] = "newmtl Look\nKd 0.25e0 1.5e-999 0.5\nKa 1.0e-1 2.0e-1 3.0e-1\nNs 1.25e2\nd 0.5e0\n";

// What the OBJ reader makes of kObj and kMtl, and the texts the OBJ writer
// gives for it (the .obj, then the .mtl).
struct ObjOutcome
{
    std::vector<double> mValues;
    std::string mWritten;
};

ObjOutcome ReadAndWriteObj()
{
    ObjOutcome outcome;
    qoxtest::TempDir dir;
    qoxtest::WriteFile(dir.File("look.mtl"), kMtl);
    auto r = ReadText(dir, kObj);
    EXPECT_TRUE(r->ok) << r->message;
    // The mesh's points: the reader lets its vertex list go once the mesh holds them.
    CollectPoints(r->scene.GetRootNode(), outcome.mValues);
    KQoxMesh* mesh = r->Mesh("default");
    if (!mesh || mesh->GMI("Look", 0) < 0)
    {
        ADD_FAILURE() << "no material read";
        return outcome;
    }
    KQoxMaterial* m = mesh->GM(mesh->GMI("Look", 0), 0);
    outcome.mValues.insert(outcome.mValues.end(),
                           {m->GetDiffuse().mRed, m->GetDiffuse().mGreen, m->GetDiffuse().mBlue, m->GetAmbient().mRed,
                            m->GetAmbient().mBlue, m->GetShininess(), m->GetOpacity()});
    const std::string out = dir.File("out.obj");
    EXPECT_TRUE(WriteScene(*r->manager, r->scene, out));
    outcome.mWritten = qoxtest::ReadFile(out) + "\n--\n" + qoxtest::ReadFile(dir.File("out.mtl"));
    return outcome;
}

// A DXF file of one face with coordinates of every kind of text, read and
// written again: the points read, then the text written.
struct DxfOutcome
{
    std::vector<double> mPoints;
    std::string mWritten;
};

DxfOutcome ReadAndWriteDxf()
{
    const char* const corners[4][3] = {{"0.33333333333333331", "1.5E+02", "-2.5e-3"},
                                       {"1e2", "  +7.125", "123456789.123456789"},
                                       {"1.5e999", "-4.5e-999", "0.5"},
                                       {"0x1p-2", "-1.0e0", "2.25"}};
    std::string text = "  0\nSECTION\n  2\nENTITIES\n  0\n3DFACE\n  8\nPLAN\n";
    for (int c = 0; c < 4; ++c)
        for (int k = 0; k < 3; ++k)
            text += std::to_string(10 * (k + 1) + c) + "\n" + corners[c][k] + "\n";
    text += "  0\nENDSEC\n  0\nEOF\n";

    DxfOutcome outcome;
    qoxtest::TempDir dir;
    qoxtest::WriteFile(dir.File("plan.dxf"), text);
    std::unique_ptr<KQoxSdkManager> manager(KQoxSdkManager::CreateKQoxSdkManager());
    KQoxScene& scene = *manager->CreateKQoxScene();
    KQoxReaderDxf reader(*manager);
    EXPECT_TRUE(reader.FileOpen(dir.File("plan.dxf").c_str()));
    std::unique_ptr<KStreamOptions> options(reader.GetReadOptions(false));
    EXPECT_TRUE(reader.Read(scene, options.get()));
    CollectPoints(scene.GetRootNode(), outcome.mPoints);

    KQoxWriterDxf writer(*manager);
    EXPECT_TRUE(writer.FileCreate(dir.File("out.dxf").c_str()));
    KStreamOptionsDxf writeOptions;
    EXPECT_TRUE(writer.Write(scene, &writeOptions));
    EXPECT_TRUE(writer.FileClose());
    outcome.mWritten = qoxtest::ReadFile(dir.File("out.dxf"));
    return outcome;
}

// Doubles compared bit for bit (infinities and zeros of a sign alike).
void ExpectSameValues(const std::vector<double>& expected, const std::vector<double>& actual)
{
    ASSERT_EQ(expected.size(), actual.size());
    for (size_t i = 0; i < expected.size(); ++i)
    {
        EXPECT_EQ(expected[i], actual[i]) << i;
        EXPECT_EQ(std::signbit(expected[i]), std::signbit(actual[i])) << i;
    }
}

} // namespace

TEST(TextLocale, ObjAndMtlReadAndWriteTheSameWithADecimalComma)
{
    const ObjOutcome inC = ReadAndWriteObj();
    ASSERT_EQ(inC.mValues.size(), 16u);
    EXPECT_EQ(inC.mValues[0], 0.33333333333333331);
    EXPECT_EQ(inC.mValues[3], HUGE_VAL);
    EXPECT_EQ(inC.mValues[4], -0.0);
    EXPECT_EQ(inC.mValues[10], 0.0); // the diffuse green, below the range
    EXPECT_EQ(inC.mValues[15], 0.5);

    qoxtest::CommaLocale comma;
    QOX_NEED_COMMA_LOCALE(comma);
    const ObjOutcome inComma = ReadAndWriteObj();
    ExpectSameValues(inC.mValues, inComma.mValues);
    EXPECT_EQ(inC.mWritten, inComma.mWritten);
}

TEST(TextLocale, DxfReadsAndWritesTheSameWithADecimalComma)
{
    const DxfOutcome inC = ReadAndWriteDxf();
    // Y turns into -Z: magnitudes are compared.
    for (double value : {150.0, 7.125, 0.25, 123456789.123456789, HUGE_VAL, 0.0025})
        EXPECT_TRUE(std::any_of(inC.mPoints.begin(), inC.mPoints.end(), [&](double p) {
            return std::fabs(p) == value;
        })) << value;
    ASSERT_NE(inC.mWritten.find("0.3333333333333333"), std::string::npos);

    qoxtest::CommaLocale comma;
    QOX_NEED_COMMA_LOCALE(comma);
    const DxfOutcome inComma = ReadAndWriteDxf();
    ExpectSameValues(inC.mPoints, inComma.mPoints);
    EXPECT_EQ(inC.mWritten, inComma.mWritten);
}
