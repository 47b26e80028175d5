// libFuzzer target: any bytes taken as a name read from a file and looked up
// as a character node name, a group entry (searched within a leading group
// chosen by the first byte), a solver parameter name and an effector name.

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

#include "character/kfiltersetinfo.h"
#include "character/kqoxcharacternodeid.h"
#include "character/kqoxcontrolset.h"

using namespace qoxsdk_600;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string name(reinterpret_cast<const char*>(data), size); // stops at the first NUL when used
    ECharacterNodeId id = eCharacterHips;
    if (KQoxCharacterNodeIds::GetCharacterNodeIdFromNodeName(name.c_str(), id))
    {
        char* back = nullptr;
        if (!KQoxCharacterNodeIds::GetCharacterNodeNameFromNodeId(id, back) || strcmp(name.c_str(), back) != 0)
            __builtin_trap();
    }
    ECharacterGroupId group = static_cast<ECharacterGroupId>(size ? static_cast<int8_t>(data[0]) : 0);
    int index = -1;
    if (KQoxCharacterNodeIds::FindCharacterGroupIndexByName(name.c_str(), true, group, index) &&
        !KQoxCharacterNodeIds::GetCharacterGroupNameByIndex(group, index))
        __builtin_trap();
    const int param = GetFilterSetInfo()->ParamIndexByName(name.c_str());
    if (param < -1 || param >= kFilterParamCount)
        __builtin_trap();
    const EEffectorNodeId effector = KQoxControlSet::GetEffectorNodeId(name.c_str());
    if (effector != -1 && !KQoxControlSet::GetEffectorNodeName(effector))
        __builtin_trap();
    return 0;
}
