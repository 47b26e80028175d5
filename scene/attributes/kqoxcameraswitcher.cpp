// The camera switcher.

#include "scene/attributes/kqoxcameraswitcher.h"

#include <cmath>

#include "scene/attributes/kqoxattribute_private.h"

namespace qoxsdk_600 {

namespace {

const char* const kCameraIndexChannel = "Camera Index";

} // namespace

KQoxCameraSwitcher::KQoxCameraSwitcher(KQoxSdkManager& pManager)
    : KQoxNodeAttribute(pManager)
{}

KQoxCameraSwitcher::~KQoxCameraSwitcher()
{
    if (KQoxNode* node = GetNode())
        node->SetNodeAttribute(nullptr);
    ClearNames();
}

void KQoxCameraSwitcher::ClearNames()
{
    for (int i = mCameraNames.GetCount() - 1; i >= 0; --i)
        delete mCameraNames[i];
    mCameraNames.Clear();
}

void KQoxCameraSwitcher::AddCameraName(const char* pName)
{
    mCameraNames.Add(new KString(pName ? pName : ""));
}

const char* KQoxCameraSwitcher::GetCameraName(unsigned int pIndex) const
{
    if (pIndex >= static_cast<unsigned int>(mCameraNames.GetCount()))
        return nullptr;
    return mCameraNames[static_cast<int>(pIndex)]->ToChars();
}

int KQoxCameraSwitcher::GetDefaultCameraIndex()
{
    KQoxTakeNode* take = attr::DefaultTakeOf(*this);
    KFCurve* curve = take ? take->GetCameraIndex() : nullptr;
    if (!curve)
        return 0;
    const double value = std::trunc(static_cast<double>(curve->GetValue()));
    // NaN and values beyond int fail both tests.
    if (!(value >= -2147483648.0 && value <= 2147483647.0))
        return 0;
    return static_cast<int>(value);
}

void KQoxCameraSwitcher::SetDefaultCameraIndex(int pIndex)
{
    KQoxTakeNode* take = attr::DefaultTakeOf(*this);
    attr::SetCurveValue(take ? take->GetCameraIndex() : nullptr, pIndex);
}

void KQoxCameraSwitcher::AddChannels(KQoxTakeNode* pTakeNode)
{
    KQoxNodeAttribute::AddChannels(pTakeNode);
    KFCurveNode* root = pTakeNode ? pTakeNode->GetKFCurveNode() : nullptr;
    attr::SetCurveValue(attr::ChannelCurve(root, kCameraIndexChannel), 1.0);
}

void KQoxCameraSwitcher::RemoveChannels(KQoxTakeNode* pTakeNode)
{
    attr::RemoveChannel(pTakeNode, kCameraIndexChannel);
    KQoxNodeAttribute::RemoveChannels(pTakeNode);
}

KQoxCameraSwitcher& KQoxCameraSwitcher::operator=(KQoxCameraSwitcher& pOther)
{
    if (&pOther == this)
        return *this;
    ClearNames();
    for (int i = 0; i < pOther.mCameraNames.GetCount(); ++i)
        AddCameraName(pOther.mCameraNames[i]->ToChars());
    return *this;
}

} // namespace qoxsdk_600
