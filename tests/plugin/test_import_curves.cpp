// Curve conversion of the import: key-by-key tangent mapping, resampling,
// weighted tangents, keyless curves, locked and driven plugs.
#include "import_pass_test_util.h"

#include <cmath>

namespace {

using CurveTest = ImportPassTest;

struct HostKey
{
    double time, value;
    int in, out;
    bool locked;
};

std::vector<HostKey> Keys(ZFnAnimCurve& curve)
{
    std::vector<HostKey> keys;
    for (unsigned i = 0; i < curve.numKeys(); ++i)
        keys.push_back({curve.time(i).as(ZTime::kSeconds), curve.value(i), curve.inTangentType(i),
                        curve.outTangentType(i), curve.tangentsLocked(i)});
    return keys;
}

// A transform "box" and an SDK curve to put on it.
class CurveOnBox : public CurveTest
{
protected:
    void SetUp() override
    {
        CurveTest::SetUp();
        Run("createNode transform -n box");
        mTransform.setObject(HostNode("box"));
    }
    void Run(const std::string& text) { ASSERT_TRUE(zelthost::Host::Get().Execute(text)) << text; }
    ZFnAnimCurve CurveOn(const char* attribute) { return ZFnAnimCurve(mTransform.findPlug(attribute)); }

    ZFnTransform mTransform;
    KFCurve mCurve;
};

TEST_F(CurveOnBox, TangentTypesFollowInterpolationAndNeighbours)
{
    Key(&mCurve, 0, 0, KFCURVE_INTERPOLATION_CONSTANT);
    Key(&mCurve, 1, 1, KFCURVE_INTERPOLATION_LINEAR);
    Key(&mCurve, 2, 3, KFCURVE_INTERPOLATION_CUBIC, KFCURVE_TANGEANT_USER);
    Key(&mCurve, 3, 5, KFCURVE_INTERPOLATION_CUBIC, KFCURVE_TANGEANT_AUTO);
    ZStatus status;
    ASSERT_TRUE(mImport->SetZeltCurve(mTransform, "translateX", mCurve, ZFnAnimCurve::kAnimCurveTL, 2.0, 1.0, &status));
    ASSERT_TRUE(status);
    ZFnAnimCurve host = CurveOn("translateX");
    std::vector<HostKey> keys = Keys(host);
    ASSERT_EQ(keys.size(), 4u);
    // Constant first key: out 5, and the first key takes its out type as in type.
    EXPECT_EQ(keys[0].in, 5);
    EXPECT_EQ(keys[0].out, 5);
    EXPECT_TRUE(keys[0].locked);
    // Linear after a constant key: in 4 (left auto 0), out 2, explicit and unlocked.
    EXPECT_EQ(keys[1].in, 4);
    EXPECT_EQ(keys[1].out, 2);
    EXPECT_FALSE(keys[1].locked);
    // Cubic user after a linear key: its left auto is 100, so in 2; out 1.
    EXPECT_EQ(keys[2].in, 2);
    EXPECT_EQ(keys[2].out, 1);
    EXPECT_FALSE(keys[2].locked);
    // A last cubic auto key: 4 becomes 8 on both sides, locked.
    EXPECT_EQ(keys[3].in, 8);
    EXPECT_EQ(keys[3].out, 8);
    EXPECT_TRUE(keys[3].locked);
    // Values are divided by the value divisor; times are seconds.
    EXPECT_DOUBLE_EQ(keys[2].value, 1.5);
    EXPECT_DOUBLE_EQ(keys[3].time, 3.0);
    EXPECT_FALSE(host.isWeighted());

    // The linear key's out tangent: slope 2 per second, host time unit film
    // (24 per second): s = 2 / 24, x = 1 / sqrt(1 + s^2), y = s x / 2.
    ASSERT_EQ(ZTime::uiUnit(), ZTime::kFilm);
    float x = 0, y = 0;
    ASSERT_TRUE(host.getTangent(1, x, y, false));
    const double s = 2.0 / 24.0;
    EXPECT_FLOAT_EQ(x, static_cast<float>(1.0 / std::sqrt(1 + s * s)));
    EXPECT_FLOAT_EQ(y, static_cast<float>(s / std::sqrt(1 + s * s) / 2.0));
}

TEST_F(CurveOnBox, OneKeyIsFirstAndLastAndLocked)
{
    Key(&mCurve, 0.5, 7, KFCURVE_INTERPOLATION_LINEAR);
    ZStatus status;
    mImport->SetZeltCurve(mTransform, "scaleY", mCurve, ZFnAnimCurve::kAnimCurveTU, 1.0, 1.0, &status);
    ZFnAnimCurve host = CurveOn("scaleY");
    std::vector<HostKey> keys = Keys(host);
    ASSERT_EQ(keys.size(), 1u);
    EXPECT_EQ(keys[0].in, keys[0].out);
    EXPECT_EQ(keys[0].out, 2);
    EXPECT_TRUE(keys[0].locked);
    EXPECT_DOUBLE_EQ(keys[0].value, 7);

    // A second transfer replaces the keys of the host curve.
    mCurve.KeyClear();
    Key(&mCurve, 1, 1);
    Key(&mCurve, 2, 2);
    mImport->SetZeltCurve(mTransform, "scaleY", mCurve, ZFnAnimCurve::kAnimCurveTU, 1.0, 1.0, &status);
    EXPECT_EQ(CurveOn("scaleY").numKeys(), 2u);
    EXPECT_DOUBLE_EQ(CurveOn("scaleY").time(0).as(ZTime::kSeconds), 1.0);
    // Unknown attribute: failure, the find status kept.
    EXPECT_FALSE(mImport->SetZeltCurve(mTransform, "noSuchAttr", mCurve, ZFnAnimCurve::kAnimCurveTU, 1, 1, &status));
    EXPECT_FALSE(status);
}

TEST_F(CurveOnBox, TcbKeysAreResampledAtTheImportRate)
{
    Params().SetResamplingRate(30.0, true);
    Key(&mCurve, 0, 0);
    mCurve.KeySetTCB(mCurve.KeyAdd(Seconds(0.5)), Seconds(0.5), 5);
    Key(&mCurve, 1, 10);
    ZStatus status;
    mImport->SetZeltCurve(mTransform, "translateY", mCurve, ZFnAnimCurve::kAnimCurveTL, 1.0, 1.0, &status);
    ZFnAnimCurve host = CurveOn("translateY");
    std::vector<HostKey> keys = Keys(host);
    ASSERT_EQ(keys.size(), 31u);
    EXPECT_NEAR(keys.front().time, 0.0, 1e-12);
    EXPECT_NEAR(keys.back().time, 1.0, 1e-9);
    for (const HostKey& k : keys)
    {
        EXPECT_EQ(k.in, 0);
        EXPECT_EQ(k.out, 0);
    }
    EXPECT_FLOAT_EQ(static_cast<float>(keys[15].value), mCurve.Evaluate(Seconds(0.5)));

    // The first sample is the first key's time truncated to the period.
    KFCurve late;
    late.KeySetTCB(late.KeyAdd(Seconds(0.25)), Seconds(0.25), 1);
    Key(&late, 0.45, 2);
    Params().SetResamplingRate(10.0, true);
    mImport->SetZeltCurve(mTransform, "translateZ", late, ZFnAnimCurve::kAnimCurveTL, 1.0, 1.0, &status);
    std::vector<HostKey> samples = Keys(*std::make_unique<ZFnAnimCurve>(CurveOn("translateZ")));
    ASSERT_EQ(samples.size(), 4u); // 0.2, 0.3, 0.4, 0.5
    EXPECT_NEAR(samples.front().time, 0.2, 1e-9);
    EXPECT_NEAR(samples.back().time, 0.5, 1e-9);
}

TEST_F(CurveOnBox, RateWithoutAPeriodConvertsKeyByKey)
{
    // 0, a negative rate, one so high that its period is shorter than a
    // tick, and one that would sample a second a billion times: no
    // resampling (no division by zero, no endless loop).
    for (double rate : {0.0, -24.0, 1e30, std::nan(""), 1e9})
    {
        SCOPED_TRACE(rate);
        Params().SetResamplingRate(rate, true);
        KFCurve curve;
        Key(&curve, 0, 0);
        curve.KeySetTCB(curve.KeyAdd(Seconds(1)), Seconds(1), 5);
        ZStatus status;
        mImport->SetZeltCurve(mTransform, "translateX", curve, ZFnAnimCurve::kAnimCurveTL, 1.0, 1.0, &status);
        EXPECT_TRUE(status);
        EXPECT_EQ(CurveOn("translateX").numKeys(), 2u);
    }
}

TEST_F(CurveOnBox, WeightedEndsUseTheShortLength)
{
    Key(&mCurve, 0, 0, KFCURVE_INTERPOLATION_CUBIC, KFCURVE_TANGEANT_USER);
    Key(&mCurve, 2, 4, KFCURVE_INTERPOLATION_CUBIC, KFCURVE_TANGEANT_USER);
    mCurve.KeySetRightTangeantWeightedMode(0, true);
    mCurve.KeySetRightTangeantWeight(0, 0.5f);
    ASSERT_TRUE(HasWeightedTangent(mCurve));
    ZStatus status;
    mImport->SetZeltCurve(mTransform, "translateX", mCurve, ZFnAnimCurve::kAnimCurveTL, 1.0, 1.0, &status);
    ZFnAnimCurve host = CurveOn("translateX");
    ASSERT_TRUE(host.isWeighted());
    float x = 0, y = 0;
    // First key's in side: no span, length 0.33 seconds = 7.92 film frames.
    ASSERT_TRUE(host.getTangent(0, x, y, true));
    EXPECT_FLOAT_EQ(x, 0.33f * 24.0f);
    // First key's out side: 3 x weight (0.5 as stored) x 2 s.
    const double length = 3.0 * mCurve.KeyGetRightTangeantWeight(0) * 2.0;
    EXPECT_NEAR(length, 3.0, 1e-3);
    ASSERT_TRUE(host.getTangent(0, x, y, false));
    EXPECT_FLOAT_EQ(x, static_cast<float>(length) * 24.0f);
    EXPECT_FLOAT_EQ(y, static_cast<float>(mCurve.EvaluateRightDerivative(Seconds(0)) * length));
    // Last key's out side: 0.33 again.
    ASSERT_TRUE(host.getTangent(1, x, y, false));
    EXPECT_FLOAT_EQ(x, 0.33f * 24.0f);
    KFCurve plain;
    Key(&plain, 0, 0);
    EXPECT_FALSE(HasWeightedTangent(plain));
    EXPECT_FALSE(HasWeightedTangent(*std::make_unique<KFCurve>()));
}

TEST_F(CurveOnBox, KeylessCurveLeavesOneKeyAtZeroWithTheStaticValue)
{
    Run("setKeyframe -t 1 -v 1 box.tx; setKeyframe -t 2 -v 2 box.tx; setKeyframe -t 3 -v 3 box.tx;"
        "setKeyframe -t 4 -v 4 box.tx; setKeyframe -t 5 -v 5 box.tx");
    ZStatus attach;
    ZFnAnimCurve host(mTransform.findPlug("translateX"), &attach);
    ASSERT_EQ(host.numKeys(), 5u);
    mCurve.SetValue(2.5f);
    ZStatus failed(ZStatus::kFailure);
    EXPECT_TRUE(mImport->SetZeltCurve(host, mCurve, 1.0, 1.0, &failed));
    EXPECT_EQ(host.numKeys(), 5u); // not attached: untouched
    EXPECT_TRUE(mImport->SetZeltCurve(host, mCurve, 1.0, 1.0, &attach));
    ASSERT_EQ(host.numKeys(), 1u);
    EXPECT_DOUBLE_EQ(host.time(0).as(ZTime::kSeconds), 0.0);
    EXPECT_DOUBLE_EQ(host.value(0), 2.5);
}

TEST_F(CurveOnBox, RefusedKeyIsAFailureOfThePlugForm)
{
    // A value divisor of 0 makes the key infinite, which the host refuses.
    Key(&mCurve, 0, 1);
    Key(&mCurve, 1, 2);
    ZPlug plug = mTransform.findPlug("translateX");
    EXPECT_FALSE(mImport->SetZeltCurve(plug, mCurve, ZFnAnimCurve::kAnimCurveTL, 0.0, 1.0));
    ZStatus status;
    EXPECT_FALSE(
        mImport->SetZeltCurve(mTransform, "translateY", mCurve, ZFnAnimCurve::kAnimCurveTL, 0.0, 1.0, &status));
    EXPECT_FALSE(status);
    EXPECT_TRUE(mImport->SetZeltCurve(plug, mCurve, ZFnAnimCurve::kAnimCurveTL, 1.0, 1.0));
}

TEST_F(CurveOnBox, LockedPlugsInBatchFollowTheLockedSetting)
{
    OpenLog();
    Key(&mCurve, 0, 1);
    Run("setAttr -l true box.tx; setAttr -l true box.ty");
    Params().SetBoolParam(QoxZeltUserParams::kSetLockedAttrib, true);
    ZStatus status;
    mImport->SetZeltCurve(mTransform, "translateX", mCurve, ZFnAnimCurve::kAnimCurveTL, 1.0, 1.0, &status);
    EXPECT_TRUE(HostPlug("box", "translateX").isLocked());
    EXPECT_EQ(mImport->mLockedAttributeAnswer, 2);
    Params().SetBoolParam(QoxZeltUserParams::kSetLockedAttrib, false);
    mImport->SetZeltCurve(mTransform, "translateY", mCurve, ZFnAnimCurve::kAnimCurveTL, 1.0, 1.0, &status);
    EXPECT_FALSE(HostPlug("box", "translateY").isLocked());
    EXPECT_EQ(ZFnAnimCurve(HostPlug("box", "translateY")).numKeys(), 1u);
    EXPECT_EQ(mImport->mLockedAttributeAnswer, 0);
    // A keyless curve on a locked plug: "data." and the plug unlocked for the caller's value.
    Run("setAttr -l true box.tz");
    KFCurve keyless;
    mImport->SetZeltCurve(mTransform, "translateZ", keyless, ZFnAnimCurve::kAnimCurveTL, 1.0, 1.0, &status);
    EXPECT_FALSE(HostPlug("box", "translateZ").isLocked());
    EXPECT_TRUE(Dialogs().empty());
    const std::string log = CloseLog();
    EXPECT_NE(log.find("box.translateX: this attribute is locked. Cannot transfer animation data."), std::string::npos)
        << log;
    EXPECT_NE(log.find("box.translateY: this attribute is locked. Cannot transfer animation data."), std::string::npos);
    EXPECT_NE(log.find("box.translateZ: this attribute is locked. Cannot transfer data."), std::string::npos);
}

TEST_F(CurveOnBox, LockedPlugDialogAnswersLastForTheImport)
{
    Params().SetBoolParam(QoxZeltUserParams::kImportShowUI, true);
    Key(&mCurve, 0, 1);
    Run("setAttr -l true box.tx; setAttr -l true box.ty; setAttr -l true box.tz; setAttr -l true box.sx");
    zelthost::Host::Get().QueueDialogAnswers({1, 2});
    ZStatus status;
    for (const char* attribute : {"translateX", "translateY", "translateZ"})
        mImport->SetZeltCurve(mTransform, attribute, mCurve, ZFnAnimCurve::kAnimCurveTL, 1.0, 1.0, &status);
    // " Unlock " unlocks this plug and asks again; " Keep All Locked " stops asking.
    EXPECT_FALSE(HostPlug("box", "translateX").isLocked());
    EXPECT_TRUE(HostPlug("box", "translateY").isLocked());
    EXPECT_TRUE(HostPlug("box", "translateZ").isLocked());
    std::vector<std::string> dialogs = Dialogs();
    ASSERT_EQ(dialogs.size(), 2u);
    EXPECT_EQ(dialogs[0], "QOX import Warning | box.translateX: this attribute is locked. Cannot transfer animation "
                          "data.\n\nNOTE: Clicking 'Unlock All' or 'Keep All Locked' will silence this dialog\n      "
                          "until the end of the import (the affected attributes will still be printed in the log "
                          "file).\n | [ Unlock All ][ Unlock ][ Keep All Locked ] ->  Unlock ");
    mImport->mLockedAttributeAnswer = 1;
    zelthost::Host::Get().QueueDialogAnswers({0});
    mImport->SetZeltCurve(mTransform, "scaleX", mCurve, ZFnAnimCurve::kAnimCurveTU, 1.0, 1.0, &status);
    mImport->SetZeltCurve(mTransform, "translateY", mCurve, ZFnAnimCurve::kAnimCurveTL, 1.0, 1.0, &status);
    EXPECT_FALSE(HostPlug("box", "scaleX").isLocked());
    EXPECT_FALSE(HostPlug("box", "translateY").isLocked()); // " Unlock All ": no further question
    EXPECT_EQ(Dialogs().size(), 3u);
}

TEST_F(CurveOnBox, DrivenPlugsAreLeftAloneWhenProtected)
{
    Run("createNode transform -n driver; setDrivenKeyframe -cd driver.tx -dv 0 -v 0 box.tx;"
        "setDrivenKeyframe -cd driver.tx -dv 1 -v 5 box.tx");
    Key(&mCurve, 0, 1);
    Key(&mCurve, 1, 2);
    Key(&mCurve, 2, 3);
    ZPlug plug = mTransform.findPlug("translateX");
    Params().SetBoolParam(QoxZeltUserParams::kProtectDrivenKeys, true);
    EXPECT_TRUE(IsDriven(plug));
    ClearTranscript();
    EXPECT_TRUE(mImport->SetZeltCurve(plug, mCurve, ZFnAnimCurve::kAnimCurveTL, 1.0, 1.0));
    EXPECT_EQ(Commands(), std::vector<std::string>{"setDrivenKeyframe -q -cd box.translateX"});
    EXPECT_EQ(ZFnAnimCurve(plug).numKeys(), 2u);
    ZPlug free = mTransform.findPlug("translateY");
    EXPECT_FALSE(IsDriven(free));
    Params().SetBoolParam(QoxZeltUserParams::kProtectDrivenKeys, false);
    ClearTranscript();
    EXPECT_FALSE(IsDriven(plug));
    EXPECT_TRUE(Commands().empty());
    mImport->SetZeltCurve(plug, mCurve, ZFnAnimCurve::kAnimCurveTL, 1.0, 1.0);
    EXPECT_EQ(ZFnAnimCurve(plug).numKeys(), 3u);
}

TEST_F(CurveOnBox, InfinityTableAndRotationSampling)
{
    EXPECT_EQ(mImport->GetInfinityType(1), 0);
    EXPECT_EQ(mImport->GetInfinityType(2), 3);
    EXPECT_EQ(mImport->GetInfinityType(3), 4);
    EXPECT_EQ(mImport->GetInfinityType(4), 1);
    EXPECT_EQ(mImport->GetInfinityType(0), 0);
    EXPECT_EQ(mImport->GetInfinityType(99), 0);

    Params().SetResamplingRate(2.0, true);
    KFCurve x, y, z;
    Key(&x, 0, 90, KFCURVE_INTERPOLATION_LINEAR);
    Key(&x, 1, 90, KFCURVE_INTERPOLATION_LINEAR);
    Key(&z, 0.5, 30);
    KFCurve* curves[3] = {&x, &y, &z};
    ASSERT_TRUE(mImport->SetRotationZeltCurve(mTransform, curves, ZEulerRotation::kXYZ));
    ZFnAnimCurve rx = CurveOn("rotateX");
    ASSERT_EQ(rx.numKeys(), 3u); // 0, 0.5, 1
    EXPECT_NEAR(rx.value(2), M_PI / 2, 1e-12);
    EXPECT_EQ(CurveOn("rotateZ").numKeys(), 3u);
    EXPECT_NEAR(CurveOn("rotateZ").value(0), M_PI / 6, 1e-6);
    // Another order keeps the orientation of every sample.
    ASSERT_TRUE(mImport->SetRotationZeltCurve(mTransform, curves, ZEulerRotation::kZYX));
    ZEulerRotation sample(CurveOn("rotateX").value(1), CurveOn("rotateY").value(1), CurveOn("rotateZ").value(1),
                          ZEulerRotation::kZYX);
    EXPECT_TRUE(sample.asMatrix().isEquivalent(ZEulerRotation(M_PI / 2, 0, M_PI / 6).asMatrix(), 1e-6));
    // A rate without a period, or no keys at all: the host curves stay.
    Params().SetResamplingRate(0.0, true);
    ASSERT_TRUE(mImport->SetRotationZeltCurve(mTransform, curves, ZEulerRotation::kXYZ));
    EXPECT_EQ(CurveOn("rotateX").numKeys(), 3u);
    Params().SetResamplingRate(2.0, true);
    KFCurve none[3];
    KFCurve* empty[3] = {&none[0], &none[1], &none[2]};
    ASSERT_TRUE(mImport->SetRotationZeltCurve(mTransform, empty, ZEulerRotation::kXYZ));
    EXPECT_EQ(CurveOn("rotateX").numKeys(), 3u);
}

} // namespace
