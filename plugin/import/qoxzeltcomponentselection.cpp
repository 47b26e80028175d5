#include "plugin/import/qoxzeltcomponentselection.h"

#include <algorithm>
#include <cstdint>

#include "plugin/import/qoxzeltimportutility.h"
#include "scene/attributes/kqoxlink.h"
#include "scene/attributes/kqoxnurb.h"

using namespace qoxsdk_600;

void FillClusterElements(KArrayTemplate<int>& list, KQoxLink* link)
{
    if (!link)
        return;
    const int count = link->GetControlPointIndicesCount();
    const int* indices = link->GetControlPointIndices();
    for (int k = 0; k < count; ++k)
    {
        const int index = indices[k];
        if (BSearchArrayTemplate(list, index))
            continue;
        // Sorted insertion: the same list as appending and sorting again.
        const int* begin = list.GetArray();
        const int* at = std::upper_bound(begin, begin + list.GetCount(), index, [](int a, int b) {
            return static_cast<uint32_t>(a) < static_cast<uint32_t>(b);
        });
        list.InsertAt(static_cast<int>(at - begin), index);
    }
}

void GroupElementsByRange(KArrayTemplate<int>& list, KArrayTemplate<ElementRange*>& ranges)
{
    const int count = list.GetCount();
    if (count == 0)
        return;
    int start = list[0];
    int prev = start;
    for (int i = 1; i < count; ++i)
    {
        const int x = list[i];
        if (x != prev + 1)
        {
            ranges.Add(new ElementRange{start, prev});
            start = x;
        }
        prev = x;
    }
    ranges.Add(new ElementRange{start, prev});
}

void BuildSelectCommandArgFromElementRange(KString& text, KArrayTemplate<ElementRange*>& ranges, KString& prefix)
{
    for (int i = 0; i < ranges.GetCount(); ++i)
    {
        const ElementRange& range = *ranges[i];
        text += " ";
        text += prefix;
        text += "[";
        text += range.mFirst;
        if (range.mFirst != range.mLast)
        {
            text += ":";
            text += range.mLast;
        }
        text += "]";
    }
}

bool BuildSelectCommandArgFromElementCV(KString& text, KArrayTemplate<int>& list, KString& prefix, KQoxNurb* surface)
{
    if (!surface || surface->GetUCount() <= 0)
        return false;
    const uint32_t n = static_cast<uint32_t>(surface->GetUCount());
    for (int i = 0; i < list.GetCount(); ++i)
    {
        const uint32_t index = static_cast<uint32_t>(list[i]);
        text += " ";
        text += prefix;
        text += "[";
        text += static_cast<int>(index / n);
        text += "][";
        text += static_cast<int>(index % n);
        text += "]";
    }
    return true;
}
