#include "formats/kqoxstreamoptionsgeometry.h"

#include <cstring>
#include <string>

namespace qoxsdk_600 {

KPLUG_CLASS_IMPLEMENT(KStreamOptionsBase, KStreamOptions, "KStreamOptionsBase")
KPLUG_CLASS_IMPLEMENT(KStreamOptionsObj, KStreamOptionsBase, "KStreamOptionsObj")
KPLUG_CLASS_IMPLEMENT(KStreamOptionsDxf, KStreamOptionsBase, "KStreamOptionsDxf")
KPLUG_CLASS_IMPLEMENT(KStreamOptions3ds, KStreamOptionsBase, "KStreamOptions3ds")

KStreamOptionsBase::KStreamOptionsBase()
{
    KStreamOptionsBase::Reset();
}

void KStreamOptionsBase::Reset()
{
    KStreamOptions::Reset();
    for (int i = 0; i <= eOPTION_LAST; ++i)
    {
        mValues[i] = 0;
        mNames[i] = "";
        mGroups[i] = 0;
    }
    mTakeName = "";
}

int KStreamOptionsBase::GetOption(int option) const
{
    return IsValid(option) ? mValues[option] : 0;
}

bool KStreamOptionsBase::SetOption(int option, int value)
{
    if (!IsValid(option))
    {
        return false;
    }
    mValues[option] = value;
    return true;
}

const char* KStreamOptionsBase::GetOptionName(int option) const
{
    return IsValid(option) ? mNames[option] : "";
}

int KStreamOptionsBase::GetOptionGroup(int option) const
{
    return IsValid(option) ? mGroups[option] : 0;
}

void KStreamOptionsBase::DefineOption(int option, const char* name, int value, int group)
{
    if (IsValid(option))
    {
        mNames[option] = name;
        mValues[option] = value;
        mGroups[option] = group;
    }
}

KStreamOptionsObj::KStreamOptionsObj()
{
    KStreamOptionsObj::Reset();
}

void KStreamOptionsObj::Reset()
{
    KStreamOptionsBase::Reset();
    DefineOption(eCREATE_REFERENCE_NODE, "Create Reference Node", 1);
    DefineOption(eFORCE_TRIANGULATION, "Force Triangulation", 0);
    DefineOption(eEVALUATE_DEFORMATIONS, "Evaluate Link/Shape deformations", 1);
}

KStreamOptionsDxf::KStreamOptionsDxf()
{
    KStreamOptionsDxf::Reset();
}

void KStreamOptionsDxf::Reset()
{
    KStreamOptionsBase::Reset();
    DefineOption(eCREATE_REFERENCE_NODE, "Create Reference Node", 1);
    DefineOption(eFORCE_TRIANGULATION, "Force Triangulation", 1);
    DefineOption(eEVALUATE_DEFORMATIONS, "Evaluate Link/Shape deformations", 1);
    DefineOption(eWELD_VERTICES, "Weld Vertices", 1);
    DefineOption(eOBJECT_DERIVATION, "Layer~Block~Entity", 0);
    mDerivation = eBY_LAYER;
}

KStreamOptionsDxf::EObjectDerivation KStreamOptionsDxf::GetObjectDerivation()
{
    switch (GetOption(eOBJECT_DERIVATION))
    {
    case 0: mDerivation = eBY_LAYER; break;
    case 1: mDerivation = eBY_BLOCK; break;
    case 2: mDerivation = eBY_ENTITY; break;
    default: break;
    }
    return mDerivation;
}

KStreamOptions3ds::KStreamOptions3ds()
{
    KStreamOptions3ds::Reset();
}

void KStreamOptions3ds::Reset()
{
    KStreamOptionsBase::Reset();
    DefineOption(1, "Create Reference Node", 0);
    DefineOption(7, "Materials", 1);
    DefineOption(8, "Texture Mapping", 1, 7);
    DefineOption(9, "Anim", 1);
    DefineOption(10, "Geometries", 1);
    DefineOption(11, "Lights", 1);
    DefineOption(12, "Camera", 1);
    DefineOption(13, "Ambient Light", 1);
    DefineOption(14, "Rescale", 1);
    DefineOption(15, "Reduce Keys", 0);
    DefineOption(16, "Smooth Group", 1);
    DefineOption(17, "UV per polygon", 1);
}

KStreamOptions3ds* KStreamOptions3dsCreate()
{
    return new KStreamOptions3ds();
}

bool KRenamingStrategy3DS::Rename(KName& name, int maxLength)
{
    std::string text = name.GetCurrentName();
    const size_t prefix = text.find("::");
    if (prefix != std::string::npos)
    {
        text.erase(0, prefix + 2);
    }
    const int keep = maxLength > 3 ? maxLength - 3 : 0;
    if (static_cast<int>(text.size()) > keep)
    {
        text.resize(keep);
    }
    name.SetCurrentName(text.c_str());
    return KNumberRenamingStrategy::Rename(name);
}

} // namespace qoxsdk_600
