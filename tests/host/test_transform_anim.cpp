// Rotations, transformation matrices, animation curves, the time slider and
// picture files.
#include "host_test_util.h"

#include <cmath>

#include "host/zimage.h"

#include <tiffio.h>

namespace {

using TransformTest = HostTest;
using AnimTest = HostTest;
using ImageTest = HostTest;

const double kDeg = M_PI / 180;

TEST_F(TransformTest, EulerOrdersRoundTripAndReorderKeepsTheMatrix)
{
    const ZEulerRotation::RotationOrder orders[] = {ZEulerRotation::kXYZ, ZEulerRotation::kYZX, ZEulerRotation::kZXY,
                                                    ZEulerRotation::kXZY, ZEulerRotation::kYXZ, ZEulerRotation::kZYX};
    for (auto order : orders)
    {
        SCOPED_TRACE(order);
        ZEulerRotation r(10 * kDeg, -20 * kDeg, 30 * kDeg, order);
        ZEulerRotation back = ZEulerRotation::decompose(r.asMatrix(), order);
        EXPECT_NEAR(back.x, r.x, 1e-12);
        EXPECT_NEAR(back.y, r.y, 1e-12);
        EXPECT_NEAR(back.z, r.z, 1e-12);
        for (auto other : orders)
            EXPECT_TRUE(r.reorder(other).asMatrix().isEquivalent(r.asMatrix(), 1e-12));
    }
    // XYZ with (90, 0, 0) for row vectors: rows (1,0,0), (0,0,1), (0,-1,0).
    ZMatrix m = ZEulerRotation(90 * kDeg, 0, 0).asMatrix();
    EXPECT_NEAR(m(1, 2), 1, 1e-15);
    EXPECT_NEAR(m(2, 1), -1, 1e-15);
    // The first axis turns first: X then Z differs from Z then X.
    EXPECT_FALSE(ZEulerRotation(90 * kDeg, 0, 90 * kDeg, ZEulerRotation::kXYZ)
                     .asMatrix()
                     .isEquivalent(ZEulerRotation(90 * kDeg, 0, 90 * kDeg, ZEulerRotation::kZYX).asMatrix(), 1e-6));
    // Gimbal lock still gives the same matrix.
    ZEulerRotation locked(15 * kDeg, 90 * kDeg, 40 * kDeg);
    EXPECT_TRUE(ZEulerRotation::decompose(locked.asMatrix(), ZEulerRotation::kXYZ)
                    .asMatrix()
                    .isEquivalent(locked.asMatrix(), 1e-9));
}

TEST_F(TransformTest, TransformationMatrixReordersInPlace)
{
    Run("createNode transform -n t; setAttr t.rotateOrder 5; setAttr t.rotate 10 20 30");
    ZFnTransform fn(Node("t"));
    ZTransformationMatrix tm = fn.transformation();
    EXPECT_EQ(tm.rotationOrder(), ZTransformationMatrix::kZYX);
    ZMatrix before = tm.asMatrix();
    ASSERT_TRUE(tm.reorderRotation(ZTransformationMatrix::kXYZ));
    EXPECT_EQ(tm.rotationOrder(), ZTransformationMatrix::kXYZ);
    EXPECT_TRUE(tm.asMatrix().isEquivalent(before, 1e-12));
    double angles[3];
    ZTransformationMatrix::RotationOrder order;
    tm.getRotation(angles, order, ZSpace::kWorld);
    EXPECT_EQ(order, ZTransformationMatrix::kXYZ);
    EXPECT_FALSE(tm.reorderRotation(ZTransformationMatrix::kInvalid));

    // Scale (2, 3, 4) and translation (1, 2, 3).
    double s[3] = {2, 3, 4};
    ASSERT_TRUE(fn.setScale(s));
    ASSERT_TRUE(fn.setTranslation(ZVector(1, 2, 3), ZSpace::kTransform));
    ZMatrix m = fn.transformation().asMatrix();
    for (int r = 0; r < 3; ++r)
        EXPECT_NEAR(std::sqrt(m(r, 0) * m(r, 0) + m(r, 1) * m(r, 1) + m(r, 2) * m(r, 2)), s[r], 1e-12);
    EXPECT_EQ(m(3, 1), 2.0);
    EXPECT_FALSE(fn.setTranslation(ZVector(INFINITY, 0, 0), ZSpace::kTransform));

    // Quaternions through the transform keep its order.
    double qx, qy, qz, qw;
    ASSERT_TRUE(fn.getRotationQuaternion(qx, qy, qz, qw));
    Run("setAttr t.rotate 0 0 0");
    ASSERT_TRUE(fn.setRotationQuaternion(qx, qy, qz, qw));
    EXPECT_TRUE(fn.transformation().r.asMatrix().isEquivalent(
        ZEulerRotation(10 * kDeg, 20 * kDeg, 30 * kDeg, ZEulerRotation::kZYX).asMatrix(), 1e-12));
    ASSERT_TRUE(fn.setRotationOrder(ZTransformationMatrix::kZXY, false));
    EXPECT_EQ(Run("getAttr t.rotateOrder"), std::vector<std::string>{"2"});

    // Pivots and joint orient.
    ASSERT_TRUE(fn.setRotatePivot(ZPoint(1, 0, 0), ZSpace::kTransform, false));
    EXPECT_EQ(fn.rotatePivot(ZSpace::kTransform).x, 1.0);
    Run("createNode joint -n j");
    ZFnIkJoint joint(Node("j"));
    double orient[3] = {0, 0, 90 * kDeg};
    ASSERT_TRUE(joint.setOrientation(orient, ZTransformationMatrix::kXYZ));
    EXPECT_EQ(Run("getAttr j.jointOrientZ"), std::vector<std::string>{"90"});
    ZStatus st;
    ZFnTransform(Node("defaultShaderList1"), &st);
    EXPECT_FALSE(st);
}

TEST_F(AnimTest, CurvesAttachCreateAndKeepKeysInOrder)
{
    Run("createNode transform -n t");
    ZPlug tx = Plug("t", "tx");
    ZStatus st;
    ZFnAnimCurve none(tx, &st);
    EXPECT_EQ(st.statusCode(), ZStatus::kNotFound); // code 7
    ZFnAnimCurve curve;
    ZObject made = curve.create(tx, ZFnAnimCurve::kAnimCurveTL, nullptr, &st);
    ASSERT_TRUE(st);
    EXPECT_EQ(ZFnDependencyNode(made).name().str(), "t_translateX");
    EXPECT_EQ(curve.addKey(ZTime(2.0), 5.0, ZFnAnimCurve::kTangentSmooth, ZFnAnimCurve::kTangentStep), 0u);
    EXPECT_EQ(curve.addKey(ZTime(1.0), 1.0, ZFnAnimCurve::kTangentLinear, ZFnAnimCurve::kTangentLinear), 0u);
    EXPECT_EQ(curve.addKey(ZTime(72, ZTime::kFilm), -1e300), 2u); // 3 seconds
    curve.addKey(ZTime(2.0), 0.0, ZFnAnimCurve::kTangentGlobal, ZFnAnimCurve::kTangentGlobal, nullptr, &st);
    EXPECT_EQ(st.errorString(), "a key already exists at time 2.000000 s");
    curve.addKey(ZTime(NAN), 0.0, ZFnAnimCurve::kTangentGlobal, ZFnAnimCurve::kTangentGlobal, nullptr, &st);
    EXPECT_FALSE(st);
    curve.addKey(ZTime(4.0), 0.0, static_cast<ZFnAnimCurve::TangentType>(11), ZFnAnimCurve::kTangentGlobal, nullptr,
                 &st);
    EXPECT_EQ(st.errorString(), "invalid tangent type");
    EXPECT_EQ(curve.numKeys(), 3u);
    EXPECT_EQ(curve.outTangentType(1), ZFnAnimCurve::kTangentStep);
    EXPECT_EQ(curve.evaluate(ZTime(1.5)), 3.0);
    EXPECT_EQ(curve.evaluate(ZTime(2.5)), 5.0); // a step holds
    ASSERT_TRUE(curve.setTangentsLocked(0, false));
    EXPECT_FALSE(curve.tangentsLocked(0));
    EXPECT_TRUE(curve.weightsLocked(0));
    ASSERT_TRUE(curve.setWeightsLocked(1, false));
    EXPECT_FALSE(curve.weightsLocked(1));
    EXPECT_TRUE(curve.tangentsLocked(1));
    EXPECT_EQ(curve.setWeightsLocked(3, false).errorString(), "key index 3 out of range (3 keys)");
    EXPECT_FALSE(curve.weightsLocked(3, &st));
    EXPECT_FALSE(st);
    // Infinity types: each end alone; 2 is no type.
    ASSERT_TRUE(curve.setPreInfinityType(ZFnAnimCurve::kCycle));
    ASSERT_TRUE(curve.setPostInfinityType(ZFnAnimCurve::kOscillate));
    EXPECT_EQ(curve.preInfinityType(), ZFnAnimCurve::kCycle);
    EXPECT_EQ(curve.postInfinityType(), ZFnAnimCurve::kOscillate);
    EXPECT_EQ(curve.setPreInfinityType(static_cast<ZFnAnimCurve::InfinityType>(2)).errorString(),
              "invalid infinity type");
    EXPECT_EQ(curve.setPostInfinityType(static_cast<ZFnAnimCurve::InfinityType>(6)).errorString(),
              "invalid infinity type");
    EXPECT_EQ(curve.preInfinityType(), ZFnAnimCurve::kCycle);
    EXPECT_EQ(curve.postInfinityType(), ZFnAnimCurve::kOscillate);
    ASSERT_TRUE(curve.setPreInfinityType(ZFnAnimCurve::kConstant));
    ASSERT_TRUE(curve.setPostInfinityType(ZFnAnimCurve::kConstant));
    ASSERT_TRUE(curve.setTangent(0, 1.0f, 0.5f, true));
    float x, y;
    curve.getTangent(0, x, y, true);
    EXPECT_EQ(y, 0.5f);
    EXPECT_FALSE(curve.setTangent(0, NAN, 0, false));
    ASSERT_TRUE(curve.setIsWeighted(true));
    ASSERT_TRUE(curve.setTime(0, ZTime(10.0)));
    EXPECT_EQ(curve.time(2).asSeconds(), 10.0); // moved to the end
    EXPECT_FALSE(curve.remove(3));
    EXPECT_EQ(curve.value(3, &st), 0.0);
    EXPECT_EQ(st.errorString(), "key index 3 out of range (3 keys)");

    ZFnAnimCurve attached(tx, &st);
    ASSERT_TRUE(st);
    EXPECT_EQ(attached.numKeys(), 3u);
    EXPECT_TRUE(attached.isWeighted());
    curve.create(tx, ZFnAnimCurve::kAnimCurveTL, nullptr, &st);
    EXPECT_EQ(st.errorString(), "t.translateX already has an incoming connection");
    Plug("t", "ty").setLocked(true);
    curve.create(Plug("t", "ty"), nullptr, &st);
    EXPECT_EQ(st.errorString(), "The attribute 't.translateY' is locked");
    curve.create(Plug("t", "rx"), nullptr, &st);
    EXPECT_EQ(curve.animCurveType(), ZFnAnimCurve::kAnimCurveTA);
}

TEST_F(AnimTest, TimeSliderAndUnits)
{
    ASSERT_TRUE(ZAnimControl::setMinTime(ZTime(0.0)));
    ASSERT_TRUE(ZAnimControl::setMaxTime(ZTime(0.041666666666666664)));
    ASSERT_TRUE(ZAnimControl::setCurrentTime(ZTime(0.0)));
    EXPECT_EQ(ZAnimControl::maxTime().as(ZTime::kFilm), 1.0);
    EXPECT_FALSE(ZAnimControl::setMinMaxTime(ZTime(2.0), ZTime(1.0)));
    EXPECT_FALSE(ZAnimControl::setCurrentTime(ZTime(INFINITY)));
    const double perSecond[] = {1.0 / 3600, 1.0 / 60, 1, 1000, 15, 24, 30, 30, 48, 50, 60};
    for (int unit = 1; unit <= 11; ++unit)
        EXPECT_DOUBLE_EQ(ZTime(1.0).as(static_cast<ZTime::Unit>(unit)), perSecond[unit - 1]) << unit;
    EXPECT_EQ(ZTime(1.0).as(ZTime::kInvalid), 0.0);
    EXPECT_EQ(ZTime::uiUnit(), ZTime::kFilm);
    EXPECT_EQ(ZAngle::uiUnit(), ZAngle::kDegrees);
    EXPECT_EQ(ZAngle::internalUnit(), ZAngle::kRadians);
    EXPECT_DOUBLE_EQ(ZAngle(180, ZAngle::kDegrees).asRadians(), M_PI);
    EXPECT_FALSE(ZTime::setUIUnit(ZTime::kLast));
    Run("currentTime 12");
    EXPECT_DOUBLE_EQ(ZAnimControl::currentTime().asSeconds(), 0.5);
}

TEST_F(ImageTest, TiffFilesRoundTripAndOtherFormatsAreUnsupported)
{
    qoxtest::TempDir dir;
    unsigned char pixels[2 * 3 * 4];
    for (unsigned i = 0; i < sizeof pixels; ++i)
        pixels[i] = static_cast<unsigned char>(i * 11);
    ZImage image;
    ASSERT_TRUE(image.setPixels(pixels, 2, 3));
    ASSERT_TRUE(image.writeToFile(ZString(dir.File("a.tif")), "tif"));
    ZImage back;
    ASSERT_TRUE(back.readFromFile(ZString(dir.File("a.tif"))));
    unsigned w = 0, h = 0;
    ASSERT_TRUE(back.getSize(w, h));
    EXPECT_EQ(w, 2u);
    EXPECT_EQ(h, 3u);
    EXPECT_EQ(std::vector<unsigned char>(back.pixels(), back.pixels() + sizeof pixels),
              std::vector<unsigned char>(pixels, pixels + sizeof pixels));
    EXPECT_FALSE(back.isCompressed());

    EXPECT_EQ(image.writeToFile(ZString(dir.File("a.jpg")), "jpg").errorString(), "unsupported image format: jpg");
    EXPECT_EQ(back.readFromFile(ZString(dir.File("a.png"))).errorString(), "unsupported image format: png");
    EXPECT_FALSE(back.readFromFile(ZString(dir.File("missing.tiff"))));
    ASSERT_TRUE(qoxtest::WriteFile(dir.File("junk.tif"), "II*\0garbage"));
    EXPECT_FALSE(back.readFromFile(ZString(dir.File("junk.tif"))));
    EXPECT_FALSE(ZImage().getSize(w, h));

    // A deflate-compressed file reads back as compressed.
    TIFF* tif = TIFFOpen(dir.File("z.tif").c_str(), "w");
    ASSERT_NE(tif, nullptr);
    TIFFSetField(tif, TIFFTAG_IMAGEWIDTH, 2);
    TIFFSetField(tif, TIFFTAG_IMAGELENGTH, 1);
    TIFFSetField(tif, TIFFTAG_SAMPLESPERPIXEL, 3);
    TIFFSetField(tif, TIFFTAG_BITSPERSAMPLE, 8);
    TIFFSetField(tif, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_RGB);
    TIFFSetField(tif, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
    TIFFSetField(tif, TIFFTAG_COMPRESSION, COMPRESSION_ADOBE_DEFLATE);
    unsigned char row[6] = {1, 2, 3, 4, 5, 6};
    ASSERT_GE(TIFFWriteScanline(tif, row, 0, 0), 0);
    TIFFClose(tif);
    ASSERT_TRUE(back.readFromFile(ZString(dir.File("z.tif"))));
    EXPECT_TRUE(back.isCompressed());
    EXPECT_EQ(back.pixels()[4], 4);
    EXPECT_EQ(back.pixels()[7], 255); // opaque alpha
}

} // namespace
