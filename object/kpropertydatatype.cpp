#include "object/kpropertydatatype.h"

#include <string.h>

KDataType::KDataType(const char* name) : mName(name ? name : ""), mBaseDataType(this)
{
}

KDataType::~KDataType()
{
}

bool KDataType::Init(void*)
{
    return false;
}

bool KDataType::Set(const char*, void*)
{
    return false;
}

bool KDataType::Get(char*, int, void*)
{
    return false;
}

const char* KDataType::GetMemberName(int)
{
    return nullptr;
}

kPropertyType DataTypeToPropertyType(KDataType* type)
{
    if (!type)
        return 0;
    static const struct
    {
        const char* mName;
        kPropertyType mType;
    } kLeaves[] = {{"Action", 16}, {"Bool", 2}, {"Integer", 1}, {"Color", 14}, {"ColorAndAlpha", 15}, {"Enum", 6}};
    for (const auto& leaf : kLeaves)
        if (strcmp(type->GetName(), leaf.mName) == 0)
            return leaf.mType;
    static const struct
    {
        const char* mName;
        kPropertyType mType;
    } kRoots[] = {{"Time", 7}, {"Number", 4}, {"Vector", 13}, {"Vector4", 12}};
    KDataType* root = type->GetBaseDataType() ? type->GetBaseDataType() : type;
    for (const auto& r : kRoots)
        if (strcmp(root->GetName(), r.mName) == 0)
            return r.mType;
    return 0;
}
