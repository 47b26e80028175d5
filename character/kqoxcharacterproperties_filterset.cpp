// The copy from the character's filter set into the properties, generated
// from the property table.

#include "character/kqoxcharacter.h"
#include "character/kqoxcharacterproperties.h"
#include "character/kqoxfilterset.h"

namespace qoxsdk_600 {

namespace {

// The value a row takes, converted to the row's type.
template <class T>
T FromValue(const KQoxFilterSet& set, int param)
{
    return static_cast<T>(set.GetParameterValue(param, 0));
}

template <class T>
T FromTruncatedValue(const KQoxFilterSet& set, int param)
{
    return static_cast<T>(KCharacter_ValueToInt(set.GetParameterValue(param, 0)));
}

template <class T>
T FromMode(const KQoxFilterSet& set, int param)
{
    return static_cast<T>(set.GetParameterMode(param));
}

bool FromModeNotZero(const KQoxFilterSet& set, int param)
{
    return set.GetParameterMode(param) != 0;
}

// x, y and z from three parameters; w as the property holds it.
KgeTVector FromValues3(const KQoxFilterSet& set, int param, const KgeTVector& held)
{
    return KgeTVector(set.GetParameterValue(param, 0), set.GetParameterValue(param + 1, 0),
                      set.GetParameterValue(param + 2, 0), held.w);
}

} // namespace

void KQoxCharacterProperties::FilterSetToProperties()
{
    if (!mCharacter || !mCharacter->GetFilterSet())
        return;
    const KQoxFilterSet& set = *mCharacter->GetFilterSet();
#define QOX_CP_FROM_VALUE(name, type, param)        FromValue<type>(set, param)
#define QOX_CP_FROM_TRUNC(name, type, param)        FromTruncatedValue<type>(set, param)
#define QOX_CP_FROM_MODE(name, type, param)         FromMode<type>(set, param)
#define QOX_CP_FROM_MODENZ(name, type, param)       FromModeNotZero(set, param)
#define QOX_CP_FROM_VEC3(name, type, param)         FromValues3(set, param, m##name.Held())
#define QOX_CP_WRITE_STORE(name, type, from, param) m##name.Held() = QOX_CP_FROM_##from(name, type, param);
#define QOX_CP_WRITE_SET(name, type, from, param)                                                                      \
    {                                                                                                                  \
        type value = QOX_CP_FROM_##from(name, type, param);                                                            \
        m##name.SetData(&value, 0, nullptr, nullptr);                                                                  \
    }
#define QOX_CP_COPY_NONE(name, type, write, param)
#define QOX_CP_COPY_VALUE(name, type, write, param)  QOX_CP_WRITE_##write(name, type, VALUE, param)
#define QOX_CP_COPY_TRUNC(name, type, write, param)  QOX_CP_WRITE_##write(name, type, TRUNC, param)
#define QOX_CP_COPY_MODE(name, type, write, param)   QOX_CP_WRITE_##write(name, type, MODE, param)
#define QOX_CP_COPY_MODENZ(name, type, write, param) QOX_CP_WRITE_##write(name, type, MODENZ, param)
#define QOX_CP_COPY_VEC3(name, type, write, param)   QOX_CP_WRITE_##write(name, type, VEC3, param)
    // One step per mapped row, run in the order of the step list.
#define QOX_CP_STEP(name, type, access, anim, setter, param, from, write, text)                                        \
    QOX_CP_STEP_##from(name, [&]() { QOX_CP_COPY_##from(name, type, write, param) })
#define QOX_CP_STEP_NONE(name, body)
#define QOX_CP_STEP_VALUE(name, body)  auto step##name = body;
#define QOX_CP_STEP_TRUNC(name, body)  auto step##name = body;
#define QOX_CP_STEP_MODE(name, body)   auto step##name = body;
#define QOX_CP_STEP_MODENZ(name, body) auto step##name = body;
#define QOX_CP_STEP_VEC3(name, body)   auto step##name = body;
    QOX_CHARACTER_PROPERTIES(QOX_CP_STEP)
#define QOX_CP_RUN(name) step##name();
    QOX_CHARACTER_FILTERSET_STEPS(QOX_CP_RUN)
}

} // namespace qoxsdk_600
