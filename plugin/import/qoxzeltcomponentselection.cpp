#include "plugin/import/qoxzeltcomponentselection.h"

#include <algorithm>
#include <cstdint>
#include <iterator>
#include <vector>

#include "scene/attributes/kqoxlink.h"
#include "scene/attributes/kqoxnurb.h"

using namespace qoxsdk_600;

void FillClusterElements(KArrayTemplate<int>& list, KQoxLink* link)
{
    if (!link || link->GetControlPointIndicesCount() == 0)
        return;
    // The same list as inserting each new index and sorting again, built as
    // one sorted union: linear after sorting the link's own indices.
    const auto unsignedLess = [](int a, int b) { return static_cast<uint32_t>(a) < static_cast<uint32_t>(b); };
    const int* indices = link->GetControlPointIndices();
    std::vector<int> added(indices, indices + link->GetControlPointIndicesCount());
    std::sort(added.begin(), added.end(), unsignedLess);
    added.erase(std::unique(added.begin(), added.end()), added.end());
    const int* begin = list.GetArray();
    std::vector<int> merged;
    merged.reserve(static_cast<size_t>(list.GetCount()) + added.size());
    std::set_union(begin, begin + list.GetCount(), added.begin(), added.end(), std::back_inserter(merged),
                   unsignedLess);
    list.Clear();
    list.Reserve(static_cast<int>(merged.size()));
    for (int index : merged)
        list.Add(index);
}

std::vector<ElementRange> GroupElementsByRange(const KArrayTemplate<int>& list)
{
    std::vector<ElementRange> ranges;
    const int count = list.GetCount();
    if (count == 0)
        return ranges;
    int start = list[0];
    int prev = start;
    for (int i = 1; i < count; ++i)
    {
        const int x = list[i];
        if (x != prev + 1)
        {
            ranges.push_back(ElementRange{start, prev});
            start = x;
        }
        prev = x;
    }
    ranges.push_back(ElementRange{start, prev});
    return ranges;
}

void BuildSelectCommandArgFromElementRange(KString& text, const std::vector<ElementRange>& ranges,
                                           const KString& prefix)
{
    for (const ElementRange& range : ranges)
    {
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
